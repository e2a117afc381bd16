#include "alarm/alarms.h"
#include "alarm/alarmswindow.h"
#include "app/commandline.h"
#include "app/mainwindow.h"
#include "support/testsupport.h"

#include <QAction>
#include <QPushButton>
#include <QSettings>

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void init() { QSettings().clear(); }
    void parses_data();
    void parses();
    void versionAndHelp();
    void presetsFillTheSettings();
    void logPresetTurnsLoggingOn();
    void badPresetIsRefused();
};

void TestCommandLine::parses_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("result");
    QTest::newRow("nothing") << QStringList{} << int(CommandLine::Run);
    QTest::newRow("demo connect") << QStringList{"--demo", "--connect"} << int(CommandLine::Run);
    QTest::newRow("station") << QStringList{"--serial", "/dev/ttyUSB0", "--interval",
                                            "1",        "--autolog",    "--connect"}
                             << int(CommandLine::Run);
    QTest::newRow("both links") << QStringList{"--serial", "/dev/ttyUSB0", "--tcp", "10.0.0.5"}
                                << int(CommandLine::Error);
    QTest::newRow("interval text") << QStringList{"--interval", "soon"} << int(CommandLine::Error);
    QTest::newRow("max pause text")
        << QStringList{"--max-pause", "long"} << int(CommandLine::Error);
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << int(CommandLine::Error);
    QTest::newRow("stray argument") << QStringList{"file.txt"} << int(CommandLine::Error);
    QTest::newRow("missing value") << QStringList{"--serial"} << int(CommandLine::Error);
    QTest::newRow("srda limit") << QStringList{"--srda-limit-mb", "64"} << int(CommandLine::Run);
    QTest::newRow("srda limit none")
        << QStringList{"--srda-limit-mb", "0"} << int(CommandLine::Error);
    QTest::newRow("allan") << QStringList{"--allan", "a.csv", "--column", "Tau", "--taus", "many"}
                           << int(CommandLine::Run);
    QTest::newRow("allan, unknown spacing")
        << QStringList{"--allan", "a.csv", "--taus", "weekly"} << int(CommandLine::Error);
    QTest::newRow("column without allan")
        << QStringList{"--column", "Tau"} << int(CommandLine::Error);
    QTest::newRow("alarm limits") << QStringList{"--alarm-high",      "50",  "--alarm-low", "1.5",
                                                 "--alarm-link-lost", "120", "--no-alarms"}
                                  << int(CommandLine::Run);
    QTest::newRow("alarm low above high")
        << QStringList{"--alarm-high", "5", "--alarm-low", "9"} << int(CommandLine::Error);
    QTest::newRow("alarm hold text")
        << QStringList{"--alarm-hold", "long"} << int(CommandLine::Error);
    QTest::newRow("alarm command missing")
        << QStringList{"--alarm-command", "/nonexistent/notify"} << int(CommandLine::Error);
}

void TestCommandLine::parses()
{
    QFETCH(QStringList, args);
    QFETCH(int, result);
    CommandLine cl;
    QCOMPARE(int(cl.parse(QStringList{"telvar"} + args)), result);
    if (result == CommandLine::Error)
        QVERIFY(!cl.message().isEmpty());
}

void TestCommandLine::versionAndHelp()
{
    CommandLine cl;
    QCOMPARE(cl.parse({"telvar", "--version"}), CommandLine::Exit);
    // The commit built from: a short hash, marked when the tree had changes.
    QVERIFY2(QRegularExpression("^Telvar 1\\.3\\.1 \\(commit ([0-9a-f]{12}(-dirty)?|unknown)\\)\n$")
                 .match(cl.message())
                 .hasMatch(),
             qPrintable(cl.message()));
    // The About box says the same.
    {
        ScriptedDialogs dialogs;
        MainWindow w;
        w.about();
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY(dialogs.messages.first().informativeText.startsWith(cl.message().trimmed() + "\n"));
    }
    QCOMPARE(cl.parse({"telvar", "--help"}), CommandLine::Exit);
    for (const char *option :
         {"--demo", "--connect", "--serial", "--baud", "--tcp", "--interval", "--autolog",
          "--status-log", "--log", "--allan", "--column", "--taus"})
        QVERIFY2(cl.message().contains(QLatin1String(option)), option);
}

void TestCommandLine::presetsFillTheSettings()
{
    ScriptedDialogs dialogs;
    CommandLine cl;
    QCOMPARE(cl.parse({"telvar", "--serial", "/dev/telvar-test-port", "--baud", "9600",
                       "--interval", "2", "--autolog", "--status-log", "--max-pause", "45",
                       "--alarm-high", "50", "--alarm-hold", "20"}),
             CommandLine::Run);
    QVERIFY(!cl.demo);
    QVERIFY(!cl.connect);
    MainWindow w;
    QCOMPARE(cl.applyTo(w), QString());
    const SettingsDialog::Settings s = w.settingsDialog()->settings();
    QCOMPARE(s.connectionType, QString("Serial"));
    QCOMPARE(s.name, QString("/dev/telvar-test-port"));
    QCOMPARE(s.baudRate, 9600);
    QCOMPARE(s.stringBaudRate, QString("9600"));
    QCOMPARE(s.logInterval, 2);
    QCOMPARE(s.maxPauseMinutes, 45);
    QVERIFY(s.autoLog);
    QVERIFY(s.statusLog);
    QVERIFY(!w.isLoggingOn());
    // The alarm presets are on the Alarms tab, in the store and in effect.
    QCOMPARE(w.alarmSettings()->settings().high, std::optional<double>(50));
    AlarmSettings stored;
    stored.load(QSettings());
    QCOMPARE(stored.holdSeconds, 20);
    QCOMPARE(w.station()->alarms()->settings().high, std::optional<double>(50));

    CommandLine tcp;
    QCOMPARE(tcp.parse({"telvar", "--tcp", "127.0.0.1", "--connect"}), CommandLine::Run);
    QVERIFY(tcp.connect);
    QCOMPARE(tcp.applyTo(w), QString());
    QCOMPARE(w.settingsDialog()->settings().connectionType, QString("Ethernet"));
    QCOMPARE(w.settingsDialog()->settings().ipAddress, QString("127.0.0.1"));
    QCOMPARE(w.settingsDialog()->settings().portNumber, 23);
    QVERIFY(dialogs.messages.isEmpty());
}

void TestCommandLine::logPresetTurnsLoggingOn()
{
    ScriptedDialogs dialogs;
    const QString file = testHome() + "/logs/station-traffic-log.txt";
    CommandLine cl;
    QCOMPARE(cl.parse({"telvar", "--log", file}), CommandLine::Run);
    MainWindow w;
    QCOMPARE(cl.applyTo(w), QString());
    QVERIFY(w.isLoggingOn());
    QVERIFY(w.actionLogToFile->isChecked());
    QCOMPARE(w.logFileButton()->text(), file.right(24));
    QVERIFY(w.logFileButton()->styleSheet().contains("rgb(255,255,255)"));
    QVERIFY(dialogs.fileAsks.isEmpty()); // the file is given: no chooser
}

void TestCommandLine::badPresetIsRefused()
{
    ScriptedDialogs dialogs;
    CommandLine cl;
    QCOMPARE(cl.parse({"telvar", "--baud", "12345"}), CommandLine::Run);
    MainWindow w;
    QVERIFY(!cl.applyTo(w).isEmpty());
    QCOMPARE(w.settingsDialog()->settings().baudRate, 115200);
}

QTEST_MAIN(TestCommandLine)
#include "test_commandline.moc"
