#include "link/serialinterface.h"
#include "support/pty.h"
#include "support/testsupport.h"

class TestLink : public QObject
{
    Q_OBJECT
private slots:
    void serialOpens();
};

void TestLink::serialOpens()
{
    Pty pty;
    QVERIFY(pty.isOpen());
    SerialInterface link;
    ConnectionSettings s;
    s.name = pty.slavePath();
    QVERIFY(link.openConnection(s));
    QCOMPARE(link.connectionText, QString("Connected to %1 : 115200").arg(pty.slavePath()));
}

QTEST_MAIN(TestLink)
#include "test_link.moc"
