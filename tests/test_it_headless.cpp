#include "simprocess.h"

#include <QDir>
#include <QProcessEnvironment>
#include <QtTest>

#include <algorithm>
#include <csignal>

// The installed monitoring station: the real program with no window and no
// display, stopped by a service manager's signal.
class TestItHeadless : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void stopsLikeDisconnect_data();
    void stopsLikeDisconnect();
    void boxBecomesOneLine();
    void eachEventJournalledOnce_data();
    void eachEventJournalledOnce();
    void tcpStationJournal_data();
    void tcpStationJournal();

private:
    void start(QProcess &telvar, const QStringList &arguments, bool debug = false);
};

void TestItHeadless::init()
{
    QDir(testHome() + QStringLiteral("/QuorvaneData")).removeRecursively();
}

void TestItHeadless::start(QProcess &telvar, const QStringList &arguments, bool debug)
{
    // Nothing that would lead Qt to a display, nor debug output unless asked for.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_LOGGING_RULES"})
        env.remove(QLatin1String(name));
    if (debug)
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("telvar.debug=true"));
    telvar.setProcessEnvironment(env);
    telvar.start(QStringLiteral(TELVAR_BIN), QStringList{QStringLiteral("--headless")} + arguments);
    QVERIFY(telvar.waitForStarted());
}

void TestItHeadless::stopsLikeDisconnect_data()
{
    QTest::addColumn<int>("signo");
    QTest::addColumn<bool>("twice");
    QTest::newRow("SIGTERM") << int(SIGTERM) << false;
    QTest::newRow("a second SIGINT ends at once") << int(SIGINT) << true;
}

void TestItHeadless::stopsLikeDisconnect()
{
    QFETCH(int, signo);
    QFETCH(bool, twice);
    SimProcess sim({QStringLiteral("--pty"), QStringLiteral("--verbose"),
                    QStringLiteral("--serial"), QStringLiteral("5678")});
    QVERIFY(sim.ready());
    QProcess telvar;
    start(telvar, {QStringLiteral("--serial"), sim.endpoint, QStringLiteral("--interval"),
                   QStringLiteral("1"), QStringLiteral("--autolog"), QStringLiteral("--connect")});
    const QString trend = testHome() + QStringLiteral("/QuorvaneData/Trend/SN-5678-") +
                          QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                          QStringLiteral(".csv");
    QVERIFY(waitFor([&] { return wholeLines(trend).size() >= 3; }, 20000));

    ::kill(pid_t(telvar.processId()), signo);
    if (twice) {
        QVERIFY(waitFor([&] { return sim.heard().contains(QStringLiteral("srda 0")); }));
        ::kill(pid_t(telvar.processId()), signo);
    }
    QVERIFY(telvar.waitForFinished(10000));
    QCOMPARE(telvar.exitStatus(), QProcess::NormalExit);
    QCOMPARE(telvar.exitCode(), 0);

    // The goodbye commands in order, and nothing after them.
    QTest::qWait(100);
    const QStringList heard = sim.heard();
    const QStringList goodbye =
        twice ? QStringList{QStringLiteral("srda 0")}
              : QStringList{QStringLiteral("srda 0"), QStringLiteral("tuneringdowns 25")};
    QCOMPARE(heard.mid(heard.size() - goodbye.size()), goodbye);
    QCOMPARE(heard.count(QStringLiteral("srda 0")), 1);

    const QStringList rows = wholeLines(trend);
    QCOMPARE(rows.value(0), trendHeader);
    for (const QString &row : rows.mid(1))
        QVERIFY2(trendRowPattern().match(row).hasMatch(), qPrintable(row));
    const QString err = QString::fromLocal8Bit(telvar.readAllStandardError());
    // One line for the one connection.
    QVERIFY2(err.count(QRegularExpression(QStringLiteral(
                 "(^|\\n)\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d Connected to "))) == 1,
             qPrintable(err));
}

void TestItHeadless::boxBecomesOneLine()
{
    QProcess telvar;
    start(telvar, {QStringLiteral("--serial"), QStringLiteral("/nonexistent/ttyX"),
                   QStringLiteral("--connect")});
    const QRegularExpression line(QStringLiteral("(^|\\n)\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d "
                                                 "Error: Unable to open /nonexistent/ttyX\\n"));
    QString err;
    QVERIFY(waitFor([&] {
        err += QString::fromLocal8Bit(telvar.readAllStandardError());
        return line.match(err).hasMatch();
    }));
    // The box did not wait for anybody: the program goes on and stops on request.
    QCOMPARE(telvar.state(), QProcess::Running);
    ::kill(pid_t(telvar.processId()), SIGTERM);
    QVERIFY(telvar.waitForFinished(5000));
    QCOMPARE(telvar.exitCode(), 0);
}

