#include "app/connectionlifecycle.h"
#include "link/serialidentity.h"

#include <QtTest>

// The reconnect rules without a window: how long to wait before each attempt,
// and which port is the analyzer's own after a re-plug.
class TestReconnect : public QObject
{
    Q_OBJECT
private slots:
    void backoff();
    void choosesTheSameDevice_data();
    void choosesTheSameDevice();
};

void TestReconnect::backoff()
{
    QList<int> waits;
    for (int n = 0; n < 9; ++n)
        waits << ConnectionLifecycle::backoffSeconds(n);
    QCOMPARE(waits, QList<int>({1, 2, 4, 8, 16, 30, 30, 30, 30}));
    // Forever means forever: no overflow after days of attempts.
    QCOMPARE(ConnectionLifecycle::backoffSeconds(100000), 30);
}

using Candidates = QList<SerialCandidate>;
Q_DECLARE_METATYPE(SerialCandidate)
Q_DECLARE_METATYPE(SerialIdentity)
Q_DECLARE_METATYPE(Candidates)

void TestReconnect::choosesTheSameDevice_data()
{
    QTest::addColumn<SerialIdentity>("id");
    QTest::addColumn<Candidates>("available");
    QTest::addColumn<bool>("byIdExists");
    QTest::addColumn<QString>("expected");

    const SerialCandidate usb0{"/dev/ttyUSB0", "A1B2", 0x0403, 0x6001};
    const SerialCandidate usb1Same{"/dev/ttyUSB1", "A1B2", 0x0403, 0x6001};
    const SerialCandidate usb0Other{"/dev/ttyUSB0", "ZZ99", 0x0403, 0x6001};
    const SerialCandidate usb0OtherMaker{"/dev/ttyUSB0", "A1B2", 0x10c4, 0xea60};
    const SerialCandidate plain{"/dev/ttyS0", "", 0, 0};

    SerialIdentity byId;
    byId.portName = byId.byIdPath = "/dev/serial/by-id/usb-FTDI_A1B2-if00-port0";
    byId.serialNumber = "A1B2";
    SerialIdentity adapter;
    adapter.portName = "ttyUSB0";
    adapter.serialNumber = "A1B2";
    adapter.vendorId = 0x0403;
    adapter.productId = 0x6001;
    SerialIdentity bare;
    bare.portName = "ttyS0";

    QTest::newRow("by-id link back") << byId << Candidates{usb1Same} << true << byId.byIdPath;
    QTest::newRow("by-id link not back") << byId << Candidates{usb1Same} << false << QString();
    QTest::newRow("same name") << adapter << Candidates{usb0} << false << "/dev/ttyUSB0";
    QTest::newRow("renamed") << adapter << Candidates{plain, usb1Same} << false << "/dev/ttyUSB1";
    QTest::newRow("not back") << adapter << Candidates{plain} << false << QString();
    QTest::newRow("another adapter under the old name")
        << adapter << Candidates{usb0Other} << false << QString();
    QTest::newRow("same serial, another maker")
        << adapter << Candidates{usb0OtherMaker} << false << QString();
    QTest::newRow("no identity: old name") << bare << Candidates{plain} << false << "ttyS0";
    QTest::newRow("no identity, not listed (a pty)") << bare << Candidates{} << false << "ttyS0";
    QTest::newRow("no identity, an adapter took the name")
        << bare << Candidates{SerialCandidate{"/dev/ttyS0", "X1", 1, 2}} << false << QString();
}

void TestReconnect::choosesTheSameDevice()
{
    QFETCH(SerialIdentity, id);
    QFETCH(Candidates, available);
    QFETCH(bool, byIdExists);
    QFETCH(QString, expected);
    QCOMPARE(chooseReconnectPort(id, available, byIdExists), expected);
}

QTEST_GUILESS_MAIN(TestReconnect)
#include "test_reconnect.moc"
