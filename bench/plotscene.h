#pragma once

#include <QSize>
#include <QVector>

class PlotWindow;

// A plot window as the benchmarks use it: shown (offscreen), its canvas sized
// to the given pixels, the ring full.
namespace plotscene {

enum class Data
{
    Trend, // a drifting concentration with noise and spikes, one point a second
    Noise, // uniform noise over the whole canvas: nothing overlaps much
};

// 200,000 points of the kind asked for.
void series(Data data, QVector<double> &xs, QVector<double> &ys);
// Shows the window and resizes it until its canvas has the size asked for.
bool sizeCanvas(PlotWindow &window, const QSize &canvas);
// Decimation on or off for the window's curves.
void setDecimation(PlotWindow &window, bool on);

} // namespace plotscene
