#pragma once

#include <qwt_plot_canvas.h>

#include <QPixmap>

// A plot canvas that keeps its picture buffer from one replot to the next.
// QwtPlotCanvas's own backing store is freed at every replot and allocated
// again at the next paint: at 1900 x 1000 that is 7.6 MB of fresh memory a
// redraw, and touching it for the first time cost more than the drawing.
// Here the buffer is redrawn in place, and kept while the canvas changes size
// by a few pixels; paints between replots (rubber bands, exposes) only copy
// it. A replot itself paints the canvas directly.
class PlotCanvas : public QwtPlotCanvas
{
    Q_OBJECT
public:
    explicit PlotCanvas(QwtPlot *plot);

public Q_SLOTS:
    // QwtPlot::replot calls the canvas's "replot" by name, so this one is used.
    void replot();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static constexpr int StoreSlack = 64; // pixels of room when the buffer grows

    QPixmap store;
    QSize paintedSize;
    bool storeValid = false;
};
