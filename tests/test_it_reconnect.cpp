#include "app/connectionlifecycle.h"
#include "app/mainwindow.h"
#include "common/commandsequence.h"
#include "console/console.h"
#include "dashboard/instrument.h"
#include "simprocess.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

// An analyzer that goes away and comes back (a re-plugged adapter, a reboot, a
// network drop): the program reconnects by itself and the trend goes on.
class TestItReconnect : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void comesBackAndTrendGoesOn_data();
    void comesBackAndTrendGoesOn();

private:
    ScriptedDialogs *dialogs = nullptr;
};

static const int pacedSecondMs = 20;

void TestItReconnect::init()
{
    QSettings().clear();
    QDir(testHome() + QStringLiteral("/QuorvaneData")).removeRecursively();
    dialogs = new ScriptedDialogs;
    CommandSequence::setSecondMs(pacedSecondMs);
}

void TestItReconnect::cleanup()
{
    delete dialogs;
    dialogs = nullptr;
}

void TestItReconnect::comesBackAndTrendGoesOn_data()
{
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<bool>("comesBack");  // false: the operator disconnects while it is away
    QTest::addColumn<int>("bootSilence"); // commands unanswered after the restart
    QTest::newRow("pty under the same link name") << false << true << 0;
    QTest::newRow("tcp, same port") << true << true << 0;
    QTest::newRow("disconnect while away") << false << false << 0;
    // Reopened, it says nothing at first: the same loss, at the time it began.
    QTest::newRow("back, silent at first") << false << true << 12;
}

