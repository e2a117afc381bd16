#include "plot/samplering.h"

#include <algorithm>
#include <cmath>
#include <new>

SampleRing::Values SampleRing::zeroed()
{
    auto *values = static_cast<double *>(std::calloc(Capacity, sizeof(double)));
    if (!values)
        throw std::bad_alloc();
    return Values(values);
}

SampleRing::SampleRing() : xs(zeroed()), ys(zeroed()), fs(zeroed()) {}

int SampleRing::append(double xValue, double yValue)
{
    const int index = count;
    xs[index] = xValue;
    ys[index] = yValue;
    if (++count > Capacity - 1) {
        count = 0;
        isWrapped = true;
    }
    ++rev;
    return index;
}

void SampleRing::clear()
{
    count = 0;
    isWrapped = false;
    ++rev;
}

void SampleRing::setSeries(const QVector<double> &xValues, const QVector<double> &yValues,
                           qint64 pairsBefore)
{
    // Each pair lands where appending the whole series one by one puts it.
    count = int(qMax<qint64>(0, pairsBefore) % Capacity);
    isWrapped = pairsBefore >= Capacity;
    const int n = qMin(xValues.size(), yValues.size());
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(xValues[i]) || !std::isfinite(yValues[i]))
            continue;
        xs[count] = xValues[i];
        ys[count] = yValues[i];
        if (count + 1 > Capacity - 1) {
            count = 0;
            isWrapped = true;
        } else {
            ++count;
        }
    }
    ++rev;
}

void SampleRing::setFiltered(int index, double value)
{
    if (index < 0 || index >= Capacity)
        return;
    fs[index] = value;
    ++rev;
}

void SampleRing::setFiltered(int from, int count, const double *values)
{
    if (from < 0 || count <= 0 || from + count > Capacity)
        return;
    std::copy(values, values + count, fs.get() + from);
    ++rev;
}
