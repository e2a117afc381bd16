#include "plot/decimatingcurve.h"

#include <qwt_clipper.h>
#include <qwt_painter.h>
#include <qwt_symbol.h>

#include <QImage>
#include <QPainter>

DecimatingCurve::DecimatingCurve(const QString &title) : QwtPlotCurve(title) {}

bool DecimatingCurve::worthDecimating(QPainter *painter, const QRectF &canvasRect, int from,
                                      int to) const
{
    // Decimation relies on the points being rounded to whole pixels; a curve
    // fitter would also need every point.
    if (!decimation || !data() || !QwtPainter::roundingAlignment(painter) ||
        testCurveAttribute(Fitted))
        return false;
    return to - from + 1 > 2 * qMax(1, int(canvasRect.width()));
}

bool DecimatingCurve::decimatesSymbols(QPainter *painter, const QRectF &canvasRect, int from,
                                       int to) const
{
    return symbol() && symbol()->style() != QwtSymbol::NoSymbol &&
           worthDecimating(painter, canvasRect, from, to);
}

void DecimatingCurve::drawSeries(QPainter *painter, const QwtScaleMap &xMap,
                                 const QwtScaleMap &yMap, const QRectF &canvasRect, int from,
                                 int to) const
{
    deviceValid = false;
    symbolsReady = false;
    spansPainted = false;
    QwtPlotCurve::drawSeries(painter, xMap, yMap, canvasRect, from, to);
    deviceValid = false;
    symbolsReady = false;
}

const std::vector<QPoint> &DecimatingCurve::devicePoints(const QwtScaleMap &xMap,
                                                         const QwtScaleMap &yMap, int from,
                                                         int to) const
{
    // Lines and symbols of one paint share the maps and the range.
    if (!deviceValid || deviceFrom != from || deviceTo != to) {
        mapToDevice(*data(), xMap, yMap, from, to, device);
        deviceFrom = from;
        deviceTo = to;
        deviceValid = true;
    }
    return device;
}

// The steps of QwtPlotCurve::drawLines, on the reduced polyline.
void DecimatingCurve::drawLines(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                                const QRectF &canvasRect, int from, int to) const
{
    if (!worthDecimating(painter, canvasRect, from, to)) {
        QwtPlotCurve::drawLines(painter, xMap, yMap, canvasRect, from, to);
        return;
    }
    const QPen pen = painter->pen();
    // A one-pixel antialiased pen darkens where strokes overlap, until solid.
    const bool overdraw = painter->testRenderHint(QPainter::Antialiasing) && pen.isCosmetic() &&
                          pen.widthF() <= 1.0 && pen.style() == Qt::SolidLine &&
                          pen.color().alpha() == 255;
    lines.decimate(devicePoints(xMap, yMap, from, to), overdraw, canvasRect.toAlignedRect());
    if (decimatesSymbols(painter, canvasRect, from, to))
        decimateSymbols(painter, *symbol(), xMap, yMap, canvasRect, from, to);

    const bool doFill = brush().style() != Qt::NoBrush && brush().color().alpha() > 0;
    if (doFill) {
        QPolygonF area = lines.polyline; // the strokes inside a column enclose no area
        fillCurve(painter, xMap, yMap, canvasRect, area);
        if (pen.style() == Qt::NoPen)
            return;
    }
    // Qwt cuts long polylines into pieces of a few points, a workaround for old
    // Qt raster engines, and each cut adds stroke caps at arbitrary points. The
    // reduced polyline is drawn whole; the setting is Qwt's, for the whole
    // program, so it is off only for this one call.
    const bool splitting = QwtPainter::polylineSplitting();
    QwtPainter::setPolylineSplitting(false);
    if (testPaintAttribute(ClipPolygons)) {
        const qreal pw = qMax(qreal(1.0), pen.widthF());
        QwtPainter::drawPolyline(
            painter,
            QwtClipper::clipPolygonF(canvasRect.adjusted(-pw, -pw, pw, pw), lines.polyline, false));
    } else {
        QwtPainter::drawPolyline(painter, lines.polyline);
    }
    QwtPainter::setPolylineSplitting(splitting);

    // The symbols' solid spans would be painted over the overdraw next; one
    // picture of both paints the same, as painting over is associative.
    paintTiles(painter, pen.color(), canvasRect.toAlignedRect());
    spansPainted = symbolsReady;
}

