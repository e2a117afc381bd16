#include "plot/decimation.h"

#include <QtAlgorithms>

#include <algorithm>
#include <cmath>

namespace {

// Rows and columns this far outside the canvas are still counted exactly.
constexpr int margin = 2;

// Rounds half up, as the curve does, and holds the result within FarAway (NaN
// goes to -FarAway; the caller sorts that out). Branch-free, as this runs for
// every sample: std::floor would be a library call on plain x86-64.
inline int toDevice(double v)
{
    double c = v + 0.5;
    c = c > -FarAway ? c : -FarAway;
    c = c < FarAway ? c : FarAway;
    const int truncated = int(c);
    return truncated - (truncated > c);
}

// The arithmetic of a linear scale map, written out: the same operations in
// the same order, so the same pixels.
struct Linear
{
    explicit Linear(const QwtScaleMap &map)
        : p1(map.p1()), s1(map.s1()),
          factor(map.s1() != map.s2() ? (map.p2() - map.p1()) / (map.s2() - map.s1()) : 1.0)
    {}
    double operator()(double v) const { return p1 + (v - s1) * factor; }
    double p1, s1, factor;
};

inline QPoint place(double x, double y, int xDevice, int yDevice)
{
    return !std::isfinite(x) || !std::isfinite(y) ? Unplaced : QPoint(xDevice, yDevice);
}

} // namespace

void mapToDevice(const QwtSeriesData<QPointF> &series, const QwtScaleMap &xMap,
                 const QwtScaleMap &yMap, int from, int to, std::vector<QPoint> &device)
{
    const int n = std::max(0, to - from + 1);
    device.resize(size_t(n));
    QPoint *out = device.data();
    const auto *arrays = dynamic_cast<const ArraySeries *>(&series);
    if (arrays && !xMap.transformation() && !yMap.transformation()) {
        const double *xs = arrays->xData() + from;
        const double *ys = arrays->yData() + from;
        const Linear x(xMap), y(yMap);
        // A plain loop without branches over two arrays, which the compiler
        // vectorises: this runs for every sample on every redraw.
        const int unplacedX = Unplaced.x(), unplacedY = Unplaced.y();
        for (int i = 0; i < n; ++i) {
            const double xv = xs[i], yv = ys[i];
            const int px = toDevice(x(xv));
            const int py = toDevice(y(yv));
            const bool placed = xv == xv && yv == yv; // neither is NaN
            out[i].rx() = placed ? px : unplacedX;
            out[i].ry() = placed ? py : unplacedY;
        }
        return;
    }
    for (int i = 0; i < n; ++i) {
        const QPointF p = series.sample(size_t(from + i));
        out[i] =
            place(p.x(), p.y(), toDevice(xMap.transform(p.x())), toDevice(yMap.transform(p.y())));
    }
}

void LineDecimator::decimate(const std::vector<QPoint> &device, bool overdrawOn,
                             const QRect &canvas)
{
    area = canvas;
    overdraw = overdrawOn;
    polyline.clear();
    for (auto &spans : overdrawn)
        spans.clear();
    rows.clear();
    for (const QPoint &p : device) {
        if (p == Unplaced)
            continue; // the curve cannot place such a point either
        if (rows.empty() || p.x() != column) {
            if (!rows.empty())
                flushRun();
            rows.clear();
            column = p.x();
        } else if (p.y() == rows.back()) {
            continue;
        }
        rows.push_back(p.y());
    }
    if (!rows.empty())
        flushRun();
}

int LineDecimator::overdrawAlpha(int extraCrossings)
{
    if (extraCrossings >= SolidCrossings)
        return 255;
    return int(std::lround(255.0 * (1.0 - std::pow(0.5, extraCrossings))));
}

void LineDecimator::flushRun()
{
    if (rows.size() <= 3) {
        for (int r : rows)
            polyline << QPointF(column, r);
        return;
    }
    if (!overdraw || !emitCrossings())
        emitSimple();
}

void LineDecimator::emitSimple()
{
    size_t low = 0, high = 0;
    for (size_t k = 1; k < rows.size(); ++k) {
        if (rows[k] < rows[low])
            low = k;
        if (rows[k] > rows[high])
            high = k;
    }
    const size_t picks[4] = {0, std::min(low, high), std::max(low, high), rows.size() - 1};
    for (int k = 0; k < 4; ++k) {
        if (k > 0 && picks[k] == picks[k - 1])
            continue;
        polyline << QPointF(column, rows[picks[k]]);
    }
}

