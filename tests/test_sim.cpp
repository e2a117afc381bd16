#include "tools/telvar-sim/simanalyzer.h"

#include <QtTest>

// The simulator's analyzer without any transport: what it answers, how it
// streams SRDA rows, and the faults it injects on demand.
class TestSim : public QObject
{
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
    void statusFollowsMode();
    void linesSplitAndJoined();
    void overlongLineIsNoCommand();
    void accessCodeFirst();
    void srdaStartStop_data();
    void srdaStartStop();
    void silentAfter_data();
    void silentAfter();
    void dropAfterCutsTheReply();
    void garbageFraction_data();
    void garbageFraction();
    void runawayLineOnce();
    void srdaStreamPaces();
};

static SimAnalyzer::Options seeded(quint32 seed = 7)
{
    SimAnalyzer::Options o;
    o.seed = seed;
    return o;
}

void TestSim::answers_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("serial") << QByteArray("ssnid\r\n") << QByteArray("4321\r\n");
    QTest::newRow("serial over tcp") << QByteArray("ssnid\r\n\n") << QByteArray("4321\r\n");
    QTest::newRow("console line") << QByteArray("ssnid\r") << QByteArray("4321\r\n");
    QTest::newRow("units") << QByteArray("unitdisp\r\n") << QByteArray("1\r\n");
    QTest::newRow("species") << QByteArray("species\r\n") << QByteArray("H2O\r\n");
    QTest::newRow("model") << QByteArray("modelname\r\n") << QByteArray("ORIN OK\r\n");
    QTest::newRow("filter") << QByteArray("filter\r\n") << QByteArray("100\r\n");
    QTest::newRow("filter change while measuring")
        << QByteArray("filter 150\r\nfilter\r\n") << QByteArray("!WRONG\r\n100\r\n");
    QTest::newRow("laser temp steps")
        << QByteArray("lt\r\nlt\r\n") << QByteArray("21.98\r\n22.98\r\n");
    QTest::newRow("laser current") << QByteArray("lc\r\n") << QByteArray("96.12\r\n");
    // No "OK": a one-word answer would be taken for a pending model or species reply.
    QTest::newRow("mode change is silent") << QByteArray("opmode 0\r\n") << QByteArray();
    QTest::newRow("mode query") << QByteArray("opmode\r\n") << QByteArray("2\r\n");
    QTest::newRow("opening commands")
        << QByteArray("fact=1\r\ntuneringdowns 25\r\n") << QByteArray("1\r\n");
    QTest::newRow("unknown") << QByteArray("sgad\r\n") << QByteArray("!UNKNOWN\r\n");
    QTest::newRow("empty lines") << QByteArray("\r\n\n\r\r\n") << QByteArray();
    QTest::newRow("srda bad value") << QByteArray("srda x\r\n") << QByteArray("!UNKNOWN\r\n");
    QTest::newRow("gas library")
        << QByteArray("sagd\r\n")
        << QByteArray("Gas 1 N2\r\nGas 2 Air\r\nGas 3 Ar\r\nGas 4 He\r\nGas 5 CO2\r\nGas 6 H2\r\n");
    QTest::newRow("settings changed in service mode")
        << QByteArray("opmode 0\r\nfilter 150\r\nfilter\r\ngastype Air\r\ngastype\r\n"
                      "DYNAMICFILTER_ENABLED 1\r\nDYNAMICFILTER_ENABLED\r\n")
        << QByteArray("150\r\nAir\r\n1\r\n");
    QTest::newRow("settings refused while measuring")
        << QByteArray("gastype Air\r\nDYNAMICFILTER_ENABLED 1\r\nDYNAMICFILTER_ENABLED\r\n")
        << QByteArray("!WRONG\r\n!WRONG\r\n0\r\n");
    QTest::newRow("settings out of range")
        << QByteArray("opmode 0\r\nfilter 5\r\ngastype air\r\nDYNAMICFILTER_ENABLED 2\r\n")
        << QByteArray("!UNKNOWN\r\n!UNKNOWN\r\n!UNKNOWN\r\n");
}

void TestSim::answers()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, reply);
    SimAnalyzer::Options o = seeded();
    o.serial = "4321";
    SimAnalyzer sim(o);
    QCOMPARE(sim.receive(sent), reply);
}

void TestSim::statusFollowsMode()
{
    SimAnalyzer sim(seeded());
    const QByteArray measuring = sim.receive("status\r\n");
    QVERIFY(measuring.contains("\r\nOpMode : 2\r\n"));
    QVERIFY(measuring.endsWith("Laser Status : Processing ringdown\r\n") ||
            measuring.endsWith("Laser Status : Waiting for ringdown\r\n"));
    const QByteArray conc = sim.receive("conc\r\n");
    QVERIFY(conc.endsWith("\r\n"));
    bool number = false;
    QVERIFY(conc.trimmed().toDouble(&number) < 1.0);
    QVERIFY(number);

    QCOMPARE(sim.receive("opmode 0\r\n"), QByteArray());
    const QByteArray service = sim.receive("status\r\n");
    QVERIFY(service.contains("\r\nOpMode : 0\r\n"));
    QVERIFY(service.contains("\r\nConc : WRONGMODE\r\n"));
    QVERIFY(service.endsWith("Laser Status : In SERVICE mode\r\n"));
    QCOMPARE(sim.receive("conc\r\n"), QByteArray("WRONGMODE\r\n"));

    // A new client meets the analyzer as it was switched on.
    sim.reset();
    QVERIFY(sim.receive("status\r\n").contains("\r\nOpMode : 2\r\n"));
}

