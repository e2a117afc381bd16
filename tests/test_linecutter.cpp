#include "app/linecutter.h"

#include <QtTest>

class TestLineCutter : public QObject
{
    Q_OBJECT
private slots:
    void cutsAtLastLineFeed_data();
    void cutsAtLastLineFeed();
    void runawayInputStaysBounded();
    void longRestAfterLineFeedIsDropped();
    void clearForgetsPartialLine();
};

void TestLineCutter::cutsAtLastLineFeed_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QList<QByteArray>>("chunks"); // one per read, empty when none
    QTest::addColumn<QByteArray>("pending");

    QTest::newRow("one line") << QList<QByteArray>{"Conc : 1.2\r\n"}
                              << QList<QByteArray>{"Conc : 1.2\r\n"} << QByteArray();
    QTest::newRow("partial line waits")
        << QList<QByteArray>{"Conc : 1"} << QList<QByteArray>{""} << QByteArray("Conc : 1");
    QTest::newRow("two lines in one read, one chunk")
        << QList<QByteArray>{"Filter : 100\r\nGas Type : N2\r\n"}
        << QList<QByteArray>{"Filter : 100\r\nGas Type : N2\r\n"} << QByteArray();
    QTest::newRow("line split across reads comes once")
        << QList<QByteArray>{"Faults", " : 16", "\r\n"}
        << QList<QByteArray>{"", "", "Faults : 16\r\n"} << QByteArray();
    QTest::newRow("rest of a read waits for its line feed")
        << QList<QByteArray>{"Tau : 99\r\nTauS", "td : 0.2\r\n"}
        << QList<QByteArray>{"Tau : 99\r\n", "TauStd : 0.2\r\n"} << QByteArray();
    QTest::newRow("cut at the last of several line feeds")
        << QList<QByteArray>{"a\nb\nc"} << QList<QByteArray>{"a\nb\n"} << QByteArray("c");
    QTest::newRow("a bare line feed is a chunk")
        << QList<QByteArray>{"\n"} << QList<QByteArray>{"\n"} << QByteArray();
    QTest::newRow("empty read changes nothing")
        << QList<QByteArray>{"ab", ""} << QList<QByteArray>{"", ""} << QByteArray("ab");
    QTest::newRow("zero bytes pass through") << QList<QByteArray>{QByteArray("12\0"
                                                                             "4\r\n",
                                                                             6)}
                                             << QList<QByteArray>{QByteArray("12\0"
                                                                             "4\r\n",
                                                                             6)}
                                             << QByteArray();
}

void TestLineCutter::cutsAtLastLineFeed()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, pending);

    LineCutter cutter;
    for (int i = 0; i < reads.size(); ++i)
        QCOMPARE(cutter.feed(reads.at(i)), chunks.at(i));
    QCOMPARE(cutter.pending(), pending);
}

void TestLineCutter::runawayInputStaysBounded()
{
    // An analyzer (or line noise) that never sends a line feed.
    LineCutter cutter;
    const QByteArray junk(97, 'x');
    int largest = 0;
    for (int i = 0; i < 1000; ++i) {
        QVERIFY(cutter.feed(junk).isEmpty());
        largest = qMax(largest, cutter.pending().size());
    }
    QVERIFY(largest <= LineCutter::cap);

    // Exactly at the cap is still kept; one byte more drops it all.
    cutter.clear();
    QVERIFY(cutter.feed(QByteArray(LineCutter::cap, 'y')).isEmpty());
    QCOMPARE(cutter.pending().size(), LineCutter::cap);
    QVERIFY(cutter.feed("y").isEmpty());
    QVERIFY(cutter.pending().isEmpty());

    // One huge read without a line feed is never stored.
    QVERIFY(cutter.feed(QByteArray(1 << 20, 'z')).isEmpty());
    QVERIFY(cutter.pending().isEmpty());

    // After a flood the next whole line comes through clean.
    QCOMPARE(cutter.feed("Conc : 5\r\n"), QByteArray("Conc : 5\r\n"));
}

void TestLineCutter::longRestAfterLineFeedIsDropped()
{
    LineCutter cutter;
    const QByteArray rest(LineCutter::cap + 1, 'r');
    QCOMPARE(cutter.feed("line\n" + rest), QByteArray("line\n"));
    QVERIFY(cutter.pending().isEmpty());

    const QByteArray shortRest(LineCutter::cap, 'r');
    QCOMPARE(cutter.feed("line\n" + shortRest), QByteArray("line\n"));
    QCOMPARE(cutter.pending(), shortRest);
}

void TestLineCutter::clearForgetsPartialLine()
{
    LineCutter cutter;
    cutter.feed("Status : half");
    cutter.clear();
    QCOMPARE(cutter.feed(" a line\r\n"), QByteArray(" a line\r\n"));
}

QTEST_MAIN(TestLineCutter)
#include "test_linecutter.moc"
