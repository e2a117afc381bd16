#include "app/statusparser.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <ctime>

namespace {

// Records every call the parser makes outside the record, in order.
class RecordingHooks : public ParserHooks
{
public:
    QStringList calls;
    int scan = 0;
    bool speed = false, filter = false;

    void statusReady() override { calls << "statusReady"; }
    void wrongModeBox() override { calls << "wrongModeBox"; }
    void setModelLabel(const QString &t) override { calls << "modelLabel " + t; }
    void tempAlarmVisible(bool on) override { calls << QString("tempAlarm %1").arg(on); }
    void enableControls() override { calls << "enableControls"; }
    int scanState() const override { return scan; }
    void scanReading(const QString &t) override { calls << "scanReading " + t; }
    void appendDownload(const QStringList &t) override { calls << "download " + t.join('|'); }
    bool waitingForSpeed() const override { return speed; }
    bool waitingForFilter() const override { return filter; }
    void clearWaitingForSpeed() override
    {
        speed = false;
        calls << "clearSpeed";
    }
    void updateSpeed(int v) override { calls << QString("speed %1").arg(v); }
    void updateFilter(int v) override { calls << QString("filter %1").arg(v); }
    void updateGasList(const QStringList &g) override { calls << "gases " + g.join('|'); }
    void setCurrentGas(const QString &g) override { calls << "gas " + g; }

    int count(const QString &call) const { return calls.count(call); }
};

struct Fixture
{
    StatusRecord record;
    ParserState state;
    RecordingHooks hooks;
    StatusParser parser{record, state, hooks};
    Fixture() { state.identified = true; }
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
    void unknownWhileUnitsPendingKeepsStatusPolling();
    void modelAnswer_data();
    void modelAnswer();
    void speciesAnswer();
    void demoFillIns();
    void utilitiesNumber_data();
    void utilitiesNumber();
    void utilitiesGasList_data();
    void utilitiesGasList();
    void gasListMatchesRemovalRule();
    void utilitiesWrongMode();
    void scanReadings();
};

void TestStatusParser::statusReportFillsRecord()
{
    Fixture f;
    f.parser.parseData(statusReport);
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
    QCOMPARE(f.hooks.count("statusReady"), 1);
    // Two reports read at once give a row each, the last one's values shown.
    f.parser.parseData(statusReport + QString(statusReport).replace("0.21", "0.42"));
    QCOMPARE(f.hooks.count("statusReady"), 3);
    QCOMPARE(r.conc, QString("0.42"));
    // The filter and gas also reach the Utilities tab.
    QVERIFY(f.hooks.calls.contains("filter 100"));
    QVERIFY(f.hooks.calls.contains("gases N2"));
    QVERIFY(f.hooks.calls.contains("gas N2"));
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
    f.parser.parseData("Conc : " + value + "\r\n");
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
    f.parser.parseData("Faults : " + faults + "\r\n");
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
    f.parser.parseData("OpMode : " + code + "\r\n");
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
    f.parser.parseData(chunk);
    QCOMPARE(f.record.conc, QString("5.5")); // the record is still updated
    QCOMPARE(f.record.statusText, QString("before"));
    QCOMPARE(f.hooks.count("statusReady"), 0);
}

void TestStatusParser::emptyChunks()
{
    Fixture f;
    f.state.unitsPending = true;
    f.state.compatibilityMode = true;
    for (const char *chunk : {"", "\r\n", " \t ", ": :"})
        f.parser.parseData(chunk);
    QVERIFY(f.hooks.calls.isEmpty());
    QVERIFY(f.state.unitsPending);
}

void TestStatusParser::compatibilityMode()
{
    Fixture f;
    f.parser.parseData("!UNKNOWN\r\n");
    QVERIFY(f.state.compatibilityMode);
    QCOMPARE(f.hooks.count("statusReady"), 0);

    // A bare number is the concentration; the rest of the record is dashes.
    f.parser.parseData("12.5\r\n");
    const StatusRecord &r = f.record;
    QCOMPARE(r.conc, QString("12.5"));
    for (const QString &field : {r.filter, r.gasType, r.tauEmpty, r.tauEmptyStd, r.tau, r.tauStd,
                                 r.laserCurrent, r.laserTemp, r.pressure, r.faults})
        QCOMPARE(field, QString("-"));
    QCOMPARE(r.modeText, QString("Compatibility Mode"));
    QCOMPARE(r.statusText, QString("Compatibility Mode"));
    QCOMPARE(f.hooks.count("statusReady"), 1);

    // "2" answers another command; it is no concentration.
    f.parser.parseData("2\r\n");
    QCOMPARE(r.conc, QString("12.5"));
    QCOMPARE(f.hooks.count("statusReady"), 1);

    // Only while the dashboard is in front.
    f.state.currentTab = 2;
    f.parser.parseData("13.5\r\n");
    QCOMPARE(r.conc, QString("12.5"));
    QCOMPARE(f.hooks.count("statusReady"), 1);
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
    f.state.unitsPending = true;
    f.parser.parseData(reply + "\r\n");
    QCOMPARE(f.state.unitsCode, code);
    QCOMPARE(f.record.units, units);
    QVERIFY(!f.state.unitsPending);
    QVERIFY(!f.state.compatibilityMode);
}

void TestStatusParser::unknownWhileUnitsPendingKeepsStatusPolling()
{
    // A longer answer is not the units answer; the query stays pending.
    Fixture f;
    f.state.unitsPending = true;
    f.parser.parseData("Conc : 1.5\r\n");
    QVERIFY(f.state.unitsPending);
    QVERIFY(f.state.unitsCode.isEmpty());
}

void TestStatusParser::modelAnswer_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("demo");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("temperature alarm model")
        << "ORIN OK\r\n"
        << false << "ORIN OK" << QStringList{"modelLabel ORIN OK: 1234", "tempAlarm 1"};
    QTest::newRow("keyed answer") << "Model Name : ORIN OK\r\n"
                                  << false << "ORIN OK"
                                  << QStringList{"modelLabel ORIN OK: 1234", "tempAlarm 1"};
    QTest::newRow("status report in the same chunk")
        << "ORIN OK\r\nFilter : 100\r\nLaser Status : Processing ringdown\r\n"
        << false << "ORIN OK" << QStringList{"modelLabel ORIN OK: 1234", "tempAlarm 1"};
    QTest::newRow("other model") << "ORIN\r\n"
                                 << false << "ORIN"
                                 << QStringList{"modelLabel ORIN: 1234", "tempAlarm 0"};
    QTest::newRow("case matters") << "Orin Ok\r\n"
                                  << false << "Orin Ok"
                                  << QStringList{"modelLabel Orin Ok: 1234", "tempAlarm 0"};
    QTest::newRow("demo keeps its label") << "ORIN OK\r\n"
                                          << true << "ORIN OK" << QStringList{"tempAlarm 1"};
}

