#include "link/ethernetinterface.h"
#include "support/testsupport.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

// A listening analyzer on 127.0.0.1 that the link connects to.
class TestEthernet : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void sendsAccessCodeFirst();
    void ipv6Converter();
    void everyWriteGetsLineFeed_data();
    void everyWriteGetsLineFeed();
    void repliesAreReadWhole();
    void refusedConnection();
    void closedSocketWritesAndReadsNothing();
    void peerCloseRaisesOneBox();
    void errorBoxDoesNotNest();

private:
    bool connectLink(EthernetInterface &link);
    QByteArray receive(int bytes);

    QTcpServer *server = nullptr;
    QTcpSocket *peer = nullptr;
    ScriptedDialogs *dialogs = nullptr;
};

void TestEthernet::init()
{
    dialogs = new ScriptedDialogs;
    server = new QTcpServer;
    QVERIFY(server->listen(QHostAddress::LocalHost, 0));
    peer = nullptr;
}

void TestEthernet::cleanup()
{
    delete server; // also deletes the accepted peer
    delete dialogs;
}

bool TestEthernet::connectLink(EthernetInterface &link)
{
    ConnectionSettings s;
    s.connectionType = "Ethernet";
    s.ipAddress = "127.0.0.1";
    s.portNumber = server->serverPort();
    if (!link.openConnection(s))
        return false;
    if (!waitFor([&] { return server->hasPendingConnections(); }))
        return false;
    peer = server->nextPendingConnection();
    return peer != nullptr;
}

QByteArray TestEthernet::receive(int bytes)
{
    waitFor([&] { return peer->bytesAvailable() >= bytes; });
    return peer->readAll();
}

void TestEthernet::sendsAccessCodeFirst()
{
    EthernetInterface link;
    QCOMPARE(link.linkKind, qint32(OrinInterface::Tcp));
    QVERIFY(!link.connectionOpen());
    QVERIFY(connectLink(link));
    QVERIFY(link.connectionOpen());
    QCOMPARE(link.connectionText, QString("Connected to 127.0.0.1:%1").arg(server->serverPort()));
    QCOMPARE(receive(6), QByteArray("8264\r\n"));
    QVERIFY(dialogs->messages.isEmpty());
}

void TestEthernet::ipv6Converter()
{
    QTcpServer converter;
    if (!converter.listen(QHostAddress::LocalHostIPv6, 0))
        QSKIP("no IPv6 loopback here");
    EthernetInterface link;
    ConnectionSettings s;
    s.ipAddress = "::1";
    s.portNumber = converter.serverPort();
    QVERIFY(link.openConnection(s));
    QVERIFY(waitFor([&] { return converter.hasPendingConnections(); }));
    QTcpSocket *analyzer = converter.nextPendingConnection();
    QVERIFY(waitFor([&] { return analyzer->bytesAvailable() >= 6; }));
    QCOMPARE(analyzer->readAll(), QByteArray("8264\r\n"));
    // The port stands apart from the address.
    QCOMPARE(link.connectionText, QString("Connected to [::1]:%1").arg(converter.serverPort()));
}

void TestEthernet::everyWriteGetsLineFeed_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("received");
    QTest::newRow("status poll") << QByteArray("status\r\n") << QByteArray("status\r\n\n");
    QTest::newRow("console line") << QByteArray("conc\r") << QByteArray("conc\r\n");
}

void TestEthernet::everyWriteGetsLineFeed()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, received);
    EthernetInterface link;
    QVERIFY(connectLink(link));
    QCOMPARE(receive(6), QByteArray("8264\r\n"));
    link.writeData(sent);
    QCOMPARE(receive(received.size()), received);
}

void TestEthernet::repliesAreReadWhole()
{
    EthernetInterface link;
    QVERIFY(connectLink(link));
    QSignalSpy ready(&link, &OrinInterface::readyRead);
    // A partial line is handed over as it is; cutting lines is the reader's job.
    peer->write("Conc : 12.3\r\nGa");
    peer->flush();
    QByteArray got;
    QVERIFY(waitFor([&] {
        got += link.readData();
        return got.size() >= 15;
    }));
    QCOMPARE(got, QByteArray("Conc : 12.3\r\nGa"));
    QVERIFY(ready.count() >= 1);
}

