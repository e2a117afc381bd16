#pragma once

#include "plot/allandeviation.h"

#include <QDialog>
#include <QTimer>

#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QThread;
class QwtPlot;
class QwtPlotCurve;
class QwtPlotIntervalCurve;
class QwtPlotMarker;

// The Allan deviation of one series, log-log against the averaging time:
// the points with 1-sigma error bars, the white-noise line of slope -1/2
// through the first point, the minimum marked and said under the plot, a
// choice of averaging times, and the exports every plot window has.
//
// It holds the series placed on its grid. A deviation that takes more than
// about 100 ms (see inlineWork) runs on a thread of its own, with a progress
// bar and Cancel, so the window never stops answering; a shorter one is
// there before the window is shown.
class AllanWindow : public QDialog
{
    Q_OBJECT
public:
    // allanWork() beyond which the deviation runs off the GUI thread.
    static qint64 inlineWork;

    // part: what of the series it is ("whole series", "selection …").
    AllanWindow(const AllanSeries &series, const QString &seriesName, const QString &unit,
                const QString &part, QWidget *parent = nullptr);
    ~AllanWindow() override;

    const std::vector<AllanPoint> &points() const { return shown; }
    bool computing() const { return worker != nullptr; }

    QwtPlot *plot() const { return plotWidget; }
    QComboBox *spacingBox() const { return spacing; }
    QLabel *minimumLabel() const { return minimumText; }
    QLabel *seriesLabel() const { return seriesText; }
    QProgressBar *progressBar() const { return progress; }
    QPushButton *cancelButton() const { return cancel; }
    QwtPlotCurve *deviationCurve() const { return curve; }
    QwtPlotCurve *whiteNoiseLine() const { return whiteNoise; }
    QwtPlotIntervalCurve *errorBars() const { return bars; }
    QwtPlotMarker *minimumMarker() const { return minimum; }

public slots:
    void exportData();
    void exportPicture();

signals:
    // The points of the spacing chosen are shown (all, or those done before Cancel).
    void computed();

private:
    struct Job;
    void compute();
    void stopWorker();
    void workerDone(quint64 run);
    void showPoints(const std::vector<AllanPoint> &points, bool complete, int total);

    const AllanSeries series;
    const QString unit;
    std::vector<AllanPoint> shown;

    QwtPlot *plotWidget = nullptr;
    QwtPlotCurve *curve = nullptr;
    QwtPlotCurve *whiteNoise = nullptr;
    QwtPlotIntervalCurve *bars = nullptr;
    QwtPlotMarker *minimum = nullptr;
    QComboBox *spacing = nullptr;
    QLabel *minimumText = nullptr;
    QLabel *seriesText = nullptr;
    QProgressBar *progress = nullptr;
    QPushButton *cancel = nullptr;

    std::shared_ptr<Job> job;
    QThread *worker = nullptr;
    quint64 runs = 0; // a finished worker of an earlier run is not shown
    QTimer progressTimer;
};
