#include "plot/allandeviation.h"

#include "plot/numbertext.h"

#include <QIODevice>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

namespace {

const double gapValue = std::numeric_limits<double>::quiet_NaN();

bool isNumber(double v)
{
    return std::isfinite(v);
}

// The upper middle of [begin, end), reordered.
double upperMiddle(double *begin, double *end)
{
    double *const middle = begin + (end - begin) / 2;
    std::nth_element(begin, middle, end);
    return *middle;
}

// What the median of steps needs from one pass over them: how many there
// are, how many equal the first, and the value that more than half hold if
// any does (Boyer and Moore's vote: nothing kept).
struct StepCount
{
    size_t n = 0, sameAsFirst = 0, votes = 0;
    double first = 0, candidate = 0;
    void add(double d)
    {
        if (n++ == 0)
            first = d;
        sameAsFirst += d == first;
        if (votes == 0)
            candidate = d;
        votes += d == candidate ? 1 : size_t(-1);
    }
};

// The upper median of the steps counted (eachStep(f) hands each to f; all of
// them or the positive ones only); NaN when there is none. A steady logger
// spaces nearly all its stamps alike: a step that more than half hold is the
// median, found without keeping a step, and most often it is the first.
template <class EachStep>
double medianStep(const EachStep &eachStep, bool positiveOnly, const StepCount &count)
{
    if (count.n == 0)
        return gapValue;
    if (2 * count.sameAsFirst > count.n)
        return count.first;
    const auto counts = [positiveOnly](double d) { return !positiveOnly || d > 0; };
    size_t held = 0;
    eachStep([&](double d) { held += counts(d) && d == count.candidate; });
    if (2 * held > count.n)
        return count.candidate;
    std::vector<double> steps;
    steps.reserve(count.n);
    eachStep([&](double d) {
        if (counts(d))
            steps.push_back(d);
    });
    return upperMiddle(steps.data(), steps.data() + steps.size());
}

// The sum of squares of the terms a[i + m] - a[i], i < count, leaving out
// those that are NaN (they touch a gap; the series knows how many are left).
// Four partial sums, so that the adds need not wait on each other.
//
// Doubling: meanwhile into[i] becomes the mean of 2m samples from i, (a[i] +
// a[i + m]) / 2, the next octave's averages, a gap staying NaN. They may go
// in place (into = a): a[i + m] is read before it is written.
template <bool doubling>
double sumTerms(const double *a, qint64 count, qint64 m, double *into = nullptr)
{
    const auto term = [&](qint64 i, double &sum) {
        const double x = a[i], y = a[i + m];
        const double d = y - x;
        sum += d == d ? d * d : 0.0;
        if (doubling)
            into[i] = (x + y) * 0.5;
    };
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    qint64 i = 0;
    for (; i + 4 <= count; i += 4) {
        term(i, s0);
        term(i + 1, s1);
        term(i + 2, s2);
        term(i + 3, s3);
    }
    for (; i < count; ++i)
        term(i, s0);
    return (s0 + s1) + (s2 + s3);
}

// Room for n doubles, not cleared: every one is written before it is read,
// and clearing megabytes would be a pass of its own.
std::unique_ptr<double[]> scratch(qint64 n)
{
    return std::unique_ptr<double[]>(new double[size_t(n)]);
}

// a + b exactly, as the rounded sum and what rounding left out.
void twoSum(double a, double b, double &sum, double &error)
{
    sum = a + b;
    const double bPart = sum - a;
    error = (a - (sum - bPart)) + (b - bPart);
}

void addPoint(std::vector<AllanPoint> &out, const AllanSeries &series, qint64 m, double squares)
{
    AllanPoint p;
    p.tau = double(m) * series.tau0();
    p.n = series.terms(m);
    p.adev = std::sqrt(squares / (2.0 * double(p.n)));
    out.push_back(p);
}

QString grouped(qint64 n)
{
    return QLocale(QLocale::English).toString(qlonglong(n));
}

// Three significant digits, without an exponent for everyday sizes.
QString significant(double v)
{
    if (v == 0 || !isNumber(v))
        return QString::number(v);
    const int e = int(std::floor(std::log10(std::fabs(v))));
    if (e < -4 || e > 5)
        return QString::number(v, 'g', 3);
    return QString::number(v, 'f', std::max(0, 2 - e));
}

} // namespace

