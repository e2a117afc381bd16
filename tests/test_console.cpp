#include "console/console.h"
#include "support/testsupport.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QTextDocument>

class TestConsole : public QObject
{
    Q_OBJECT
private slots:
    void typingWithoutEcho();
    void keysWithEcho_data();
    void keysWithEcho();
    void backspaceWithEcho();
    void arrowsAreSwallowed();
    void receivedText_data();
    void receivedText();
    void batchShowsUpWithoutFlush();
    void echoFollowsWaitingText();
    void keepsNewestHundredLines();
    void laysOutOnlyKeptLines_data();
    void laysOutOnlyKeptLines();
    void hiddenConsoleWaitsUntilShown();
    void mouseOnlyFocuses();
    void clearDropsWaitingText();
};

namespace {
// Records every signal of a console as one ordered trail.
struct Trail
{
    explicit Trail(Console &c)
    {
        QObject::connect(&c, &Console::getData, [this](const QByteArray &d) {
            events << QStringLiteral("data:") + QString::fromLatin1(d);
        });
        QObject::connect(&c, &Console::consoleBackspace,
                         [this] { events << QStringLiteral("backspace"); });
        QObject::connect(&c, &Console::consoleEnter, [this] { events << QStringLiteral("enter"); });
    }
    QStringList events;
};
} // namespace

void TestConsole::typingWithoutEcho()
{
    Console c;
    Trail trail(c);
    c.appendData("> ");
    c.flush();
    QTest::keyClicks(&c, "status");
    QTest::keyClick(&c, Qt::Key_Return);
    QCOMPARE(trail.events, QStringList({"data:s", "data:t", "data:a", "data:t", "data:u", "data:s",
                                        "data:\r", "enter"}));
    // Nothing typed reaches the screen; only the reply does.
    QCOMPARE(c.toPlainText(), QString("> "));
    c.appendData("Conc : 1.0\r\n");
    c.flush();
    QCOMPARE(c.toPlainText(), QString("> Conc : 1.0\n"));
}

void TestConsole::keysWithEcho_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("screen");
    QTest::newRow("letter") << int(Qt::Key_A) << QStringList{"data:a"} << "xa";
    QTest::newRow("return") << int(Qt::Key_Return) << QStringList{"data:\r", "enter"} << "x\n";
    QTest::newRow("enter") << int(Qt::Key_Enter) << QStringList{"data:\r", "enter"} << "x\n";
}

void TestConsole::keysWithEcho()
{
    QFETCH(int, key);
    QFETCH(QStringList, events);
    QFETCH(QString, screen);
    Console c;
    c.setLocalEcho(true);
    c.appendData("x");
    c.flush();
    Trail trail(c);
    QTest::keyClick(&c, Qt::Key(key));
    QCOMPARE(trail.events, events);
    QCOMPARE(c.toPlainText(), screen);
}

void TestConsole::backspaceWithEcho()
{
    Console c;
    Trail trail(c);
    c.appendData("ab");
    QTest::keyClick(&c, Qt::Key_Backspace);
    QCOMPARE(trail.events, QStringList{"backspace"});
    c.flush();
    QCOMPARE(c.toPlainText(), QString("ab")); // no echo: the screen stays

    c.setLocalEcho(true);
    QTest::keyClick(&c, Qt::Key_Backspace);
    QCOMPARE(trail.events, QStringList({"backspace", "backspace"}));
    QCOMPARE(c.toPlainText(), QString("a"));
}

void TestConsole::arrowsAreSwallowed()
{
    Console c;
    c.setLocalEcho(true);
    c.appendData("line one\nline two");
    c.flush();
    Trail trail(c);
    const int before = c.textCursor().position();
    for (Qt::Key k : {Qt::Key_Left, Qt::Key_Up, Qt::Key_Right, Qt::Key_Down})
        QTest::keyClick(&c, k);
    QCOMPARE(c.textCursor().position(), before);
    QVERIFY(trail.events.isEmpty());
    // Typing after the arrows still lands at the end.
    QTest::keyClick(&c, Qt::Key_Z);
    QCOMPARE(c.toPlainText(), QString("line one\nline twoz"));
}

void TestConsole::receivedText_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QString>("screen");
    QTest::newRow("no line break added")
        << QList<QByteArray>{"Con", "c : 5", "\r\n"} << "Conc : 5\n";
    QTest::newRow("stops at zero byte")
        << QList<QByteArray>{QByteArray("ab\0cd", 5), "ef"} << "abef";
    QTest::newRow("latin-1") << QList<QByteArray>{"\xb5g/m\xb3"} << QString::fromUtf8("µg/m³");
    QTest::newRow("only a zero byte") << QList<QByteArray>{QByteArray(1, '\0')} << "";
}

void TestConsole::receivedText()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QString, screen);
    Console c;
    for (const QByteArray &chunk : chunks)
        c.appendData(chunk);
    c.flush();
    QCOMPARE(c.toPlainText(), screen);
}

