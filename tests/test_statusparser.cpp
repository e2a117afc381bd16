#include "app/identityanswers.h"
#include "app/statusparser.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <ctime>

namespace {

// The reply road of monitoring: the identity answers first, then the parser.
// What comes out is written down as calls, in order.
struct Fixture
{
    ParserState state;
    StatusParser parser{state};
    StatusRecord &record = parser.record();
    IdentityAnswers answers;
    QStringList calls;
    Fixture() { state.identified = true; }

    void parse(const QString &chunk)
    {
        const IdentityAnswers::Learned learned = answers.read(chunk, state, record);
        if (learned.model)
            calls << "model " + state.modelName;
        if (learned.species)
            calls << "enableControls";
        const bool notOurs = answers.awaits(IdentityAnswers::Units) || learned.unknownUnits;
        for (const StatusReport &report : parser.parseData(chunk, notOurs)) {
            Q_UNUSED(report);
            calls << "statusReady";
        }
    }
    int count(const QString &call) const { return calls.count(call); }
};

const char *const statusReport = "Filter : 100\r\n"
                                 "Gas Type : N2\r\n"
                                 "OpMode : 2\r\n"
                                 "TauEmpty : 99.91 us\r\n"
                                 "TauEStd : 0.25\r\n"
                                 "Laser Temp 20.98\r\n"
                                 "Laser Current 95.12\r\n"
                                 "Cell Pressure : APC Pressure Reading 100.00\r\n"
                                 "Conc : 0.21\r\n"
                                 "Faults : 0\r\n"
                                 "Tau : 99.43 us\r\n"
                                 "TauStd : 0.18 \r\n"
                                 "Laser Status : Processing ringdown\r\n";

} // namespace

class TestStatusParser : public QObject
{
    Q_OBJECT
private slots:
    void statusReportFillsRecord();
    void tokensSplitOnColonAndWhiteSpace();
    void conc_data();
    void conc();
    void concPatternMatchesRegex();
    void faultBits_data();
    void faultBits();
    void opMode_data();
    void opMode();
    void noStatusKeyEmitsNothing_data();
    void noStatusKeyEmitsNothing();
    void emptyChunks();
    void compatibilityMode();
    void unitsAnswer_data();
    void unitsAnswer();
    void unknownWhileUnitsAwaitedKeepsStatusPolling();
    void modelAnswer_data();
    void modelAnswer();
    void speciesAnswer();
    void demoFillIns();
};

void TestStatusParser::statusReportFillsRecord()
{
    Fixture f;
    f.parse(statusReport);
    const StatusRecord &r = f.record;
    QCOMPARE(r.filter, QString("100"));
    QCOMPARE(r.gasType, QString("N2"));
    QCOMPARE(r.modeText, QString("MEASURE MODE"));
    QCOMPARE(r.tauEmpty, QString("99.91"));
    QCOMPARE(r.tauEmptyStd, QString("0.25"));
    QCOMPARE(r.laserTemp, QString("20.98"));
    QCOMPARE(r.laserCurrent, QString("95.12"));
    QCOMPARE(r.pressure, QString("100.00"));
    QCOMPARE(r.conc, QString("0.21"));
    QCOMPARE(r.faults, QString("0"));
    QCOMPARE(r.tau, QString("99.43"));
    QCOMPARE(r.tauStd, QString("0.18"));
    QCOMPARE(r.statusText, QString("Processing ringdown "));
    QVERIFY(r.species.isEmpty()); // not part of a status report
    QCOMPARE(f.count("statusReady"), 1);
    // Two reports read at once give a row each, the last one's values shown.
    f.parse(statusReport + QString(statusReport).replace("0.21", "0.42"));
    QCOMPARE(f.count("statusReady"), 3);
    QCOMPARE(r.conc, QString("0.42"));
}

