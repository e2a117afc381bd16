#include "app/identityanswers.h"
#include "app/linecutter.h"
#include "app/statusparser.h"
#include "dashboard/instrument.h"
#include "link/demointerface.h"
#include "support/testsupport.h"

#include <QGroupBox>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

namespace {

// Feeds a fixed sequence of draws, repeating the last.
std::function<int()> sequence(QList<int> values)
{
    auto queue = std::make_shared<QList<int>>(values);
    return [queue] { return queue->size() > 1 ? queue->takeFirst() : queue->first(); };
}

QString lineOf(const QByteArray &report, const QByteArray &key)
{
    for (const QByteArray &line : report.split('\n'))
        if (line.startsWith(key))
            return QString::fromLatin1(line.trimmed());
    return QString();
}

double concOf(const QByteArray &report)
{
    return lineOf(report, "Conc : ").mid(7).toDouble();
}

} // namespace

class TestDemo : public QObject
{
    Q_OBJECT
private slots:
    void serviceModeAfterConnect();
    void reportLayout();
    void opmode_data();
    void opmode();
    void measureModeLiveValues();
    void profileOverOneCycle();
    void laserSteps();
    void scanModes();
    void randomExtremes_data();
    void randomExtremes();
    void defaultRandomInRange();
    void connectionText_data();
    void connectionText();
    void everyWriteAnsweredFromEventLoop();
    void dashboardFromDemo();
};

void TestDemo::serviceModeAfterConnect()
{
    DemoModel model(sequence({0}));
    const QByteArray report = model.report();
    QCOMPARE(lineOf(report, "OpMode"), QString("OpMode : 0"));
    QVERIFY(report.contains("Conc : WRONGMODE\r\n"));
    QVERIFY(report.endsWith("Tau : ---.-\r\nTauStd : ---\r\nLaser Status : In SERVICE mode\r\n"));

    // The parser sees a service-mode report with a blank concentration.
    ParserState state;
    StatusParser parser(state);
    parser.parseData(QString::fromLatin1(report));
    const StatusRecord &record = parser.record();
    QCOMPARE(record.modeText, QString("SERVICE MODE"));
    QCOMPARE(record.conc, QString(" "));
    QCOMPARE(record.tau, QString("---.-"));
    QCOMPARE(record.statusText, QString("In SERVICE mode "));
}

void TestDemo::reportLayout()
{
    DemoModel model(sequence({1, 4}));
    model.interpret("opmode 2\r\n");
    const QByteArray report = model.report();
    const QList<QByteArray> lines = report.split('\n');
    QCOMPARE(lines.size(), 14); // 13 lines and the empty rest after the last line feed
    const QStringList expectedStarts{"Filter : 100\r",
                                     "Gas Type : N2\r",
                                     "OpMode : 2\r",
                                     "TauEmpty : 99.91 us\r",
                                     "TauEStd : 0.25\r",
                                     "Laser Temp 20.98\r",
                                     "Laser Current 95.12\r",
                                     "Cell Pressure : APC Pressure Reading 100.00\r",
                                     "Conc : ",
                                     "Faults : 0\r",
                                     "Tau : ",
                                     "TauStd : 0.18 \r",
                                     "Laser Status : Processing ringdown\r"};
    for (int i = 0; i < expectedStarts.size(); ++i)
        QVERIFY2(lines.at(i).startsWith(expectedStarts.at(i).toLatin1()), lines.at(i).constData());
    QVERIFY(lines.at(10).endsWith(" us\r"));

    // A draw divisible by 3 means the analyzer waits for a ring-down.
    DemoModel waiting(sequence({1, 3}));
    waiting.interpret("opmode 1\r\n");
    QVERIFY(waiting.report().contains("Laser Status : Waiting for ringdown\r\n"));
}

void TestDemo::opmode_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("mode");
    QTest::newRow("measure") << QByteArray("opmode 2\r\n") << 0 << 2;
    QTest::newRow("tune") << QByteArray("opmode 1\r\n") << 0 << 1;
    QTest::newRow("service") << QByteArray("opmode 0\r\n") << 2 << 0;
    QTest::newRow("other digit keeps mode") << QByteArray("opmode 5\r\n") << 1 << 1;
    QTest::newRow("last matching digit wins")
        << QByteArray("fact=1\r\nopmode 2\r\nsrda 3\r\n") << 0 << 2;
    QTest::newRow("no opmode, no change") << QByteArray("srda 2\r\n") << 1 << 1;
}

