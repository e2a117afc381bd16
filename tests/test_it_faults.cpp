#include "app/mainwindow.h"
#include "common/commandsequence.h"
#include "link/orininterface.h"
#include "simprocess.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QtTest>

// The main window against a misbehaving analyzer: the simulator on a real pty.
// Paced seconds are shortened, so a one-second poll comes every few tens of ms.
class TestItFaults : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void survivesGarbageAndRunawayLine();
    void silence_data();
    void silence();
    void droppedPortKeepsWholeRows_data();
    void droppedPortKeepsWholeRows();

private:
    void connectTo(MainWindow &w, const QString &port, const QString &logFile = QString());
    QString trendFile() const;
    ScriptedDialogs *dialogs = nullptr;
};

static const int pacedSecondMs = 20;

void TestItFaults::init()
{
    QSettings().clear();
    QSettings().setValue(QStringLiteral("autoReconnect"), false); // the loss as such
    QDir(testHome() + QStringLiteral("/QuorvaneData")).removeRecursively();
    dialogs = new ScriptedDialogs;
    CommandSequence::setSecondMs(pacedSecondMs);
}

void TestItFaults::cleanup()
{
    delete dialogs;
    dialogs = nullptr;
}

void TestItFaults::connectTo(MainWindow &w, const QString &port, const QString &logFile)
{
    SettingsPresets p;
    p.serialPort = port;
    p.interval = 1;
    p.autoLog = true;
    if (!logFile.isEmpty())
        p.logFile = logFile;
    QCOMPARE(w.settingsDialog()->applyPresets(p), QString());
    if (!logFile.isEmpty())
        w.actionLogToFile->setChecked(true);
    w.openConnection();
    QVERIFY(w.currentLink());
}

QString TestItFaults::trendFile() const
{
    const QDir dir(testHome() + QStringLiteral("/QuorvaneData/Trend"));
    const QStringList files =
        dir.entryList({QStringLiteral("SN-0001-*.csv")}, QDir::Files, QDir::Name);
    return files.isEmpty() ? QString() : dir.filePath(files.last());
}

// Every line is the header or a well-formed row.
static bool wellFormedTrend(const QStringList &lines, QString *bad)
{
    if (lines.isEmpty() || lines.first() != trendHeader) {
        *bad = lines.value(0);
        return false;
    }
    for (const QString &row : lines.mid(1)) {
        if (!trendRowPattern().match(row).hasMatch()) {
            *bad = row;
            return false;
        }
    }
    return true;
}

void TestItFaults::survivesGarbageAndRunawayLine()
{
    SimProcess sim({QStringLiteral("--pty"), QStringLiteral("--garbage"), QStringLiteral("0.3"),
                    QStringLiteral("--no-lf"), QStringLiteral("--seed"), QStringLiteral("5")});
    QVERIFY(sim.ready());
    CommandSequence::setSecondMs(pacedSecondMs / 2); // many polls, quickly
    MainWindow w;
    int reports = 0;
    connect(&w, &MainWindow::newStatusReady, this, [&] { ++reports; });
    connectTo(w, sim.endpoint);

    QVERIFY(waitFor([&] { return reports >= 40; }, 20000));
    const qint64 before = residentKb();
    QVERIFY(waitFor([&] { return reports >= 240; }, 30000));
    const qint64 grown = residentKb() - before;
    // Two hundred more polls through garbage leave nothing piling up. (Under
    // AddressSanitizer freed memory is held back on purpose, so RSS says nothing.)
#ifndef __SANITIZE_ADDRESS__
    QVERIFY2(grown < 4 * 1024, qPrintable(QStringLiteral("grew %1 kB").arg(grown)));
#else
    Q_UNUSED(grown);
#endif

    QVERIFY(w.currentLink() && w.currentLink()->connectionOpen());
    QVERIFY(w.actionDisconnect->isEnabled());
    QVERIFY(w.pollTimer()->isActive());
    QCOMPARE(w.connectionState().serialNumber, QStringLiteral("0001"));
    QCOMPARE(dialogs->messages.size(), 0);

    const QStringList lines = wholeLines(trendFile());
    QVERIFY(lines.size() > 200);
    QString bad;
    QVERIFY2(wellFormedTrend(lines, &bad), qPrintable(bad));

    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
}

void TestItFaults::silence_data()
{
    QTest::addColumn<int>("answered");
    QTest::addColumn<bool>("disconnects");
    // The analyzer answers the serial query and a few polls, then falls silent.
    QTest::newRow("later") << 12 << false;
    QTest::newRow("from the start") << 0 << true;
}

