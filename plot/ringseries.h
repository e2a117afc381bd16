#pragma once

#include "plot/decimation.h"
#include "plot/samplering.h"

// A view of one index range of the sample ring as curve samples, without copying.
// The curve that owns it reads the ring's arrays directly at draw time.
class RingSeries : public ArraySeries
{
public:
    enum Values
    {
        Raw,
        Filtered
    };

    RingSeries(const SampleRing &ring, Values values);

    // Shows indices begin .. end-1 (an empty range shows nothing).
    void setRange(int begin, int end);
    int begin() const { return first; }
    int end() const { return first + count; }

    size_t size() const override { return size_t(count); }
    QPointF sample(size_t i) const override;
    QRectF boundingRect() const override;
    const double *xData() const override { return ring.x() + first; }
    const double *yData() const override
    {
        return (values == Raw ? ring.y() : ring.filtered()) + first;
    }

private:
    const SampleRing &ring;
    Values values;
    int first = 0;
    int count = 0;
    // The bounds are recomputed only when the ring or the range changed.
    mutable quint64 boundsRevision = ~quint64(0);
    mutable int boundsFirst = -1;
    mutable int boundsCount = -1;
};
