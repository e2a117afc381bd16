#include "tools/telvar-sim/simcertification.h"

#include <QString>

const QList<QPair<QByteArray, QByteArray>> &SimCertification::settingsAnswers()
{
    static const QList<QPair<QByteArray, QByteArray>> answers = {
        {"sver", "5.10"},
        {"calfactor", "1.0000 0.9990"},
        {"lasersetpoint", "95.12 20.98"},
        {"alarmlevels", "500 1000"},
        {"zerooffset", "0.013"},
    };
    return answers;
}

void SimCertification::reset()
{
    optimizeLeft = -1;
}

std::optional<QByteArray> SimCertification::answer(const QByteArray &name, const QByteArray &arg,
                                                   int &mode)
{
    if (name == "opmode" && arg == "5") {
        optimizeLeft = options.optimizeQueries;
        mode = 5;
        if (options.noAck == "optimize")
            return QByteArray();
        return QByteArray("5\r\n");
    }
    if (name == "opmode" && arg.isEmpty() && optimizeLeft >= 0) {
        // The laser optimization ends on its own; the analyzer is then in service mode.
        if (optimizeLeft-- > 0)
            return QByteArray("5\r\n");
        mode = 0;
        return QByteArray("0\r\n");
    }
    if (name == "opmode")
        optimizeLeft = -1; // another mode ends an optimization
    if (name == "fact" && arg == "1")
        return options.noAck == "fact" ? QByteArray() : QByteArray("1\r\n");
    for (const auto &setting : settingsAnswers())
        if (name == setting.first && arg.isEmpty())
            return setting.second + "\r\n";
    return std::nullopt;
}
