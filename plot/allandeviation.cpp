#include "plot/allandeviation.h"

#include "plot/numbertext.h"

#include <QIODevice>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

const double gapValue = std::numeric_limits<double>::quiet_NaN();

bool isNumber(double v)
{
    return std::isfinite(v);
}

// The upper middle of v (reordered). A steady logger spaces nearly all its
// stamps alike: a value held by more than half of them is the median, found
// in two plain passes instead of a selection over the whole array.
double upperMedian(double *begin, double *end)
{
    double candidate = 0;
    size_t votes = 0;
    for (const double *d = begin; d != end; ++d) {
        if (votes == 0)
            candidate = *d;
        votes += *d == candidate ? 1 : size_t(-1);
    }
    size_t held = 0;
    for (const double *d = begin; d != end; ++d)
        held += *d == candidate;
    if (2 * held > size_t(end - begin))
        return candidate;
    double *const middle = begin + (end - begin) / 2;
    std::nth_element(begin, middle, end);
    return *middle;
}

// The sum of squares of the terms a[i + m] - a[i], i < count, and how many of
// them are numbers (a NaN term touches a gap). Four partial sums, so the adds
// need not wait on each other.
//
// Doubling: meanwhile a[i] becomes the mean of 2m samples from i, (a[i] +
// a[i + m]) / 2, the next octave's averages in place, a gap staying NaN.
// a[i + m] is read before it is written, so one pass does both.
struct TermSum
{
    double squares = 0;
    qint64 n = 0;
};

template <bool doubling> TermSum sumTerms(double *a, qint64 count, qint64 m)
{
    double s[4] = {0, 0, 0, 0};
    qint64 k[4] = {0, 0, 0, 0};
    const auto term = [&](qint64 i, int j) {
        const double x = a[i], y = a[i + m];
        const double d = y - x;
        const bool used = d == d;
        s[j] += used ? d * d : 0.0;
        k[j] += used;
        if (doubling)
            a[i] = (x + y) * 0.5;
    };
    qint64 i = 0;
    for (; i + 4 <= count; i += 4)
        for (int j = 0; j < 4; ++j)
            term(i + j, j);
    for (; i < count; ++i)
        term(i, 0);
    return {(s[0] + s[1]) + (s[2] + s[3]), k[0] + k[1] + k[2] + k[3]};
}

// a + b exactly, as the rounded sum and what rounding left out.
void twoSum(double a, double b, double &sum, double &error)
{
    sum = a + b;
    const double bPart = sum - a;
    error = (a - (sum - bPart)) + (b - bPart);
}

void addPoint(std::vector<AllanPoint> &out, qint64 m, double tau0, const TermSum &t)
{
    AllanPoint p;
    p.tau = double(m) * tau0;
    p.n = t.n;
    p.adev = std::sqrt(t.squares / (2.0 * double(t.n)));
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
    // The sample's value in the next cell, or a gap where it is no number.
    const auto take = [&](qint64 k) {
        if (!isNumber(value(k))) {
            gap();
            return;
        }
        cells.push_back(value(k) - reference);
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
            reference = upperMedian(first.data(), first.data() + first.size());
    }

    if (!times) {
        for (qint64 k = 0; k < count; ++k)
            take(k);
    } else {
        // Steps between the stamps there are, whatever their values.
        std::vector<double> steps;
        steps.reserve(size_t(count));
        double last = gapValue;
        for (qint64 k = 0; k < count; ++k) {
            const double t = time(k);
            if (!isNumber(t))
                continue;
            if (isNumber(last))
                steps.push_back(t - last);
            last = t;
        }
        const size_t stamped = steps.size() + 1;
        size_t distinct = 1;
        for (const double s : steps)
            distinct += s != 0;
        const bool shared = !steps.empty() && 2 * stamped >= 3 * distinct;
        if (shared) {
            // Many rows a stamp: they follow one another at the stamp step
            // shared among them; a stamp left out is an outage.
            double *const positive = std::partition(steps.data(), steps.data() + steps.size(),
                                                    [](double s) { return s > 0; });
            if (positive == steps.data()) {
                timeProblem = QStringLiteral("All points share one time stamp");
                return;
            }
            const double step = upperMedian(steps.data(), positive);
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
        } else if (!steps.empty()) {
            const double step = upperMedian(steps.data(), steps.data() + steps.size());
            if (step > 0) {
                interval = step * secondsPerUnit;
                // Each sample in the slot of its own time: a slot left out is
                // an outage, a second sample for a slot is not used.
                double base = 0, previous = 0;
                bool first = true;
                for (qint64 k = 0; k < count; ++k) {
                    const double t = time(k);
                    if (!isNumber(t)) {
                        gap();
                        continue;
                    }
                    if (first)
                        base = t;
                    const double slot = std::nearbyint((t - base) / step);
                    if (!first && slot <= previous)
                        continue;
                    if (!first && slot > previous + 1)
                        gap();
                    first = false;
                    previous = slot;
                    take(k);
                }
            } else {
                timeProblem = QStringLiteral("The time stamps do not run forward");
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
        std::vector<double> means(grid);
        for (int f = 0; f < total; ++f) {
            const qint64 m = factors[size_t(f)];
            addPoint(out, m, series.tau0(), sumTerms<true>(means.data(), length - 2 * m + 1, m));
            if (progress && !progress(f + 1, total))
                return false;
        }
        return true;
    }

    // Sums of any m samples from a prefix kept to twice the precision of a
    // double, so a window's sum is exact to the last digit however large the
    // sums before it grew; gaps count apart, as a prefix of their number.
    std::vector<double> high(size_t(length) + 1), low(size_t(length) + 1);
    std::vector<std::uint32_t> gapsBefore(size_t(length) + 1);
    double h = 0, l = 0;
    std::uint32_t g = 0;
    for (qint64 i = 0; i < length; ++i) {
        const double v = grid[size_t(i)];
        const bool isGap = !(v == v);
        double error;
        twoSum(h, isGap ? 0.0 : v, h, error);
        l += error;
        g += isGap;
        high[size_t(i) + 1] = h;
        low[size_t(i) + 1] = l;
        gapsBefore[size_t(i) + 1] = g;
    }
    std::vector<double> means(static_cast<size_t>(length));
    for (int f = 0; f < total; ++f) {
        const qint64 m = factors[size_t(f)];
        const double scale = 1.0 / double(m);
        for (qint64 i = 0; i + m <= length; ++i) {
            double sum, error;
            twoSum(high[size_t(i + m)], -high[size_t(i)], sum, error);
            sum += error + (low[size_t(i + m)] - low[size_t(i)]);
            means[size_t(i)] =
                gapsBefore[size_t(i + m)] == gapsBefore[size_t(i)] ? sum * scale : gapValue;
        }
        addPoint(out, m, series.tau0(), sumTerms<false>(means.data(), length - 2 * m + 1, m));
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
