#pragma once

#include "plot/epochconverter.h"
#include "plot/preferencesform.h"
#include "plot/samplering.h"

#include <QDateTime>
#include <QDialog>
#include <QList>
#include <QRectF>
#include <QString>
#include <QTimer>
#include <QVector>

class DecimatingCurve;
class QAction;
class QLineEdit;
class QToolBar;
class QToolButton;
class QwtPlot;
class QwtPlotCurve;
class QwtPlotGrid;
class QwtPlotMarker;
class QwtPlotPicker;
class QwtPlotZoomer;
class RingSeries;

// A plot of one series of (X, Y) points kept in a fixed ring, with zoom, a
// selection rectangle, level lines and user colours. Closing only hides it.
//
// Points may arrive far faster than the screen refreshes: appending is O(1) and
// only schedules a redraw, so the plot is redrawn at most once per
// RedrawInterval however many points came in. Once the stream pauses the
// picture is the same as if it had been redrawn after every point.
class PlotWindow : public QDialog
{
    Q_OBJECT
public:
    static constexpr int RedrawInterval = 20; // ms

    explicit PlotWindow(QWidget *parent = nullptr);
    ~PlotWindow() override;

    // Name and unit of the Y series; written by the owner.
    QString seriesName;
    QString seriesUnit;

    void setDateAxis(bool on);
    // Window title; titles containing "SRDA" get the median filter controls.
    void setPlotTitle(const QString &title);
    // Replaces the whole series; pairs with a NaN or an infinity are skipped.
    // A long series may be given by its end (SampleRing::setSeries).
    void setSeries(const QVector<double> &xs, const QVector<double> &ys, qint64 pairsBefore = 0);
    // Appends (time, value); a value that is not a number adds nothing.
    void addTimePoint(const QDateTime &dateTime, const QString &valueText);
    // Appends (x, y); nothing if either is not a number.
    void addPointXY(const QString &xText, const QString &yText);
    // The same for values already read (a stream of rows): the time in ms
    // since the epoch; nothing for a NaN or an infinity.
    void addTimeValue(double epochMs, double value);
    void addXYValue(double x, double y);

    int sampleCount() const { return ring.sampleCount(); }
    bool wrapped() const { return ring.wrapped(); }
    const SampleRing &samples() const { return ring; }
    bool dateAxis() const { return dateAxisOn; }
    bool filtering() const { return filterOn; }

    // Draws now what is pending (tests and callers that cannot wait).
    void replotNow();
    bool replotPending() const { return replotTimer.isActive(); }

    QwtPlot *plot() const { return plotWidget; }
    QwtPlotCurve *mainCurve() const;
    QwtPlotCurve *wrapCurve() const;
    QwtPlotCurve *filterCurve() const;
    const QList<QwtPlotCurve *> &importedCurves() const { return imported; }
    // Adds a curve of points read from a file, styled by the stored preferences;
    // name: the file's, as the series is called in Data → Allan Deviation….
    QwtPlotCurve *addImportedCurve(const QVector<QPointF> &points, const QString &name = QString());
    QwtPlotMarker *upperLevelLine() const { return upperLevel; }
    QwtPlotMarker *lowerLevelLine() const { return lowerLevel; }
    QToolBar *toolBar() const { return tools; }
    QAction *allanAction() const { return allanEntry; }
    QAction *clearSelectionAction() const { return clearSelectionEntry; }
    QToolButton *filterButton() const { return filterTool; }
    QLineEdit *filterWindowField() const { return filterField; }
    preferencesForm *preferences() const { return prefsDialog; }

public slots:
    void setAutoXScale();
    void setAutoYScale();
    void exportData();
    void exportPlot();
    void addData();
    void addSpecLines();
    void clearPlotData();
    void clearLines();
    void drawLines();
    void changeColor();
    void setPreferences(preferencesForm::plotPreferences p);
    void filter();
    double median(double *values, int begin, int end);
    void picked(QRectF rect);
    // Data → Allan Deviation…: of the selection (the last right-drag), or of
    // the whole series; with files added, of the series the operator picks.
    void allanDeviation();
    void clearSelection();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    // Axis range dialogs, opened by a click on the axis areas.
    virtual void openYAxisDialog();
    virtual void openXAxisDialog();

private:
    void append(double x, double y, bool extendFilter);
    // Reads each file into a new imported curve, behind a progress dialog with Abort.
    void importTrendFiles(const QStringList &files);
    void showRing();
    void scheduleReplot();
    void styleLine(QwtPlotCurve *curve, bool lines);

    SampleRing ring;
    RingSeries *mainSeries = nullptr;
    RingSeries *wrapSeries = nullptr;
    RingSeries *filterSeries = nullptr;

    preferencesForm *prefsDialog = nullptr;
    QwtPlot *plotWidget = nullptr;
    DecimatingCurve *curveMain = nullptr;
    DecimatingCurve *curveWrap = nullptr;
    DecimatingCurve *curveFilter = nullptr;
    QList<QwtPlotCurve *> imported;
    QwtPlotGrid *grid = nullptr;
    bool dateAxisOn = true;
    bool filterOn = false;
    int filteredCount = 0; // points 0 .. filteredCount-1 carry a computed filtered value
    int filterWindow = 3;
    QwtPlotZoomer *zoomer = nullptr;
    QwtPlotPicker *picker = nullptr;
    QwtPlotMarker *rangeLeft = nullptr;
    QwtPlotMarker *rangeRight = nullptr;
    QwtPlotMarker *upperLevel = nullptr;
    QwtPlotMarker *lowerLevel = nullptr;
    QToolBar *tools = nullptr;
    QToolButton *filterTool = nullptr;
    QLineEdit *filterField = nullptr;
    QAction *filterFieldAction = nullptr;
    QAction *allanEntry = nullptr;
    QAction *clearSelectionEntry = nullptr;
    // The last right-drag selection, kept for the analyses of the Data menu.
    bool selected = false;
    double selectionLeft = 0, selectionRight = 0;
    QTimer replotTimer;
    EpochConverter epoch;
    std::vector<double> medianScratch;
    std::vector<double> filteredScratch;
};
