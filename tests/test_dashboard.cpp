#include "dashboard/concentrationreadout.h"
#include "dashboard/instrument.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using Lamp = Instrument::Lamp;
using Colour = Instrument::LampColour;

class TestDashboard : public QObject
{
    Q_OBJECT
private slots:
    void readout_data();
    void readout();
    void readoutThroughTab_data();
    void readoutThroughTab();
    void nonNumberKeepsReadoutAndUnits();
    void lamps_data();
    void lamps();
    void startsBlankAndGrey();
    void fieldsShown();
    void emptyTauShowsPlusMinus();
    void clearDisplay();
    void tempAlarmVisible();
    void modeButtonImages();
};

void TestDashboard::readout_data()
{
    QTest::addColumn<QString>("conc");
    QTest::addColumn<QString>("units");
    QTest::addColumn<double>("threshold");
    QTest::addColumn<QString>("display");   // the record's shortened copy
    QTest::addColumn<QString>("concText");  // null: label keeps its text
    QTest::addColumn<QString>("unitsText"); // null: label keeps its text
    QTest::addColumn<QString>("style");

    const QString big = "font-size: 72px;", small = "font-size: 36px;";
    const double ppm = 100000.0;
    QTest::newRow("6 chars cut to 5") << "12.345"
                                      << "PPBv" << ppm << "12.34"
                                      << "12.34"
                                      << "PPBv" << big;
    QTest::newRow("7 chars cut to 4") << "1.23456"
                                      << "PPBv" << ppm << "1.23"
                                      << "1.23"
                                      << "PPBv" << big;
    QTest::newRow("negative cut to 6") << "-1.23456"
                                       << "PPBv" << ppm << "-1.234"
                                       << "-1.234"
                                       << "PPBv" << big;
    QTest::newRow("negative short stays") << "-1.2"
                                          << "PPBv" << ppm << "-1.2"
                                          << "-1.2"
                                          << "PPBv" << big;
    QTest::newRow("ten thousand cut to 5") << "12345.6"
                                           << "PPBv" << ppm << "12345"
                                           << "12345"
                                           << "PPBv" << big;
    QTest::newRow("short stays") << "0.21"
                                 << "PPBw" << ppm << "0.21"
                                 << "0.21"
                                 << "PPBw" << big;
    QTest::newRow("ppmw switch") << "150000"
                                 << "PPBw" << ppm << "150000"
                                 << "150.0"
                                 << "PPMw" << big;
    QTest::newRow("ppmv switch at threshold") << "100000"
                                              << "PPBv" << ppm << "100000"
                                              << "100.0"
                                              << "PPMv" << big;
    QTest::newRow("degrees keep units") << "150000"
                                        << "Deg  C" << ppm << "150000"
                                        << "150.0" << QString() << big;
    QTest::newRow("lowered threshold") << "123456"
                                       << "PPBv" << 1000.0 << "123456"
                                       << "123.5"
                                       << "PPMv" << big;
    QTest::newRow("zero threshold") << "0.5"
                                    << "PPBv" << 0.0 << "0.5"
                                    << "0.0"
                                    << "PPMv" << big;
    QTest::newRow("wrong mode") << "!WRONG"
                                << "PPBv" << ppm << "!WRONG"
                                << "Not in Measure Mode" << QString() << small;
    QTest::newRow("unknown") << "!UNKNOWN"
                             << "PPBv" << ppm << "!UNKNOWN"
                             << "Unknown" << QString() << small;
    QTest::newRow("Unknown word") << "Unknown cmd"
                                  << "PPBv" << ppm << "Unknown cmd"
                                  << "Unknown" << QString() << small;
    QTest::newRow("access") << "Access code?"
                            << "PPBv" << ppm << "Access code?"
                            << "Connecting..." << QString() << small;
    QTest::newRow("password") << "Password:"
                              << "PPBv" << ppm << "Password:"
                              << "Connecting..." << QString() << small;
    QTest::newRow("please") << "Please wait"
                            << "PPBv" << ppm << "Please wait"
                            << "Connecting..." << QString() << small;
    QTest::newRow("case matters") << "access"
                                  << "PPBv" << ppm << "access" << QString() << QString() << big;
    QTest::newRow("blank") << " "
                           << "PPBv" << ppm << " " << QString() << QString() << big;
    QTest::newRow("exponent from an old analyzer") << "1.5e5"
                                                   << "PPBv" << ppm << "1.5e5"
                                                   << "150.0"
                                                   << "PPMv" << big;
}

void TestDashboard::readout()
{
    QFETCH(QString, conc);
    QFETCH(QString, units);
    QFETCH(double, threshold);
    QFETCH(QString, display);
    QFETCH(QString, concText);
    QFETCH(QString, unitsText);
    QFETCH(QString, style);

    const ConcReadout r = concentrationReadout(conc, units, threshold);
    QCOMPARE(r.concDisplay, display);
    QCOMPARE(r.setConcText, !concText.isNull());
    if (r.setConcText)
        QCOMPARE(r.concText, concText);
    QCOMPARE(r.setUnitsText, !unitsText.isNull());
    if (r.setUnitsText)
        QCOMPARE(r.unitsText, unitsText);
    QCOMPARE(r.concStyle, style);
}