// What the full stroke adds by crossing the same rows again and again: blended
// spans of the pen colour, and then the symbols' solid spans. Thousands of small
// spans cost more to paint one by one than to compose into pictures, blended
// once: blends of one colour combine, whatever their order, into one of alpha
// 1 - (1 - a1)(1 - a2)..., and as a span's alpha is 1 - (1/2)^e for e extra
// crossings, the extra crossings of the spans over a pixel simply add up.
void DecimatingCurve::paintTiles(QPainter *painter, const QColor &lineColour,
                                 const QRect &canvas) const
{
    if (canvas.isEmpty())
        return;
    const QVector<QRect> noSpans;
    const QVector<QRect> &solid = symbolsReady ? symbolSpans : noSpans;
    const int tiles = (canvas.width() + OverdrawTile - 1) / OverdrawTile;
    // f(tile, left, right, top, bottom) for each tile's part of the span.
    const auto eachTile = [&](const QRect &span, const auto &f) {
        const int left = std::max(span.left(), canvas.left());
        const int right = std::min(span.right(), canvas.right());
        const int top = std::max(span.top(), canvas.top());
        const int bottom = std::min(span.bottom(), canvas.bottom());
        if (left > right || top > bottom)
            return;
        const int last = (right - canvas.left()) / OverdrawTile;
        for (int t = (left - canvas.left()) / OverdrawTile; t <= last; ++t) {
            const int tileLeft = canvas.left() + t * OverdrawTile;
            f(t, std::max(left, tileLeft), std::min(right, tileLeft + OverdrawTile - 1), top,
              bottom);
        }
    };
    tileRows.assign(size_t(tiles), QRect());
    const auto grow = [&](int t, int left, int right, int top, int bottom) {
        QRect &box = tileRows[size_t(t)];
        if (box.isNull()) {
            box.setCoords(left, top, right, bottom);
        } else {
            box.setCoords(std::min(box.left(), left), std::min(box.top(), top),
                          std::max(box.right(), right), std::max(box.bottom(), bottom));
        }
    };
    for (int level = 1; level <= LineDecimator::SolidCrossings; ++level)
        for (const QRect &span : lines.overdrawn[size_t(level)])
            eachTile(span, grow);
    for (const QRect &span : solid)
        eachTile(span, grow);

    // One buffer for all tiles, each tile's pixels row by row.
    tileOffsets.assign(size_t(tiles) + 1, 0);
    for (int t = 0; t < tiles; ++t) {
        const QRect &box = tileRows[size_t(t)];
        tileOffsets[size_t(t) + 1] =
            tileOffsets[size_t(t)] +
            (box.isNull() ? 0 : size_t(box.width()) * size_t(box.height()));
    }
    if (tileOffsets.back() == 0)
        return;
    const auto at = [&](int t, int x, int y) {
        const QRect &box = tileRows[size_t(t)];
        return tileOffsets[size_t(t)] + size_t(y - box.top()) * size_t(box.width()) +
               size_t(x - box.left());
    };
    overdrawLevels.assign(tileOffsets.back(), 0);
    for (int level = 1; level <= LineDecimator::SolidCrossings; ++level) {
        for (const QRect &span : lines.overdrawn[size_t(level)]) {
            eachTile(span, [&](int t, int left, int right, int top, int bottom) {
                const size_t width = size_t(tileRows[size_t(t)].width());
                std::uint8_t *row = &overdrawLevels[at(t, left, top)];
                for (int y = top; y <= bottom; ++y, row += width)
                    for (int x = 0; x <= right - left; ++x)
                        row[x] =
                            std::uint8_t(std::min(LineDecimator::SolidCrossings, row[x] + level));
            });
        }
    }
    QRgb premultiplied[LineDecimator::SolidCrossings + 1];
    for (int level = 0; level <= LineDecimator::SolidCrossings; ++level)
        premultiplied[level] =
            qPremultiply(qRgba(lineColour.red(), lineColour.green(), lineColour.blue(),
                               LineDecimator::overdrawAlpha(level)));
    premultiplied[0] = 0;
    tilePixels.resize(overdrawLevels.size());
    for (size_t i = 0; i < overdrawLevels.size(); ++i)
        tilePixels[i] = premultiplied[overdrawLevels[i]];
    for (const QRect &span : solid) {
        eachTile(span, [&](int t, int left, int right, int top, int bottom) {
            const size_t width = size_t(tileRows[size_t(t)].width());
            QRgb *row = &tilePixels[at(t, left, top)];
            for (int y = top; y <= bottom; ++y, row += width)
                std::fill(row, row + (right - left + 1), spanColour);
        });
    }
    for (int t = 0; t < tiles; ++t) {
        const QRect &box = tileRows[size_t(t)];
        if (box.isNull())
            continue;
        const QImage picture(
            reinterpret_cast<const uchar *>(tilePixels.data() + tileOffsets[size_t(t)]),
            box.width(), box.height(), box.width() * 4, QImage::Format_ARGB32_Premultiplied);
        painter->drawImage(box.topLeft(), picture);
    }
}

