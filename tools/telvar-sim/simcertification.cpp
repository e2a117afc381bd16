#include "tools/telvar-sim/simcertification.h"

#include <QString>

#include <cmath>

namespace {

QByteArray fixed(double v, int decimals)
{
    return QByteArray::number(v, 'f', decimals);
}

} // namespace

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
    scanStep = -1;
    scanFrom = 5;
    scanTo = 35;
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
    if ((name == "tempscan" || name == "rcs") && !arg.isEmpty()) {
        const QList<QByteArray> args = arg.simplified().split(' ');
        bool okFrom = false, okTo = false;
        const double from = args.value(0).toDouble(&okFrom);
        const double to = args.value(1).toDouble(&okTo);
        scanFrom = okFrom ? from : 5;
        scanTo = okTo && to > scanFrom ? to : scanFrom + 30;
        scanStep = 0;
        return std::nullopt; // the analyzer's own handling changes the mode
    }
    if (name == "lt" && scanStep >= 0) {
        // Rising from the start to the end position, then back below it.
        const int steps = qMax(1, options.scanSteps);
        if (scanStep > steps) {
            scanStep = -1;
            return fixed(scanFrom, 2) + "\r\n";
        }
        const double at = scanFrom + (scanTo - scanFrom) * scanStep / steps;
        ++scanStep;
        return fixed(at, 2) + "\r\n";
    }
    if (name == "dtsd" || name == "drcsd")
        return download(name == "dtsd");
    for (const auto &setting : settingsAnswers())
        if (name == setting.first && arg.isEmpty())
            return setting.second + "\r\n";
    return std::nullopt;
}

QByteArray SimCertification::download(bool temp) const
{
    // One row a degree, position and reading; the last row's position, 35,
    // written with three (temperature) or four (reference cell) decimals, is
    // the end marker the program waits for.
    QByteArray out;
    const int last = options.endlessDownload ? 34 : 35;
    for (int t = 5; t <= last; ++t) {
        if (temp) {
            out += fixed(t, 3) + '\t' + fixed(99.91 - 0.05 * (t - 5), 2) + "\r\n";
        } else {
            const double x = (t - 20) / 1.5;
            out += fixed(t, 4) + '\t' + fixed(0.5 / (1 + x * x), 5) + "\r\n";
        }
    }
    return out;
}