void TestStatusParser::modelAnswer()
{
    QFETCH(QString, reply);
    QFETCH(bool, demo);
    QFETCH(QString, model);
    QFETCH(QStringList, calls);
    Fixture f;
    f.state.serialNumber = "1234";
    f.state.modelPending = true;
    f.state.demoMode = demo;
    f.parser.parseData(reply);
    QCOMPARE(f.state.modelName, model);
    QVERIFY(!f.state.modelPending);
    for (const QString &c : calls)
        QVERIFY2(f.hooks.calls.contains(c), qPrintable(f.hooks.calls.join(", ")));
    QCOMPARE(f.hooks.calls.filter("modelLabel").size(), demo ? 0 : 1);
}

void TestStatusParser::speciesAnswer()
{
    Fixture f;
    f.state.speciesPending = true;
    f.parser.parseData("Conc : 1.0\r\n"); // two tokens: not the answer
    QVERIFY(f.state.speciesPending);
    f.parser.parseData("7\r\n"); // one character: not a species
    QVERIFY(f.state.speciesPending);
    f.parser.parseData("H2O\r\n");
    QVERIFY(!f.state.speciesPending);
    QCOMPARE(f.state.speciesName, QString("H2O"));
    QCOMPARE(f.record.species, QString("H2O"));
    QCOMPARE(f.hooks.count("enableControls"), 1);
}

void TestStatusParser::demoFillIns()
{
    Fixture f;
    f.state.demoMode = true;
    f.state.unitsPending = true;
    f.state.speciesPending = true;
    f.parser.parseData(statusReport);
    QCOMPARE(f.state.unitsCode, QString("PPBv"));
    QCOMPARE(f.record.units, QString("PPBv"));
    QCOMPARE(f.state.speciesName, QString("H2O"));
    QCOMPARE(f.record.species, QString("H2O"));
    QVERIFY(!f.state.unitsPending);
    QVERIFY(!f.state.speciesPending);
    QCOMPARE(f.hooks.count("enableControls"), 1);
}

void TestStatusParser::utilitiesNumber_data()
{
    QTest::addColumn<bool>("speed");
    QTest::addColumn<bool>("filter");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("speed answer") << true << true << "3" << QStringList{"speed 3", "clearSpeed"};
    QTest::newRow("filter answer")
        << false << true << "100" << QStringList{"filter 100", "clearSpeed"};
    QTest::newRow("nobody waits") << false << false << "100" << QStringList{"clearSpeed"};
    QTest::newRow("decimal number")
        << true << false << "2.0" << QStringList{"speed 2", "clearSpeed"};
    QTest::newRow("not a number") << true << false << "abc" << QStringList{"clearSpeed"};
}

