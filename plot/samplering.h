#pragma once

#include <QVector>

#include <cstdlib>
#include <memory>

// The plotted points: a fixed ring of x, y and filtered values. Appending never
// allocates; once full, the oldest point is overwritten.
//
// While not wrapped the points in arrival order are 0 .. sampleCount()-1. Once
// wrapped, the older ones are sampleCount() .. Capacity-1 and the newer ones
// 0 .. sampleCount()-1.
class SampleRing
{
public:
    static constexpr int Capacity = 200000;

    SampleRing();

    int sampleCount() const { return count; }
    bool wrapped() const { return isWrapped; }
    // Number of points held.
    int size() const { return isWrapped ? Capacity : count; }
    // Array index of the k-th oldest point held (0 <= k < size()).
    int chronologicalIndex(int k) const { return isWrapped ? (count + k) % Capacity : k; }

    // Stores the point at sampleCount() and returns that index.
    int append(double xValue, double yValue);
    // Drops every point (the arrays keep their memory).
    void clear();
    // Replaces the points by the pairs of xs/ys, skipping pairs that are not
    // both finite (NaN, infinities); only the last Capacity pairs survive.
    // The pairs may be the end of a longer series whose first `pairsBefore`
    // finite pairs were left out (then at least Capacity of them must be given):
    // the ring holds what the whole series would have left in it.
    void setSeries(const QVector<double> &xs, const QVector<double> &ys, qint64 pairsBefore = 0);

    void setFiltered(int index, double value);
    // filtered[from .. from+count-1] = values[0 .. count-1]
    void setFiltered(int from, int count, const double *values);

    const double *x() const { return xs.get(); }
    const double *y() const { return ys.get(); }
    const double *filtered() const { return fs.get(); }

    // Grows on every change, so views can cache what they derive from the data.
    quint64 revision() const { return rev; }

private:
    struct Free
    {
        void operator()(double *values) const { std::free(values); }
    };
    using Values = std::unique_ptr<double[], Free>;
    // Zeroed by calloc: memory fresh from the system is zero already, so the
    // three arrays of a ring (every plot window has one) cost nothing until used.
    static Values zeroed();

    Values xs;
    Values ys;
    Values fs;
    int count = 0;
    bool isWrapped = false;
    quint64 rev = 0;
};
