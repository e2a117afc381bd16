#include "app/pollcycle.h"

#include <QtTest>

using namespace PollCycle;
Q_DECLARE_METATYPE(PollCycle::Silence)

class TestPollCycle : public QObject
{
    Q_OBJECT
private slots:
    void silenceVerdict_data();
    void silenceVerdict();
    void identityQueriesInOrder();
    void pollCommands_data();
    void pollCommands();
};

void TestPollCycle::silenceVerdict_data()
{
    QTest::addColumn<qint64>("silent");
    QTest::addColumn<int>("interval");
    QTest::addColumn<bool>("gotReply");
    QTest::addColumn<bool>("dashboard");
    QTest::addColumn<Silence>("verdict");
    // Milliseconds since the last reply: the tick just after 3 s of a 1 s
    // interval is the first silent one, not the one after it.
    QTest::newRow("3 s of a 1 s interval is not yet silence")
        << qint64(3000) << 1 << true << true << Silence::None;
    QTest::newRow("the first tick after 3 s of a 1 s interval")
        << qint64(3004) << 1 << true << true << Silence::Quiet;
    QTest::newRow("never answered") << qint64(3004) << 1 << false << true << Silence::NeverAnswered;
    QTest::newRow("another tab in front") << qint64(400000) << 1 << false << false << Silence::None;
    QTest::newRow("15 s of a 5 s interval") << qint64(15000) << 5 << true << true << Silence::None;
    QTest::newRow("just over 15 s of a 5 s interval")
        << qint64(15001) << 5 << true << true << Silence::Quiet;
}

void TestPollCycle::silenceVerdict()
{
    QFETCH(qint64, silent);
    QFETCH(int, interval);
    QFETCH(bool, gotReply);
    QFETCH(bool, dashboard);
    QFETCH(Silence, verdict);
    QCOMPARE(silence(silent, interval * 1000, gotReply, dashboard), verdict);
}

void TestPollCycle::identityQueriesInOrder()
{
    ParserState s;
    QList<IdentityQuery> q = identityQueries(s);
    QCOMPARE(q.size(), 3);
    QCOMPARE(q[0].command, QString("unitdisp\r\n"));
    QCOMPARE(q[0].waitSeconds, 1);
    QCOMPARE(q[1].command, QString("species\r\n"));
    QCOMPARE(q[1].waitSeconds, 1);
    QCOMPARE(q[2].command, QString("modelname\r\n"));
    QCOMPARE(q[2].waitSeconds, 2);
    QCOMPARE(q[2].statusText, QString("Getting model name..."));
    // Each question belongs to its own query.
    IdentityAnswers answers;
    answers.ask(q[1].question);
    QVERIFY(answers.awaits(IdentityAnswers::Species) && !answers.awaits(IdentityAnswers::Units) &&
            !answers.awaits(IdentityAnswers::Model));

    // Answered texts are not asked again; compatibility mode fills them with a blank.
    s.unitsCode = "1";
    s.modelName = " ";
    q = identityQueries(s);
    QCOMPARE(q.size(), 1);
    QCOMPARE(q[0].command, QString("species\r\n"));
}

void TestPollCycle::pollCommands_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<bool>("compat");
    QTest::addColumn<int>("scan");
    QTest::addColumn<QString>("command");
    QTest::newRow("dashboard") << 0 << false << 0 << "status\r\n";
    QTest::newRow("dashboard, old firmware") << 0 << true << 0 << "conc\r\n";
    QTest::newRow("utilities") << 2 << false << 0 << "";
    QTest::newRow("scans idle") << 3 << false << 0 << "";
    QTest::newRow("reference cell scan") << 3 << false << 1 << "lt\r\n";
    QTest::newRow("temperature scan") << 3 << false << 2 << "lt\r\n";
    QTest::newRow("fine scan") << 3 << false << 3 << "lc\r\n";
    QTest::newRow("download") << 3 << false << 4 << "";
    QTest::newRow("scan state off the scans tab") << 1 << false << 1 << "";
}

void TestPollCycle::pollCommands()
{
    QFETCH(int, tab);
    QFETCH(bool, compat);
    QFETCH(int, scan);
    QFETCH(QString, command);
    QCOMPARE(pollCommand(tab, compat, scan), command);
}

QTEST_APPLESS_MAIN(TestPollCycle)
#include "test_pollcycle.moc"