void TestItFaults::silence()
{
    QFETCH(int, answered);
    QFETCH(bool, disconnects);
    SimProcess sim({QStringLiteral("--pty"), QStringLiteral("--verbose"),
                    QStringLiteral("--silent-after"), QString::number(answered)});
    QVERIFY(sim.ready());
    MainWindow w;
    connectTo(w, sim.endpoint);

    if (disconnects) {
        QVERIFY(waitFor([&] { return !w.currentLink() && !w.isBusy(); }, 10000));
        QCOMPARE(dialogs->count(QStringLiteral("Connection Error")), 1);
        QCOMPARE(dialogs->messages.size(), 1);
        QCOMPARE(w.statusBar()->currentMessage(),
                 QStringLiteral("Timeout!No Response from analyzer!"));
        QVERIFY(w.actionConnect->isEnabled());
        return;
    }
    QVERIFY(waitFor([&] { return w.connectionState().identified; }, 10000));
    const QString silenceText = QStringLiteral("Last response from analyzer received at: ");
    QVERIFY(
        waitFor([&] { return w.statusBar()->currentMessage().startsWith(silenceText); }, 10000));
    // Later silence only tells the time: polling goes on, the link stays.
    const auto polls = [&] { return sim.heard().count(QStringLiteral("status")); };
    const int before = polls();
    QVERIFY(waitFor([&] { return polls() >= before + 3; }, 10000));
    QVERIFY(w.currentLink() && w.currentLink()->connectionOpen());
    // Identity queries still owed show their own texts in between; the verdict returns.
    QVERIFY(
        waitFor([&] { return w.statusBar()->currentMessage().startsWith(silenceText); }, 10000));
    QCOMPARE(dialogs->messages.size(), 0);
    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
}

void TestItFaults::droppedPortKeepsWholeRows_data()
{
    QTest::addColumn<bool>("typed");
    // Polled on the dashboard: only trend rows reach the logs.
    QTest::newRow("dashboard") << false;
    // Typed on the Utilities tab: the raw replies go to the traffic log too.
    QTest::newRow("console") << true;
}

void TestItFaults::droppedPortKeepsWholeRows()
{
    QFETCH(bool, typed);
    SimProcess sim({QStringLiteral("--pty"), QStringLiteral("--drop-after"), QStringLiteral("12")});
    QVERIFY(sim.ready());
    // The operator takes a few seconds to read the box, and the program goes
    // on meanwhile: the link is closed and deleted under the open box.
    dialogs->whileOpen = [](const Dialogs::Message &) { QTest::qWait(3000); };
    MainWindow w;
    w.show();
    int reports = 0;
    connect(&w, &MainWindow::newStatusReady, this, [&] { ++reports; });
    const QString log = testHome() + QStringLiteral("/traffic.log");
    QFile::remove(log);
    connectTo(w, sim.endpoint, log);

    if (typed) {
        QVERIFY(waitFor([&] { return reports >= 1; }, 10000));
        w.tabs()->setCurrentIndex(2);
        QVERIFY(waitFor(
            [&] {
                if (w.currentLink() && w.commandEntry()->isEnabled()) {
                    QTest::keyClicks(w.commandEntry(), QStringLiteral("status"));
                    QTest::keyClick(w.commandEntry(), Qt::Key_Return);
                    QTest::qWait(pacedSecondMs);
                }
                return !w.currentLink();
            },
            10000));
    } else {
        QVERIFY(waitFor([&] { return !w.currentLink(); }, 10000));
    }
    QVERIFY(waitFor([&] { return !w.isBusy() && sim.finished() && !dialogs->messages.isEmpty(); },
                    10000));
    QVERIFY(reports >= 2);

    // Told once, by box and status bar, and closed as Disconnect closes.
    QCOMPARE(dialogs->count(QStringLiteral("Connection lost")), 1);
    QCOMPARE(dialogs->messages.size(), 1);
    const QString lost = QStringLiteral("Connection lost: ");
    QVERIFY(dialogs->messages.first().text.startsWith(lost));
    QVERIFY(dialogs->messages.first().text.size() > lost.size()); // the port's own error text
    QCOMPARE(w.statusBar()->currentMessage(), dialogs->messages.first().text);
    QVERIFY(w.actionConnect->isEnabled());
    QVERIFY(!w.actionDisconnect->isEnabled());
    QVERIFY(!w.commandEntry()->isEnabled());
    QCOMPARE(w.serialLabel()->text(), QStringLiteral("SN: "));
    QVERIFY(!w.pollTimer()->isActive());

    // The analyzer went mid-reply; the files hold whole rows only.
    QString bad;
    QVERIFY2(wellFormedTrend(wholeLines(trendFile()), &bad), qPrintable(bad));
    const QStringList traffic = wholeLines(log);
    QVERIFY(!traffic.isEmpty());
    // Typed commands, late identity answers (the queries go on from any tab) and reports.
    static const QRegularExpression reportLine(QStringLiteral(
        "^(status|0001|1|H2O|ORIN OK|"
        "Filter : 100|Gas Type : N2|OpMode : 2|TauEmpty : 99\\.91 us|TauEStd : 0\\.25|"
        "Laser Temp 20\\.98|Laser Current 95\\.12|Cell Pressure : APC Pressure Reading 100\\.00|"
        "Conc : \\d+\\.\\d\\d|Faults : 0|Tau : \\d+\\.\\d\\d us|TauStd : 0\\.18 |"
        "Laser Status : (Processing|Waiting for) ringdown)$"));
    int replyLines = 0;
    for (const QString &line : traffic) {
        const bool row = trendRowPattern().match(line).hasMatch();
        QVERIFY2(row || (typed && reportLine.match(line).hasMatch()), qPrintable(line));
        replyLines += !row;
    }
    QCOMPARE(replyLines > 0, typed);
}

QTEST_MAIN(TestItFaults)
#include "test_it_faults.moc"
