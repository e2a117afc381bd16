#pragma once

#include "plot/decimation.h"

#include <qwt_plot_curve.h>

#include <QRgb>

#include <cstdint>
#include <vector>

// A curve that paints only what its picture needs when it has far more samples
// than the canvas has pixels (see decimation.h). Painters that do not round to
// whole pixels (vector output) and fitted curves get every sample.
class DecimatingCurve : public QwtPlotCurve
{
public:
    explicit DecimatingCurve(const QString &title = QString());

    // Off: paint every sample, exactly as a plain curve does (for comparisons).
    void setDecimation(bool on) { decimation = on; }
    bool decimationEnabled() const { return decimation; }

    void drawSeries(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                    const QRectF &canvasRect, int from, int to) const override;

protected:
    void drawLines(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                   const QRectF &canvasRect, int from, int to) const override;
    void drawSymbols(QPainter *painter, const QwtSymbol &symbol, const QwtScaleMap &xMap,
                     const QwtScaleMap &yMap, const QRectF &canvasRect, int from,
                     int to) const override;

private:
    bool worthDecimating(QPainter *painter, const QRectF &canvasRect, int from, int to) const;
    bool decimatesSymbols(QPainter *painter, const QRectF &canvasRect, int from, int to) const;
    void decimateSymbols(QPainter *painter, const QwtSymbol &symbol, const QwtScaleMap &xMap,
                         const QwtScaleMap &yMap, const QRectF &canvasRect, int from, int to) const;
    void paintTiles(QPainter *painter, const QColor &lineColour, const QRect &canvas) const;
    const std::vector<QPoint> &devicePoints(const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                                            int from, int to) const;

    bool decimation = true;
    // Scratch space reused from one paint to the next. The device points are
    // mapped once per paint and shared by lines and symbols.
    mutable std::vector<QPoint> device;
    mutable bool deviceValid = false;
    mutable int deviceFrom = 0;
    mutable int deviceTo = -1;
    mutable LineDecimator lines;
    // The overdraw of the lines and the solid spans of the symbols, composed into
    // pictures of OverdrawTile columns, each only as tall as what it holds, so a
    // band drifting across the canvas stays a narrow band.
    static constexpr int OverdrawTile = 32;
    mutable std::vector<QRect> tileRows;
    mutable std::vector<size_t> tileOffsets;
    mutable std::vector<std::uint8_t> overdrawLevels;
    mutable std::vector<QRgb> tilePixels;
    mutable SymbolDecimator symbols;
    mutable QPolygonF symbolPoints;
    mutable QVector<QRect> symbolSpans;
    mutable QRgb spanColour = 0;
    // Symbols are decimated before the lines are painted, so that their solid
    // spans go into the same pictures as the overdraw; set for one paint.
    mutable bool symbolsReady = false;
    mutable bool spansPainted = false;
};
