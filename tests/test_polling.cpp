#include "app/mainwindow.h"
#include "common/commandsequence.h"
#include "console/console.h"

#include "dashboard/instrument.h"
#include "plot/plotwindow.h"
#include "support/fakeanalyzer.h"
#include "support/testsupport.h"
#include <QAction>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>

// The main window against an analyzer on a real pty. Paced seconds are
// shortened, so a poll interval of one second lasts a few tens of milliseconds.
class TestPolling : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void identifiesAndPolls();
    void dropsRepliesBeforeSerial();
    void silenceFromConnectDisconnects();
    void silenceLaterOnlyTellsTime();
    void otherTabSuppressesSilenceVerdict();
    void compatibilityMode();
    void splitLineParsedOnce();
    void pulledCableDisconnectsOnce();
    void failingLogKeepsRowsInOrder();

private:
    void connectTo(MainWindow &w, FakeAnalyzer &a, int interval = 1, bool autoLog = false);
    ScriptedDialogs *dialogs = nullptr;
};

void TestPolling::init()
{
    QSettings().clear();
    QDir(testHome() + "/QuorvaneData").removeRecursively();
    dialogs = new ScriptedDialogs;
    CommandSequence::setSecondMs(25);
}

void TestPolling::cleanup()
{
    delete dialogs;
}

void TestPolling::connectTo(MainWindow &w, FakeAnalyzer &a, int interval, bool autoLog)
{
    SettingsPresets p;
    p.serialPort = a.pty.slavePath();
    p.interval = interval;
    p.autoLog = autoLog;
    QVERIFY(w.settingsDialog()->applyPresets(p).isEmpty());
    w.openConnection();
    QVERIFY(w.currentLink());
}

static void answerLikeAnOrin(FakeAnalyzer &a)
{
    a.answers["ssnid"] = "1234\r\n";
    a.answers["unitdisp"] = "1\r\n";
    a.answers["species"] = "H2O\r\n";
    a.answers["modelname"] = "ORIN OK\r\n";
    a.answers["status"] = statusReport("12.345", "16");
}