void TestStatusParser::tokensSplitOnColonAndWhiteSpace()
{
    QVector<QStringRef> tokens;
    const QString chunk = " Filter : 100\r\nGas Type:N2\t\r\n::  \n";
    StatusParser::tokenise(chunk, tokens);
    QStringList out;
    for (const auto &t : tokens)
        out << t.toString();
    QCOMPARE(out, (QStringList{"Filter", "100", "Gas", "Type", "N2"}));

    // Same as simplifying and splitting on "[: ]" with empty parts dropped.
    const QString odd = QString("a\u00A0b\u2003: c\vd\f") + QChar(0x85) + "e";
    StatusParser::tokenise(odd, tokens);
    out.clear();
    for (const auto &t : tokens)
        out << t.toString();
    QCOMPARE(out, odd.simplified().split(QRegularExpression("[: ]"), Qt::SkipEmptyParts));
}

void TestStatusParser::conc_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("stored");
    QTest::newRow("negative decimal as received") << "-12.5"
                                                  << "-12.5";
    QTest::newRow("exponent blanks") << "-1.25e1"
                                     << " ";
    QTest::newRow("wrong mode blanks") << "WRONGMODE"
                                       << " ";
    QTest::newRow("trailing point") << "12."
                                    << "12.";
    QTest::newRow("leading point") << ".5"
                                   << ".5";
    QTest::newRow("two points blank") << "1.2.3"
                                      << " ";
    QTest::newRow("plus sign blanks") << "+5"
                                      << " ";
    QTest::newRow("comma blanks") << "1,5"
                                  << " ";
}

void TestStatusParser::conc()
{
    QFETCH(QString, value);
    QFETCH(QString, stored);
    Fixture f;
    f.record.conc = "old";
    f.parse("Conc : " + value + "\r\n");
    QCOMPARE(f.record.conc, stored);
}

void TestStatusParser::concPatternMatchesRegex()
{
    const QRegularExpression re("^\\-?\\d*\\.?\\d*$");
    const QStringList samples{"",   "-",   ".",  "-.", "0",  "-0.5", "12.", ".5",  "1.2.3", "--1",
                              "1-", "1e5", " 1", "1 ", "١٢", "１２", "nan", "inf", "0x1F"};
    for (const QString &s : samples)
        QVERIFY2(StatusParser::isPlainDecimal(QStringRef(&s)) == re.match(s).hasMatch(),
                 qPrintable(s));
}

void TestStatusParser::faultBits_data()
{
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QVector<bool>>("lamps"); // ringdown, laser, pressure, alarm1, alarm2, temp
    QTest::newRow("0") << "0" << QVector<bool>{0, 0, 0, 0, 0, 0};
    QTest::newRow("1 ringdown") << "1" << QVector<bool>{1, 0, 0, 0, 0, 0};
    QTest::newRow("2 laser") << "2" << QVector<bool>{0, 1, 0, 0, 0, 0};
    QTest::newRow("3") << "3" << QVector<bool>{1, 1, 0, 0, 0, 0};
    QTest::newRow("24 alarms") << "24" << QVector<bool>{0, 0, 0, 1, 1, 0};
    QTest::newRow("63 all") << "63" << QVector<bool>{1, 1, 1, 1, 1, 1};
    QTest::newRow("32 temp") << "32" << QVector<bool>{0, 0, 0, 0, 0, 1};
    QTest::newRow("not a number") << "x7" << QVector<bool>{0, 0, 0, 0, 0, 0};
    QTest::newRow("hex is not decimal") << "0x10" << QVector<bool>{0, 0, 0, 0, 0, 0};
}

void TestStatusParser::faultBits()
{
    QFETCH(QString, faults);
    QFETCH(QVector<bool>, lamps);
    Fixture f;
    f.record.setFaultBits(0x3f); // stale lamps must be overwritten
    f.parse("Faults : " + faults + "\r\n");
    const StatusRecord &r = f.record;
    QCOMPARE(r.faults, faults);
    QCOMPARE((QVector<bool>{r.ringdownFault, r.laserFault, r.pressureFault, r.alarm1, r.alarm2,
                            r.tempAlarm}),
             lamps);
}

