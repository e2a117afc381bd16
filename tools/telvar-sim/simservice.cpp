#include "tools/telvar-sim/simservice.h"

#include "tools/telvar-sim/simanalyzer.h"

const QList<QByteArray> SimSettings::gasLibrary = {"N2", "Air", "Ar", "He", "CO2", "H2"};

namespace {

const QByteArray wrong = "!WRONG\r\n";
const QByteArray unknown = "!UNKNOWN\r\n";

bool readInt(const QByteArray &text, int low, int high, int &out)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < low || v > high)
        return false;
    out = v;
    return true;
}

} // namespace

std::optional<QByteArray> SimSettings::answer(const QByteArray &name, const QByteArray &arg,
                                              int mode)
{
    const bool service = mode == 0;
    if (name == "filter") {
        if (arg.isEmpty())
            return QByteArray::number(filter) + "\r\n";
        if (!service)
            return wrong;
        return readInt(arg, 10, 1000, filter) ? QByteArray() : unknown;
    }
    if (name == "sagd") {
        QByteArray out;
        for (int i = 0; i < gasLibrary.size(); ++i)
            out += "Gas " + QByteArray::number(i + 1) + " " + gasLibrary.at(i) + "\r\n";
        return out;
    }
    if (name == "gastype") {
        if (arg.isEmpty())
            return gas + "\r\n";
        if (!service)
            return wrong;
        if (!gasLibrary.contains(arg))
            return unknown;
        gas = arg;
        return QByteArray();
    }
    if (name == "dynamicfilter_enabled") {
        if (arg.isEmpty())
            return QByteArray(dynamicFilter ? "1\r\n" : "0\r\n");
        if (!service)
            return wrong;
        int on = 0;
        if (!readInt(arg, 0, 1, on))
            return unknown;
        dynamicFilter = on == 1;
        return QByteArray();
    }
    return std::nullopt;
}

QByteArray SimSettings::patchReport(QByteArray report) const
{
    report.replace("Filter : 100\r\n", "Filter : " + QByteArray::number(filter) + "\r\n");
    report.replace("Gas Type : N2\r\n", "Gas Type : " + gas + "\r\n");
    return report;
}

QByteArray SrdaStream::rowsDue(qint64 nowMs, const QDateTime &stamp, qint64 most)
{
    if (!sim.streaming()) {
        running = false;
        return QByteArray();
    }
    if (!running) {
        // A new start: the header went out with the answer; rows follow from now.
        running = true;
        startMs = nowMs;
        rows = 0;
    }
    qint64 due = (nowMs - startMs) * rate / 1000;
    if (limit >= 0)
        due = qMin(due, limit);
    if (due - rows > most)
        due = rows + most;
    QByteArray out;
    for (; rows < due; ++rows)
        out += sim.srdaRow(stamp);
    return out;
}