void TestPolling::identifiesAndPolls()
{
    FakeAnalyzer a;
    answerLikeAnOrin(a);
    FakeClock clock;
    MainWindow w;
    connectTo(w, a, 1, true);
    QVERIFY2(waitFor([&] { return w.serialLabel()->text() == "ORIN OK: 1234"; }),
             qPrintable(w.serialLabel()->text() + " after " + a.commands.join(' ')));
    QCOMPARE(w.connectionState().serialNumber, QString("1234"));
    QVERIFY(w.tabs()->isTabEnabled(3));
    QVERIFY(w.tabs()->isTabEnabled(4));

    // Identity queries go out once each, in order, before the first status poll.
    QVERIFY(waitFor([&] { return a.count("status") >= 3; }));
    const QList<QByteArray> head = a.commands.mid(0, 6);
    QCOMPARE(head,
             QList<QByteArray>({"fact=1", "ssnid", "unitdisp", "species", "modelname", "status"}));
    QCOMPARE(a.count("unitdisp"), 1);
    QCOMPARE(a.count("species"), 1);
    QCOMPARE(a.count("modelname"), 1);

    const StatusRecord &r = w.instrument()->record;
    QCOMPARE(r.units, QString("PPBv"));
    QCOMPARE(r.species, QString("H2O"));
    QCOMPARE(r.modeText, QString("MEASURE MODE"));
    QCOMPARE(r.conc, QString("12.345"));
    QCOMPARE(r.gasType, QString("N2"));
    QVERIFY(r.alarm2);
    QVERIFY(!r.alarm1);
    QCOMPARE(r.statusText, QString("Processing ringdown "));

    // Each report is a trend row in the day's file and a point on the plot.
    QCOMPARE(w.trendFile(), testHome() + "/QuorvaneData/Trend/SN-1234-20250131.csv");
    QFile trend(w.trendFile());
    QVERIFY(trend.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = trend.readAll().split('\n');
    QCOMPARE(rows.first(), QByteArray("Date&Time, Concentration, Gas, Alarms\r"));
    QVERIFY(rows.size() >= 3);
    QCOMPARE(rows[1], QByteArray("2025-01-31 12:00:00, 12.345, N2, 16, Alarm2\r"));
    QVERIFY(w.plotWindow()->sampleCount() >= 2);

    // Routine polling on the dashboard stays out of the console.
    w.consoleWidget()->flush(); // the window is not shown
    QVERIFY(!w.consoleWidget()->toPlainText().contains("Filter : 100"));

    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
    QCOMPARE(w.serialLabel()->text(), QString("SN: "));
    QCOMPARE(w.instrument()->record.conc, QString(" "));
}

void TestPolling::dropsRepliesBeforeSerial()
{
    FakeAnalyzer a;
    a.answerer = [](const QByteArray &cmd) -> QByteArray {
        if (cmd == "fact=1")
            return statusReport("99.9"); // not an identity reply: dropped unseen
        if (cmd == "ssnid")
            return "0\r\n";
        return QByteArray();
    };
    MainWindow w;
    connectTo(w, a, 60);
    QVERIFY(waitFor([&] { return w.connectionState().identified; }));
    QCOMPARE(w.connectionState().serialNumber, QString("0"));
    QCOMPARE(w.instrument()->record.conc, QString());
    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
}

void TestPolling::silenceFromConnectDisconnects()
{
    FakeAnalyzer a;
    a.silent = true;
    MainWindow w;
    connectTo(w, a);
    QVERIFY(waitFor([&] { return dialogs->count("Connection Error") == 1; }, 8000));
    QVERIFY(!w.currentLink());
    QVERIFY(w.actionConnect->isEnabled());
    const auto &m = dialogs->messages.last();
    QCOMPARE(m.buttons, int(Dialogs::NoButton));
    QCOMPARE(m.icon, Dialogs::Icon::Critical);
    QVERIFY(m.text.startsWith("No response was received from the analyzer!"));
    QCOMPARE(w.statusBar()->currentMessage(), QString("Timeout!No Response from analyzer!"));
    // The goodbye commands still went out.
    QVERIFY(a.count("srda 0") == 1 && a.count("tuneringdowns 25") == 1);
}

void TestPolling::silenceLaterOnlyTellsTime()
{
    FakeAnalyzer a;
    answerLikeAnOrin(a);
    MainWindow w;
    connectTo(w, a);
    QVERIFY(waitFor([&] { return a.count("status") >= 2; }));
    a.silent = true;
    QVERIFY(waitFor(
        [&] {
            return w.statusBar()->currentMessage().startsWith(
                "Last response from analyzer received at: ");
        },
        8000));
    QVERIFY(w.currentLink());
    QCOMPARE(dialogs->count("Connection Error"), 0);
    // Polling goes on.
    const int polls = a.count("status");
    QVERIFY(waitFor([&] { return a.count("status") > polls + 2; }));
    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
}

void TestPolling::otherTabSuppressesSilenceVerdict()
{
    FakeAnalyzer a;
    a.answers["ssnid"] = "1234\r\n";
    MainWindow w;
    connectTo(w, a);
    QVERIFY(waitFor([&] { return w.connectionState().identified; }));
    a.silent = true;
    w.tabs()->setCurrentIndex(1);
    QTest::qWait(25 * 10); // ten poll periods of silence off the dashboard
    QVERIFY(w.currentLink());
    QCOMPARE(dialogs->count("Connection Error"), 0);
    QVERIFY(!w.statusBar()->currentMessage().startsWith("Last response"));
    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
}

void TestPolling::compatibilityMode()
{
    FakeAnalyzer a;
    a.answers["ssnid"] = "0042\r\n";
    a.answers["unitdisp"] = "1\r\n";
    a.answers["species"] = "H2O\r\n";
    a.answers["modelname"] = "ORIN\r\n";
    a.answers["status"] = "!UNKNOWN\r\n";
    a.answers["conc"] = "12.5\r\n";
    MainWindow w;
    connectTo(w, a);
    QVERIFY(waitFor([&] { return w.connectionState().compatibilityMode; }));
    QVERIFY(waitFor([&] { return a.count("conc") >= 2; }));
    const int statusPolls = a.count("status");
    QVERIFY(waitFor([&] { return a.count("conc") >= 4; }));
    QCOMPARE(a.count("status"), statusPolls); // no more status requests
    const StatusRecord &r = w.instrument()->record;
    QCOMPARE(r.conc, QString("12.5"));
    QCOMPARE(r.modeText, QString("Compatibility Mode"));
    QCOMPARE(r.statusText, QString("Compatibility Mode"));
    for (const QString &dash : {r.filter, r.gasType, r.tauEmpty, r.tauEmptyStd, r.tau, r.tauStd,
                                r.laserCurrent, r.laserTemp, r.pressure, r.faults})
        QCOMPARE(dash, QString("-"));
    QVERIFY(w.instrument()->compatibilityMode);
    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
}

void TestPolling::splitLineParsedOnce()
{
    FakeAnalyzer a;
    a.answers["ssnid"] = "1234\r\n";
    MainWindow w;
    int reports = 0;
    connect(&w, &MainWindow::newStatusReady, this, [&] { ++reports; });
    connectTo(w, a, 60);
    QVERIFY(waitFor([&] { return w.connectionState().identified; }));
    const QByteArray report = statusReport("7.5");
    a.pty.write(report.left(40));
    QTest::qWait(50);
    QCOMPARE(reports, 0);
    a.pty.write(report.mid(40));
    QVERIFY(waitFor([&] { return reports == 1; }));
    QCOMPARE(w.instrument()->record.conc, QString("7.5"));
    QTest::qWait(50);
    QCOMPARE(reports, 1);
    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
}

void TestPolling::pulledCableDisconnectsOnce()
{
    auto *a = new FakeAnalyzer;
    answerLikeAnOrin(*a);
    QSettings().setValue("autoReconnect", false);
    MainWindow w;
    connectTo(w, *a);
    QVERIFY(waitFor([&] { return a->count("status") >= 2; }));
    delete a; // master and slave closed: the device is gone
    QVERIFY(waitFor([&] { return !w.currentLink() && dialogs->count("Connection lost"); }, 8000));
    QCOMPARE(dialogs->count("Connection lost"), 1);
    QVERIFY(w.statusBar()->currentMessage().startsWith("Connection lost: "));
    QVERIFY(w.actionConnect->isEnabled());
}

void TestPolling::failingLogKeepsRowsInOrder()
{
    // Each report carries the next number; the traffic log cannot be written,
    // and the operator leaves its box open for seconds while polls go on.
    FakeAnalyzer a;
    answerLikeAnOrin(a);
    int sent = 0;
    bool answering = true;
    a.answerer = [&](const QByteArray &command) -> QByteArray {
        if (command != "status")
            return a.answers.value(command);
        if (!answering)
            return QByteArray();
        return statusReport(QByteArray::number(++sent));
    };
    QTemporaryDir tmp;
    bool heldOpen = false;
    dialogs->whileOpen = [&](const Dialogs::Message &) {
        heldOpen = true;
        QTest::qWait(3000);
    };
    MainWindow w;
    SettingsPresets p;
    p.serialPort = a.pty.slavePath();
    p.interval = 1;
    p.autoLog = true;
    p.logFile = tmp.path(); // a folder: never writable as a file
    QVERIFY(w.settingsDialog()->applyPresets(p).isEmpty());
    w.actionLogToFile->setChecked(true);
    FakeClock clock;
    w.openConnection();
    QVERIFY(waitFor([&] { return heldOpen && dialogs->messages.size() == 1; }, 8000));
    QVERIFY(waitFor([&] { return sent >= 5; }));
    // Disconnect once the last report sent has been read.
    answering = false;
    QVERIFY(waitFor([&] { return w.instrument()->record.conc == QString::number(sent); }));
    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink() && !w.isBusy(); }));
    QVERIFY(sent > 20); // polling went on while the box was open

    QFile trend(w.trendFile());
    QVERIFY(trend.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = trend.readAll().split('\n');
    QList<int> concs;
    for (const QByteArray &line : lines.mid(1)) {
        if (!line.isEmpty())
            concs << line.split(',').value(1).trimmed().toInt();
    }
    QCOMPARE(concs.size(), sent);
    for (int i = 0; i < concs.size(); ++i)
        QCOMPARE(concs[i], i + 1);
    QCOMPARE(dialogs->count("Log File error!"), 1);
}

QTEST_MAIN(TestPolling)
#include "test_polling.moc"