void TestStatusParser::opMode_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << "0"
                       << "SERVICE MODE";
    QTest::newRow("1") << "1"
                       << "TUNE MODE";
    QTest::newRow("2") << "2"
                       << "MEASURE MODE";
    QTest::newRow("3") << "3"
                       << "Shutdown";
    QTest::newRow("4") << "4"
                       << "TEMP SCAN";
    QTest::newRow("5") << "5"
                       << "Laser Optimization";
    QTest::newRow("6") << "6"
                       << "NA";
    QTest::newRow("7") << "7"
                       << "Reference Cell Scan";
    QTest::newRow("02") << "02"
                        << "NA";
    QTest::newRow("word") << "MEASURE"
                          << "NA";
}

void TestStatusParser::opMode()
{
    QFETCH(QString, code);
    QFETCH(QString, text);
    Fixture f;
    f.parse("OpMode : " + code + "\r\n");
    QCOMPARE(f.record.modeText, text);
}

void TestStatusParser::noStatusKeyEmitsNothing_data()
{
    QTest::addColumn<QString>("chunk");
    QTest::newRow("report without status line") << "Conc : 5.5\r\nFaults : 8\r\n";
    QTest::newRow("status key without words") << "Conc : 5.5\r\nLaser Status :\r\n";
}

void TestStatusParser::noStatusKeyEmitsNothing()
{
    QFETCH(QString, chunk);
    Fixture f;
    f.record.statusText = "before";
    f.parse(chunk);
    QCOMPARE(f.record.conc, QString("5.5")); // the record is still updated
    QCOMPARE(f.record.statusText, QString("before"));
    QCOMPARE(f.count("statusReady"), 0);
}

void TestStatusParser::emptyChunks()
{
    Fixture f;
    f.answers.ask(IdentityAnswers::Units);
    f.state.compatibilityMode = true;
    for (const char *chunk : {"", "\r\n", " \t ", ": :"})
        f.parse(chunk);
    QVERIFY(f.calls.isEmpty());
    QVERIFY(f.answers.awaits(IdentityAnswers::Units));
}

void TestStatusParser::compatibilityMode()
{
    Fixture f;
    f.parse("!UNKNOWN\r\n");
    QVERIFY(f.state.compatibilityMode);
    QCOMPARE(f.count("statusReady"), 0);

    // A bare number is the concentration; the rest of the record is dashes.
    f.parse("12.5\r\n");
    const StatusRecord &r = f.record;
    QCOMPARE(r.conc, QString("12.5"));
    for (const QString &field : {r.filter, r.gasType, r.tauEmpty, r.tauEmptyStd, r.tau, r.tauStd,
                                 r.laserCurrent, r.laserTemp, r.pressure, r.faults})
        QCOMPARE(field, QString("-"));
    QCOMPARE(r.modeText, QString("Compatibility Mode"));
    QCOMPARE(r.statusText, QString("Compatibility Mode"));
    QCOMPARE(f.count("statusReady"), 1);

    // "2" answers another command; it is no concentration.
    f.parse("2\r\n");
    QCOMPARE(r.conc, QString("12.5"));
    QCOMPARE(f.count("statusReady"), 1);

    // Only while monitoring's own poll is out.
    f.state.statusPolled = false;
    f.parse("13.5\r\n");
    QCOMPARE(r.conc, QString("12.5"));
    QCOMPARE(f.count("statusReady"), 1);
}

void TestStatusParser::unitsAnswer_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("units");
    QTest::newRow("1") << "1"
                       << "1"
                       << "PPBv";
    QTest::newRow("2") << "2"
                       << "2"
                       << "PPBw";
    QTest::newRow("3") << "3"
                       << "3"
                       << "Deg  C";
    QTest::newRow("4") << "4"
                       << "4"
                       << "Deg  F";
    QTest::newRow("5") << "5"
                       << "5"
                       << "K e l v i n";
    QTest::newRow("unknown code keeps units") << "9"
                                              << "9"
                                              << "old";
    QTest::newRow("old firmware") << "!UNKNOWN"
                                  << "-1"
                                  << "!UNK";
}