void TestSim::linesSplitAndJoined()
{
    SimAnalyzer sim(seeded());
    QCOMPARE(sim.receive("ssn"), QByteArray());
    QCOMPARE(sim.receive("id\r"), QByteArray("0001\r\n"));
    QCOMPARE(sim.receive("\nspecies\r\n\nunitdisp\r\n\n"), QByteArray("H2O\r\n1\r\n"));
    QCOMPARE(sim.commandCount(), 3);
}

void TestSim::overlongLineIsNoCommand()
{
    SimAnalyzer sim(seeded());
    // Neither the line nor its tail ("ssnid") is taken as a command.
    QCOMPARE(sim.receive(QByteArray(3000, 'x') + "ssnid\r\n"), QByteArray());
    QCOMPARE(sim.commandCount(), 0);
    QCOMPARE(sim.receive("ssnid\r\n"), QByteArray("0001\r\n"));
}

void TestSim::accessCodeFirst()
{
    SimAnalyzer::Options o = seeded();
    o.needAccessCode = true;
    SimAnalyzer sim(o);
    QList<QByteArray> heard;
    sim.onCommand = [&](const QByteArray &line) { heard << line; };
    QCOMPARE(sim.receive("status\r\n\n1234\r\n\n"), QByteArray());
    QVERIFY(!sim.accessGranted());
    QCOMPARE(sim.receive("8264\r\nssnid\r\n\n"), QByteArray("0001\r\n"));
    QVERIFY(sim.accessGranted());
    QCOMPARE(sim.commandCount(), 1);
    QCOMPARE(heard, (QList<QByteArray>{"status", "1234", "8264", "ssnid"}));
    sim.reset();
    QCOMPARE(sim.receive("ssnid\r\n"), QByteArray());
}

void TestSim::srdaStartStop_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QByteArray>("stop");
    QTest::newRow("blank") << QByteArray("srda 3\r\n") << QByteArray("srda 0\r\n");
    QTest::newRow("equals") << QByteArray("srda=3\r\n") << QByteArray("srda=0\r\n");
    QTest::newRow("as the tab sends it") << QByteArray("fact=1\r\nopmode 2\r\nsrda 3\r\n")
                                         << QByteArray("srda 0\r\ntuneringdowns 25\r\n");
}

void TestSim::srdaStartStop()
{
    QFETCH(QByteArray, start);
    QFETCH(QByteArray, stop);
    SimAnalyzer sim(seeded());
    const QDateTime at(QDate(2025, 1, 31), QTime(9, 5, 7));
    QVERIFY(!sim.streaming());
    QCOMPARE(sim.srdaRow(at), QByteArray());

    QByteArray header = sim.receive(start);
    if (header.startsWith("1\r\n"))
        header.remove(0, 3); // the acknowledgement of "fact=1"
    QVERIFY(sim.streaming());
    QVERIFY(header.endsWith("\r\n"));
    QCOMPARE(header.count('\n'), 1);
    const QList<QByteArray> names = header.trimmed().split('\t');
    QCOMPARE(names.first(), QByteArray("Date/Time"));
    QVERIFY(names.size() >= 3);

    for (int i = 0; i < 3; ++i) {
        const QByteArray row = sim.srdaRow(at);
        QVERIFY(row.endsWith("\r\n"));
        const QList<QByteArray> fields = row.trimmed().split('\t');
        QCOMPARE(fields.size(), names.size());
        // The analyzer's own date form: no leading zeros in month, day and hour.
        QCOMPARE(fields.first(), QByteArray("2025-1-31 9:05:07"));
        for (int f = 1; f < fields.size(); ++f) {
            bool ok = false;
            fields.at(f).toDouble(&ok);
            QVERIFY2(ok, row.constData());
        }
    }

    QCOMPARE(sim.receive(stop), QByteArray());
    QVERIFY(!sim.streaming());
    QCOMPARE(sim.srdaRow(at), QByteArray());
}

void TestSim::silentAfter_data()
{
    QTest::addColumn<int>("n");
    QTest::newRow("from the start") << 0;
    QTest::newRow("after three") << 3;
}

void TestSim::silentAfter()
{
    QFETCH(int, n);
    SimAnalyzer::Options o = seeded();
    o.silentAfter = n;
    SimAnalyzer sim(o);
    QCOMPARE(sim.receive("srda 3\r\n").isEmpty(), n == 0);
    for (int i = 1; i < n; ++i)
        QCOMPARE(sim.receive("filter\r\n"), QByteArray("100\r\n"));
    // Silent now: no answers, and the stream stops too.
    QCOMPARE(sim.receive("ssnid\r\nstatus\r\nbogus\r\n"), QByteArray());
    QVERIFY(!sim.streaming());
    QCOMPARE(sim.srdaRow(QDateTime::currentDateTime()), QByteArray());
    QVERIFY(!sim.dropRequested());
}