void LineDecimator::addSpan(int level, int top, int height)
{
    const QRect cells(column - 1, top, 2, height);
    QVector<QRect> &spans = overdrawn[size_t(level)];
    if (!spans.isEmpty() && spans.back().left() == cells.left() &&
        spans.back().bottom() + 1 == cells.top())
        spans.back().setBottom(cells.bottom());
    else
        spans.append(cells);
}

// The run becomes one stroke from its first to its last point; the rows the run
// crosses more often than that stroke does are listed by the number of extra
// crossings, to be painted as blended spans.
bool LineDecimator::emitCrossings()
{
    // Columns off the canvas show nothing of their strokes.
    if (column < area.left() - margin || column > area.right() + margin)
        return false;
    // Rows beyond the canvas are folded onto a row just outside it: the strokes
    // cross the canvas rows just as often.
    const int top = area.top() - margin;
    const int bottom = area.bottom() + margin;
    int low = rows.front();
    int high = low;
    for (int r : rows) {
        low = std::min(low, r);
        high = std::max(high, r);
    }
    const bool fold = low < top || high > bottom;
    const auto rowOf = [top, bottom, fold](int r) { return fold ? qBound(top, r, bottom) : r; };
    low = rowOf(low);
    high = rowOf(high);
    const int span = high - low + 1;

    // crossings[i]: how often the run passes from row low + i to the next one,
    // counted as a difference array and summed up below.
    crossings.assign(size_t(span), 0);
    const int start = rowOf(rows.front()) - low;
    int previous = start;
    for (size_t k = 1; k < rows.size(); ++k) {
        const int current = rowOf(rows[k]) - low;
        if (current == previous)
            continue;
        ++crossings[size_t(std::min(previous, current))];
        --crossings[size_t(std::max(previous, current))];
        previous = current;
    }
    const int directFrom = std::min(start, previous);
    const int directTo = std::max(start, previous);
    int running = 0;
    int spanLevel = 0;
    int spanStart = 0;
    for (int i = 0; i < span; ++i) {
        int level = 0;
        if (i < span - 1) {
            running += crossings[size_t(i)];
            const int direct = i >= directFrom && i < directTo ? 1 : 0;
            level = running >= SolidCrossings ? SolidCrossings : running - direct;
        }
        if (level != spanLevel) {
            if (spanLevel > 0)
                addSpan(spanLevel, low + spanStart, i - spanStart);
            spanLevel = level;
            spanStart = i;
        }
    }
    polyline << QPointF(column, rows.front());
    if (rows.back() != rows.front())
        polyline << QPointF(column, rows.back());
    return true;
}

void PixelBits::reset(const QRect &r, bool border)
{
    area = r;
    grid = r.adjusted(-2 * 64, -Reach - 1, 2 * 64, Reach + 1);
    wordsPerRow = (grid.width() + 63) / 64;
    data.assign(size_t(wordsPerRow) * size_t(grid.height()), border ? ~std::uint64_t(0) : 0);
    if (!border)
        return;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int w = firstWord(); w <= lastWord(); ++w)
            word(w, y) = outsideMask(w);
}

QRect PixelBits::boundingRect() const
{
    int top = area.bottom() + 1, bottom = area.top() - 1;
    std::vector<std::uint64_t> columns(size_t(lastWord() + 1), 0);
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const std::uint64_t *r = row(y);
        std::uint64_t any = 0;
        for (int w = firstWord(); w <= lastWord(); ++w) {
            columns[size_t(w)] |= r[w];
            any |= r[w];
        }
        if (any) {
            top = std::min(top, y);
            bottom = y;
        }
    }
    if (top > bottom)
        return QRect();
    int w0 = firstWord();
    while (!columns[size_t(w0)])
        ++w0;
    int w1 = lastWord();
    while (!columns[size_t(w1)])
        --w1;
    const int left = wordX(w0) + int(qCountTrailingZeroBits(quint64(columns[size_t(w0)])));
    const int right = wordX(w1) + 63 - int(qCountLeadingZeroBits(quint64(columns[size_t(w1)])));
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