void TestEthernet::refusedConnection()
{
    // A port that was just listening and is now closed refuses at once.
    const quint16 port = server->serverPort();
    server->close();
    EthernetInterface link;
    ConnectionSettings s;
    s.ipAddress = "127.0.0.1";
    s.portNumber = port;
    QVERIFY(!link.openConnection(s));
    const QString text = QString("Unable to open connection with 127.0.0.1, port: %1").arg(port);
    QCOMPARE(link.errorText, text);
    QCOMPARE(link.connectionText, text);
    QVERIFY(!link.connectionOpen());
    // The failed open is reported by its text alone, not by a socket error box too.
    QVERIFY(dialogs->messages.isEmpty());
}

void TestEthernet::closedSocketWritesAndReadsNothing()
{
    QStringList warnings;
    static QStringList *sink = nullptr;
    sink = &warnings;
    const auto previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
            if (type == QtWarningMsg)
                *sink << msg;
        });

    EthernetInterface never;
    never.writeData("status\r\n");
    QCOMPARE(never.readData(), QByteArray());

    EthernetInterface link;
    QVERIFY(connectLink(link));
    QCOMPARE(receive(6), QByteArray("8264\r\n"));
    peer->write("late reply\r\n");
    peer->flush();
    QVERIFY(waitFor([&] { return peer->bytesToWrite() == 0; }));
    link.closeConnection();
    QVERIFY(!link.connectionOpen());
    link.writeData("status\r\n");
    QCOMPARE(link.readData(), QByteArray());
    QVERIFY(waitFor([&] { return peer->state() == QAbstractSocket::UnconnectedState; }));
    QCOMPARE(peer->readAll(), QByteArray());

    qInstallMessageHandler(previous);
    // Writing to or reading from a closed socket would warn "device not open".
    QCOMPARE(warnings, QStringList());
    QVERIFY(dialogs->messages.isEmpty());
}

void TestEthernet::peerCloseRaisesOneBox()
{
    EthernetInterface link;
    QVERIFY(connectLink(link));
    QSignalSpy lost(&link, &OrinInterface::connectionLost);
    peer->close();
    QVERIFY(waitFor([&] { return !dialogs->messages.isEmpty() && lost.count() > 0; }));
    // The socket is down now; whatever else it had to say has been said.
    QCOMPARE(link.findChild<QTcpSocket *>()->state(), QAbstractSocket::UnconnectedState);
    QCoreApplication::processEvents();
    QCOMPARE(dialogs->messages.size(), 1);
    const Dialogs::Message &m = dialogs->messages.first();
    QCOMPARE(m.text, QString("error %1The remote host closed the connection")
                         .arg(int(QAbstractSocket::RemoteHostClosedError)));
    QCOMPARE(m.buttons, int(Dialogs::Ok));
    QVERIFY(m.parent == nullptr);
    QCOMPARE(lost.count(), 1);
    // The link keeps its state until the main window closes it.
    QVERIFY(link.connectionOpen());
    link.writeData("status\r\n");
    QCOMPARE(link.readData(), QByteArray());
}

void TestEthernet::errorBoxDoesNotNest()
{
    EthernetInterface link;
    QVERIFY(connectLink(link));
    int nestedCalls = 0;
    dialogs->whileOpen = [&](const Dialogs::Message &) {
        ++nestedCalls;
        if (nestedCalls == 1)
            link.socketError(QAbstractSocket::NetworkError);
    };
    link.socketError(QAbstractSocket::SocketTimeoutError);
    QVERIFY(dialogs->messages.isEmpty()); // not inside the socket's own signal
    QVERIFY(waitFor([&] { return dialogs->messages.size() == 1; }));
    QTest::qWait(20);
    QCOMPARE(dialogs->messages.size(), 1);
    // Once the box has closed, the next error is shown again.
    link.socketError(QAbstractSocket::NetworkError);
    QVERIFY(waitFor([&] { return dialogs->messages.size() == 2; }));
    QVERIFY(dialogs->messages.at(1).text.startsWith(
        QString("error %1").arg(int(QAbstractSocket::NetworkError))));
}

QTEST_MAIN(TestEthernet)
#include "test_ethernet.moc"