void TestStatusParser::unitsAnswer()
{
    QFETCH(QString, reply);
    QFETCH(QString, code);
    QFETCH(QString, units);
    Fixture f;
    f.record.units = "old";
    f.answers.ask(IdentityAnswers::Units);
    f.parse(reply + "\r\n");
    QCOMPARE(f.state.unitsCode, code);
    QCOMPARE(f.record.units, units);
    QVERIFY(!f.answers.awaits(IdentityAnswers::Units));
    QVERIFY(!f.state.compatibilityMode);
}

void TestStatusParser::unknownWhileUnitsAwaitedKeepsStatusPolling()
{
    // A longer answer is not the units answer; the query stays pending.
    Fixture f;
    f.answers.ask(IdentityAnswers::Units);
    f.parse("Conc : 1.5\r\n");
    QVERIFY(f.answers.awaits(IdentityAnswers::Units));
    QVERIFY(f.state.unitsCode.isEmpty());
}

void TestStatusParser::modelAnswer_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("demo");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("temperature alarm model") << "ORIN OK\r\n"
                                             << false << "ORIN OK" << QStringList{"model ORIN OK"};
    QTest::newRow("keyed answer") << "Model Name : ORIN OK\r\n"
                                  << false << "ORIN OK" << QStringList{"model ORIN OK"};
    QTest::newRow("status report in the same chunk")
        << "ORIN OK\r\nFilter : 100\r\nLaser Status : Processing ringdown\r\n"
        << false << "ORIN OK" << QStringList{"model ORIN OK", "statusReady"};
    QTest::newRow("other model") << "ORIN\r\n" << false << "ORIN" << QStringList{"model ORIN"};
    QTest::newRow("case matters") << "Orin Ok\r\n"
                                  << false << "Orin Ok" << QStringList{"model Orin Ok"};
    QTest::newRow("demo") << "ORIN OK\r\n" << true << "ORIN OK" << QStringList{"model ORIN OK"};
}

void TestStatusParser::modelAnswer()
{
    QFETCH(QString, reply);
    QFETCH(bool, demo);
    QFETCH(QString, model);
    QFETCH(QStringList, calls);
    Fixture f;
    f.state.serialNumber = "1234";
    f.answers.ask(IdentityAnswers::Model);
    f.state.demoMode = demo;
    f.parse(reply);
    QCOMPARE(f.state.modelName, model);
    QVERIFY(!f.answers.awaits(IdentityAnswers::Model));
    QCOMPARE(f.calls, calls);
}

void TestStatusParser::speciesAnswer()
{
    Fixture f;
    f.answers.ask(IdentityAnswers::Species);
    f.parse("Conc : 1.0\r\n"); // two tokens: not the answer
    QVERIFY(f.answers.awaits(IdentityAnswers::Species));
    f.parse("7\r\n"); // one character: not a species
    QVERIFY(f.answers.awaits(IdentityAnswers::Species));
    f.parse("H2O\r\n");
    QVERIFY(!f.answers.awaits(IdentityAnswers::Species));
    QCOMPARE(f.state.speciesName, QString("H2O"));
    QCOMPARE(f.record.species, QString("H2O"));
    QCOMPARE(f.count("enableControls"), 1);
}

void TestStatusParser::demoFillIns()
{
    Fixture f;
    f.state.demoMode = true;
    f.answers.ask(IdentityAnswers::Units);
    f.answers.ask(IdentityAnswers::Species);
    f.parse(statusReport);
    QCOMPARE(f.state.unitsCode, QString("PPBv"));
    QCOMPARE(f.record.units, QString("PPBv"));
    QCOMPARE(f.state.speciesName, QString("H2O"));
    QCOMPARE(f.record.species, QString("H2O"));
    QVERIFY(!f.answers.awaits(IdentityAnswers::Units));
    QVERIFY(!f.answers.awaits(IdentityAnswers::Species));
    QCOMPARE(f.count("enableControls"), 1);
}

QTEST_MAIN(TestStatusParser)
#include "test_statusparser.moc"
