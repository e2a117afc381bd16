#include "plotscene.h"

#include "plot/decimatingcurve.h"
#include "plot/plotwindow.h"
#include "plot/samplering.h"

#include <qwt_plot.h>
#include <qwt_plot_canvas.h>

#include <QApplication>
#include <QtTest>

#include <cmath>
#include <random>

namespace plotscene {

void series(Data data, QVector<double> &xs, QVector<double> &ys)
{
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    xs.resize(SampleRing::Capacity);
    ys.resize(SampleRing::Capacity);
    for (int i = 0; i < SampleRing::Capacity; ++i) {
        xs[i] = 1.7e12 + 1000.0 * i;
        ys[i] = data == Data::Noise ? uniform(random)
                                    : 1.0 + 0.2 * std::sin(i / 20000.0) + 0.02 * noise(random) +
                                          (i % 4999 == 17 ? uniform(random) - 0.5 : 0.0);
    }
}

bool sizeCanvas(PlotWindow &window, const QSize &canvas)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return false;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QSize now = window.plot()->canvas()->size();
        if (now == canvas)
            return true;
        window.resize(window.size() + canvas - now);
        QApplication::processEvents();
    }
    return window.plot()->canvas()->size() == canvas;
}

void setDecimation(PlotWindow &window, bool on)
{
    for (QwtPlotCurve *curve : {window.mainCurve(), window.wrapCurve(), window.filterCurve()})
        static_cast<DecimatingCurve *>(curve)->setDecimation(on);
}

} // namespace plotscene