void TestDemo::opmode()
{
    QFETCH(QByteArray, command);
    QFETCH(int, start);
    QFETCH(int, mode);
    DemoModel model(sequence({0}));
    model.mode = start;
    model.interpret(command);
    QCOMPARE(model.mode, mode);
}

void TestDemo::measureModeLiveValues()
{
    DemoModel model;
    model.interpret("opmode 2\r\n");
    for (int i = 0; i < 20; ++i) {
        const double c = concOf(model.report());
        QVERIFY2(c >= 0.19 && c <= 0.62, qPrintable(QString::number(c)));
    }
}

void TestDemo::profileOverOneCycle()
{
    // The lowest draw gives t = 0.97 c exactly: the profile shows through.
    DemoModel model(sequence({0}));
    model.interpret("opmode 2\r\n");
    QVector<double> concs;
    QVector<bool> alarms;
    for (int i = 0; i < 101; ++i) {
        const QByteArray report = model.report();
        concs << concOf(report);
        alarms << report.contains("Faults : 16\r\n");
        QCOMPARE(alarms.last(), concs.last() > 10);
    }
    QCOMPARE(model.count, 0); // wrapped after step 100
    for (int k = 0; k <= 78; ++k)
        QCOMPARE(concs.at(k), 0.19);
    const QVector<double> rise{0.97, 20.37, 39.77, 59.17, 78.57};
    QCOMPARE(concs.mid(79, 5), rise);
    for (int k = 84; k <= 93; ++k)
        QCOMPARE(concs.at(k), 97.0);
    QCOMPARE(concs.mid(94, 6), (QVector<double>{97.97, 78.57, 59.17, 39.77, 20.37, 0.97}));
    QCOMPARE(concs.at(100), 0.19);
    QCOMPARE(alarms.count(true), 4 + 10 + 5); // 21..81 rising, 100 x10, 101..21 falling
}

void TestDemo::laserSteps()
{
    DemoModel model(sequence({0}));
    for (int i = 0; i < 3; ++i)
        model.interpret("lt\r\n");
    model.interpret("lc\r\n");
    QCOMPARE(model.laserTemp, 20.98 + 3.0);
    QCOMPARE(model.laserCurrent, 96.12);
    const QByteArray report = model.report();
    QCOMPARE(lineOf(report, "Laser Temp"), QString("Laser Temp 23.98"));
    QCOMPARE(lineOf(report, "Laser Current"), QString("Laser Current 96.12"));

    // "status" is no laser step, but every write's report advances the profile.
    DemoModel other(sequence({0}));
    other.interpret("status\r\n");
    other.report();
    QCOMPARE(other.count, 1);
    QCOMPARE(other.laserTemp, 20.98);
}

void TestDemo::scanModes()
{
    DemoModel model(sequence({0}));
    model.interpret("tempscan 15.5 25 0.1 2 5\r\n");
    QCOMPARE(model.mode, 4);
    QCOMPARE(model.laserTemp, 15.5);

    model.interpret("rcs 30 35 0.2 1 2 3\r\n");
    QCOMPARE(model.mode, 7);
    QCOMPARE(model.laserTemp, 30.0);
    // The reference cell scan adds its reading as a line of its own.
    QVERIFY(model.report().endsWith("ringdown\r\n30\r\n"));

    // Too few parts: the scan starts where the laser stands.
    model.interpret("tempscan 1 2\r\n");
    QCOMPARE(model.mode, 4);
    QCOMPARE(model.laserTemp, 30.0);
    // A start value that is no number keeps it too.
    model.interpret("tempscan x 1 2 3 4 5\r\n");
    QCOMPARE(model.laserTemp, 30.0);
}

void TestDemo::randomExtremes_data()
{
    QTest::addColumn<int>("draw");
    QTest::addColumn<int>("step");
    QTest::addColumn<double>("t");
    QTest::newRow("lowest at 0.2") << 0 << 0 << 0.194;
    QTest::newRow("highest at 0.2") << 32767 << 0 << 0.206 + 0.4;
    QTest::newRow("lowest at 100") << 0 << 84 << 97.0;
    QTest::newRow("highest at 100") << 32767 << 84 << 103.4;
    QTest::newRow("out of range clamps") << 99999 << 84 << 103.4;
}

