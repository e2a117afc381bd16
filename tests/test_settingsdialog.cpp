#include "link/recentconnections.h"
#include "link/serialinterface.h"
#include "link/settingsdialog.h"
#include "support/pty.h"
#include "support/testsupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>

class TestSettingsDialog : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void recentRules();
    void recentStore();
    void parseEntry_data();
    void parseEntry();
    void firstStart();
    void firstStartWrittenUnasked_data();
    void firstStartWrittenUnasked();
    void okTwiceAddsOneEntry();
    void elevenConnectionsKeepTen();
    void doubleClickEthernetEntry_data();
    void doubleClickEthernetEntry();
    void serialEntries_data();
    void serialEntries();
    void fileChooser_data();
    void fileChooser();
    void presetSerialOpensThatPort();
    void presetTcpHost();
    void presetTcpAddress_data();
    void presetTcpAddress();
    void invalidPresets_data();
    void invalidPresets();
};

namespace {
QSettings store()
{
    return QSettings("Quorvane", "Telvar");
}

template <typename T> T *child(SettingsDialog &d, const char *name)
{
    T *w = d.findChild<T *>(QLatin1String(name));
    if (!w)
        qFatal("no widget %s", name);
    return w;
}

QString firstPort(SettingsDialog &d)
{
    return child<QComboBox>(d, "serialPortInfoListBox")->itemText(0);
}

QStringList history(const QSettings &s)
{
    QStringList out;
    for (int i = 0; i < 10; ++i) {
        const QString key = QString("history%1").arg(i);
        out << (s.contains(key) ? s.value(key).toString() : QString("<unset>"));
    }
    return out;
}

QStringList padded(QStringList list)
{
    while (list.size() < 10)
        list << QString();
    return list;
}
} // namespace

void TestSettingsDialog::init()
{
    store().clear();
}

void TestSettingsDialog::recentRules()
{
    RecentConnections r;
    QVERIFY(r.add("A"));
    QVERIFY(!r.add("A")); // same as the top: no repeat
    QVERIFY(r.add("B"));
    QVERIFY(r.add("A")); // older duplicates further down stay
    QCOMPARE(r.entries(), QStringList({"A", "B", "A"}));
    for (int i = 0; i < 12; ++i)
        r.add(QString::number(i));
    QCOMPARE(r.entries(), QStringList({"11", "10", "9", "8", "7", "6", "5", "4", "3", "2"}));

    ConnectionSettings s;
    s.connectionType = "Serial";
    s.stringBaudRate = "9600";
    s.ipAddress = "10.1.1.1";
    QCOMPARE(RecentConnections::entryFor(s, "COM3"), QString("Serial, COM3, 9600"));
    QCOMPARE(RecentConnections::entryFor(s, ""), QString("Serial, , 9600"));
    s.connectionType = "Ethernet";
    QCOMPARE(RecentConnections::entryFor(s, "COM3"), QString("Ethernet, 10.1.1.1"));
    s.portNumber = 4001;
    QCOMPARE(RecentConnections::entryFor(s, "COM3"), QString("Ethernet, 10.1.1.1, 4001"));
}

void TestSettingsDialog::recentStore()
{
    QTemporaryDir dir;
    QSettings s(dir.filePath("store.ini"), QSettings::IniFormat);
    s.setValue("history0", "A");
    s.setValue("history1", "");
    s.setValue("history2", "B");
    s.setValue("history10", "beyond the ten");
    RecentConnections r;
    r.load(s);
    QCOMPARE(r.entries(), QStringList({"A", "B"}));
    r.add("C");
    r.save(s);
    QCOMPARE(history(s), padded({"C", "A", "B"}));
}

void TestSettingsDialog::parseEntry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("portOrIp");
    QTest::addColumn<QString>("baud");
    QTest::newRow("serial") << "Serial, COM3, 115200" << true << "Serial"
                            << "COM3"
                            << "115200";
    QTest::newRow("ethernet") << "Ethernet, 10.0.0.5" << true << "Ethernet"
                              << "10.0.0.5"
                              << "";
    QTest::newRow("odd spacing") << "  Serial ,,COM3\t, 9600 " << true << "Serial"
                                 << "COM3"
                                 << "9600";
    QTest::newRow("no port") << "Serial, , 115200" << true << "Serial"
                             << "115200"
                             << "";
    QTest::newRow("one part") << "Ethernet" << false << ""
                              << ""
                              << "";
    QTest::newRow("empty") << "" << false << ""
                           << ""
                           << "";
    QTest::newRow("separators only") << " , ,, " << false << ""
                                     << ""
                                     << "";
}

