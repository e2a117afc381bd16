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
    void lostLinkHoldsTheNextLine();
};

namespace {

const int period = 40;

// A sender and what it sent, with when, since the recorder was made.
struct Recorder
{
    Recorder()
    {
        QObject::connect(&sender, &CommandFileSender::lineReady, [this](const QString &line) {
            lines << line;
            at << clock.elapsed();
        });
        QObject::connect(&sender, &CommandFileSender::finished, [this] { finished = true; });
        clock.start();
    }
    CommandFileSender sender;
    QElapsedTimer clock;
    QStringList lines;
    QList<qint64> at;
    bool finished = false;
};

} // namespace

void TestCommandFileSender::sendsRawLinesOnePerPeriod_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF stays CR LF") << QByteArray("srda 3\r\n\r\nsrda 0\r\n") << true
                                       << QStringList{"srda 3\r\n", "\r\n", "srda 0\r\n"};
    QTest::newRow("LF stays LF") << QByteArray("a\n\nb\n") << true
                                 << QStringList{"a\n", "\n", "b\n"};
    QTest::newRow("last line without end")
        << QByteArray("fact=1\r\nstatus") << true << QStringList{"fact=1\r\n", "status"};
    QTest::newRow("NUL cuts the line")
        << QByteArray("ab\0cd\nnext\n", 11) << true << QStringList{"ab", "next\n"};
    // A file that could not be opened is sent as an empty one.
    QTest::newRow("never opened") << QByteArray("a\n") << false << QStringList();
}

void TestCommandFileSender::sendsRawLinesOnePerPeriod()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, opens);
    QFETCH(QStringList, lines);
    QBuffer buffer(&file);
    QVERIFY(!opens || buffer.open(QIODevice::ReadOnly));
    Recorder sent;
    sent.sender.start(&buffer, period);
    QVERIFY(sent.lines.isEmpty()); // the first line waits one period
    QVERIFY(waitFor([&] { return sent.finished; }, 10000));
    QCOMPARE(sent.lines, lines);
    // Line k goes out no sooner than k periods after the start, and one tick
    // after the last line the sender stops and lets go of the file.
    for (int k = 0; k < sent.at.size(); ++k)
        QVERIFY2(sent.at.at(k) >= (k + 1) * period, qPrintable(QString::number(sent.at.at(k))));
    QVERIFY(sent.clock.elapsed() >= (lines.size() + 1) * period);
    QVERIFY(!sent.sender.isSending());
    QVERIFY(!buffer.isOpen());
}

void TestCommandFileSender::lostLinkHoldsTheNextLine()
{
    // Nothing goes out while the link is lost; the same analyzer back, the
    // file goes on from its next line. Another analyzer ends it unsent.
    QByteArray file("one\r\ntwo\r\nthree\r\n");
    QBuffer buffer(&file);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    Recorder sent;
    sent.sender.start(&buffer, period);
    QVERIFY(waitFor([&] { return sent.lines.size() == 1; }));
    sent.sender.pauseRun();
    QVERIFY(sent.sender.isSending());
    QVERIFY(!waitFor([&] { return sent.lines.size() > 1; }, 4 * period));
    sent.sender.resumeRun();
    QVERIFY(waitFor([&] { return sent.lines.size() == 2; }));
    QCOMPARE(sent.lines, (QStringList{"one\r\n", "two\r\n"}));
    sent.sender.abandonRun(QStringLiteral("another analyzer"));
    QVERIFY(!sent.sender.isSending());
    QVERIFY(!buffer.isOpen());
}

void TestCommandFileSender::startAgainWhileSendingGoesOn()
{
    QByteArray file("one\r\ntwo\r\nthree\r\n");
    QBuffer buffer(&file);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    Recorder sent;
    sent.sender.start(&buffer, 5000);
    sent.sender.start(&buffer, period); // a shorter delay chosen, "Send File" pressed again
    QVERIFY(waitFor([&] { return sent.lines.size() == 1; }));
    sent.sender.start(&buffer, period);
    QVERIFY(waitFor([&] { return sent.finished; }));
    QCOMPARE(sent.lines, (QStringList{"one\r\n", "two\r\n", "three\r\n"}));

    // Cancel stops at once and closes the file.
    QBuffer again(&file);
    QVERIFY(again.open(QIODevice::ReadOnly));
    sent.lines.clear();
    sent.sender.start(&again, period);
    QVERIFY(waitFor([&] { return sent.lines.size() == 1; }));
    sent.sender.cancel();
    QVERIFY(!again.isOpen());
    QTest::qWait(3 * period);
    QCOMPARE(sent.lines.size(), 1);
}

QTEST_MAIN(TestCommandFileSender)
#include "test_commandfilesender.moc"
