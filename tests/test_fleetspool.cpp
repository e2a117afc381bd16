#include "fleet/spool.h"
#include "support/testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

// The spool of trend rows on their way to the broker: what a new run of the
// program finds, and what a full spool gives up.
class TestFleetSpool : public QObject
{
    Q_OBJECT
private slots:
    void nextRunHandsOutWhatIsLeft_data();
    void nextRunHandsOutWhatIsLeft();
    void fullSpoolDropsOldestRows();
    // A damaged line costs that line; a damaged mark at most the newest segment.
    void damageIsSkipped_data();
    void damageIsSkipped();
};

namespace {

SpoolRow row(qint64 seq, int padding = 0)
{
    return {seq, "telvar/4321/trend",
            "{\"seq\":" + QByteArray::number(seq) + ",\"pad\":\"" + QByteArray(padding, 'x') +
                "\"}"};
}

// The seqs of the rows handed out from here on; a row that does not read back
// as written ends the list with -1.
QList<qint64> handOutAll(Spool &spool, int padding = 0)
{
    QList<qint64> seqs;
    SpoolRow r;
    while (spool.peek(r)) {
        const SpoolRow written = row(r.seq, padding);
        seqs << (r.topic == written.topic && r.payload == written.payload ? r.seq : -1);
        spool.handedOut();
    }
    return seqs;
}

} // namespace

void TestFleetSpool::nextRunHandsOutWhatIsLeft_data()
{
    QTest::addColumn<int>("appended");
    QTest::addColumn<QList<qint64>>("delivered");
    QTest::addColumn<QByteArray>("tornTail"); // a kill in the middle of a write
    QTest::addColumn<QList<qint64>>("handedOutNext");
    QTest::addColumn<qint64>("nextSeq");
    // Only the unbroken run of deliveries is kept: 4 and 6 go again (at least once).
    QTest::newRow("delivered out of order") << 8 << QList<qint64>{1, 2, 4, 6} << QByteArray()
                                            << QList<qint64>{3, 4, 5, 6, 7, 8} << qint64(9);
    QTest::newRow("torn last row cut off")
        << 3 << QList<qint64>{1} << QByteArray("4\ttelvar/4321/trend\t{\"se") << QList<qint64>{2, 3}
        << qint64(4);
    QTest::newRow("all delivered: the seq goes on")
        << 5 << QList<qint64>{5, 4, 3, 2, 1} << QByteArray() << QList<qint64>{} << qint64(6);
}

void TestFleetSpool::nextRunHandsOutWhatIsLeft()
{
    QFETCH(int, appended);
    QFETCH(QList<qint64>, delivered);
    QFETCH(QByteArray, tornTail);
    QFETCH(QList<qint64>, handedOutNext);
    QFETCH(qint64, nextSeq);
    QTemporaryDir dir;
    {
        Spool spool(dir.path(), 1 << 20);
        QVERIFY(spool.isOpen());
        for (int i = 1; i <= appended; ++i) {
            bool ok = false;
            QCOMPARE(spool.append(row(spool.nextSeq()), &ok), qint64(0));
            QVERIFY(ok);
        }
        // Everything was handed to the broker once; some of it arrived.
        QCOMPARE(handOutAll(spool).size(), appended);
        for (qint64 seq : delivered)
            spool.delivered(seq);
        QCOMPARE(spool.pending(), qint64(appended - delivered.size()));
    }
    if (!tornTail.isEmpty()) {
        QFile last(dir.filePath(QDir(dir.path()).entryList({"*.rows"}, QDir::Files).last()));
        QVERIFY(last.open(QIODevice::Append));
        last.write(tornTail);
    }

    Spool again(dir.path(), 1 << 20);
    QCOMPARE(handOutAll(again), handedOutNext);
    QCOMPARE(again.nextSeq(), nextSeq);
    // A row appended after the cut reads back whole.
    again.append(row(again.nextSeq()));
    again.rewind();
    QCOMPARE(handOutAll(again), handedOutNext + QList<qint64>{nextSeq});
}

void TestFleetSpool::fullSpoolDropsOldestRows()
{
    QTemporaryDir dir;
    const qint64 limit = 256 << 10;
    const int rows = 3000; // about 2.5 times the limit
    qint64 dropped = 0;
    {
        Spool spool(dir.path(), limit);
        for (int i = 1; i <= rows; ++i) {
            dropped += spool.append(row(spool.nextSeq(), 200));
            QVERIFY(spool.bytes() <= limit);
        }
        QVERIFY(dropped > 0);
        QCOMPARE(spool.pending() + dropped, qint64(rows));
    }
    // What a new run finds is the newest rows, in order, up to the last.
    Spool again(dir.path(), limit);
    QList<qint64> expected;
    for (qint64 seq = dropped + 1; seq <= rows; ++seq)
        expected << seq;
    QCOMPARE(handOutAll(again, 200), expected);
}

void TestFleetSpool::damageIsSkipped_data()
{
    QTest::addColumn<int>("appended");
    QTest::addColumn<int>("badLine"); // of the newest segment, from 1; 0: none
    QTest::addColumn<QByteArray>("badText");
    QTest::addColumn<QByteArray>("mark"); // the delivered mark written over; empty: none
    QTest::addColumn<bool>("newestOnly"); // only the newest segment goes again
    // (A bad last line: see the fleet's integration test.)
    QTest::newRow("row torn in the middle")
        << 10 << 5 << QByteArray("5\ttelvar/4321/trend\t{\"se") << QByteArray() << false;
    QTest::newRow("damaged mark") << 200 << 0 << QByteArray() << QByteArray("3x\n") << true;
}

void TestFleetSpool::damageIsSkipped()
{
    QFETCH(int, appended);
    QFETCH(int, badLine);
    QFETCH(QByteArray, badText);
    QFETCH(QByteArray, mark);
    QFETCH(bool, newestOnly);
    QTemporaryDir dir;
    const qint64 limit = 256 << 10; // segments of 16 KiB
    {
        Spool spool(dir.path(), limit);
        for (int i = 1; i <= appended; ++i)
            spool.append(row(spool.nextSeq(), 200));
    }
    const QString runBefore = Spool(dir.path(), limit).run();
    const QStringList segments = QDir(dir.path()).entryList({"*.rows"}, QDir::Files);
    const qint64 newestFirst = segments.last().left(16).toLongLong();
    QVERIFY(!newestOnly || segments.size() > 2);
    if (badLine > 0) {
        QFile f(dir.filePath(segments.last()));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QList<QByteArray> lines = f.readAll().split('\n');
        lines[badLine - 1] = badText;
        f.resize(0);
        f.write(lines.join('\n'));
    }
    if (!mark.isEmpty()) {
        QFile f(dir.filePath(QStringLiteral("delivered")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(mark);
    }

    Spool again(dir.path(), limit);
    QList<qint64> expected;
    for (qint64 seq = newestOnly ? newestFirst : 1; seq <= appended; ++seq)
        if (seq != newestFirst + badLine - 1 || badLine == 0)
            expected << seq;
    QCOMPARE(handOutAll(again, 200), expected);
    QCOMPARE(again.takeSkipped(), qint64(badLine > 0 ? 1 : 0));
    // The seq goes on under the same run: nothing is taken for a row seen before.
    QCOMPARE(again.nextSeq(), qint64(appended + 1));
    QCOMPARE(again.run(), runBefore);
    again.rewind();
    handOutAll(again, 200);
    QCOMPARE(again.takeSkipped(), qint64(0)); // told once
}

QTEST_GUILESS_MAIN(TestFleetSpool)
#include "test_fleetspool.moc"
