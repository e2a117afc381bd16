#include "console/logger.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

class TestLogger : public QObject
{
    Q_OBJECT
private slots:
    void appendsExactBytes();
    void emptyWriteCreatesEmptyFile();
    void unwritableNames_data();
    void unwritableNames();
    void oneBoxPerRunOfFailures();
    void appendGathersBlocks_data();
    void appendGathersBlocks();
    void dataFolder();
};

namespace {
QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

const QString boxTitle = QStringLiteral("Log File error!");
} // namespace

void TestLogger::appendsExactBytes()
{
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    const QString name = dir.filePath("traffic.txt");
    Logger logger;
    QVERIFY(logger.log("abc", name));
    QCOMPARE(contents(name), QByteArray("abc"));
    QVERIFY(logger.log("abc", name));
    QCOMPARE(contents(name), QByteArray("abcabc"));
    // Raw bytes pass untouched: line ends, a zero byte, bytes that are not UTF-8.
    const QByteArray raw("\r\n\0\xff\xb5 ok\r\n", 10);
    QVERIFY(logger.log(raw, name));
    QCOMPARE(contents(name), QByteArray("abcabc") + raw);
    QCOMPARE(logger.lastFileName(), name);
    QVERIFY(dialogs.messages.isEmpty());
}

void TestLogger::emptyWriteCreatesEmptyFile()
{
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    const QString name = dir.filePath("new.txt");
    Logger logger;
    QVERIFY(logger.fileIsValid(name));
    QVERIFY(QFile::exists(name));
    QCOMPARE(contents(name), QByteArray());
    // An existing file keeps what it holds.
    QVERIFY(logger.log("row\r\n", name));
    QVERIFY(logger.fileIsValid(name));
    QCOMPARE(contents(name), QByteArray("row\r\n"));
}

void TestLogger::unwritableNames_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("empty name") << QString();
    QTest::newRow("missing folder") << "no/such/folder/log.txt";
    QTest::newRow("a folder") << ".";
    QTest::newRow("read-only file") << "readonly.txt";
}

void TestLogger::unwritableNames()
{
    QFETCH(QString, relative);
    QTemporaryDir dir;
    const QString ro = dir.filePath("readonly.txt");
    QFile f(ro);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("keep");
    f.close();
    QVERIFY(QFile::setPermissions(ro, QFile::ReadOwner));
    if (relative == "readonly.txt" && QFileInfo(ro).isWritable())
        QSKIP("running with rights that ignore file permissions");
    const QString name = relative.isEmpty() ? QString() : dir.filePath(relative);

    ScriptedDialogs dialogs;
    Logger logger;
    // The trace is there when the debug output is turned on.
    QLoggingCategory::setFilterRules(QStringLiteral("telvar.debug=true"));
    QTest::ignoreMessage(QtDebugMsg, "Log file not writeable!");
    QVERIFY(!logger.log("abc", name));
    QVERIFY(dialogs.messages.isEmpty()); // shown once the caller has returned
    QVERIFY(waitFor([&] { return dialogs.messages.size() == 1; }));
    const Dialogs::Message &m = dialogs.messages.first();
    QCOMPARE(m.title, boxTitle);
    QCOMPARE(m.text,
             QString("Log file is not writeable!  (Do you have it open in another program?)"));
    QCOMPARE(m.buttons, int(Dialogs::Ok));
    QCOMPARE(contents(ro), QByteArray("keep"));
}