void TestSim::dropAfterCutsTheReply()
{
    SimAnalyzer::Options o = seeded();
    o.dropAfter = 2;
    SimAnalyzer sim(o);
    QCOMPARE(sim.receive("ssnid\r\nspecies\r\n"), QByteArray("0001\r\nH2O\r\n"));
    QVERIFY(!sim.dropRequested());
    const QByteArray half = sim.receive("status\r\nssnid\r\n");
    QVERIFY(sim.dropRequested());
    // Half a report: it stops inside a line, and the command after it went unheard.
    QVERIFY(half.startsWith("Filter : 100\r\n"));
    QVERIFY(half.size() > 100);
    QVERIFY(!half.endsWith("\n"));
    QVERIFY(!half.contains("Laser Status"));
    QCOMPARE(sim.commandCount(), 3);
    QCOMPARE(sim.receive("ssnid\r\n"), QByteArray());
}

void TestSim::garbageFraction_data()
{
    QTest::addColumn<double>("p");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::newRow("none") << 0.0 << 0 << 0;
    QTest::newRow("three in ten") << 0.3 << 250 << 350;
    QTest::newRow("all") << 1.0 << 1000 << 1000;
}

void TestSim::garbageFraction()
{
    QFETCH(double, p);
    QFETCH(int, low);
    QFETCH(int, high);
    SimAnalyzer::Options o = seeded(11);
    o.garbage = p;
    SimAnalyzer sim(o);
    SimAnalyzer twin(o);
    // The serial number is never garbled, so the program can always identify the analyzer.
    QCOMPARE(sim.receive("ssnid\r\n"), QByteArray("0001\r\n"));
    twin.receive("ssnid\r\n");
    int garbled = 0;
    for (int i = 0; i < 1000; ++i) {
        const QByteArray reply = sim.receive("filter\r\n");
        QCOMPARE(reply.size(), 5); // replaced byte for byte
        garbled += reply != "100\r\n";
        QCOMPARE(twin.receive("filter\r\n"), reply); // same seed, same faults
    }
    QVERIFY2(garbled >= low && garbled <= high, QByteArray::number(garbled).constData());
}

void TestSim::runawayLineOnce()
{
    SimAnalyzer::Options o = seeded();
    o.noLineFeed = true;
    SimAnalyzer sim(o);
    QCOMPARE(sim.receive("ssnid\r\n"), QByteArray("0001\r\n"));
    const QByteArray runaway = sim.receive("status\r\n");
    QCOMPARE(runaway.size(), SimAnalyzer::runawayBytes);
    QVERIFY(!runaway.contains('\n'));
    QVERIFY(!runaway.contains('\r'));
    // Then the analyzer carries on as usual.
    QVERIFY(sim.receive("status\r\n").endsWith("ringdown\r\n"));
    QVERIFY(sim.receive("conc\r\n").endsWith("\r\n"));
}

void TestSim::srdaStreamPaces()
{
    SimAnalyzer sim(seeded());
    SrdaStream stream(sim, 10000, 25);
    const QDateTime at(QDate(2025, 1, 31), QTime(9, 5, 7));
    QVERIFY(stream.rowsDue(0, at).isEmpty()); // not streaming
    sim.receive("srda 3\r\n");
    QVERIFY(stream.rowsDue(1000, at).isEmpty()); // the stream starts now
    QCOMPARE(stream.rowsDue(1001, at).count('\n'), 10);
    QCOMPARE(stream.rowsDue(1001, at).count('\n'), 0);
    QCOMPARE(stream.rowsDue(1002, at).count('\n'), 10);
    QVERIFY(!stream.ended());
    QCOMPARE(stream.rowsDue(5000, at).count('\n'), 5); // the count ends it
    QVERIFY(stream.ended());
    QCOMPARE(stream.sent(), qint64(25));
    QVERIFY(stream.rowsDue(6000, at).isEmpty());
    // A new start counts afresh.
    sim.receive("srda 0\r\n");
    QVERIFY(stream.rowsDue(7000, at).isEmpty());
    sim.receive("srda 3\r\n");
    QVERIFY(stream.rowsDue(8000, at).isEmpty());
    QCOMPARE(stream.rowsDue(8002, at).count('\n'), 20);
    // A program that reads slowly gets the rows late, none left out.
    SrdaStream capped(sim, 10000, -1);
    QVERIFY(capped.rowsDue(9000, at, 7).isEmpty());
    QCOMPARE(capped.rowsDue(9001, at, 7).count('\n'), 7);
    QCOMPARE(capped.rowsDue(9001, at, 7).count('\n'), 3);
    QCOMPARE(capped.sent(), qint64(10));
}

QTEST_MAIN(TestSim)
#include "test_sim.moc"
