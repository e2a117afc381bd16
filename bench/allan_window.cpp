// The plot window's Data → Allan Deviation…: how soon the Allan window is there
// for a simulated day and for a full ring, and, for a million points added from
// a file, the longest the window could not answer while the deviation ran on its
// thread. With --stay the day's plot and its Allan plot stay open (the README's
// picture is taken of them under Xvfb).
#include "benchfiles.h"
#include "common/dialogs.h"
#include "plot/allanwindow.h"
#include "plot/axisdialogs.h"
#include "plot/plotwindow.h"
#include "plot/trendimport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Answers the series choice with the last series (the file added).
class LastSeries : public Dialogs
{
public:
    LastSeries() { Dialogs::install(this); }
    ~LastSeries() override { Dialogs::install(nullptr); }
    int message(const Message &m) override
    {
        std::printf("box: %s\n", qPrintable(m.text));
        return Ok;
    }
    QString saveFileName(const FileRequest &) override { return QString(); }
    QString openFileName(const FileRequest &) override { return QString(); }
    QStringList openFileNames(const FileRequest &) override { return {}; }
    int exec(QDialog &dialog) override
    {
        if (auto *series = dynamic_cast<SeriesDialog *>(&dialog))
            series->seriesBox->setCurrentIndex(series->seriesBox->count() - 1);
        return QDialog::Accepted;
    }
};

// A day of trend rows a second apart: 1.9 PPBv with white noise of 0.02 on a
// slow wander of a few hundredths, and ten minutes without a concentration at
// 14:00 (the analyzer's zero check).
void writeSimulatedDay(const QString &path)
{
    QRandomGenerator random(24);
    double wander = 0;
    writeTrendFile(path, 86400, [&](int s) {
        // Sums of 12 uniform numbers: near enough normal for a picture.
        double white = -6;
        for (int k = 0; k < 12; ++k)
            white += random.generateDouble();
        wander += 2e-4 * (random.generateDouble() - 0.5);
        const double c =
            1.9 + 0.02 * white + wander + 0.01 * std::sin(s / 30000.0 * 6.283185307179586);
        return s >= 50400 && s < 51000 ? QStringLiteral("--") : QString::number(c, 'f', 4);
    });
}

QVector<QPointF> readPoints(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QVector<QPointF> points;
    TrendReader().read(file, points);
    return points;
}

void setSeries(PlotWindow &window, const QVector<QPointF> &points)
{
    QVector<double> xs, ys;
    for (const QPointF &p : points) {
        xs << p.x();
        ys << p.y();
    }
    window.setSeries(xs, ys);
}

// Data → Allan Deviation… in the shown window until the deviation is shown
// (octave, inline), then the other spacings chosen in the Allan window.
void openings(PlotWindow &window)
{
    QElapsedTimer t;
    t.start();
    window.allanAction()->trigger();
    auto *allan = window.findChildren<AllanWindow *>().last();
    for (int spacing = 0; spacing < 3; ++spacing) {
        if (spacing > 0) {
            t.start();
            allan->spacingBox()->setCurrentIndex(spacing);
        }
        while (allan->computing())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        std::printf("    %.1f ms, %s: %d taus, %s\n", double(t.nsecsElapsed()) / 1e6,
                    qPrintable(allan->spacingBox()->currentText()), int(allan->points().size()),
                    qPrintable(allan->minimumLabel()->text()));
    }
    allan->close();
}

// A million points added from a file, at many averaging times: how soon the
// Allan window is there, how long the deviation takes on its thread, and the
// longest the window could not answer meanwhile (against half a second of
// the machine with nothing running here).
void offTheGuiThread(PlotWindow &window)
{
    QVector<QPointF> million(1000000);
    const double start = double(QDateTime(QDate(2025, 1, 31), QTime(0, 0)).toMSecsSinceEpoch());
    for (int i = 0; i < million.size(); ++i)
        million[i] = QPointF(start + 1000.0 * i, std::sin(i * 0.001) + 0.01 * std::sin(i * 0.7));
    window.addImportedCurve(million, QStringLiteral("million.csv"));
    LastSeries dialogs;
    const double idle = longestGap([] {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 500)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
    });
    QElapsedTimer t;
    t.start();
    window.allanAction()->trigger();
    auto *allan = window.findChildren<AllanWindow *>().last();
    const double opened = double(t.nsecsElapsed()) / 1e6;
    double took = 0;
    const double gap = longestGap([&] {
        t.start();
        allan->spacingBox()->setCurrentIndex(2);
        while (allan->computing())
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        took = double(t.nsecsElapsed()) / 1e6;
    });
    allan->close();
    std::printf("  a million points from a file: the window there after %.1f ms (the octave "
                "inline); many, on its thread, after %.0f ms more, the longest event-loop gap "
                "meanwhile %.1f ms (%.1f ms with nothing running)\n",
                opened, took, gap, idle);
}

} // namespace

int main(int argc, char *argv[])
{
    const bool stay = argc > 1 && std::strcmp(argv[1], "--stay") == 0;
    if (!stay && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // the plot colours of a test store
    QTemporaryDir dir;
    const QString day = dir.filePath(QStringLiteral("SN-0001-20250131.csv"));
    writeSimulatedDay(day);

    PlotWindow window;
    window.seriesName = QStringLiteral("Concentration");
    window.seriesUnit = QStringLiteral("PPBv");
    window.setWindowTitle(QStringLiteral("Plot Window"));
    window.resize(780, 560);
    window.move(10, 10);
    setSeries(window, readPoints(day));
    window.show();
    if (stay) {
        window.allanAction()->trigger();
        auto *allan = window.findChild<AllanWindow *>();
        allan->move(800, 10);
        return app.exec();
    }

    std::printf("Data → Allan Deviation… until the deviation is shown:\n");
    std::printf("  a simulated day, %d points:\n", window.samples().size());
    openings(window);
    QVector<QPointF> ring(SampleRing::Capacity);
    for (int i = 0; i < ring.size(); ++i)
        ring[i] = QPointF(1.7e12 + 1000.0 * i, std::sin(i * 0.001) + 0.01 * std::sin(i * 0.7));
    setSeries(window, ring);
    std::printf("  a full ring, %d points:\n", window.samples().size());
    openings(window);
    offTheGuiThread(window);
    return 0;
}
