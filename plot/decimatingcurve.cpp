#include "plot/decimatingcurve.h"

#include <qwt_clipper.h>
#include <qwt_painter.h>
#include <qwt_symbol.h>

#include <QPainter>

DecimatingCurve::DecimatingCurve(const QString &title) : QwtPlotCurve(title)
{
    // Qwt cuts long polylines into pieces of a few points, a workaround for old
    // Qt raster engines. Each cut adds stroke caps at arbitrary points of a
    // curve; without the cuts a curve looks the same however it is decimated.
    QwtPainter::setPolylineSplitting(false);
}

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
    if (testPaintAttribute(ClipPolygons)) {
        const qreal pw = qMax(qreal(1.0), pen.widthF());
        QwtPainter::drawPolyline(
            painter,
            QwtClipper::clipPolygonF(canvasRect.adjusted(-pw, -pw, pw, pw), lines.polyline, false));
    } else {
        QwtPainter::drawPolyline(painter, lines.polyline);
    }

    // What the full stroke adds by crossing the same rows again and again.
    bool any = false;
    for (const auto &spans : lines.overdrawn)
        any = any || !spans.isEmpty();
    if (!any)
        return;
    painter->save();
    painter->setPen(Qt::NoPen);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setClipRect(canvasRect, Qt::IntersectClip);
    for (int level = 1; level <= LineDecimator::SolidCrossings; ++level) {
        const QVector<QRect> &spans = lines.overdrawn[size_t(level)];
        if (spans.isEmpty())
            continue;
        QColor colour = pen.color();
        colour.setAlpha(LineDecimator::overdrawAlpha(level));
        painter->setBrush(colour);
        painter->drawRects(spans);
    }
    painter->restore();
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
