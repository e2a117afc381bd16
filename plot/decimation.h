#pragma once

#include <qwt_scale_map.h>
#include <qwt_series_data.h>

#include <QImage>
#include <QPoint>
#include <QPolygonF>
#include <QRect>
#include <QVector>

#include <array>
#include <cstdint>
#include <vector>

// Reduces a curve with far more samples than pixels to what its picture needs.
// Everything works on device pixels, rounded as a curve rounds them when it
// paints on screen or into an image. No widgets involved.

// A series that keeps its x and y values in two plain arrays, which mapping then
// reads directly instead of sample by sample.
class ArraySeries : public QwtSeriesData<QPointF>
{
public:
    virtual const double *xData() const = 0;
    virtual const double *yData() const = 0;
};

// Device pixel of a sample. Samples that cannot be placed (not a number) get
// Unplaced; coordinates beyond FarAway are held there, far outside any canvas.
constexpr int FarAway = 1 << 28;
const QPoint Unplaced(-2 * FarAway, -2 * FarAway);
void mapToDevice(const QwtSeriesData<QPointF> &series, const QwtScaleMap &xMap,
                 const QwtScaleMap &yMap, int from, int to, std::vector<QPoint> &device);

// Lines. Points go in order; a run of consecutive points in one pixel column
// only strokes vertically there, so what counts of the run is its first and last
// point and how often each pixel row of the column is crossed. X need not be
// sorted: a column visited twice simply makes two runs.
class LineDecimator
{
public:
    // A one-pixel antialiased stroke along a pixel boundary blends half of the pen
    // colour into the two pixels beside it; after this many crossings a pixel is
    // within half a colour step of the pen colour.
    static constexpr int SolidCrossings = 9;

    // Fills polyline and overdrawn from the device points; only what lies inside
    // canvas needs to look the same.
    //
    // With overdraw off (aliased, wide or translucent pens, where crossing a pixel
    // twice looks like crossing it once) each run keeps its first, lowest, highest
    // and last point. With overdraw on (a one-pixel antialiased opaque pen) each
    // run keeps its first and last point, and the rows its stroke crosses more
    // often than that are listed in overdrawn by the number of extra crossings.
    void decimate(const std::vector<QPoint> &device, bool overdraw, const QRect &canvas);

    QPolygonF polyline; // the stroke, in device coordinates
    // overdrawn[e]: two-pixel-wide column spans the full stroke crosses e more
    // times than the reduced one (e is even); overdrawn[SolidCrossings]: spans it
    // paints solid.
    std::array<QVector<QRect>, SolidCrossings + 1> overdrawn;
    // Opacity (0..255) of the pen colour that e extra crossings blend in.
    static int overdrawAlpha(int extraCrossings);

private:
    void flushRun();
    void emitSimple();
    bool emitCrossings();
    void addSpan(int level, int top, int height);

    bool overdraw = false;
    QRect area;
    int column = 0;
    std::vector<int> rows;      // rows of the current run, consecutive repeats dropped
    std::vector<int> crossings; // scratch, kept from one paint to the next
};

// A bitmap over a rectangle of device pixels with a border around it, for
// whole-row bit operations with small offsets.
class PixelBits
{
public:
    // Border wide enough for any offset up to Reach in both directions.
    static constexpr int Reach = 60;