void TestDashboard::readoutThroughTab_data()
{
    QTest::addColumn<QString>("conc");
    QTest::addColumn<QString>("units");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("unitsShown");
    QTest::newRow("ppb") << "12.345"
                         << "PPBv"
                         << "12.34"
                         << "PPBv";
    QTest::newRow("ppm") << "150000"
                         << "PPBw"
                         << "150.0"
                         << "PPMw";
    QTest::newRow("degrees keep previous units") << "150000"
                                                 << "Deg  C"
                                                 << "150.0"
                                                 << "PPBv";
    QTest::newRow("wrong mode keeps units") << "!WRONG"
                                            << "PPBw"
                                            << "Not in Measure Mode"
                                            << "PPBv";
}

void TestDashboard::readoutThroughTab()
{
    QFETCH(QString, conc);
    QFETCH(QString, units);
    QFETCH(QString, shown);
    QFETCH(QString, unitsShown);

    Instrument tab;
    tab.record.conc = "1.0";
    tab.record.units = "PPBv";
    tab.updateInstrumentWindow();
    tab.record.conc = conc;
    tab.record.units = units;
    tab.updateInstrumentWindow();
    QCOMPARE(tab.concLabel()->text(), shown);
    QCOMPARE(tab.unitsLabel()->text(), unitsShown);
    QCOMPARE(tab.unitsLabel()->styleSheet(), QString("font-size: 36px;"));
}

void TestDashboard::nonNumberKeepsReadoutAndUnits()
{
    Instrument tab;
    tab.record.conc = "5.5";
    tab.record.units = "PPBv";
    tab.updateInstrumentWindow();
    tab.record.conc = " "; // what the parser stores for "WRONGMODE"
    tab.record.units = "PPBw";
    tab.updateInstrumentWindow();
    QCOMPARE(tab.concLabel()->text(), QString("5.5"));
    QCOMPARE(tab.unitsLabel()->text(), QString("PPBv"));
    QCOMPARE(tab.record.concDisplay, QString(" "));
    QCOMPARE(tab.concLabel()->styleSheet(), QString("font-size: 72px;"));
}

void TestDashboard::lamps_data()
{
    QTest::addColumn<int>("faults");
    QTest::addColumn<bool>("compat");
    QTest::addColumn<QVector<int>>("colours"); // Laser, Ringdown, Pressure, Alarm1, Alarm2, Temp
    const int g = int(Colour::Green), r = int(Colour::Red), x = int(Colour::Grey);
    QTest::newRow("16 only alarm 2") << 16 << false << QVector<int>{g, g, g, g, r, g};
    QTest::newRow("3 laser and ringdown") << 3 << false << QVector<int>{r, r, g, g, g, g};
    QTest::newRow("1 is ringdown, not laser") << 1 << false << QVector<int>{g, r, g, g, g, g};
    QTest::newRow("4 pressure") << 4 << false << QVector<int>{g, g, r, g, g, g};
    QTest::newRow("40 alarm 1 and temp") << 40 << false << QVector<int>{g, g, g, r, g, r};
    QTest::newRow("none") << 0 << false << QVector<int>{g, g, g, g, g, g};
    QTest::newRow("compatibility all grey") << 63 << true << QVector<int>{x, x, x, x, x, x};
}

void TestDashboard::lamps()
{
    QFETCH(int, faults);
    QFETCH(bool, compat);
    QFETCH(QVector<int>, colours);

    Instrument tab;
    tab.compatibilityMode = compat;
    tab.record.setFaultBits(faults);
    tab.updateInstrumentWindow();
    QVector<int> shown;
    for (int i = 0; i < Instrument::lampCount; ++i) {
        shown << int(tab.lampColour(Lamp(i)));
        // The label carries the picture of its colour.
        const QPixmap expected(Instrument::lampImage(tab.lampColour(Lamp(i))));
        QCOMPARE(tab.lampLabel(Lamp(i))->pixmap(Qt::ReturnByValue).toImage(), expected.toImage());
    }
    QCOMPARE(shown, colours);
}

void TestDashboard::startsBlankAndGrey()
{
    Instrument tab;
    QCOMPARE(tab.concBox()->title(), QString(" "));
    QCOMPARE(tab.concLabel()->text(), QString(" "));
    QCOMPARE(tab.statusLabel()->text(), QString(" "));
    for (int i = 0; i < Instrument::lampCount; ++i)
        QCOMPARE(tab.lampColour(Lamp(i)), Colour::Grey);
    for (auto *b : {tab.measureButton, tab.serviceButton, tab.tuneButton})
        QVERIFY(!b->isEnabled());
    QCOMPARE(tab.ppmThreshold, 100000.0);
}