void TestDemo::randomExtremes()
{
    QFETCH(int, draw);
    QFETCH(int, step);
    QFETCH(double, t);
    DemoModel model(sequence({draw}));
    model.interpret("opmode 2\r\n");
    model.count = step;
    const QByteArray report = model.report();
    QCOMPARE(concOf(report), QString::number(t, 'f', 2).toDouble());
    // The ring-down time follows the concentration.
    const double tau = lineOf(report, "Tau :").mid(6).chopped(3).toDouble();
    QCOMPARE(tau, QString::number(1 / (t / 43317.91 + 0.010009008107296567), 'f', 2).toDouble());
}

void TestDemo::defaultRandomInRange()
{
    // Over many reports the built-in generator keeps t within the bounds the range allows.
    DemoModel model;
    model.interpret("opmode 2\r\n");
    for (int i = 0; i < 2000; ++i) {
        const int k = model.count;
        const double c = DemoModel::baseConcentration(k);
        const double t = concOf(model.report());
        QVERIFY(t >= 0.97 * c - 0.005);
        QVERIFY(t <= 1.03 * c + 0.4 + 0.005);
    }
}

void TestDemo::connectionText_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("text");
    QTest::newRow("serial") << "Serial"
                            << "Connected to COM3 : 57600 (DEMO)";
    QTest::newRow("ethernet") << "Ethernet"
                              << "Connected to 10.0.0.7 : 2323 (DEMO)";
    QTest::newRow("other") << "Bluetooth"
                           << "boo!";
}

void TestDemo::connectionText()
{
    QFETCH(QString, type);
    QFETCH(QString, text);
    ConnectionSettings s;
    s.connectionType = type;
    s.stringBaudRate = "57600";
    s.ipAddress = "10.0.0.7";
    s.portNumber = 2323;
    DemoInterface link;
    QCOMPARE(link.linkKind, 2);
    QVERIFY(!link.connectionOpen());
    QVERIFY(link.openConnection(s));
    QVERIFY(link.connectionOpen());
    QCOMPARE(link.connectionText, text);
    link.closeConnection();
    QVERIFY(!link.connectionOpen());
}

void TestDemo::everyWriteAnsweredFromEventLoop()
{
    DemoInterface link;
    QSignalSpy spy(&link, &OrinInterface::readyRead);
    link.openConnection(ConnectionSettings());
    link.measureCommand();    // two writes
    QCOMPARE(spy.count(), 0); // never from inside the write
    QVERIFY(waitFor([&] { return spy.count() == 2; }));
    QCoreApplication::processEvents();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(link.model.mode, 2);

    // A link deleted with replies still posted stays silent.
    auto *doomed = new DemoInterface;
    int after = 0;
    connect(doomed, &OrinInterface::readyRead, this, [&after] { ++after; });
    doomed->writeData("status\r\n");
    delete doomed;
    QCoreApplication::processEvents();
    QCOMPARE(after, 0);
}

void TestDemo::dashboardFromDemo()
{
    // The road of a report: link → line cutter → parser → dashboard.
    Instrument tab;
    ParserState state;
    state.demoMode = true;
    state.identified = true;
    IdentityAnswers answers;
    answers.ask(IdentityAnswers::Units);
    answers.ask(IdentityAnswers::Species);
    StatusParser parser(state);
    LineCutter cutter;
    DemoInterface link(nullptr, sequence({0}));
    int reports = 0;
    connect(&link, &OrinInterface::readyRead, this, [&] {
        const QByteArray chunk = cutter.feed(link.readData());
        const QString text = QString::fromLatin1(chunk);
        answers.read(text, state, parser.record());
        for (const StatusReport &report : parser.parseData(text))
            tab.showReport(report);
        ++reports;
    });
    link.openConnection(ConnectionSettings());
    link.writeData("status\r\n");
    QVERIFY(waitFor([&] { return reports == 1; }));
    QCOMPARE(tab.concBox()->title(), QString("SERVICE MODE"));
    QCOMPARE(tab.concLabel()->text(), QString(" "));

    link.measureCommand();
    QVERIFY(waitFor([&] { return reports == 3; }));
    QCOMPARE(tab.concBox()->title(), QString("MEASURE MODE"));
    QCOMPARE(tab.concLabel()->text(), QString("0.19"));
    QCOMPARE(tab.unitsLabel()->text(), QString("PPBv"));
    QCOMPARE(tab.speciesLabel()->text(), QString("H2O"));
    QCOMPARE(tab.gasLabel()->text(), QString("in N2"));
    QCOMPARE(tab.lampColour(Instrument::Lamp::Alarm2), Instrument::LampColour::Green);
}

QTEST_MAIN(TestDemo)
#include "test_demo.moc"
