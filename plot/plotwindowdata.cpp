#include "common/clock.h"
#include "common/dialogs.h"
#include "plot/allanwindow.h"
#include "plot/axisdialogs.h"
#include "plot/decimatingcurve.h"
#include "plot/exportactions.h"
#include "plot/plotcanvas.h"
#include "plot/plotexport.h"
#include "plot/plotwindow.h"
#include "plot/ringseries.h"
#include "plot/runningmedian.h"
#include "plot/selectionstats.h"
#include "plot/trendimport.h"
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <climits>
#include <cmath>
#include <qwt_date_scale_draw.h>
#include <qwt_date_scale_engine.h>
#include <qwt_picker_machine.h>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_picker.h>
#include <qwt_plot_zoomer.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_engine.h>
#include <qwt_symbol.h>

// The plot window's data from elsewhere: trend files added to the plot, and
// the Allan deviation of what it shows.

void PlotWindow::importTrendFiles(const QStringList &files)
{
    const QString label = QStringLiteral("Loading data, please wait...");
    QProgressDialog progress(label, QStringLiteral("Abort"), 0, 0, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    // The label is repainted at most every LabelInterval ms; the events are
    // handled every TrendReader::ProgressLines lines, so the window keeps
    // answering and Abort is seen at once.
    constexpr qint64 labelInterval = 50;
    const qint64 started = Clock::monotonic();
    qint64 labelShown = started - labelInterval;
    const TrendReader::Progress keepGoing = [&](qint64 line) {
        const qint64 now = Clock::monotonic();
        if (now - labelShown >= labelInterval) {
            labelShown = now;
            progress.setLabelText(label + QLatin1Char(' ') + QString::number(line));
            progress.setValue(int(qMin<qint64>(line, INT_MAX)));
            // The dialog shows itself only when its value moves; in a file
            // without line feeds the line number stands still.
            if (!progress.isVisible() && !progress.wasCanceled() &&
                now - started >= progress.minimumDuration())
                progress.show();
        }
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    };
    for (const QString &name : files) {
        progress.setValue(1);
        QVector<QPointF> points;
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        // After Abort the files left still get their (empty) curves.
        if (!progress.wasCanceled())
            TrendReader().read(file, points, keepGoing);
        file.close();
        addImportedCurve(points, QFileInfo(name).fileName());
    }
}

void PlotWindow::allanDeviation()
{
    // The series there are: the live one, and each file added to the plot
    // (its x the time of its rows). Only the one chosen is copied, and a whole
    // file not even that.
    QStringList names;
    if (ring.size() > 0 || imported.isEmpty())
        names << seriesName;
    const int firstFile = names.size();
    for (const QwtPlotCurve *curve : qAsConst(imported))
        names << curve->title().text();
    int chosen = 0;
    if (names.size() > 1) {
        SeriesDialog dialog(names, this);
        if (Dialogs::instance().exec(dialog) != QDialog::Accepted)
            return;
        chosen = dialog.seriesBox->currentIndex();
    }
    const bool live = chosen < firstFile;
    const auto inSelection = [this](double x) {
        return !selected || (selectionLeft < x && x < selectionRight);
    };
    QVector<QPointF> points;
    if (live) {
        points.reserve(ring.size());
        for (int k = 0; k < ring.size(); ++k) {
            const int i = ring.chronologicalIndex(k);
            if (inSelection(ring.x()[i]))
                points << QPointF(ring.x()[i], ring.y()[i]);
        }
    } else {
        const QwtSeriesData<QPointF> *data = imported[chosen - firstFile]->data();
        const auto *held = dynamic_cast<const QwtPointSeriesData *>(data);
        if (held && !selected) {
            points = held->samples();
        } else {
            points.reserve(int(data->size()));
            for (size_t i = 0; i < data->size(); ++i)
                if (inSelection(data->sample(i).x()))
                    points << data->sample(i);
        }
    }
    AllanSeries series;
    series.place(points, live ? dateAxisOn : true);
    const QString problem = series.problem();
    if (!problem.isEmpty()) {
        Dialogs::Message m;
        m.icon = Dialogs::Icon::Warning;
        m.title = QStringLiteral("Allan Deviation");
        m.text = problem;
        m.parent = this;
        Dialogs::instance().message(m);
        return;
    }
    const auto edge = [this](double x) {
        return dateAxisOn ? QDateTime::fromMSecsSinceEpoch(qint64(x)).toString(
                                QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                          : QString::number(x, 'g', 6);
    };
    const QString part =
        selected
            ? QStringLiteral("selection %1 to %2").arg(edge(selectionLeft), edge(selectionRight))
            : QStringLiteral("whole series");
    auto *window =
        new AllanWindow(series, names[chosen], live ? seriesUnit : QString(), part, this);
    window->show();
}
