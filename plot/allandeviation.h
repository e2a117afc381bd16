#pragma once

#include <QByteArray>
#include <QPointF>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <functional>
#include <vector>

class QIODevice;

// The overlapping Allan deviation of a series: how its scatter falls as it is
// averaged longer. Plain logic, no widgets.

// Averaging factors m (tau = m * tau0): octave 1, 2, 4 …; decade 1, 2, 5,
// 10 …; many, about 20 a decade.
enum class TauSpacing
{
    Octave,
    Decade,
    Many
};
// "octave", "decade", "many"; false for anything else.
bool tauSpacingFromName(const QString &name, TauSpacing &spacing);

struct AllanPoint
{
    double tau = 0;  // s (samples without times)
    double adev = 0; // in the unit of the series
    qint64 n = 0;    // terms used
    double error() const;
};

// Called after each tau with how many are done of how many; false stops.
using AllanProgress = std::function<bool(int done, int total)>;

// A series placed on its own sampling grid. tau0 is the median spacing of the
// time stamps; where most stamps repeat (many rows a second, stamped by the
// second) it is the stamp step shared among the rows of a stamp. A sample
// whose time or value is not a number, a time step off the grid (a missing
// stamp) or a step back is a gap; every outage is one gap slot, since no term
// may span one however long it was.
class AllanSeries
{
public:
    // times[k * stride] and values[k * stride], k < count; times in units of
    // secondsPerUnit (0.001 for ms since the epoch), or nullptr: samples one
    // apart, tau counted in samples.
    void place(const double *times, const double *values, qint64 count, int stride = 1,
               double secondsPerUnit = 1.0);
    // The same for points of (ms since the epoch, value), as TrendReader and
    // the plot's curves hold them; untimed: x is no time.
    void place(const QVector<QPointF> &points, bool timed);

    bool timed() const { return hasTime; }
    // Seconds, or 1 (a sample) without times.
    double tau0() const { return interval; }
    // Finite values placed on the grid.
    qint64 usable() const { return used; }
    qint64 gaps() const { return gapCount; }
    // The grid: each value less a level near the first ones (the offset
    // cancels in every difference, and what is left keeps its digits), NaN
    // for a gap.
    const std::vector<double> &grid() const { return cells; }
    // The factors m of the spacing with at least 2 terms, in order.
    std::vector<qint64> factors(TauSpacing spacing) const;
    // Terms at m: those whose 2m cells hold no gap.
    qint64 terms(qint64 m) const;
    // Empty, or the one line that says why there is no deviation to show.
    QString problem() const;

private:
    friend bool allanDeviation(AllanSeries &&, TauSpacing, std::vector<AllanPoint> &,
                               const AllanProgress &);
    std::vector<double> cells;
    std::vector<qint64> runs; // lengths of the stretches without a gap, longest first
    double interval = 1;
    qint64 used = 0;
    qint64 gapCount = 0;
    bool hasTime = false;
    QString timeProblem;
};

// sigma^2(m tau0) = 1 / (2 n) * sum over the n terms i of (ybar(i + m) - ybar(i))^2,
// ybar(i) the mean of the m samples from i. One point per factor with at
// least 2 terms. False when progress stopped it (out then holds what was done).
bool allanDeviation(const AllanSeries &series, TauSpacing spacing, std::vector<AllanPoint> &out,
                    const AllanProgress &progress = {});
// The same for a series used once: its grid is the octaves' work space, so
// no copy of it is made (and it is gone afterwards).
bool allanDeviation(AllanSeries &&series, TauSpacing spacing, std::vector<AllanPoint> &out,
                    const AllanProgress &progress = {});
// About how many steps allanDeviation() takes, to decide where it runs.
qint64 allanWork(const AllanSeries &series, TauSpacing spacing);

// The point of the smallest deviation; nullptr for none.
const AllanPoint *allanMinimum(const std::vector<AllanPoint> &points);
// "Minimum 0.0123 PPBv at τ = 128 s (n = 1,024)"; without times τ is in samples.
QString allanMinimumText(const std::vector<AllanPoint> &points, const QString &unit, bool timed);
// "86,400 points, sampling interval τ0 = 1 s, 2 gaps".
QString allanSeriesText(const AllanSeries &series);

// "tau_s,adev,n" and a row per point, numbers in their shortest exact form.
QByteArray allanCsv(const std::vector<AllanPoint> &points);
bool writeAllanCsv(QIODevice &out, const std::vector<AllanPoint> &points);