bool tauSpacingFromName(const QString &name, TauSpacing &spacing)
{
    if (name == QLatin1String("octave"))
        spacing = TauSpacing::Octave;
    else if (name == QLatin1String("decade"))
        spacing = TauSpacing::Decade;
    else if (name == QLatin1String("many"))
        spacing = TauSpacing::Many;
    else
        return false;
    return true;
}

void AllanSeries::place(const double *times, const double *values, qint64 count, int stride,
                        double secondsPerUnit)
{
    cells.clear();
    runs.clear();
    used = gapCount = 0;
    interval = 1;
    hasTime = times != nullptr;
    timeProblem.clear();
    cells.reserve(size_t(count));

    double reference = 0;
    qint64 run = 0;
    bool afterGap = true; // no gap slot before the first value
    const auto gap = [&] {
        if (afterGap)
            return;
        cells.push_back(gapValue);
        ++gapCount;
        runs.push_back(run);
        run = 0;
        afterGap = true;
    };
    const auto value = [&](qint64 k) { return values[k * stride]; };
    // The sample's value in the next cell, or a gap where it is no number. A
    // value beyond 1e100 from the level is no reading either: no sum or square
    // of what is kept can then overflow.
    const auto take = [&](qint64 k) {
        const double kept = value(k) - reference;
        if (!(std::fabs(kept) <= 1e100)) {
            gap();
            return;
        }
        cells.push_back(kept);
        ++used;
        ++run;
        afterGap = false;
    };
    const auto time = [&](qint64 k) { return times[k * stride]; };

    // Every value is kept less a level near the first ones (the median of up
    // to 64, so that a stray start-up reading is not the level): what is left
    // keeps the digits that the differences are made of.
    {
        std::vector<double> first;
        for (qint64 k = 0; k < count && first.size() < 64; ++k)
            if (isNumber(value(k)))
                first.push_back(value(k));
        if (!first.empty())
            reference = upperMiddle(first.data(), first.data() + first.size());
    }

    if (!times) {
        for (qint64 k = 0; k < count; ++k)
            take(k);
    } else {
        // The steps between the stamps there are, whatever their values.
        const auto eachStep = [&](auto &&f) {
            double last = gapValue;
            for (qint64 k = 0; k < count; ++k) {
                const double t = time(k);
                if (!isNumber(t))
                    continue;
                if (isNumber(last))
                    f(t - last);
                last = t;
            }
        };
        size_t stamped = 1, distinct = 1;
        StepCount all, positive;
        eachStep([&](double d) {
            ++stamped;
            distinct += d != 0;
            all.add(d);
            if (d > 0)
                positive.add(d);
        });
        if (stamped > 1 && 2 * stamped >= 3 * distinct) {
            // Many rows a stamp: they follow one another at the stamp step
            // shared among them; a stamp left out is an outage.
            if (distinct == 1) {
                timeProblem = QStringLiteral("All points share one time stamp");
                return;
            }
            const double step = medianStep(eachStep, true, positive);
            if (!(step > 0)) {
                timeProblem = QStringLiteral("The time stamps do not run forward");
                return;
            }
            interval = step * double(distinct) / double(stamped) * secondsPerUnit;
            double previous = gapValue;
            for (qint64 k = 0; k < count; ++k) {
                const double t = time(k);
                if (!isNumber(t)) {
                    gap();
                    continue;
                }
                if (isNumber(previous) && (t < previous || t - previous > 1.5 * step))
                    gap();
                previous = t;
                take(k);
            }
        } else if (stamped > 1) {
            const double step = medianStep(eachStep, false, all);
            if (!(step > 0)) {
                timeProblem = QStringLiteral("The time stamps do not run forward");
                return;
            }
            interval = step * secondsPerUnit;
            // Each sample in the slot of its own time: a slot left out is an
            // outage, a second sample for a slot is not used.
            double base = 0, previous = 0, previousTime = 0;
            bool first = true;
            for (qint64 k = 0; k < count; ++k) {
                const double t = time(k);
                if (!isNumber(t)) {
                    gap();
                    continue;
                }
                if (first)
                    base = t;
                // One step on, as nearly every row is: no division needed.
                const double slot = !first && t - previousTime == step
                                        ? previous + 1
                                        : std::nearbyint((t - base) / step);
                if (!first && slot <= previous)
                    continue;
                if (!first && slot > previous + 1)
                    gap();
                first = false;
                previous = slot;
                previousTime = t;
                take(k);
            }
        }
    }
    if (!cells.empty() && !isNumber(cells.back())) {
        cells.pop_back();
        --gapCount;
    } else if (run > 0) {
        runs.push_back(run);
    }
    std::sort(runs.begin(), runs.end(), std::greater<qint64>());
}

