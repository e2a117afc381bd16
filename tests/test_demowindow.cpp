#include "app/mainwindow.h"
#include "common/commandsequence.h"
#include "dashboard/instrument.h"
#include "link/orininterface.h"
#include "plot/plotwindow.h"
#include "support/fakeanalyzer.h"
#include "support/testsupport.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>

// The main window connected to its simulated analyzer, as the demo shows it.
class TestDemoWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void serviceModeThenLiveMeasure();
    void demoPreferenceAndTrendName();
    void demoAfterARealAnalyzer();

private:
    ScriptedDialogs *dialogs = nullptr;
};

void TestDemoWindow::init()
{
    QSettings().clear();
    dialogs = new ScriptedDialogs;
    CommandSequence::setSecondMs(10);
}

void TestDemoWindow::cleanup()
{
    delete dialogs;
}

void TestDemoWindow::serviceModeThenLiveMeasure()
{
    MainWindow::Options o;
    o.demo = true;
    MainWindow w(o);
    SettingsPresets p;
    p.interval = 1;
    QVERIFY(w.settingsDialog()->applyPresets(p).isEmpty());
    w.openConnection();
    QCOMPARE(w.serialLabel()->text(), QString("DEMO MODE"));
    QCOMPARE(w.currentLink()->linkKind, qint32(OrinInterface::Simulated));
    Instrument *dash = w.instrument();
    QVERIFY(waitFor([&] { return dash->record.modeText == "SERVICE MODE"; }));
    QCOMPARE(dash->record.conc, QString(" "));
    QCOMPARE(dash->concLabel()->text().trimmed(), QString());
    // The demo supplies units and species itself once they are asked.
    QVERIFY(waitFor([&] { return dash->record.units == "PPBv" && dash->record.species == "H2O"; }));
    QCOMPARE(dash->record.tau, QString("---.-"));
    QVERIFY(waitFor([&] { return w.statusBar()->currentMessage().endsWith("(DEMO)"); }));

    // Measure: live concentrations near 0.2, later the profile's peak lights Alarm 2.
    QVERIFY(dash->measureButton->isEnabled());
    QTest::mouseClick(dash->measureButton, Qt::LeftButton);
    QVERIFY(waitFor([&] { return dash->record.modeText == "MEASURE MODE"; }));
    QVERIFY(waitFor([&] { return dash->record.conc != " "; }));
    const double first = dash->record.conc.toDouble();
    QVERIFY2(first >= 0.19 && first <= 0.61, qPrintable(dash->record.conc));
    QCOMPARE(dash->unitsLabel()->text(), QString("PPBv"));
    QVERIFY(waitFor(
        [&] { return dash->lampColour(Instrument::Lamp::Alarm2) == Instrument::LampColour::Red; },
        20000));
    QVERIFY(dash->record.conc.toDouble() > 10);
    QCOMPARE(dash->lampColour(Instrument::Lamp::Alarm1), Instrument::LampColour::Green);
    // Each numeric report became a plot point.
    QVERIFY(w.plotWindow()->sampleCount() > 10);
    // And the peak passes.
    QVERIFY(waitFor(
        [&] { return dash->lampColour(Instrument::Lamp::Alarm2) == Instrument::LampColour::Green; },
        20000));

    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
    QCOMPARE(dash->lampColour(Instrument::Lamp::Alarm2), Instrument::LampColour::Grey);
    QCOMPARE(dialogs->messages.size(), 0);
}

void TestDemoWindow::demoPreferenceAndTrendName()
{
    FakeClock clock;
    {
        MainWindow w;
        QVERIFY(!w.isDemoMode());
        w.actionDemoMode->setChecked(true);
        QVERIFY(w.isDemoMode());
    }
    QVERIFY(QSettings().value("demoMode").toBool());
    MainWindow w; // the stored choice holds at the next start
    QVERIFY(w.isDemoMode());
    SettingsPresets p;
    p.interval = 1;
    p.autoLog = true;
    QVERIFY(w.settingsDialog()->applyPresets(p).isEmpty());
    w.openConnection();
    QVERIFY(waitFor([&] { return w.trendFile().endsWith(".csv"); }));
    // No serial number is learned in demo mode.
    QCOMPARE(QFileInfo(w.trendFile()).fileName(), QString("SN--20250131.csv"));
    QCOMPARE(QFileInfo(w.trendFile()).absolutePath(),
             QDir(QDir::homePath()).absoluteFilePath("QuorvaneData/Trend"));
    // Unticked while connected: this connection stays simulated, the next is real.
    QVERIFY(w.actionDemoMode->isChecked());
    w.actionDemoMode->setChecked(false);
    QVERIFY(w.isDemoMode());
    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink() && !w.isBusy(); }));
    QVERIFY(!w.isDemoMode());
    QCOMPARE(dialogs->messages.size(), 0); // no "Log File error!" on a first start

    // A run started with --demo shows its choice ticked.
    MainWindow::Options demo;
    demo.demo = true;
    MainWindow shown(demo);
    QVERIFY(shown.actionDemoMode->isChecked());
}

void TestDemoWindow::demoAfterARealAnalyzer()
{
    // Analyzer 4321 first, then Tools -> Demo Mode and Connect: its trend file
    // is left as it was, and the demo rows go to the demo's own file.
    FakeAnalyzer real;
    real.answers = {{"ssnid", "4321\r\n"},
                    {"unitdisp", "1\r\n"},
                    {"species", "H2O\r\n"},
                    {"modelname", "ORIN OK\r\n"},
                    {"status", statusReport()}};
    MainWindow w;
    SettingsPresets p;
    p.serialPort = real.pty.slavePath();
    p.interval = 1;
    p.autoLog = true;
    QVERIFY(w.settingsDialog()->applyPresets(p).isEmpty());
    int rows = 0;
    connect(&w, &MainWindow::trendRowReady, this, [&] { ++rows; });
    w.openConnection();
    QVERIFY(waitFor([&] { return rows >= 2; }, 10000));
    const QString realFile = w.trendFile();
    QVERIFY(QFileInfo(realFile).fileName().startsWith("SN-4321-"));
    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink() && !w.isBusy(); }));
    QFile before(realFile);
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray kept = before.readAll();
    before.close();

    w.actionDemoMode->setChecked(true);
    w.openConnection();
    QCOMPARE(w.serialLabel()->text(), QString("DEMO MODE"));
    const int realRows = rows;
    QVERIFY(waitFor([&] { return rows >= realRows + 3; }, 10000));
    QVERIFY(QFileInfo(w.trendFile()).fileName().startsWith("SN--"));
    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink() && !w.isBusy(); }));
    QFile after(realFile);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), kept);
}

QTEST_MAIN(TestDemoWindow)
#include "test_demowindow.moc"