void TestItReconnect::comesBackAndTrendGoesOn()
{
    QFETCH(bool, tcp);
    QFETCH(bool, comesBack);
    QFETCH(int, bootSilence);
    if (tcp && !canBindTelnetPort())
        QSKIP("TCP port 23 cannot be bound here (it needs root)");
    QTemporaryDir tmp;
    const QString link = tmp.filePath(QStringLiteral("analyzer"));
    // Disconnected while away, the analyzer still comes back a few seconds
    // later, so an attempt made after Disconnect would find it.
    QStringList args{QStringLiteral("--verbose"),
                     QStringLiteral("--restart-after"),
                     QStringLiteral("15"),
                     QStringLiteral("--restart-delay"),
                     QString::number(bootSilence ? 1100
                                     : comesBack ? 300
                                                 : 3000),
                     QStringLiteral("--boot-silence"),
                     QString::number(bootSilence)};
    args += tcp ? QStringList{QStringLiteral("--tcp"), QStringLiteral("23")}
                : QStringList{QStringLiteral("--pty"), QStringLiteral("--link"), link};
    SimProcess sim(args);
    QVERIFY(sim.ready());

    MainWindow w;
    QStringList statusTexts;
    // What the dashboard shows the moment the loss is known: nothing as live.
    bool staleAtLoss = false;
    Instrument *dash = w.instrument();
    const auto anyLampLit = [dash] {
        for (int i = 0; i < Instrument::lampCount; ++i)
            if (dash->lampColour(Instrument::Lamp(i)) != Instrument::LampColour::Grey)
                return true;
        return false;
    };
    QSet<QString> lossLines; // the dashboard's, from "Connection lost at HH:MM:SS"
    connect(w.statusBar(), &QStatusBar::messageChanged, this, [&](const QString &text) {
        statusTexts << text;
        if (dash->staleLabel()->text().startsWith("Connection lost at "))
            lossLines << dash->staleLabel()->text().left(27);
        if (text.startsWith(QLatin1String("Connection lost: ")) && !staleAtLoss)
            staleAtLoss = dash->isStale() && !anyLampLit() &&
                          dash->staleLabel()->text().startsWith("Connection lost at ") &&
                          dash->concLabel()->styleSheet().contains("color: grey");
    });
    int reports = 0;
    connect(&w, &MainWindow::newStatusReady, this, [&] { ++reports; });
    SettingsPresets p;
    if (tcp)
        p.tcpHost = QStringLiteral("127.0.0.1");
    else
        p.serialPort = link;
    p.interval = 1;
    p.autoLog = true;
    QCOMPARE(w.settingsDialog()->applyPresets(p), QString());
    w.openConnection();
    QVERIFY(w.currentLink());

    const auto lossSeen = [&] {
        for (const QString &t : statusTexts)
            if (t.startsWith(QLatin1String("Connection lost: ")) &&
                t.endsWith(QStringLiteral(", reconnecting\u2026")))
                return true;
        return false;
    };
    QVERIFY(waitFor(lossSeen, 15000));
    QVERIFY(staleAtLoss);
    // A line typed meanwhile is refused with its reason, as the buttons are.
    w.tabs()->setCurrentIndex(2);
    w.commandEntry()->setText(QStringLiteral("sver"));
    QTest::keyClick(w.commandEntry(), Qt::Key_Return);
    w.consoleWidget()->flush();
    QVERIFY(w.consoleWidget()->toPlainText().contains(
        QStringLiteral("Not sent: the connection is lost, reconnecting.")));
    w.tabs()->setCurrentIndex(0);
    const int before = reports;
    QVERIFY(before >= 3);
    QVERIFY(w.actionDisconnect->isEnabled()); // still the operator's connection
    w.consoleWidget()->flush();               // the window may not be shown
    QVERIFY(w.consoleWidget()->toPlainText().contains(QStringLiteral("reconnecting\u2026")) ||
            waitFor([&] {
                return w.consoleWidget()->toPlainText().contains(
                    QStringLiteral("reconnecting\u2026"));
            }));

    if (comesBack) {
        QVERIFY(waitFor([&] { return reports >= before + 5; }, 20000));
        // Live again: lamps lit, readouts in their colours, no loss line.
        QVERIFY(!dash->isStale() && anyLampLit() && dash->staleLabel()->isHidden());
        QVERIFY(!dash->concLabel()->styleSheet().contains("color: grey"));
        QVERIFY(w.connectionState().identified);
        QVERIFY(w.connectionLifecycle()->attempts() == 0);
        QVERIFY2(lossLines.size() == 1, qPrintable(QStringList(lossLines.values()).join('|')));
        if (bootSilence)
            QVERIFY(statusTexts.contains(QStringLiteral(
                "Connection lost: no response from the analyzer, reconnecting\u2026")));
    } else {
        QTest::qWait(10 * pacedSecondMs); // a few attempts go by
        QVERIFY(!w.currentLink());
    }
    w.closeConnection();
    QVERIFY(waitFor([&] { return w.actionConnect->isEnabled() && !w.isBusy(); }));
    QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("Disconnected"));
    const int after = reports;
    if (comesBack) {
        // The goodbye is the last the analyzer hears.
        QVERIFY(waitFor([&] { return sim.heard().endsWith(QStringLiteral("tuneringdowns 25")); }));
    } else {
        // Back on a new pty under the same link name: it says where.
        QVERIFY(waitFor([&] { return sim.process.canReadLine(); }, 10000));
    }
    const int heard = sim.heard().size();
    // Longer than the longest back-off between attempts (30 paced seconds).
    QTest::qWait(60 * pacedSecondMs);
    QCOMPARE(reports, after);
    QCOMPARE(sim.heard().size(), heard); // no attempt after Disconnect
    QVERIFY2(dialogs->messages.isEmpty(), qPrintable(dialogs->titles().join(", ")));

    // One day's file, whole rows from before and after the drop.
    const QDir dir(testHome() + QStringLiteral("/QuorvaneData/Trend"));
    const QStringList files = dir.entryList({QStringLiteral("SN-0001-*.csv")}, QDir::Files);
    QCOMPARE(files.size(), 1);
    const QStringList lines = wholeLines(dir.filePath(files.first()));
    QCOMPARE(lines.value(0), trendHeader);
    QCOMPARE(lines.count(trendHeader), 1);
    QCOMPARE(lines.size() - 1, reports);
    for (const QString &row : lines.mid(1))
        QVERIFY2(trendRowPattern().match(row).hasMatch(), qPrintable(row));
}

QTEST_MAIN(TestItReconnect)
#include "test_it_reconnect.moc"