void AllanSeries::place(const QVector<QPointF> &points, bool timed)
{
    static_assert(sizeof(QPointF) == 2 * sizeof(double), "x and y side by side");
    const auto *xy = reinterpret_cast<const double *>(points.constData());
    place(timed ? xy : nullptr, xy + 1, points.size(), 2, 0.001);
}

qint64 AllanSeries::terms(qint64 m) const
{
    qint64 n = 0;
    for (const qint64 length : runs) {
        if (length < 2 * m)
            break;
        n += length - 2 * m + 1;
    }
    return n;
}

std::vector<qint64> AllanSeries::factors(TauSpacing spacing) const
{
    std::vector<qint64> out;
    out.reserve(256); // room for the many spacing of ten billion samples
    if (runs.empty())
        return out;
    const qint64 largest = runs.front() / 2;
    const auto take = [&](qint64 m) {
        if (m > largest || terms(m) < 2)
            return false;
        if (out.empty() || m > out.back())
            out.push_back(m);
        return true;
    };
    switch (spacing) {
    case TauSpacing::Octave:
        for (qint64 m = 1; take(m); m *= 2) {
        }
        break;
    case TauSpacing::Decade:
        for (qint64 decade = 1;; decade *= 10)
            if (!take(decade) || !take(2 * decade) || !take(5 * decade))
                break;
        break;
    case TauSpacing::Many:
        for (int k = 0;; ++k)
            if (!take(qint64(std::llround(std::pow(10.0, k / 20.0)))))
                break;
        break;
    }
    return out;
}

QString AllanSeries::problem() const
{
    if (!timeProblem.isEmpty())
        return timeProblem;
    if (used < 3)
        return (used == 0   ? QStringLiteral("No usable points")
                : used == 1 ? QStringLiteral("1 usable point")
                            : QStringLiteral("%1 usable points").arg(used)) +
               QStringLiteral("; the Allan deviation needs at least 3");
    if (terms(1) < 2)
        return QStringLiteral("Too many gaps: no averaging time has 2 terms without one");
    return QString();
}

double AllanPoint::error() const
{
    return n > 0 ? adev / std::sqrt(double(n)) : 0.0;
}

qint64 allanWork(const AllanSeries &series, TauSpacing spacing)
{
    const qint64 length = qint64(series.grid().size());
    const qint64 taus = qint64(series.factors(spacing).size());
    // An octave is one pass; another factor fills its averages first.
    return spacing == TauSpacing::Octave ? taus * length : (2 * taus + 1) * length;
}

namespace {

// The octaves: the first reads `grid`, the others their averages in place in
// `means` (which may be the grid itself).
bool octaves(const AllanSeries &series, const std::vector<qint64> &factors, const double *grid,
             double *means, std::vector<AllanPoint> &out, const AllanProgress &progress)
{
    const qint64 length = qint64(series.grid().size());
    const int total = int(factors.size());
    out.reserve(factors.size());
    for (int f = 0; f < total; ++f) {
        const qint64 m = factors[size_t(f)];
        addPoint(out, series, m,
                 sumTerms<true>(f == 0 ? grid : means, length - 2 * m + 1, m, means));
        if (progress && !progress(f + 1, total))
            return false;
    }
    return true;
}

} // namespace

bool allanDeviation(AllanSeries &&series, TauSpacing spacing, std::vector<AllanPoint> &out,
                    const AllanProgress &progress)
{
    if (spacing != TauSpacing::Octave)
        return allanDeviation(series, spacing, out, progress);
    out.clear();
    return octaves(series, series.factors(spacing), series.cells.data(), series.cells.data(), out,
                   progress);
}

