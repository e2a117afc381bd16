#include "plot/selectionstats.h"

#include "plot/samplering.h"

#include <cmath>

namespace {

// Sum, extremes and spread of one array over the chosen indices.
struct Spread
{
    double sum = 0, minimum = 0, maximum = 0;
    void add(double v, bool first)
    {
        sum += v;
        if (first || v < minimum)
            minimum = v;
        if (first || v > maximum)
            maximum = v;
    }
};

QString number(double v)
{
    return QString::number(v, 'g', 6);
}

QString twoDigits(qint64 v)
{
    return (v <= 9 ? QStringLiteral("0") : QString()) + QString::number(v);
}

} // namespace

SelectionStats selectionStats(const SampleRing &ring, double left, double right, bool filtering)
{
    SelectionStats s;
    const int n = ring.size();
    const double *x = ring.x();
    const double *y = ring.y();
    const double *f = ring.filtered();
    Spread raw, filt;
    for (int i = 0; i < n; ++i) {
        if (!(left < x[i] && x[i] < right))
            continue;
        raw.add(y[i], s.count == 0);
        if (filtering)
            filt.add(f[i], s.count == 0);
        ++s.count;
    }
    if (s.count == 0)
        return s;
    s.mean = raw.sum / s.count;
    s.minimum = raw.minimum;
    s.maximum = raw.maximum;
    s.filtered = filtering;
    if (filtering) {
        s.filteredMean = filt.sum / s.count;
        s.filteredMinimum = filt.minimum;
        s.filteredMaximum = filt.maximum;
    }
    double squares = 0, filteredSquares = 0;
    for (int i = 0; i < n; ++i) {
        if (!(left < x[i] && x[i] < right))
            continue;
        squares += (y[i] - s.mean) * (y[i] - s.mean);
        if (filtering)
            filteredSquares += (f[i] - s.filteredMean) * (f[i] - s.filteredMean);
    }
    s.stdDev = std::sqrt(squares / s.count);
    if (filtering)
        s.filteredStdDev = std::sqrt(filteredSquares / s.count);
    return s;
}

QString statisticsText(const SelectionStats &s, const QString &seriesName, bool dateAxis,
                       double left, double right)
{
    QString text = QStringLiteral("In selected range:\n\n");
    if (s.count == 0)
        return text + QStringLiteral("No values in range");
    text += seriesName + QStringLiteral(":") + QStringLiteral("\nAverage = ") + number(s.mean) +
            QStringLiteral("\nMinimum = ") + number(s.minimum) + QStringLiteral("\nMaximum = ") +
            number(s.maximum) + QStringLiteral("\nMax - Min = ") + number(s.maximum - s.minimum) +
            QStringLiteral("\nStd.Dev = ") + number(s.stdDev);
    if (s.filtered) {
        text += QStringLiteral("\n\nFiltered Data:") + QStringLiteral("\nAverage = ") +
                number(s.filteredMean) + QStringLiteral("\nMin = ") + number(s.filteredMinimum) +
                QStringLiteral("\nMax = ") + number(s.filteredMaximum) +
                QStringLiteral("\nMax - Min = ") + number(s.filteredMaximum - s.filteredMinimum) +
                QStringLiteral("\nStd.Dev = ") + number(s.filteredStdDev);
    }
    if (dateAxis) {
        text += QStringLiteral("\n\nDuration:\n") + durationText(durationSeconds(left, right)) +
                QStringLiteral("\n(hh:mm:ss)");
    }
    return text;
}

qint64 durationSeconds(double left, double right)
{
    // The same instants as local date-times; their distance does not depend on the zone.
    return (qint64(right) - qint64(left)) / 1000;
}

QString durationText(qint64 s)
{
    return QString::number(s / 86400) + QStringLiteral(" Days +\n") + twoDigits(s / 3600 % 24) +
           QStringLiteral(":") + twoDigits(s / 60 % 60) + QStringLiteral(":") + twoDigits(s % 60);
}