std::uint64_t PixelBits::outsideMask(int wordIndex) const
{
    std::uint64_t inside = ~std::uint64_t(0);
    const int x0 = wordX(wordIndex);
    if (area.left() > x0)
        inside &= area.left() - x0 >= 64 ? 0 : ~std::uint64_t(0) << (area.left() - x0);
    if (area.right() < x0 + 63)
        inside &= area.right() < x0 ? 0 : ~std::uint64_t(0) >> (63 - (area.right() - x0));
    return ~inside;
}

void SymbolDecimator::setStamp(const QImage &picture, const QPoint &offset)
{
    opaqueAt.clear();
    nearlyAt.clear();
    touchedAt.clear();
    if (picture.isNull())
        return;
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            const int alpha = qAlpha(line[x]);
            const QPoint at(x + offset.x(), y + offset.y());
            if (alpha == 0)
                continue;
            if (qAbs(at.x()) > PixelBits::Reach || qAbs(at.y()) > PixelBits::Reach) {
                setStamp(QImage(), QPoint());
                return;
            }
            touchedAt.push_back(at);
            if (alpha >= NearlyOpaque)
                nearlyAt.push_back(at);
            if (alpha == 255)
                opaqueAt.push_back(at);
        }
    }
}

void SymbolDecimator::decimate(const std::vector<QPoint> &device, const QRect &canvas,
                               QPolygonF &points, QVector<QRect> &solid)
{
    area = canvas;
    if (!area.isValid() || device.empty())
        return;
    // One unsigned comparison per axis (device points lie within +-2 * FarAway).
    const unsigned width = unsigned(area.width()), height = unsigned(area.height());
    const auto inside = [&](const QPoint &p) {
        return unsigned(p.x() - area.left()) < width && unsigned(p.y() - area.top()) < height;
    };
    bool spans = !touchedAt.empty() && !(opaqueAt.empty() && nearlyAt.empty());
    if (spans) {
        centres.reset(area, false);
        for (const QPoint &p : device)
            if (inside(p))
                centres.set(p.x(), p.y());
        reached = centres.boundingRect();
        const int before = solid.size();
        // Spans pay only where they stand in for more pictures than they are
        // (scattered points hide few pictures but leave a span under each).
        if (findSolid(solid) <= solid.size() - before) {
            solid.resize(before);
            spans = false;
        }
    }

    // The pictures the curve would paint (per chunk, the first at each pixel
    // inside the area), less the hidden ones.
    const int count = int(device.size());
    for (int chunkStart = 0; chunkStart < count; chunkStart += ChunkSize) {
        if (++chunkTag == 0) {
            // The tags went round: forget old ones rather than mistake them.
            std::fill(seen.begin(), seen.end(), Slot());
            chunkTag = 1;
        }
        const int chunkEnd = std::min(count, chunkStart + ChunkSize);
        for (int i = chunkStart; i < chunkEnd; ++i) {
            const QPoint &p = device[size_t(i)];
            if (!inside(p))
                continue;
            if (spans && hidden.test(p.x(), p.y()))
                continue;
            if (!seenInChunk(p, chunkTag))
                points << QPointF(p);
        }
    }
}