    // Covers area; pixels inside start clear, the border starts as border.
    void reset(const QRect &area, bool border);
    // x and y lie within the grid, so the bit index is never negative.
    bool test(int x, int y) const
    {
        const unsigned b = unsigned(x - grid.left());
        return (row(y)[b / 64] >> (b % 64)) & 1;
    }
    void set(int x, int y)
    {
        const unsigned b = unsigned(x - grid.left());
        row(y)[b / 64] |= std::uint64_t(1) << (b % 64);
    }
    // The 64 pixels from (x, y) rightwards, pixel x in bit 0.
    std::uint64_t bits(int x, int y) const
    {
        const unsigned b = unsigned(x - grid.left());
        const std::uint64_t *r = row(y);
        const unsigned w = b / 64, shift = b % 64;
        // Two shifts for the next word, so that a shift of 0 needs no branch.
        return (r[w] >> shift) | ((r[w + 1] << 1) << (63 - shift));
    }
    std::uint64_t &word(int wordIndex, int y) { return row(y)[wordIndex]; }
    // Device x of bit 0 of a word, and the words that cover the area.
    int wordX(int wordIndex) const { return grid.left() + 64 * wordIndex; }
    int firstWord() const { return (area.left() - grid.left()) / 64; }
    int lastWord() const { return (area.right() - grid.left()) / 64; }
    // Bits of a word that lie outside the area (left or right of it).
    std::uint64_t outsideMask(int wordIndex) const;
    // The set pixels' bounding box, for a bitmap reset without border.
    QRect boundingRect() const;

private:
    std::uint64_t *row(int y) { return &data[size_t(y - grid.top()) * size_t(wordsPerRow)]; }
    const std::uint64_t *row(int y) const
    {
        return &data[size_t(y - grid.top()) * size_t(wordsPerRow)];
    }

    QRect area;
    QRect grid;
    int wordsPerRow = 0;
    std::vector<std::uint64_t> data;
};

// Symbols. The curve paints a symbol as one small picture per sample, at the
// sample's pixel, and within each chunk of ChunkSize samples skips pixels that
// already got one. Pictures of one colour blend the same in any order. Where
// pictures overlap so much that a pixel is sure to end in the symbol colour
// (one picture covers it opaquely, or two almost so), that pixel is solid; a
// picture that touches solid pixels only changes nothing and is left out. The
// solid pixels are painted as spans; every picture that touches any other pixel
// is kept, as often as the curve would paint it, so those pixels blend exactly
// as before.
class SymbolDecimator
{
public:
    static constexpr int ChunkSize = 500; // as QwtPlotCurve::drawSymbols
    // Opacity from which two overlapping pictures leave less than half a colour
    // step of what lies beneath: (1 - 248/255)^2 < 1/510.
    static constexpr int NearlyOpaque = 248;

    // The symbol's picture (premultiplied alpha) and where its top left lies
    // relative to the sample's pixel. An empty image (symbols of more than one
    // colour), or one reaching further than PixelBits::Reach, turns solid spans
    // off: then every picture the curve would paint is kept.
    void setStamp(const QImage &picture, const QPoint &offset);

    // For the device points inside area: appends the points of the pictures to
    // paint, in painting order, and the spans to paint solid.
    void decimate(const std::vector<QPoint> &device, const QRect &area, QPolygonF &points,
                  QVector<QRect> &solid);

private:
    // Marks solid and hidden pixels, appends the solid spans; returns how many
    // pixels with points are hidden.
    int findSolid(QVector<QRect> &solid);
    bool seenInChunk(const QPoint &p, unsigned chunk);

    std::vector<QPoint> opaqueAt;  // stamp offsets painted opaquely
    std::vector<QPoint> nearlyAt;  // stamp offsets painted at least NearlyOpaque
    std::vector<QPoint> touchedAt; // stamp offsets painted at all

    QRect area;
    QRect reached;       // bounding box of the points inside the area
    PixelBits centres;   // pixels with at least one point
    PixelBits solidBits; // pixels sure to end in the symbol colour (border: set)
    PixelBits hidden;    // pixels whose picture touches solid pixels only
    // Scratch for findSolid, kept from one paint to the next.
    std::vector<int> occupied;
    std::vector<int> previousRuns;
    std::vector<int> currentRuns;

    // Pixels seen in the current chunk: open addressing, tagged by chunk.
    struct Slot
    {
        std::uint64_t key = 0;
        unsigned chunk = 0;
    };
    std::vector<Slot> seen = std::vector<Slot>(2048); // a power of two over 4 * ChunkSize
    unsigned chunkTag = 0;
};