void TestStatusParser::utilitiesNumber()
{
    QFETCH(bool, speed);
    QFETCH(bool, filter);
    QFETCH(QString, reply);
    QFETCH(QStringList, calls);
    Fixture f;
    f.state.currentTab = 2;
    f.hooks.speed = speed;
    f.hooks.filter = filter;
    f.parser.parseData(reply + "\r\n");
    QCOMPARE(f.hooks.calls, calls);

    // The same answer on another tab is not for the Utilities tab.
    Fixture other;
    other.hooks.speed = speed;
    other.hooks.filter = filter;
    other.parser.parseData(reply + "\r\n");
    QVERIFY(other.hooks.calls.isEmpty());
}

void TestStatusParser::utilitiesGasList_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("call");
    QTest::newRow("reverse order") << "Gas 0 N2\r\nGas 1 Air\r\nGas 2 Ar\r\n"
                                   << "gases Ar|Air|N2";
    QTest::newRow("short gas line adds nothing") << "Gas 0 N2\r\nGas 1\r\n"
                                                 << "gases N2";
    QTest::newRow("lone gas at the end") << "Select Gas\r\n"
                                         << "gases ";
    QTest::newRow("gas names taken from the tokens") << "Gas : 0 : N2\r\nGas 1 He\r\n"
                                                     << "gases He|N2";
}

void TestStatusParser::utilitiesGasList()
{
    QFETCH(QString, reply);
    QFETCH(QString, call);
    Fixture f;
    f.state.currentTab = 2;
    f.hooks.speed = true;
    f.parser.parseData(reply);
    QCOMPARE(f.hooks.calls.first(), call);
    QVERIFY(f.hooks.calls.contains("clearSpeed"));
    QVERIFY(!f.hooks.speed);
}

void TestStatusParser::gasListMatchesRemovalRule()
{
    // The rule written out step by step: while "Gas" occurs, take its
    // last occurrence, add the token two places after it if any, remove it.
    const auto byRule = [](QStringList tokens) {
        QStringList gases;
        for (int at = tokens.lastIndexOf("Gas"); at >= 0; at = tokens.lastIndexOf("Gas")) {
            if (at + 2 < tokens.size())
                gases << tokens.at(at + 2);
            tokens.removeAt(at);
        }
        return gases;
    };
    QRandomGenerator random(7);
    for (int round = 0; round < 300; ++round) {
        QStringList tokens{"x"}; // two or more tokens, so it is no single-number answer
        const int size = 1 + random.bounded(12);
        for (int i = 0; i < size; ++i)
            tokens << (random.bounded(3) == 0 ? QString("Gas") : QString("t%1").arg(i));
        if (!tokens.contains("Gas"))
            tokens << "Gas";
        Fixture f;
        f.state.currentTab = 2;
        f.parser.parseData(tokens.join(' ') + "\r\n");
        QCOMPARE(f.hooks.calls.first(), "gases " + byRule(tokens).join('|'));
    }

    // A flood of gas lines in one chunk still gives one answer per line.
    QString flood;
    for (int i = 0; i < 100000; ++i)
        flood += "Gas 1 N2\r\n";
    Fixture f;
    f.state.currentTab = 2;
    f.parser.parseData(flood);
    QCOMPARE(f.hooks.calls.first().count("N2"), 100000);
}

void TestStatusParser::utilitiesWrongMode()
{
    Fixture f;
    f.state.currentTab = 2;
    f.parser.parseData("!WRONG MODE\r\n");
    QCOMPARE(f.hooks.calls, (QStringList{"wrongModeBox", "clearSpeed"}));
    // The analyzer's bare answer to a refused change is one token.
    f.hooks.calls.clear();
    f.parser.parseData("!WRONG\r\n");
    QCOMPARE(f.hooks.calls, (QStringList{"wrongModeBox", "clearSpeed"}));

    // The dashboard shows its own text for it; no box there.
    Fixture dash;
    dash.parser.parseData("!WRONG MODE\r\n");
    QCOMPARE(dash.hooks.count("wrongModeBox"), 0);
}

void TestStatusParser::scanReadings()
{
    Fixture f;
    f.state.currentTab = 3;
    f.parser.parseData("21.5\r\n");
    QVERIFY(f.hooks.calls.isEmpty()); // no scan running

    f.hooks.scan = 1;
    f.parser.parseData("21.5\r\n");
    f.parser.parseData("Laser Temp 21.5\r\n"); // not a single token
    QCOMPARE(f.hooks.calls, QStringList{"scanReading 21.5"});

    f.hooks.calls.clear();
    f.hooks.scan = 4;
    f.parser.parseData("1 2.5\r\n3 4.5\r\n");
    QCOMPARE(f.hooks.calls, QStringList{"download 1|2.5|3|4.5"});
    f.hooks.calls.clear();
    f.parser.parseData("7\r\n");
    QCOMPARE(f.hooks.calls, (QStringList{"scanReading 7", "download 7"}));
}

QTEST_MAIN(TestStatusParser)
#include "test_statusparser.moc"