// solid = covered opaquely once or nearly opaquely twice; hidden = every pixel
// the picture touches is solid (pixels off the area count as solid: they are
// never painted).
int SymbolDecimator::findSolid(QVector<QRect> &solid)
{
    solidBits.reset(area, true);
    hidden.reset(area, false);
    if (!reached.isValid())
        return 0;
    // Only where pictures reach can anything be solid.
    const QRect rows =
        reached.adjusted(-PixelBits::Reach, -PixelBits::Reach, PixelBits::Reach, PixelBits::Reach) &
        area;
    const int w0 = std::max(solidBits.firstWord(), (rows.left() - solidBits.wordX(0)) / 64);
    const int w1 = std::min(solidBits.lastWord(), (rows.right() - solidBits.wordX(0)) / 64);
    const int words = w1 - w0 + 1;

    // Rows of each word column with a point in it or in a word beside it,
    // counted up from the top: a solid pixel needs a point within reach.
    int reachY = 0;
    for (const QPoint &o : nearlyAt)
        reachY = std::max(reachY, std::abs(o.y()));
    occupied.assign(size_t(rows.height() + 1) * size_t(words), 0);
    for (int y = rows.top(); y <= rows.bottom(); ++y) {
        const size_t here = size_t(y - rows.top() + 1) * size_t(words);
        for (int w = w0; w <= w1; ++w) {
            const bool any = centres.word(w - 1, y) | centres.word(w, y) | centres.word(w + 1, y);
            occupied[here + size_t(w - w0)] = occupied[here - size_t(words) + size_t(w - w0)] + any;
        }
    }
    const auto pointsNear = [&](int w, int y) {
        const int top = std::max(rows.top(), y - reachY) - rows.top();
        const int bottom = std::min(rows.bottom(), y + reachY) - rows.top() + 1;
        return occupied[size_t(bottom) * size_t(words) + size_t(w - w0)] !=
               occupied[size_t(top) * size_t(words) + size_t(w - w0)];
    };

    for (int y = rows.top(); y <= rows.bottom(); ++y) {
        for (int w = w0; w <= w1; ++w) {
            if (!pointsNear(w, y))
                continue; // stays clear
            const int x = solidBits.wordX(w);
            std::uint64_t once = 0, two = 0, opaque = 0;
            for (const QPoint &o : nearlyAt) {
                const std::uint64_t c = centres.bits(x - o.x(), y - o.y());
                two |= once & c;
                once |= c;
            }
            for (const QPoint &o : opaqueAt)
                opaque |= centres.bits(x - o.x(), y - o.y());
            solidBits.word(w, y) = opaque | two | solidBits.outsideMask(w);
        }
    }
    // Hidden matters only where there are points.
    int hiddenPixels = 0;
    for (int y = rows.top(); y <= rows.bottom(); ++y) {
        for (int w = w0; w <= w1; ++w) {
            std::uint64_t all = centres.word(w, y);
            if (!all)
                continue;
            const int x = hidden.wordX(w);
            for (const QPoint &o : touchedAt) {
                all &= solidBits.bits(x + o.x(), y + o.y());
                if (!all)
                    break;
            }
            hidden.word(w, y) = all;
            hiddenPixels += int(qPopulationCount(quint64(all)));
        }
    }
    // Runs of solid pixels inside the area, a word at a time; a run with the
    // same ends as one in the row above makes that span taller.
    previousRuns.clear();
    for (int y = rows.top(); y <= rows.bottom(); ++y) {
        currentRuns.clear();
        size_t above = 0;
        const auto addRun = [&](int left, int right) {
            while (above < previousRuns.size() && solid[previousRuns[above]].left() < left)
                ++above;
            if (above < previousRuns.size() && solid[previousRuns[above]].left() == left &&
                solid[previousRuns[above]].right() == right) {
                solid[previousRuns[above]].setBottom(y);
                currentRuns.push_back(previousRuns[above]);
            } else {
                currentRuns.push_back(solid.size());
                solid.append(QRect(QPoint(left, y), QPoint(right, y)));
            }
        };
        int runStart = -1;
        for (int w = w0; w <= w1; ++w) {
            const std::uint64_t on = solidBits.word(w, y) & ~solidBits.outsideMask(w);
            if (runStart < 0 && !on)
                continue;
            const int x0 = solidBits.wordX(w);
            int pos = 0;
            while (pos < 64) {
                // Looking for the next set bit outside a run, the next clear one inside.
                const std::uint64_t rest = (runStart < 0 ? on : ~on) >> pos;
                if (!rest)
                    break;
                pos += int(qCountTrailingZeroBits(quint64(rest)));
                if (runStart < 0) {
                    runStart = x0 + pos;
                } else {
                    addRun(runStart, x0 + pos - 1);
                    runStart = -1;
                }
            }
        }
        if (runStart >= 0)
            addRun(runStart, area.right());
        std::swap(previousRuns, currentRuns);
    }
    return hiddenPixels;
}

bool SymbolDecimator::seenInChunk(const QPoint &p, unsigned chunk)
{
    const std::uint64_t key =
        (std::uint64_t(std::uint32_t(p.x())) << 32 | std::uint32_t(p.y())) + 1; // never 0
    const std::uint64_t h = key * 0x9E3779B97F4A7C15ull;
    const size_t mask = seen.size() - 1;
    for (size_t i = size_t(h >> 40) & mask;; i = (i + 1) & mask) {
        Slot &slot = seen[i];
        if (slot.chunk != chunk) {
            slot.key = key;
            slot.chunk = chunk;
            return false;
        }
        if (slot.key == key)
            return true;
    }
}
