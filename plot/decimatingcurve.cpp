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

void DecimatingCurve::drawSeries(QPainter *painter, const QwtScaleMap &xMap,
                                 const QwtScaleMap &yMap, const QRectF &canvasRect, int from,
                                 int to) const
{
    deviceValid = false;
    QwtPlotCurve::drawSeries(painter, xMap, yMap, canvasRect, from, to);
    deviceValid = false;
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

    paintOverdraw(painter, pen.color(), canvasRect.toAlignedRect());
}

// What the full stroke adds by crossing the same rows again and again: blended
// spans of the pen colour. Thousands of small spans cost more to paint one by
// one than to compose into pictures, blended once: blends of one colour
// combine, whatever their order, into one of alpha 1 - (1 - a1)(1 - a2)...
// The pictures are tiles of OverdrawTile columns, each only as tall as its
// spans reach, so a band drifting across the canvas stays a narrow band.
void DecimatingCurve::paintOverdraw(QPainter *painter, const QColor &colour,
                                    const QRect &canvas) const
{
    if (canvas.isEmpty())
        return;
    const int tiles = (canvas.width() + OverdrawTile - 1) / OverdrawTile;
    tileRows.assign(size_t(tiles), QRect());
    const auto eachTile = [&](const QRect &span, const auto &f) {
        const QRect r = span & canvas;
        if (r.isEmpty())
            return;
        const int first = (r.left() - canvas.left()) / OverdrawTile;
        const int last = (r.right() - canvas.left()) / OverdrawTile;
        for (int t = first; t <= last; ++t) {
            const QRect tile(canvas.left() + t * OverdrawTile, canvas.top(), OverdrawTile,
                             canvas.height());
            f(t, r & tile);
        }
    };
    for (const auto &spans : lines.overdrawn)
        for (const QRect &span : spans)
            eachTile(span, [&](int t, const QRect &part) { tileRows[size_t(t)] |= part; });

    // One buffer for all tiles, each tile's cover row by row.
    tileOffsets.assign(size_t(tiles) + 1, 0);
    for (int t = 0; t < tiles; ++t)
        tileOffsets[size_t(t) + 1] =
            tileOffsets[size_t(t)] +
            size_t(tileRows[size_t(t)].width()) * size_t(std::max(0, tileRows[size_t(t)].height()));
    if (tileOffsets.back() == 0)
        return;
    overdrawCover.assign(tileOffsets.back(), 0);
    for (int level = 1; level <= LineDecimator::SolidCrossings; ++level) {
        const int through = 255 - LineDecimator::overdrawAlpha(level);
        for (const QRect &span : lines.overdrawn[size_t(level)]) {
            eachTile(span, [&](int t, const QRect &part) {
                const QRect &box = tileRows[size_t(t)];
                for (int y = part.top(); y <= part.bottom(); ++y) {
                    std::uint8_t *row = &overdrawCover[tileOffsets[size_t(t)] +
                                                       size_t(y - box.top()) * size_t(box.width()) +
                                                       size_t(part.left() - box.left())];
                    for (int x = 0; x < part.width(); ++x)
                        row[x] = std::uint8_t(255 - ((255 - row[x]) * through + 127) / 255);
                }
            });
        }
    }
    QRgb premultiplied[256];
    for (int a = 0; a < 256; ++a)
        premultiplied[a] = qPremultiply(qRgba(colour.red(), colour.green(), colour.blue(), a));
    overdrawPixels.resize(overdrawCover.size());
    for (size_t i = 0; i < overdrawCover.size(); ++i)
        overdrawPixels[i] = premultiplied[overdrawCover[i]];
    for (int t = 0; t < tiles; ++t) {
        const QRect &box = tileRows[size_t(t)];
        if (box.isEmpty())
            continue;
        const QImage picture(
            reinterpret_cast<const uchar *>(overdrawPixels.data() + tileOffsets[size_t(t)]),
            box.width(), box.height(), box.width() * 4, QImage::Format_ARGB32_Premultiplied);
        painter->drawImage(box.topLeft(), picture);
    }
}

void DecimatingCurve::drawSymbols(QPainter *painter, const QwtSymbol &symbol,
                                  const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                                  const QRectF &canvasRect, int from, int to) const
{
    if (!worthDecimating(painter, canvasRect, from, to)) {
        QwtPlotCurve::drawSymbols(painter, symbol, xMap, yMap, canvasRect, from, to);
        return;
    }
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
    if (!symbolSpans.isEmpty()) {
        painter->save();
        painter->setPen(Qt::NoPen);
        painter->setBrush(hasFill ? fill : outline);
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->drawRects(symbolSpans);
        painter->restore();
    }
    if (!symbolPoints.isEmpty())
        symbol.drawSymbols(painter, symbolPoints);
}
