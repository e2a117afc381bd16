#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>

#include <limits>
#include <optional>

class SimAnalyzer;

// The analyzer settings that the Utilities tab reads and changes: the data
// filter, the gas type from the gas library, and Speed+ (the dynamic filter).
// Changes are taken in service mode only; in any other mode the analyzer
// answers "!WRONG".
class SimSettings
{
public:
    static const QList<QByteArray> gasLibrary;

    // The answer to a command `name` (lower case) with argument `arg`, or
    // nothing when the command is not one of these.
    std::optional<QByteArray> answer(const QByteArray &name, const QByteArray &arg, int mode);
    // A status report with the current filter and gas in place of the model's.
    QByteArray patchReport(QByteArray report) const;
    void reset() { *this = SimSettings(); }

    int filter = 100;
    QByteArray gas = "N2";
    bool dynamicFilter = false;
};

// Paces the SRDA stream at `rate` rows a second, however often it is asked,
// and ends it after `count` rows (count < 0: no end). A program that reads
// slower gets the rows late, never lost: no more than `most` are made at a
// time, and the transport asks only when it has room for them.
class SrdaStream
{
public:
    SrdaStream(SimAnalyzer &sim, int rate, qint64 count) : sim(sim), rate(rate), limit(count) {}

    // The rows due by `nowMs` (a monotonic clock), at most `most`, stamped with `stamp`.
    QByteArray rowsDue(qint64 nowMs, const QDateTime &stamp,
                       qint64 most = std::numeric_limits<qint64>::max());
    qint64 sent() const { return rows; }
    // True once the last row of a counted stream went out.
    bool ended() const { return limit >= 0 && rows >= limit; }

private:
    SimAnalyzer &sim;
    int rate;
    qint64 limit;
    bool running = false;
    qint64 startMs = 0;
    qint64 rows = 0;
};
