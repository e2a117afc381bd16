#include "service/commandfilesender.h"

#include "support/testsupport.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QtTest>

// The command file sender on a QBuffer with a short period: lines go out raw
// and one per period.
class TestCommandFileSender : public QObject
{
    Q_OBJECT
private slots:
    void sendsRawLinesOnePerPeriod_data();
    void sendsRawLinesOnePerPeriod();
    void startAgainWhileSendingGoesOn();
    void unopenedDeviceSendsNothing();
};

namespace {

const int period = 40;

struct Sent
{
    QStringList lines;
    QList<qint64> at;
    bool finished = false;
};

void record(CommandFileSender &sender, Sent &sent, const QElapsedTimer &clock)
{
    QObject::connect(&sender, &CommandFileSender::lineReady, [&](const QString &line) {
        sent.lines << line;
        sent.at << clock.elapsed();
    });
    QObject::connect(&sender, &CommandFileSender::finished, [&] { sent.finished = true; });
}

} // namespace

void TestCommandFileSender::sendsRawLinesOnePerPeriod_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF stays CR LF") << QByteArray("srda 3\r\n\r\nsrda 0\r\n")
                                       << QStringList{"srda 3\r\n", "\r\n", "srda 0\r\n"};
    QTest::newRow("LF stays LF") << QByteArray("a\n\nb\n") << QStringList{"a\n", "\n", "b\n"};
    QTest::newRow("last line without end")
        << QByteArray("fact=1\r\nstatus") << QStringList{"fact=1\r\n", "status"};
    QTest::newRow("NUL cuts the line")
        << QByteArray("ab\0cd\nnext\n", 11) << QStringList{"ab", "next\n"};
}

void TestCommandFileSender::sendsRawLinesOnePerPeriod()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, lines);
    QBuffer buffer(&file);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    CommandFileSender sender;
    Sent sent;
    QElapsedTimer clock;
    record(sender, sent, clock);

    clock.start();
    sender.start(&buffer, period);
    QVERIFY(sent.lines.isEmpty()); // the first line waits one period
    QVERIFY(waitFor([&] { return sent.finished; }, 10000));
    QCOMPARE(sent.lines, lines);
    // Line k goes out no sooner than k periods after the start, and one tick
    // after the last line the sender stops and lets go of the file.
    for (int k = 0; k < sent.at.size(); ++k)
        QVERIFY2(sent.at.at(k) >= (k + 1) * period, qPrintable(QString::number(sent.at.at(k))));
    QVERIFY(clock.elapsed() >= (lines.size() + 1) * period);
    QVERIFY(!sender.isSending());
    QVERIFY(!buffer.isOpen());
}

void TestCommandFileSender::startAgainWhileSendingGoesOn()
{
    QByteArray file("one\r\ntwo\r\nthree\r\n");
    QBuffer buffer(&file);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    CommandFileSender sender;
    Sent sent;
    QElapsedTimer clock;
    record(sender, sent, clock);
    clock.start();
    sender.start(&buffer, 5000);
    sender.start(&buffer, period); // a shorter delay chosen, "Send File" pressed again
    QVERIFY(waitFor([&] { return sent.lines.size() == 1; }));
    sender.start(&buffer, period);
    QVERIFY(waitFor([&] { return sent.finished; }));
    QCOMPARE(sent.lines, (QStringList{"one\r\n", "two\r\n", "three\r\n"}));

    // Cancel stops at once and closes the file.
    QBuffer again(&file);
    QVERIFY(again.open(QIODevice::ReadOnly));
    sent = Sent();
    sender.start(&again, period);
    QVERIFY(waitFor([&] { return sent.lines.size() == 1; }));
    sender.cancel();
    QVERIFY(!again.isOpen());
    QTest::qWait(3 * period);
    QCOMPARE(sent.lines.size(), 1);
}

void TestCommandFileSender::unopenedDeviceSendsNothing()
{
    QBuffer closed;
    CommandFileSender sender;
    Sent sent;
    QElapsedTimer clock;
    record(sender, sent, clock);
    sender.start(&closed, period);
    QVERIFY(waitFor([&] { return sent.finished; }));
    QVERIFY(sent.lines.isEmpty());
    QVERIFY(!sender.isSending());
}

QTEST_MAIN(TestCommandFileSender)
#include "test_commandfilesender.moc"