bool allanDeviation(const AllanSeries &series, TauSpacing spacing, std::vector<AllanPoint> &out,
                    const AllanProgress &progress)
{
    out.clear();
    const std::vector<qint64> factors = series.factors(spacing);
    out.reserve(factors.size());
    const std::vector<double> &grid = series.grid();
    const qint64 length = qint64(grid.size());
    const int total = int(factors.size());
    if (factors.empty())
        return true;

    if (spacing == TauSpacing::Octave) {
        const std::unique_ptr<double[]> means = scratch(length);
        return octaves(series, factors, grid.data(), means.get(), out, progress);
    }

    // Sums of any m samples from a prefix kept to twice the precision of a
    // double: the difference of two prefixes is a window's sum to the last
    // digit, however large the sums before it grew. A gap adds nothing there;
    // the windows over it are marked apart.
    const std::unique_ptr<double[]> high = scratch(length + 1), low = scratch(length + 1);
    high[0] = low[0] = 0;
    std::vector<qint64> gapCells;
    gapCells.reserve(size_t(series.gaps()));
    double h = 0, l = 0;
    for (qint64 i = 0; i < length; ++i) {
        const double v = grid[size_t(i)];
        double error;
        if (v == v) {
            twoSum(h, v, h, error);
            l += error;
        } else {
            gapCells.push_back(i);
        }
        high[size_t(i) + 1] = h;
        low[size_t(i) + 1] = l;
    }
    const std::unique_ptr<double[]> means = scratch(length);
    for (int f = 0; f < total; ++f) {
        const qint64 m = factors[size_t(f)];
        const double scale = 1.0 / double(m);
        for (qint64 i = 0; i + m <= length; ++i)
            means[size_t(i)] =
                ((high[size_t(i + m)] - high[size_t(i)]) + (low[size_t(i + m)] - low[size_t(i)])) *
                scale;
        // Window i holds cell c for i in c - m + 1 .. c.
        qint64 marked = 0;
        for (const qint64 c : gapCells) {
            for (qint64 i = std::max(marked, c - m + 1); i <= c && i + m <= length; ++i)
                means[size_t(i)] = gapValue;
            marked = c + 1;
        }
        addPoint(out, series, m, sumTerms<false>(means.get(), length - 2 * m + 1, m));
        if (progress && !progress(f + 1, total))
            return false;
    }
    return true;
}

const AllanPoint *allanMinimum(const std::vector<AllanPoint> &points)
{
    const AllanPoint *best = nullptr;
    for (const AllanPoint &p : points)
        if (!best || p.adev < best->adev)
            best = &p;
    return best;
}

QString allanMinimumText(const std::vector<AllanPoint> &points, const QString &unit, bool timed)
{
    const AllanPoint *p = allanMinimum(points);
    if (!p)
        return QString();
    return QStringLiteral("Minimum %1%2 at τ = %3 %4 (n = %5)")
        .arg(significant(p->adev), unit.isEmpty() ? QString() : QLatin1Char(' ') + unit,
             QString::number(p->tau, 'g', 6),
             timed ? QStringLiteral("s") : QStringLiteral("samples"), grouped(p->n));
}

QString allanSeriesText(const AllanSeries &series)
{
    QString text = QStringLiteral("%1 points, ").arg(grouped(series.usable()));
    text += series.timed()
                ? QStringLiteral("sampling interval τ0 = %1 s").arg(series.tau0(), 0, 'g', 6)
                : QStringLiteral("no times: τ in samples");
    if (series.gaps() == 1)
        text += QStringLiteral(", 1 gap");
    else if (series.gaps() > 1)
        text += QStringLiteral(", %1 gaps").arg(grouped(series.gaps()));
    return text;
}

QByteArray allanCsv(const std::vector<AllanPoint> &points)
{
    QByteArray out("tau_s,adev,n\n");
    for (const AllanPoint &p : points) {
        appendNumberText(out, p.tau);
        out += ',';
        appendNumberText(out, p.adev);
        out += ',';
        out += QByteArray::number(p.n);
        out += '\n';
    }
    return out;
}

bool writeAllanCsv(QIODevice &out, const std::vector<AllanPoint> &points)
{
    const QByteArray text = allanCsv(points);
    return out.write(text) == text.size();
}