void TestConsole::batchShowsUpWithoutFlush()
{
    Console c;
    c.resize(300, 100);
    c.show();
    for (int i = 0; i < 50; ++i)
        c.appendData(QByteArray::number(i) + "\r\n");
    // The batch timer alone brings the text to screen, scrolled to the newest line.
    QVERIFY(waitFor([&] { return c.toPlainText().endsWith("49\n"); }));
    QVERIFY(c.verticalScrollBar()->maximum() > 0);
    QCOMPARE(c.verticalScrollBar()->value(), c.verticalScrollBar()->maximum());
}

void TestConsole::echoFollowsWaitingText()
{
    Console c;
    c.setLocalEcho(true);
    c.appendData("reply\r\n");
    QTest::keyClick(&c, Qt::Key_S);
    c.appendData("more");
    c.flush();
    QCOMPARE(c.toPlainText(), QString("reply\nsmore"));
}

void TestConsole::keepsNewestHundredLines()
{
    Console c;
    for (int i = 1; i <= 250; ++i)
        c.appendData("line " + QByteArray::number(i) + "\r\n");
    c.flush();
    for (int i = 1; i <= 30; ++i) {
        c.appendData("late " + QByteArray::number(i) + "\n");
        c.flush();
    }
    const QStringList lines = c.toPlainText().split('\n');
    QCOMPARE(lines.size(), Console::maxLines);
    // The hundredth block is the empty one after the final line break.
    QCOMPARE(lines.at(0), QString("line 182"));
    QCOMPARE(lines.at(98), QString("late 30"));
    QCOMPARE(lines.at(99), QString());
}

namespace {
QString numberedLines(const QString &prefix, int count)
{
    QString text;
    for (int i = 1; i <= count; ++i)
        text += prefix + QString::number(i) + QLatin1Char('\n');
    return text;
}

// What a console shows of `text` once all of it has been inserted: its newest lines.
QString newestLines(const QString &text)
{
    return text.split('\n').mid(qMax(0, text.count('\n') + 1 - Console::maxLines)).join('\n');
}
} // namespace

void TestConsole::laysOutOnlyKeptLines_data()
{
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("batch");
    const QString old = numberedLines("old ", 30) + "part";
    QTest::newRow("short batch joins the shown lines") << old << numberedLines("new ", 20);
    QTest::newRow("99 line breaks keep the last shown line") << old << numberedLines("new ", 99);
    QTest::newRow("100 line breaks replace all") << old << numberedLines("new ", 100);
    QTest::newRow("thousands of lines") << old << numberedLines("new ", 5000) + "tail";
    QTest::newRow("into an empty console") << QString() << numberedLines("new ", 777);
}

void TestConsole::laysOutOnlyKeptLines()
{
    QFETCH(QString, shown);
    QFETCH(QString, batch);
    Console c;
    c.resize(300, 200);
    c.show();
    c.appendText(shown);
    c.flush();
    int inserted = 0;
    connect(c.document(), &QTextDocument::contentsChange, this,
            [&](int, int, int added) { inserted += added; });
    // In pieces, as replies come.
    for (int at = 0; at < batch.size(); at += 1000)
        c.appendText(batch.mid(at, 1000));
    c.flush();
    QCOMPARE(c.toPlainText(), newestLines(shown + batch));
    // Nothing was laid out that does not stay on screen.
    QVERIFY2(inserted <= newestLines(batch).size() + 1, qPrintable(QString::number(inserted)));
}

void TestConsole::hiddenConsoleWaitsUntilShown()
{
    QWidget window;
    Console c(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    c.hide();
    int changes = 0;
    connect(c.document(), &QTextDocument::contentsChange, this, [&] { ++changes; });
    const QString lines = numberedLines("row ", 20000);
    for (int at = 0; at < lines.size(); at += 4096)
        c.appendText(lines.mid(at, 4096));
    QTest::qWait(3 * Console::flushDelayMs);
    QCOMPARE(changes, 0);
    QCOMPARE(c.toPlainText(), QString());
    c.show();
    QCOMPARE(c.toPlainText(), newestLines(lines));
}

void TestConsole::mouseOnlyFocuses()
{
    QWidget window;
    Console c(&window);
    c.resize(300, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    c.appendData("first line\nsecond line\n");
    c.flush();
    const int end = c.textCursor().position();
    QTest::mouseClick(c.viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseDClick(c.viewport(), Qt::LeftButton, {}, QPoint(10, 5));
    QTest::mousePress(c.viewport(), Qt::LeftButton, {}, QPoint(2, 5));
    QTest::mouseMove(c.viewport(), QPoint(60, 25));
    QTest::mouseRelease(c.viewport(), Qt::LeftButton, {}, QPoint(60, 25));
    QTRY_VERIFY(c.hasFocus());
    QCOMPARE(c.textCursor().position(), end);
    QVERIFY(!c.textCursor().hasSelection());
    c.setLocalEcho(true);
    QTest::keyClick(&c, Qt::Key_X);
    QCOMPARE(c.toPlainText(), QString("first line\nsecond line\nx"));
}

void TestConsole::clearDropsWaitingText()
{
    Console c;
    c.appendData("old");
    c.clear();
    c.appendData("new");
    c.flush();
    QCOMPARE(c.toPlainText(), QString("new"));
}

QTEST_MAIN(TestConsole)
#include "test_console.moc"