void DecimatingCurve::decimateSymbols(QPainter *painter, const QwtSymbol &symbol,
                                      const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                                      const QRectF &canvasRect, int from, int to) const
{
    // Solid spans stand in for pictures only if the symbol is one opaque
    // colour; take its picture as this painter paints it.
    const QColor fill = symbol.brush().color();
    const QColor outline = symbol.pen().color();
    const bool hasFill = symbol.brush().style() != Qt::NoBrush;
    const bool hasOutline = symbol.pen().style() != Qt::NoPen;
    const bool oneColour = (hasFill || hasOutline) && (!hasFill || fill.alpha() == 255) &&
                           (!hasOutline || outline.alpha() == 255) &&
                           (!hasFill || !hasOutline || fill.rgb() == outline.rgb());
    if (oneColour) {
        const QRect box = symbol.boundingRect();
        QImage picture(box.size(), QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        QPainter p(&picture);
        p.setRenderHints(painter->renderHints());
        symbol.drawSymbol(&p, QPointF(-box.left(), -box.top()));
        p.end();
        symbols.setStamp(picture, box.topLeft());
        spanColour = (hasFill ? fill : outline).rgb(); // opaque
    } else {
        symbols.setStamp(QImage(), QPoint());
    }

    // The same area the curve itself keeps symbols in.
    QRectF clip = canvasRect;
    if (painter->hasClipping())
        clip &= painter->clipBoundingRect();
    symbolPoints.clear();
    symbolSpans.clear();
    symbols.decimate(devicePoints(xMap, yMap, from, to), clip.toAlignedRect(), symbolPoints,
                     symbolSpans);
    symbolsReady = true;
}

void DecimatingCurve::drawSymbols(QPainter *painter, const QwtSymbol &symbol,
                                  const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                                  const QRectF &canvasRect, int from, int to) const
{
    if (!worthDecimating(painter, canvasRect, from, to)) {
        QwtPlotCurve::drawSymbols(painter, symbol, xMap, yMap, canvasRect, from, to);
        return;
    }
    if (!symbolsReady)
        decimateSymbols(painter, symbol, xMap, yMap, canvasRect, from, to);
    if (!spansPainted && !symbolSpans.isEmpty()) {
        painter->save();
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(spanColour));
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->drawRects(symbolSpans);
        painter->restore();
    }
    if (!symbolPoints.isEmpty())
        symbol.drawSymbols(painter, symbolPoints);
}
