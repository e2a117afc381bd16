#include "support/testsupport.h"
#include "tools/telvar-sim/simanalyzer.h"

#include <QtTest>

// The simulator's side of a performance verification. The whole run against
// it is played end to end by test_it_certify (laser optimization, reference
// cell scan and download, settings answers); here what that run does not use.
class TestSimCertification : public QObject
{
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
    void downloads_data();
    void downloads();
};

static SimAnalyzer::Options seeded()
{
    SimAnalyzer::Options o;
    o.seed = 7;
    return o;
}

void TestSimCertification::answers_data()
{
    QTest::addColumn<QByteArray>("noAck");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("fact") << QByteArray() << QByteArray("fact=1\r\n") << QByteArray("1\r\n");
    QTest::newRow("another mode ends it")
        << QByteArray() << QByteArray("opmode 5\r\nopmode 0\r\nopmode\r\n")
        << QByteArray("5\r\n0\r\n");
    QTest::newRow("no optimize ack")
        << QByteArray("optimize") << QByteArray("opmode 5\r\n") << QByteArray();
    QTest::newRow("no fact ack") << QByteArray("fact") << QByteArray("fact=1\r\n") << QByteArray();
    QTest::newRow("temperature scan rises, then falls")
        << QByteArray()
        << QByteArray(
               "tempscan 5 35 3 20 15\r\nlt\r\nlt\r\nlt\r\nlt\r\nlt\r\nlt\r\nlt\r\nlt\r\nlt\r\n"
               "lt\r\nlt\r\n")
        << QByteArray("8\r\n11\r\n14\r\n17\r\n20\r\n23\r\n26\r\n29\r\n32\r\n35\r\n5\r\n");
}

void TestSimCertification::answers()
{
    QFETCH(QByteArray, noAck);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, reply);
    SimAnalyzer sim(seeded());
    sim.certification.options.noAck = noAck;
    QCOMPARE(sim.receive(sent), reply);
}

void TestSimCertification::downloads_data()
{
    QTest::addColumn<QByteArray>("scan");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("endless");
    const QByteArray temp = "tempscan 5 35 0.5 20 15\r\n";
    const QByteArray rcs = "rcs 5 35 0.02 1 10 95\r\n";
    QTest::newRow("temperature") << temp << QByteArray("dtsd\r\n") << false;
    QTest::newRow("endless") << rcs << QByteArray("drcsd\r\n") << true;
}

void TestSimCertification::downloads()
{
    QFETCH(QByteArray, scan);
    QFETCH(QByteArray, command);
    QFETCH(bool, endless);
    SimAnalyzer sim(seeded());
    sim.scans.endlessDownload = endless;
    sim.receive(scan);
    for (int i = 0; i < SimScans::pollsPerScan; ++i)
        sim.receive("lt\r\n"); // the whole way to its End
    const QList<QByteArray> rows = sim.receive(command).split('\n');
    QVERIFY(rows.size() > 20);
    QVERIFY(rows.last().isEmpty()); // whole lines only
    // The marker is the first field of the last row and nowhere before.
    for (int i = 0; i < rows.size() - 1; ++i) {
        const QByteArray first = rows.at(i).simplified().split(' ').first();
        const bool last = i == rows.size() - 2;
        QVERIFY2(rows.at(i).endsWith('\r'), rows.at(i));
        QCOMPARE(first == "35.000" || first == "35.0000", last && !endless);
        if (last && !endless)
            QCOMPARE(first, QByteArray("35.000")); // the temperature download's
    }
}

QTEST_MAIN(TestSimCertification)
#include "test_simcertification.moc"