void TestDashboard::fieldsShown()
{
    Instrument tab;
    StatusRecord &r = tab.record;
    r.modeText = "MEASURE MODE";
    r.statusText = "Processing ringdown ";
    r.gasType = "N2";
    r.species = "H2O";
    r.laserCurrent = "95.12";
    r.laserTemp = "20.98";
    r.tau = "99.43";
    r.tauStd = "0.18";
    r.tauEmpty = "99.91";
    r.tauEmptyStd = "0.25";
    r.conc = "0.21";
    tab.updateInstrumentWindow();
    QCOMPARE(tab.concBox()->title(), QString("MEASURE MODE"));
    QCOMPARE(tab.statusLabel()->text(), QString("Processing ringdown "));
    QCOMPARE(tab.gasLabel()->text(), QString("in N2"));
    QCOMPARE(tab.speciesLabel()->text(), QString("H2O"));
    QCOMPARE(tab.gasLabel()->styleSheet(), QString("font-size: 18px;"));
    QCOMPARE(tab.laserCurrentLabel()->text(), QString("95.12"));
    QCOMPARE(tab.laserTempLabel()->text(), QString("20.98"));
    QCOMPARE(tab.rdTimeLabel()->text(), QString("99.43\u00B10.18"));
    QCOMPARE(tab.tauZeroLabel()->text(), QString("99.91\u00B10.25"));
}

void TestDashboard::emptyTauShowsPlusMinus()
{
    Instrument tab;
    tab.updateInstrumentWindow();
    QCOMPARE(tab.rdTimeLabel()->text(), QString("\u00B1"));
    QCOMPARE(tab.tauZeroLabel()->text(), QString("\u00B1"));
}

void TestDashboard::clearDisplay()
{
    Instrument tab;
    tab.record.conc = "5.0";
    tab.record.units = "PPBv";
    tab.record.modeText = "MEASURE MODE";
    tab.record.tau = "99";
    tab.record.setFaultBits(16);
    tab.updateInstrumentWindow();

    tab.clearDisplay();
    const StatusRecord &r = tab.record;
    for (const QString &f : {r.filter, r.gasType, r.species, r.modeText, r.tauEmpty, r.tauEmptyStd,
                             r.tau, r.tauStd, r.laserCurrent, r.laserTemp, r.pressure, r.conc,
                             r.concDisplay, r.units, r.faults, r.statusText})
        QCOMPARE(f, QString(" "));
    QVERIFY(r.alarm2); // the flags stay; only the lamps go grey
    QCOMPARE(tab.concBox()->title(), QString(" "));
    for (QLabel *l : {tab.concLabel(), tab.unitsLabel(), tab.speciesLabel(), tab.gasLabel(),
                      tab.statusLabel(), tab.laserCurrentLabel(), tab.laserTempLabel()})
        QCOMPARE(l->text(), QString(" "));
    QCOMPARE(tab.rdTimeLabel()->text(), QString(" \u00B1 "));
    QCOMPARE(tab.tauZeroLabel()->text(), QString(" \u00B1 "));
    for (int i = 0; i < Instrument::lampCount; ++i)
        QCOMPARE(tab.lampColour(Lamp(i)), Colour::Grey);
}

void TestDashboard::tempAlarmVisible()
{
    Instrument tab;
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    tab.tempAlarmVisible(false);
    QVERIFY(!tab.lampLabel(Lamp::Temp)->isVisible());
    QVERIFY(!tab.tempCaptionLabel()->isVisible());
    for (Lamp l : {Lamp::Laser, Lamp::Ringdown, Lamp::Pressure, Lamp::Alarm1, Lamp::Alarm2})
        QVERIFY(tab.lampLabel(l)->isVisible());
    tab.tempAlarmVisible(true);
    QVERIFY(tab.lampLabel(Lamp::Temp)->isVisible());
    QVERIFY(tab.tempCaptionLabel()->isVisible());
}

void TestDashboard::modeButtonImages()
{
    Instrument tab;
    const QPixmap small(":/images/Measure_s.bmp");
    QVERIFY(!small.isNull());
    QCOMPARE(tab.measureButton->size(), small.size());
    const QPalette faces = tab.measureButton->palette();
    QCOMPARE(faces.brush(QPalette::Disabled, QPalette::Button).texture().size(), small.size());
    // Disabled, the face looks it: a click before connecting is not a click that did nothing.
    QVERIFY(faces.brush(QPalette::Disabled, QPalette::Button).texture().toImage() !=
            faces.brush(QPalette::Active, QPalette::Button).texture().toImage());

    tab.setModeButtonImages(":/images/Measure.bmp", ":/images/Service.bmp", ":/images/Tune.bmp");
    QCOMPARE(tab.tuneButton->minimumSize(), QPixmap(":/images/Tune.bmp").size());
    QCOMPARE(tab.tuneButton->maximumSize(), QPixmap(":/images/Tune.bmp").size());

    // A missing picture must leave a usable, labelled button.
    tab.setModeButtonImages(":/images/none.bmp", ":/images/none.bmp", ":/images/none.bmp");
    QCOMPARE(tab.serviceButton->text(), QString("Service"));
    QVERIFY(tab.serviceButton->maximumWidth() > 1000);
}

QTEST_MAIN(TestDashboard)
#include "test_dashboard.moc"
