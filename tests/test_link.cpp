#include "link/serialinterface.h"
#include "support/pty.h"
#include "support/testsupport.h"

#include <QSignalSpy>

// The serial link against a real pseudo-terminal.
class TestLink : public QObject
{
    Q_OBJECT
private slots:
    void opensWithConnectionText();
    void bytesWaitForTheLineFeed();
    void severalLinesAndAPartialOne();
    void failedOpen();
    void runawayLineIsHandedOver();
    void writesUnchanged();
    void modeCommands_data();
    void modeCommands();
};

static ConnectionSettings onPort(const QString &name, int baud = 115200)
{
    ConnectionSettings s;
    s.name = name;
    s.baudRate = baud;
    s.stringBaudRate = QString::number(baud);
    return s;
}

void TestLink::opensWithConnectionText()
{
    Pty pty;
    QVERIFY(pty.isOpen());
    SerialInterface link;
    QCOMPARE(link.linkKind, qint32(OrinInterface::Serial));
    QVERIFY(!link.connectionOpen());
    QVERIFY(link.openConnection(onPort(pty.slavePath(), 9600)));
    QVERIFY(link.connectionOpen());
    QCOMPARE(link.connectionText, QString("Connected to %1 : 9600").arg(pty.slavePath()));
    link.closeConnection();
    QVERIFY(!link.connectionOpen());
}

void TestLink::bytesWaitForTheLineFeed()
{
    Pty pty;
    SerialInterface link;
    QSignalSpy ready(&link, &OrinInterface::readyRead);
    QVERIFY(link.openConnection(onPort(pty.slavePath())));
    pty.write("Conc : 12");
    QVERIFY(ready.wait(2000));
    QCOMPARE(link.readData(), QByteArray()); // no line feed yet: the bytes stay in the port
    pty.write(".5\r\n");
    QByteArray got;
    QVERIFY(waitFor([&] {
        got += link.readData();
        return !got.isEmpty();
    }));
    QCOMPARE(got, QByteArray("Conc : 12.5\r\n"));
}

void TestLink::severalLinesAndAPartialOne()
{
    Pty pty;
    SerialInterface link;
    QVERIFY(link.openConnection(onPort(pty.slavePath())));
    pty.write("Filter : 100\r\nGas Type : N2\r\nOpMo");
    QByteArray got;
    QVERIFY(waitFor([&] {
        got += link.readData();
        return got.endsWith("OpMo");
    }));
    // Everything buffered comes at once, the partial line after the last line feed included.
    QCOMPARE(got, QByteArray("Filter : 100\r\nGas Type : N2\r\nOpMo"));
}

void TestLink::runawayLineIsHandedOver()
{
    Pty pty;
    SerialInterface link;
    QVERIFY(link.openConnection(onPort(pty.slavePath())));
    // A stream without line feeds must not pile up in the port.
    QByteArray got;
    for (int i = 0; i < 50; ++i) {
        pty.write(QByteArray(100, 'x'));
        QVERIFY(waitFor([&] {
            got += link.readData();
            return got.size() + 600 >= (i + 1) * 100;
        }));
    }
    QVERIFY(got.size() >= 5000 - 600);
    pty.write("\r\n");
    QVERIFY(waitFor([&] {
        got += link.readData();
        return got.endsWith("\r\n");
    }));
    QCOMPARE(got.size(), 5002);
}

void TestLink::failedOpen()
{
    SerialInterface link;
    QVERIFY(!link.openConnection(onPort("/dev/telvar-missing-port")));
    QVERIFY(!link.connectionOpen());
    QCOMPARE(link.errorText, QString("Unable to open /dev/telvar-missing-port"));
    QVERIFY(!link.connectionText.isEmpty());
    QVERIFY(!link.connectionText.startsWith("Connected"));
    link.writeData("status\r\n"); // nothing to write to: no crash
    QCOMPARE(link.readData(), QByteArray());
}

void TestLink::writesUnchanged()
{
    Pty pty;
    SerialInterface link;
    QVERIFY(link.openConnection(onPort(pty.slavePath())));
    link.writeData(QByteArray("ab\0cd\r", 6));
    QCOMPARE(pty.readUntil("\r", 2000), QByteArray("ab\0cd\r", 6));
}

void TestLink::modeCommands_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("measure") << "measure" << QByteArray("opmode 2\r\nstatus\r\n");
    QTest::newRow("service") << "service" << QByteArray("opmode 0\r\nstatus\r\n");
    QTest::newRow("tune") << "tune" << QByteArray("opmode 1\r\nstatus\r\n");
}

void TestLink::modeCommands()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, sent);
    Pty pty;
    SerialInterface link;
    QVERIFY(link.openConnection(onPort(pty.slavePath())));
    if (button == "measure")
        link.measureCommand();
    else if (button == "service")
        link.serviceCommand();
    else
        link.tuneCommand();
    QCOMPARE(pty.readUntil("status\r\n", 2000), sent);
}

QTEST_MAIN(TestLink)
#include "test_link.moc"