void TestLogger::oneBoxPerRunOfFailures()
{
    QTemporaryDir dir;
    const QString bad = dir.filePath("missing/log.txt");
    const QString good = dir.filePath("log.txt");
    ScriptedDialogs dialogs;
    Logger logger;
    QList<bool> nested;
    // Replies keep coming while the box is open; each one fails again.
    dialogs.whileOpen = [&](const Dialogs::Message &) {
        for (int i = 0; i < 3; ++i)
            nested << logger.log("reply\r\n", bad);
    };
    QVERIFY(!logger.log("first\r\n", bad));
    QVERIFY(waitFor([&] { return dialogs.count(boxTitle) == 1; }));
    QCOMPARE(nested, QList<bool>({false, false, false}));
    QCOMPARE(dialogs.count(boxTitle), 1);

    // The same run of failures goes on without another box, each call still failing.
    QVERIFY(!logger.log("again\r\n", bad));
    QCOMPARE(dialogs.count(boxTitle), 1);

    // A success ends the run; the next failure is reported again.
    QVERIFY(logger.log("ok\r\n", good));
    QVERIFY(!logger.log("lost\r\n", bad));
    QVERIFY(waitFor([&] { return dialogs.count(boxTitle) == 2; }));
    QCOMPARE(contents(good), QByteArray("ok\r\n"));

    // Even a success while the box is open does not let a second box open inside it.
    dialogs.whileOpen = [&](const Dialogs::Message &) {
        nested = {logger.log("ok\r\n", good), logger.log("lost\r\n", bad)};
    };
    QVERIFY(logger.log("ok\r\n", good));
    QVERIFY(!logger.log("lost\r\n", bad));
    QVERIFY(waitFor([&] { return dialogs.count(boxTitle) == 3; }));
    QTest::qWait(20);
    QCOMPARE(nested, QList<bool>({true, false}));
    QCOMPARE(dialogs.count(boxTitle), 3);
}

// Each step appends to file "a" or "b" (a capital flushes first); after each
// step the two files hold exactly what is listed.
void TestLogger::appendGathersBlocks_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("inA");
    QTest::addColumn<QStringList>("inB");
    QTest::newRow("gathered until flushed")
        << QStringList{"a:one\r\n", "a:two\r\n", "A:three\r\n"}
        << QStringList{"", "", "one\r\ntwo\r\nthree\r\n"} << QStringList{"", "", ""};
    QTest::newRow("another file takes the block out")
        << QStringList{"a:one\r\n", "b:two\r\n", "B:"} << QStringList{"", "one\r\n", "one\r\n"}
        << QStringList{"", "", "two\r\n"};
    QTest::newRow("a full block goes at once")
        << QStringList{"a:x", "a:" + QString(Logger::blockBytes, 'y')}
        << QStringList{"", "x" + QString(Logger::blockBytes, 'y')} << QStringList{"", ""};
}

void TestLogger::appendGathersBlocks()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, inA);
    QFETCH(QStringList, inB);
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    const QString a = dir.filePath("a.txt"), b = dir.filePath("b.txt");
    const auto written = [](const QString &name) {
        return QFile::exists(name) ? contents(name) : QByteArray();
    };
    QByteArray all;
    {
        Logger logger;
        for (int i = 0; i < steps.size(); ++i) {
            const QString step = steps.at(i);
            const QByteArray bytes = step.mid(2).toLatin1();
            logger.append(bytes, step.at(0).toLower() == 'a' ? a : b);
            if (step.at(0).isUpper())
                QVERIFY(logger.flush());
            QCOMPARE(written(a), inA.at(i).toLatin1());
            QCOMPARE(written(b), inB.at(i).toLatin1());
        }
        logger.append("last\r\n", a);
        all = written(a);
    }
    // Whatever is still gathered is written when the logger goes.
    QCOMPARE(written(a), all + "last\r\n");
    QVERIFY(dialogs.messages.isEmpty());
}

void TestLogger::dataFolder()
{
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    Logger logger;
    logger.loggingDataFolder();
    QVERIFY(logger.log("x", dir.filePath("log.txt")));
    logger.loggingDataFolder();
    QFile::remove(dir.filePath("log.txt"));
    logger.loggingDataFolder();
    QCOMPARE(dialogs.openedUrls, QList<QUrl>({QUrl::fromLocalFile(QDir::homePath()),
                                              QUrl::fromLocalFile(QDir(dir.path()).absolutePath()),
                                              QUrl::fromLocalFile(QDir::homePath())}));
}

QTEST_MAIN(TestLogger)
#include "test_logger.moc"
