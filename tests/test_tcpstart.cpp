#include "app/mainwindow.h"
#include "common/commandsequence.h"
#include "link/orininterface.h"
#include "support/testsupport.h"

#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>

// The program reaching an analyzer on the network: TCP port 23 on this machine.
class TestTcpStart : public QObject
{
    Q_OBJECT
private slots:
    void accessCodeThenOpeningCommands();
};

void TestTcpStart::accessCodeThenOpeningCommands()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 23))
        QSKIP("port 23 cannot be bound here (needs root)");
    ScriptedDialogs dialogs;
    QSettings().clear();
    CommandSequence::setSecondMs(20);
    MainWindow w;
    SettingsPresets p;
    p.tcpHost = QStringLiteral("127.0.0.1");
    p.interval = 60;
    QVERIFY(w.settingsDialog()->applyPresets(p).isEmpty());
    w.openConnection();
    QVERIFY(w.currentLink());
    QCOMPARE(w.currentLink()->linkKind, qint32(OrinInterface::Tcp));
    QVERIFY(waitFor([&] { return server.hasPendingConnections(); }));
    QTcpSocket *peer = server.nextPendingConnection();
    QByteArray got;
    QVERIFY(waitFor([&] {
        got += peer->readAll();
        return got.contains("ssnid");
    }));
    // Every write carries one extra line feed, the access code included.
    QCOMPARE(got, QByteArray("8264\r\nfact=1\r\n\nssnid\r\n\n"));
    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
    QVERIFY(dialogs.messages.isEmpty());
}

QTEST_MAIN(TestTcpStart)
#include "test_tcpstart.moc"
