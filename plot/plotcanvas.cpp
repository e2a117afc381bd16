#include "plot/plotcanvas.h"

#include <qwt_painter.h>
#include <qwt_plot.h>

#include <QPaintEvent>
#include <QPainter>

PlotCanvas::PlotCanvas(QwtPlot *plot) : QwtPlotCanvas(plot)
{
    setPaintAttribute(QwtPlotCanvas::BackingStore, false); // this class keeps its own
}

void PlotCanvas::replot()
{
    storeValid = false;
    if (testPaintAttribute(QwtPlotCanvas::ImmediatePaint))
        repaint(contentsRect());
    else
        update(contentsRect());
}

// As QwtPlotCanvas paints through its backing store, for a canvas without
// style sheet and rounded corners (the plot window's).
void PlotCanvas::paintEvent(QPaintEvent *event)
{
    // The canvas grows and shrinks by a few pixels whenever the axis labels
    // change width, as they do while points stream in. A buffer big enough is
    // kept; one too small grows with room to spare; one more than twice the
    // size needed is given back.
    // A replot paints the whole canvas once: straight onto the widget, rather
    // than into the buffer and then a copy of 7.6 MB. The buffer is drawn when
    // a part of the canvas is painted again (a rubber band moving over it).
    if (!storeValid && event->region().contains(contentsRect())) {
        QwtPlotCanvas::paintEvent(event); // without its own backing store
        return;
    }
    const qreal ratio = store.isNull() ? devicePixelRatioF() : store.devicePixelRatioF();
    const QSize needed = size() * ratio;
    const qint64 neededArea = qint64(needed.width()) * needed.height();
    const qint64 storeArea = qint64(store.width()) * store.height();
    if (store.width() < needed.width() || store.height() < needed.height() ||
        storeArea > 2 * neededArea) {
        store = QwtPainter::backingStore(this, size() + QSize(StoreSlack, StoreSlack));
        storeValid = false;
    }
    if (size() != paintedSize)
        storeValid = false;
    if (!storeValid) {
        QwtPainter::fillPixmap(this, store);
        QPainter p(&store);
        p.setClipRect(contentsRect(), Qt::IntersectClip);
        if (plot())
            plot()->drawCanvas(&p);
        paintedSize = size();
        storeValid = true;
    }
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.drawPixmap(QPoint(0, 0), store, QRect(QPoint(0, 0), needed));
    if (frameWidth() > 0)
        drawBorder(&painter);
    if (hasFocus() && focusIndicator() == CanvasFocusIndicator)
        drawFocusIndicator(&painter);
}