void TestSettingsDialog::parseEntry()
{
    QFETCH(QString, entry);
    QFETCH(bool, valid);
    const RecentConnections::ParsedEntry p = RecentConnections::parse(entry);
    QCOMPARE(p.valid, valid);
    if (!valid)
        return;
    QTEST(p.type, "type");
    QTEST(p.portOrIp, "portOrIp");
    QTEST(p.baud, "baud");
}

void TestSettingsDialog::firstStart()
{
    SettingsDialog d;
    QCOMPARE(d.windowTitle(), QString("Settings"));
    QVERIFY(!d.isModal());
    const SettingsDialog::Settings s = d.settings();
    QCOMPARE(s.connectionType, QString("Serial"));
    QCOMPARE(s.ipAddress, QString("192.168.1.223"));
    QCOMPARE(s.logInterval, 5);
    QCOMPARE(s.baudRate, 115200);
    QCOMPARE(s.stringBaudRate, QString("115200"));
    QCOMPARE(s.portNumber, 23);
    QCOMPARE(s.label, QString("Connection Label"));
    QCOMPARE(s.name, firstPort(d));
    QVERIFY(!s.autoLog && !s.statusLog && !s.localEchoEnabled);
    QVERIFY(s.logFile.isEmpty());
    QVERIFY(child<QSpinBox>(d, "portNumBox")->isEnabled());

    const QString entry = "Serial, " + firstPort(d) + ", 115200";
    QCOMPARE(d.recentEntries(), QStringList{entry});
    QCOMPARE(child<QListWidget>(d, "recentConnections")->item(0)->text(), entry);
    // The start writes the store back.
    const QSettings st = store();
    QCOMPARE(st.value("ipAddress").toString(), QString("192.168.1.223"));
    QCOMPARE(st.value("ConnectionType").toInt(), 0);
    QCOMPARE(st.value("LogInterval").toInt(), 5);
    QCOMPARE(st.value("statusLog").toBool(), false);
    QCOMPARE(history(st), padded({entry}));
}

void TestSettingsDialog::firstStartWrittenUnasked_data()
{
    QTest::addColumn<bool>("shown");
    QTest::newRow("event loop") << false;
    QTest::newRow("dialog shown") << true;
}

// The start's entry names the first serial port; it reaches the list and the store
// without anyone asking for the settings.
void TestSettingsDialog::firstStartWrittenUnasked()
{
    QFETCH(bool, shown);
    SettingsDialog d;
    if (shown)
        d.show();
    else
        QCoreApplication::processEvents();
    const QString entry = "Serial, " + firstPort(d) + ", 115200";
    QCOMPARE(history(store()), padded({entry}));
    QCOMPARE(child<QListWidget>(d, "recentConnections")->item(0)->text(), entry);
}

void TestSettingsDialog::okTwiceAddsOneEntry()
{
    SettingsDialog d;
    auto *ok = child<QPushButton>(d, "applyButton");
    d.show();
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(d.isHidden());
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(d.recentEntries().size(), 1);
    // A new label is not a new connection, but a new baud rate is.
    child<QLineEdit>(d, "labelLineEdit")->setText("Bench unit");
    child<QComboBox>(d, "baudRateBox")->setCurrentIndex(0);
    QTest::mouseClick(ok, Qt::LeftButton);
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(d.recentEntries(), QStringList({"Serial, " + firstPort(d) + ", 9600",
                                             "Serial, " + firstPort(d) + ", 115200"}));
    QCOMPARE(d.settings().label, QString("Bench unit"));
    QCOMPARE(d.settings().baudRate, 9600);
}

void TestSettingsDialog::elevenConnectionsKeepTen()
{
    QStringList newest;
    {
        SettingsDialog d;
        child<QComboBox>(d, "connectionTypeBox")->setCurrentIndex(1);
        for (int i = 0; i <= 10; ++i) {
            child<QLineEdit>(d, "ipAddressBox")->setText(QString("10.0.0.%1").arg(i));
            d.apply();
            newest.prepend(QString("Ethernet, 10.0.0.%1").arg(i));
        }
        newest = newest.mid(0, 10);
        QCOMPARE(d.recentEntries(), newest);
        QCOMPARE(child<QListWidget>(d, "recentConnections")->count(), 10);
        QCOMPARE(history(store()), newest);
    }
    // The next start loads the stored connection, which is already on top.
    SettingsDialog again;
    QCOMPARE(again.settings().connectionType, QString("Ethernet"));
    QCOMPARE(again.settings().ipAddress, QString("10.0.0.10"));
    QCOMPARE(again.recentEntries(), newest);
}

