#include "plot/allanwindow.h"
#include "plot/plotwindow.h"
#include "support/testsupport.h"

#include <qwt_plot_curve.h>
#include <qwt_plot_intervalcurve.h>
#include <qwt_plot_marker.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

#include <cmath>

namespace {

const QVector<double> nist{892, 809, 823, 798, 671, 644, 883, 903, 677};
const QDateTime t0(QDate(2025, 1, 31), QTime(12, 0, 0));

// The concentration plot with the handbook's values a second apart.
void fill(PlotWindow &w, bool dateAxis)
{
    w.setDateAxis(dateAxis);
    w.seriesName = dateAxis ? QStringLiteral("Concentration") : QStringLiteral("Scan");
    w.seriesUnit = dateAxis ? QStringLiteral("PPBv") : QString();
    for (int i = 0; i < nist.size(); ++i)
        w.addXYValue(dateAxis ? double(t0.addSecs(i).toMSecsSinceEpoch()) : i, nist[i]);
}

AllanWindow *opened(PlotWindow &w)
{
    w.allanAction()->trigger();
    return w.findChild<AllanWindow *>();
}

} // namespace

class TestAllanWindow : public QObject
{
    Q_OBJECT
private slots:
    void init() { QSettings(QStringLiteral("Quorvane"), QStringLiteral("Telvar")).clear(); }
    void showsTheDeviation_data();
    void showsTheDeviation();
    void exportsWhatItShows();
    void nothingSelectedSaysSo();
    void longWorkLeavesTheWindowFree();
};

void TestAllanWindow::showsTheDeviation_data()
{
    QTest::addColumn<bool>("dateAxis");
    QTest::addColumn<double>("left"); // of the selection, seconds from the first point; <0: none
    QTest::addColumn<QString>("minimum");
    QTest::addColumn<QString>("series");
    QTest::newRow("whole series") << true << -1.0 << "Minimum 27.6 PPBv at τ = 4 s (n = 2)"
                                  << "Concentration, whole series: 9 points, sampling interval τ0 "
                                     "= 1 s";
    QTest::newRow("selection") << true << 0.5 << "Minimum 71.8 PPBv at τ = 2 s (n = 3)"
                               << "Concentration, selection 2025-01-31 12:00:00 to 2025-01-31 "
                                  "12:00:06: 6 points, sampling interval τ0 = 1 s";
    QTest::newRow("no times") << false << -1.0 << "Minimum 27.6 at τ = 4 samples (n = 2)"
                              << "Scan, whole series: 9 points, no times: τ in samples";
}

void TestAllanWindow::showsTheDeviation()
{
    QFETCH(bool, dateAxis);
    QFETCH(double, left);
    ScriptedDialogs dialogs; // the statistics box of the selection
    PlotWindow w;
    fill(w, dateAxis);
    if (left >= 0) {
        const double start = double(t0.toMSecsSinceEpoch());
        w.picked(QRectF(start + left * 1000, 0, 6000, 1000));
    }
    AllanWindow *allan = opened(w);
    QVERIFY(allan);
    QVERIFY(!allan->computing());
    QTEST(allan->minimumLabel()->text(), "minimum");
    QTEST(allan->seriesLabel()->text(), "series");

    // Points with their error bars, the white-noise line through the first
    // one at slope -1/2 to the last tau, the minimum marked.
    const std::vector<AllanPoint> &p = allan->points();
    QCOMPARE(int(allan->deviationCurve()->dataSize()), int(p.size()));
    const QwtIntervalSample bar = allan->errorBars()->sample(0);
    QCOMPARE(bar.interval.maxValue() - bar.interval.minValue(), 2 * p[0].adev / std::sqrt(p[0].n));
    const QPointF a = allan->whiteNoiseLine()->sample(0), b = allan->whiteNoiseLine()->sample(1);
    QCOMPARE(a, QPointF(p[0].tau, p[0].adev));
    QCOMPARE(b.x(), p.back().tau);
    QCOMPARE(std::log(b.y() / a.y()) / std::log(b.x() / a.x()), -0.5);
    QCOMPARE(allan->minimumMarker()->value(), QPointF(p.back().tau, p.back().adev));

    allan->spacingBox()->setCurrentIndex(2); // many: 1, 2, 3, 4
    QCOMPARE(int(allan->points().size()), dateAxis && left >= 0 ? 2 : 4);
}

void TestAllanWindow::exportsWhatItShows()
{
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    PlotWindow w;
    fill(w, true);
    AllanWindow *allan = opened(w);
    dialogs.fileAnswers << dir.filePath("allan.csv") << dir.filePath("allan");
    dialogs.filterAnswers << "Portable Network Graphics file (*.png)";
    allan->exportData();
    allan->exportPicture();
    QFile csv(dir.filePath("allan.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll(), QByteArray("tau_s,adev,n\n1,91.22944974074983,8\n2,85.952869837681,6\n"
                                       "4,27.6351791200998,2\n"));
    QVERIFY(!QImage(dir.filePath("allan.png")).isNull());
    QVERIFY(dialogs.messages.isEmpty());
}

// A selection beside every point: a box says so, and no window opens.
void TestAllanWindow::nothingSelectedSaysSo()
{
    ScriptedDialogs dialogs;
    PlotWindow w;
    fill(w, true);
    w.picked(QRectF(double(t0.addDays(1).toMSecsSinceEpoch()), 0, 1000, 1));
    dialogs.messages.clear();
    QVERIFY(!opened(w));
    QCOMPARE(dialogs.titles(), QStringList{"Allan Deviation"});
    QCOMPARE(dialogs.messages.first().text,
             QStringLiteral("No usable points; the Allan deviation needs at least 3"));
}

// Beyond AllanWindow::inlineWork the deviation runs on a thread: the window
// is there at once with a progress bar, and Cancel stops it after the
// averaging time it is at.
void TestAllanWindow::longWorkLeavesTheWindowFree()
{
    const qint64 inlineWork = AllanWindow::inlineWork;
    AllanWindow::inlineWork = 0;
    AllanSeries nine;
    nine.place(nullptr, nist.constData(), nist.size());
    {
        AllanWindow allan(nine, QStringLiteral("Scan"), QString(), QStringLiteral("whole series"));
        QVERIFY(allan.computing());
        QVERIFY(!allan.progressBar()->isHidden());
        QVERIFY(waitFor([&] { return !allan.computing(); }));
        QCOMPARE(int(allan.points().size()), 3);
        QCOMPARE(allan.minimumLabel()->text(), "Minimum 27.6 at τ = 4 samples (n = 2)");
        QVERIFY(allan.progressBar()->isHidden());
    }
    QVector<double> noise(1000000);
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = std::sin(i * 0.7);
    AllanSeries long1m;
    long1m.place(nullptr, noise.constData(), noise.size());
    AllanWindow allan(long1m, QStringLiteral("Scan"), QString(), QStringLiteral("whole series"));
    allan.spacingBox()->setCurrentIndex(2); // many: a hundred averaging times
    allan.cancelButton()->click();
    QVERIFY(waitFor([&] { return !allan.computing(); }));
    QVERIFY2(allan.minimumLabel()->text().startsWith("Cancelled after "),
             qPrintable(allan.minimumLabel()->text()));
    QVERIFY(allan.points().size() < long1m.factors(TauSpacing::Many).size());
    AllanWindow::inlineWork = inlineWork;
}

QTEST_MAIN(TestAllanWindow)
#include "test_allanwindow.moc"
