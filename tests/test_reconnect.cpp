#include "app/connectionlifecycle.h"
#include "common/commandsequence.h"
#include "link/ethernetinterface.h"
#include "link/serialidentity.h"

#include <QTcpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The reconnect rules without a window: how long to wait before each attempt,
// and which port is the analyzer's own after a re-plug.
class TestReconnect : public QObject
{
    Q_OBJECT
private slots:
    void backoff();
    void choosesTheSameDevice_data();
    void choosesTheSameDevice();
    void tcpAttemptLeavesEventLoopFree();
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

// An attempt to reach an analyzer that does not answer (switched off on the
// network: the connect just hangs) runs on the event loop, and Disconnect ends
// it.
void TestReconnect::tcpAttemptLeavesEventLoopFree()
{
    CommandSequence::setSecondMs(20);
    // A listener that never accepts, with room for one connection in its queue.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QVERIFY(::bind(listener, reinterpret_cast<sockaddr *>(&address), length) == 0);
    QVERIFY(::listen(listener, 0) == 0);
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    ConnectionSettings settings;
    settings.connectionType = QStringLiteral("Ethernet");
    settings.ipAddress = QStringLiteral("127.0.0.1");
    settings.portNumber = ntohs(address.sin_port);

    QObject owner;
    ConnectionLifecycle life([&owner](const ConnectionSettings &) {
        auto *link = new EthernetInterface(&owner);
        link->errorBoxes = false;
        return link;
    });
    QSignalSpy opened(&life, &ConnectionLifecycle::linkOpened);
    QSignalSpy failed(&life, &ConnectionLifecycle::retryFailed);
    QVERIFY(life.connectTo(settings));
    const int analyzer = ::accept(listener, nullptr, nullptr);
    QTcpSocket filler; // takes the one place in the queue: further connects hang
    filler.connectToHost(settings.ipAddress, quint16(settings.portNumber));
    QVERIFY(filler.waitForConnected(2000));
    ::close(analyzer); // the analyzer goes away
    QTRY_COMPARE(life.state(), ConnectionLifecycle::State::Waiting);

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QTimer tick;
    tick.setInterval(10);
    connect(&tick, &QTimer::timeout, [&] {
        longest = qMax(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    tick.start();
    QTest::qWait(1500);
    QVERIFY2(longest < 1000, qPrintable(QString::number(longest)));
    QCOMPARE(failed.count(), 0); // the attempt is still waiting for an answer
    QCOMPARE(life.state(), ConnectionLifecycle::State::Waiting);

    life.disconnectNow();
    QCOMPARE(life.state(), ConnectionLifecycle::State::Disconnected);
    QTRY_VERIFY(owner.findChildren<EthernetInterface *>().isEmpty());
    QCOMPARE(opened.count(), 1);
    ::close(listener);
    CommandSequence::setSecondMs(1000);
}

QTEST_GUILESS_MAIN(TestReconnect)
#include "test_reconnect.moc"