void TestSettingsDialog::doubleClickEthernetEntry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("portBefore");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<int>("port");
    QTest::newRow("analyzer") << "Ethernet, 10.0.0.5" << 4001 << "10.0.0.5" << 23;
    QTest::newRow("converter") << "Ethernet, 10.0.0.5, 4001" << 23 << "10.0.0.5" << 4001;
    QTest::newRow("IPv6 converter") << "Ethernet, fe80::1, 4001" << 23 << "fe80::1" << 4001;
}

void TestSettingsDialog::doubleClickEthernetEntry()
{
    QFETCH(QString, entry);
    QFETCH(int, portBefore);
    QFETCH(QString, ip);
    QFETCH(int, port);
    store().setValue("history0", entry);
    store().setValue("portNumber", portBefore);
    SettingsDialog d;
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    auto *list = child<QListWidget>(d, "recentConnections");
    QCOMPARE(list->count(), 2);
    QListWidgetItem *item = list->item(1);
    QCOMPARE(item->text(), entry);
    QCOMPARE(child<QSpinBox>(d, "portNumBox")->value(), portBefore);
    const QPoint at = list->visualItemRect(item).center();
    // A double click is a press, release, then the double-click event.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(child<QComboBox>(d, "connectionTypeBox")->currentText(), QString("Ethernet"));
    QCOMPARE(child<QLineEdit>(d, "ipAddressBox")->text(), ip);
    QCOMPARE(child<QSpinBox>(d, "portNumBox")->value(), port);
    // Loading fills the form only; OK makes it the record.
    QCOMPARE(d.settings().connectionType, QString("Serial"));
    d.apply();
    QCOMPARE(d.settings().connectionType, QString("Ethernet"));
    QCOMPARE(d.settings().ipAddress, ip);
    QCOMPARE(d.settings().portNumber, port);
    // The connection reads back as the entry it was loaded from.
    QCOMPARE(d.recentEntries().first(), entry);
    // and the next start has its port again.
    QCOMPARE(SettingsDialog().settings().portNumber, port);
}

void TestSettingsDialog::serialEntries_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("portFound");
    QTest::addColumn<QString>("baud");
    QTest::newRow("port and baud present") << "Serial, <pty>, 19200" << true << "19200";
    QTest::newRow("port missing") << "Serial, /dev/ttyGONE9, 38400" << false << "38400";
    QTest::newRow("port differs in case") << "Serial, <PTY>, 9600" << false << "9600";
    QTest::newRow("unknown baud") << "Serial, <pty>, 1234" << true << "115200";
    QTest::newRow("no baud") << "Serial, <pty>" << true << "115200";
    QTest::newRow("unknown type") << "Modem, <pty>, 9600" << false << "115200";
    QTest::newRow("one part") << "Serial" << false << "115200";
}

void TestSettingsDialog::serialEntries()
{
    QFETCH(QString, entry);
    QFETCH(bool, portFound);
    QFETCH(QString, baud);
    Pty pty;
    QVERIFY(pty.isOpen());
    store().setValue("ConnectionType", 1);
    SettingsDialog d;
    // Put the pty into the port list, then select some other place in it.
    SettingsPresets p;
    p.serialPort = pty.slavePath();
    QCOMPARE(d.applyPresets(p), QString());
    auto *ports = child<QComboBox>(d, "serialPortInfoListBox");
    const int ptyIndex = ports->findText(pty.slavePath());
    ports->setCurrentIndex(ptyIndex == 0 ? 1 : 0);
    const int before = ports->currentIndex();
    auto *type = child<QComboBox>(d, "connectionTypeBox");
    type->setCurrentIndex(1);

    entry.replace("<pty>", pty.slavePath()).replace("<PTY>", pty.slavePath().toUpper());
    QListWidgetItem item(entry);
    d.recentConnectionSelected(&item);
    const bool known = entry.startsWith("Serial") && entry.contains(',');
    QCOMPARE(type->currentText(), QString(known ? "Serial" : "Ethernet"));
    QCOMPARE(ports->currentIndex(), portFound ? ptyIndex : before);
    QCOMPARE(child<QComboBox>(d, "baudRateBox")->currentText(), baud);
}

