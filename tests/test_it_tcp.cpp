#include "app/mainwindow.h"
#include "common/commandsequence.h"
#include "link/orininterface.h"
#include "simprocess.h"

#include <QAction>
#include <QSettings>
#include <QStatusBar>
#include <QtTest>

// The main window over TCP to the simulator on 127.0.0.1. The program's TCP port
// is fixed at 23, so these run only where it can be bound (as root, as in CI).
class TestItTcp : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void accessCodeFirstThenPolls();
    void closedByAnalyzer();

private:
    void connectTo(MainWindow &w);
    ScriptedDialogs *dialogs = nullptr;
};

static const int pacedSecondMs = 20;

void TestItTcp::init()
{
    if (!canBindTelnetPort())
        QSKIP("TCP port 23 cannot be bound here (it needs root)");
    QSettings().clear();
    dialogs = new ScriptedDialogs;
    CommandSequence::setSecondMs(pacedSecondMs);
}

void TestItTcp::cleanup()
{
    delete dialogs;
    dialogs = nullptr;
}

void TestItTcp::connectTo(MainWindow &w)
{
    SettingsPresets p;
    p.tcpHost = QStringLiteral("127.0.0.1");
    p.interval = 1;
    QCOMPARE(w.settingsDialog()->applyPresets(p), QString());
    w.openConnection();
    QVERIFY(w.currentLink());
}

void TestItTcp::accessCodeFirstThenPolls()
{
    SimProcess sim({QStringLiteral("--tcp"), QStringLiteral("23"), QStringLiteral("--verbose"),
                    QStringLiteral("--serial"), QStringLiteral("2468")});
    QVERIFY(sim.ready());
    QCOMPARE(sim.endpoint, QStringLiteral("127.0.0.1:23"));
    MainWindow w;
    int reports = 0;
    connect(&w, &MainWindow::newStatusReady, this, [&] { ++reports; });
    connectTo(w);

    QVERIFY(waitFor([&] { return reports >= 3; }, 10000));
    QCOMPARE(w.connectionState().serialNumber, QStringLiteral("2468"));
    const QStringList heard = sim.heard();
    QVERIFY(heard.size() > 5);
    // The code comes before anything else; the extra line feed of each TCP
    // command makes no command of its own.
    QCOMPARE(heard.mid(0, 3), (QStringList{"8264", "fact=1", "ssnid"}));
    QVERIFY(heard.count(QStringLiteral("status")) >= 3);
    QVERIFY(!heard.contains(QString()));
    QCOMPARE(dialogs->messages.size(), 0);

    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
    QCOMPARE(dialogs->messages.size(), 0);
}

static QStringList warnings;
static void keepWarnings(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtWarningMsg)
        warnings << text;
}

void TestItTcp::closedByAnalyzer()
{
    SimProcess sim({QStringLiteral("--tcp"), QStringLiteral("23"), QStringLiteral("--drop-after"),
                    QStringLiteral("8")});
    QVERIFY(sim.ready());
    QSettings().setValue(QStringLiteral("autoReconnect"), false);
    MainWindow w;
    connectTo(w);
    QVERIFY(waitFor([&] { return w.connectionState().identified; }, 10000));
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepWarnings);

    // The socket's error box comes once; after that the silence shows in the status bar.
    const auto errorBoxes = [&] {
        int n = 0;
        for (const auto &m : dialogs->messages)
            n += m.text.startsWith(QLatin1String("error "));
        return n;
    };
    const bool boxed = waitFor([&] { return errorBoxes() == 1; }, 10000);
    const QString silenceText = QStringLiteral("Last response from analyzer received at: ");
    waitFor(
        [&] { return w.statusBar()->currentMessage().startsWith(silenceText) || !w.currentLink(); },
        10000);
    const QString status = w.statusBar()->currentMessage();
    const bool linkKept = w.currentLink();
    // Polls go on into the closed connection for a while.
    QTest::qWait(10 * pacedSecondMs);
    qInstallMessageHandler(previous);

    QVERIFY(boxed);
    QVERIFY2(linkKept, qPrintable(status)); // a lost TCP connection shows only as silence
    QVERIFY2(status.startsWith(silenceText), qPrintable(status));
    QCOMPARE(errorBoxes(), 1);
    QVERIFY2(dialogs->messages.size() == 1, qPrintable(dialogs->titles().join(", ")));
    // Writing into a closed socket must stay quiet, not warn on every poll.
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.value(0)));

    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
}

QTEST_MAIN(TestItTcp)
#include "test_it_tcp.moc"
