#include "plot/ringseries.h"

#include <cmath>

RingSeries::RingSeries(const SampleRing &ring, Values values) : ring(ring), values(values) {}

void RingSeries::setRange(int begin, int end)
{
    begin = qBound(0, begin, SampleRing::Capacity);
    end = qBound(begin, end, SampleRing::Capacity);
    first = begin;
    count = end - begin;
}

QPointF RingSeries::sample(size_t i) const
{
    const size_t index = size_t(first) + i;
    const double *ys = values == Raw ? ring.y() : ring.filtered();
    return QPointF(ring.x()[index], ys[index]);
}

QRectF RingSeries::boundingRect() const
{
    if (boundsRevision == ring.revision() && boundsFirst == first && boundsCount == count)
        return d_boundingRect;
    boundsRevision = ring.revision();
    boundsFirst = first;
    boundsCount = count;
    if (count <= 0) {
        d_boundingRect = QRectF(1.0, 1.0, -2.0, -2.0); // invalid: ignored by autoscale
        return d_boundingRect;
    }
    const double *xs = ring.x() + first;
    const double *ys = (values == Raw ? ring.y() : ring.filtered()) + first;
    double minX = xs[0], maxX = xs[0], minY = ys[0], maxY = ys[0];
    for (int i = 1; i < count; ++i) {
        minX = std::fmin(minX, xs[i]);
        maxX = std::fmax(maxX, xs[i]);
        minY = std::fmin(minY, ys[i]);
        maxY = std::fmax(maxY, ys[i]);
    }
    d_boundingRect = QRectF(minX, minY, maxX - minX, maxY - minY);
    return d_boundingRect;
}