void TestSettingsDialog::fileChooser_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("stored");
    QTest::newRow("no suffix") << "log"
                               << "log.txt";
    QTest::newRow("suffix in capitals") << "log.TXT"
                                        << "log.TXT.txt";
    QTest::newRow("suffix present") << "/data/run.txt"
                                    << "/data/run.txt";
    QTest::newRow("cancelled") << ""
                               << "";
}

void TestSettingsDialog::fileChooser()
{
    QFETCH(QString, answer);
    QFETCH(QString, stored);
    FakeClock clock;
    clock.t = QDateTime(QDate(2025, 3, 7), QTime(9, 5, 0));
    ScriptedDialogs dialogs;
    SettingsDialog d;
    QSignalSpy reselected(&d, &SettingsDialog::fileReselected);
    dialogs.fileAnswers << answer;
    d.reselectFile();
    QCOMPARE(dialogs.fileAsks.size(), 1);
    const Dialogs::FileRequest &r = dialogs.fileAsks.first();
    QCOMPARE(r.title, QString("Choose File"));
    QCOMPARE(r.filter, QString("Text Files (*.txt)"));
    QVERIFY(!r.confirmOverwrite);
    QCOMPARE(r.startPath, QDir::homePath() + "/2025_03-07_0905.txt");
    QCOMPARE(child<QLineEdit>(d, "fileNameBox")->text(), stored);
    QCOMPARE(d.settings().logFile, stored);
    QCOMPARE(reselected.count(), stored.isEmpty() ? 0 : 1);
    if (stored.isEmpty())
        return;
    QCOMPARE(reselected.first().first().toBool(), true);

    // The chooser starts from the chosen name next time; cancelling keeps it.
    QTest::mouseClick(child<QPushButton>(d, "fileBrowseButton"), Qt::LeftButton);
    QCOMPARE(dialogs.fileAsks.at(1).startPath, stored);
    d.reselectFile();
    QCOMPARE(reselected.count(), 1);
    QCOMPARE(d.settings().logFile, stored);
}

void TestSettingsDialog::presetSerialOpensThatPort()
{
    Pty pty;
    QVERIFY(pty.isOpen());
    store().setValue("ConnectionType", 1);
    SettingsDialog d;
    SettingsPresets p;
    p.serialPort = pty.slavePath();
    p.baudRate = 9600;
    p.interval = 30;
    p.autoLog = true;
    p.statusLog = true;
    p.logFile = "/tmp/run.TXT";
    QCOMPARE(d.applyPresets(p), QString());
    const SettingsDialog::Settings s = d.settings();
    QCOMPARE(s.connectionType, QString("Serial"));
    QCOMPARE(s.name, pty.slavePath());
    QCOMPARE(s.baudRate, 9600);
    QCOMPARE(s.stringBaudRate, QString("9600"));
    QCOMPARE(s.logInterval, 30);
    QVERIFY(s.autoLog && s.statusLog);
    QCOMPARE(s.logFile, QString("/tmp/run.TXT")); // taken as given
    QCOMPARE(d.recentEntries().first(), "Serial, " + pty.slavePath() + ", 9600");
    QCOMPARE(child<QLabel>(d, "descriptionLabel")->text(), QString("Description: N/A"));
    const QStringList data =
        child<QComboBox>(d, "serialPortInfoListBox")->currentData().toStringList();
    QCOMPARE(data.size(), 7);
    QCOMPARE(data.at(0), pty.slavePath());
    QCOMPARE(data.at(4), pty.slavePath());

    // The record reaches the pseudo-terminal as it is.
    SerialInterface link;
    QVERIFY(link.openConnection(s));
    link.writeData("status\r\n");
    QCOMPARE(pty.readUntil("\n", 5000), QByteArray("status\r\n"));

    // Naming the same port again selects it instead of adding it twice.
    const int count = child<QComboBox>(d, "serialPortInfoListBox")->count();
    QCOMPARE(d.applyPresets(p), QString());
    QCOMPARE(child<QComboBox>(d, "serialPortInfoListBox")->count(), count);
}

void TestSettingsDialog::presetTcpHost()
{
    SettingsDialog d;
    SettingsPresets p;
    p.tcpHost = "10.2.3.4";
    QCOMPARE(d.applyPresets(p), QString());
    QCOMPARE(d.settings().connectionType, QString("Ethernet"));
    QCOMPARE(d.settings().ipAddress, QString("10.2.3.4"));
    QCOMPARE(d.settings().portNumber, 23);
    QCOMPARE(d.recentEntries().first(), QString("Ethernet, 10.2.3.4"));
    QCOMPARE(store().value("ConnectionType").toInt(), 1);
}