void TestItHeadless::eachEventJournalledOnce_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QStringList>("telvarArgs");
    QTest::addColumn<QString>("event"); // the start of its journal line
    // The cable comes back but the analyzer does not answer (an adapter
    // plugged in while its analyzer is off): the station keeps trying.
    QTest::newRow("silent return")
        << QStringList{"--silent-after", "7"} << QStringList{}
        << "Connection lost: no response from the analyzer, reconnecting\u2026";
    QTest::newRow("another analyzer")
        << QStringList{"--return-serial", "9999"} << QStringList{}
        << "Another analyzer: Another analyzer answered when the connection came back: serial "
           "number 9999, not 0001.";
    QTest::newRow("lost without reconnecting")
        << QStringList{} << QStringList{"--no-reconnect"} << "Connection lost: ";
}

void TestItHeadless::eachEventJournalledOnce()
{
    // The journal says each thing once instead of every few seconds for ever,
    // and not once from the status bar and again from its box.
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, telvarArgs);
    QFETCH(QString, event);
    const QString device = testHome() + QStringLiteral("/orin");
    SimProcess sim(QStringList{QStringLiteral("--pty"), QStringLiteral("--verbose"),
                               QStringLiteral("--link"), device, QStringLiteral("--drop-on"),
                               QStringLiteral("status:2"), QStringLiteral("--restart-delay"),
                               QStringLiteral("100")} +
                   simArgs);
    QVERIFY(sim.ready());
    QProcess telvar;
    start(telvar, QStringList{QStringLiteral("--serial"), device, QStringLiteral("--interval"),
                              QStringLiteral("1"), QStringLiteral("--pace"), QStringLiteral("20"),
                              QStringLiteral("--connect")} +
                      telvarArgs);
    // The journal's lines (not the debug output), from the analyzer's last answer on.
    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d "));
    QStringList texts;
    QString err;
    const auto count = [&] {
        return std::count_if(texts.begin(), texts.end(),
                             [&](const QString &t) { return t.startsWith(event); });
    };
    const auto journal = [&] {
        err += QString::fromLocal8Bit(telvar.readAllStandardError());
        texts.clear();
        for (const QString &line : err.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (line.contains(stamp))
                texts << line.mid(20);
        }
        return count() > 0;
    };
    QVERIFY2(waitFor(journal, 15000), qPrintable(err));
    QTest::qWait(500); // what might follow the event, again
    ::kill(pid_t(telvar.processId()), SIGTERM);
    QVERIFY(telvar.waitForFinished(5000));
    journal();
    texts = texts.mid(texts.indexOf(QStringLiteral("Getting model name...")));
    QVERIFY2(QStringList(texts).removeDuplicates() == 0, qPrintable(texts.join('\n')));
    QCOMPARE(count(), 1);
}

void TestItHeadless::tcpStationJournal_data()
{
    QTest::addColumn<bool>("debug");
    QTest::newRow("journal only") << false;
    QTest::newRow("telvar.debug=true") << true;
}

void TestItHeadless::tcpStationJournal()
{
    QFETCH(bool, debug);
    // An analyzer behind a serial-to-Ethernet converter: any port but 23.
    SimProcess sim({QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--verbose"),
                    QStringLiteral("--serial"), QStringLiteral("5678")});
    QVERIFY(sim.ready());
    const QString port = sim.endpoint.section(QLatin1Char(':'), 1);
    QVERIFY(port.toInt() > 0 && port != QLatin1String("23"));
    QProcess telvar;
    start(telvar,
          {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:") + port,
           QStringLiteral("--interval"), QStringLiteral("1"), QStringLiteral("--pace"),
           QStringLiteral("20"), QStringLiteral("--autolog"), QStringLiteral("--connect")},
          debug);
    const QString trend = testHome() + QStringLiteral("/QuorvaneData/Trend/SN-5678-") +
                          QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                          QStringLiteral(".csv");
    QVERIFY(waitFor([&] { return wholeLines(trend).size() >= 3; }, 20000));
    ::kill(pid_t(telvar.processId()), SIGTERM);
    QVERIFY(telvar.waitForFinished(10000));
    QCOMPARE(telvar.exitCode(), 0);
    QCOMPARE(sim.heard().mid(0, 3), (QStringList{"8264", "fact=1", "ssnid"}));

    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d "));
    QStringList journal, traces;
    for (const QString &line : QString::fromLocal8Bit(telvar.readAllStandardError())
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        (line.contains(stamp) ? journal : traces) << line;
    const QRegularExpression connected(QStringLiteral(".* Connected to 127\\.0\\.0\\.1:") + port +
                                       QLatin1Char('$'));
    QVERIFY2(journal.indexOf(connected) >= 0, qPrintable(journal.join('\n')));
    if (!debug) {
        QVERIFY2(traces.isEmpty(), qPrintable(traces.join('\n')));
        return;
    }
    // The traces as they have always read, under the category's name.
    for (const char *text : {"telvar: Connected", "telvar: dir does not exist",
                             "telvar: revale true", "telvar: autoLog file does not exist"})
        QVERIFY2(traces.contains(QLatin1String(text)), text);
}

QTEST_GUILESS_MAIN(TestItHeadless)
#include "test_it_headless.moc"