void TestSettingsDialog::presetTcpAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<int>("port");
    QTest::newRow("converter") << "10.2.3.4:4001"
                               << ""
                               << "10.2.3.4" << 4001;
    QTest::newRow("highest port") << " 10.2.3.4:65535 "
                                  << ""
                                  << "10.2.3.4" << 65535;
    QTest::newRow("IPv6 with port") << "[fe80::1]:4001"
                                    << ""
                                    << "fe80::1" << 4001;
    QTest::newRow("IPv6 alone") << "[::1]"
                                << ""
                                << "::1" << 23;
    QTest::newRow("port too high")
        << "10.2.3.4:65536"
        << "The TCP port in 10.2.3.4:65536 is not a number from 1 to 65535."
        << "" << 0;
    QTest::newRow("port zero") << "10.2.3.4:0"
                               << "The TCP port in 10.2.3.4:0 is not a number from 1 to 65535."
                               << "" << 0;
    QTest::newRow("port missing") << "10.2.3.4:"
                                  << "The TCP port in 10.2.3.4: is not a number from 1 to 65535."
                                  << "" << 0;
    QTest::newRow("port not a number")
        << "10.2.3.4:telnet"
        << "The TCP port in 10.2.3.4:telnet is not a number from 1 to 65535."
        << "" << 0;
    QTest::newRow("IPv6 without brackets")
        << "fe80::1:4001"
        << "Not a TCP address: fe80::1:4001 (an IPv6 address is written [ADDRESS]:PORT)."
        << "" << 0;
    QTest::newRow("no closing bracket")
        << "[fe80::1:4001"
        << "Not a TCP address: [fe80::1:4001 (an IPv6 address is written [ADDRESS]:PORT)."
        << "" << 0;
    QTest::newRow("port only") << ":4001"
                               << "No TCP host given."
                               << "" << 0;
}

void TestSettingsDialog::presetTcpAddress()
{
    QFETCH(QString, address);
    QFETCH(QString, error);
    QFETCH(int, port);
    SettingsDialog d;
    const SettingsDialog::Settings before = d.settings();
    SettingsPresets p;
    p.tcpHost = address;
    QCOMPARE(d.applyPresets(p), error);
    if (!error.isEmpty()) {
        // Nothing of a bad address is taken.
        QCOMPARE(d.settings().connectionType, before.connectionType);
        QCOMPARE(d.settings().ipAddress, before.ipAddress);
        QCOMPARE(d.settings().portNumber, before.portNumber);
        QCOMPARE(d.recentEntries().size(), 1);
        return;
    }
    QCOMPARE(d.settings().connectionType, QString("Ethernet"));
    QTEST(d.settings().ipAddress, "ip");
    QCOMPARE(d.settings().portNumber, port);
    QCOMPARE(child<QSpinBox>(d, "portNumBox")->value(), port);
}

void TestSettingsDialog::invalidPresets_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("interval");
    QTest::addColumn<bool>("both");
    QTest::newRow("baud not listed") << 1234 << 5 << false;
    QTest::newRow("interval zero") << 9600 << 0 << false;
    QTest::newRow("interval too long") << 9600 << 1001 << false;
    QTest::newRow("serial and tcp") << 9600 << 5 << true;
}

void TestSettingsDialog::invalidPresets()
{
    QFETCH(int, baud);
    QFETCH(int, interval);
    QFETCH(bool, both);
    SettingsDialog d;
    const SettingsDialog::Settings before = d.settings();
    const int ports = child<QComboBox>(d, "serialPortInfoListBox")->count();
    SettingsPresets p;
    p.serialPort = "/dev/ttyPRESET";
    p.baudRate = baud;
    p.interval = interval;
    if (both)
        p.tcpHost = "10.0.0.1";
    QVERIFY(!d.applyPresets(p).isEmpty());
    // Nothing of an invalid preset is taken.
    QCOMPARE(child<QComboBox>(d, "serialPortInfoListBox")->count(), ports);
    QCOMPARE(d.settings().name, before.name);
    QCOMPARE(d.settings().baudRate, before.baudRate);
    QCOMPARE(d.settings().logInterval, before.logInterval);
    QCOMPARE(d.recentEntries().size(), 1);
}

QTEST_MAIN(TestSettingsDialog)
#include "test_settingsdialog.moc"
