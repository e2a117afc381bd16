#include "plot/plotwindow.h"
#include "plot/trendimport.h"
#include "support/testsupport.h"

#include <qwt_plot.h>
#include <qwt_plot_curve.h>

#include <QBuffer>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <ctime>

namespace {

qint64 localMs(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s)).toMSecsSinceEpoch();
}

bool parse(TrendReader &reader, const QByteArray &line, QPointF &p)
{
    return reader.parseLine(line.constData(), line.constData() + line.size(), p);
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    QFile f(dir.filePath(name));
    const bool written = f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
    return written ? f.fileName() : QString();
}

// Rows as the trend auto-log writes them, one a second from 2025-01-31 12:00:00.
QByteArray trendRows(int count)
{
    QByteArray out = "Date&Time, Concentration, Gas, Alarms\r\n";
    const QDateTime start(QDate(2025, 1, 31), QTime(12, 0));
    for (int i = 0; i < count; ++i)
        out += start.addSecs(i).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toLatin1() + ", " +
               QByteArray::number(i) + ", CH4, No Faults\r\n";
    return out;
}

// Whether the curve's first n points are those of trendRows().
bool holdsTrendRows(const QwtPlotCurve *curve, size_t n)
{
    const qint64 start = localMs(2025, 1, 31, 12, 0, 0);
    for (size_t i = 0; i < n; ++i) {
        if (curve->sample(i) != QPointF(start + double(i) * 1000, double(i)))
            return false;
    }
    return true;
}

} // namespace

class TestTrendImport : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // A zone with daylight saving time; switches on 2025-03-30 and 2025-10-26.
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }
    void init() { QSettings(QStringLiteral("Quorvane"), QStringLiteral("Telvar")).clear(); }
    void lines_data();
    void lines();
    void valuesReadExactly();
    void sameTimesAsQt_data();
    void sameTimesAsQt();
    void twoFilesTwoCurves();
    void abortKeepsLinesRead();
    void abortOfferedForFileWithoutLineFeeds();
    void anyFileReadsSafely_data();
    void anyFileReadsSafely();
};

void TestTrendImport::lines_data()
{
    QTest::addColumn<QByteArray>("lines"); // read in turn by one reader; the last one counts
    QTest::addColumn<qint64>("x");         // 0: no point
    QTest::addColumn<double>("y");
    const auto row = [](const char *name, const char *lines, qint64 x = 0, double y = 0) {
        QTest::newRow(name) << QByteArray(lines) << x << y;
    };
    const qint64 at = localMs(2025, 1, 31, 12, 0, 5);
    row("header", "Date&Time, Concentration, Gas, Alarms");
    row("first form, blank, 1.25", "2025-01-31 12:00:05, 1.25", at, 1.25);
    row("tab separated", "2025-01-31 12:00:05\t-3e-2\tx", at, -0.03);
    row("second form is 20yy", "01-31-25 12:00:05,7", at, 7);
    row("blanks around the value", "2025-01-31 12:00:05,  2.5 , CH4", at, 2.5);
    row("value with text after it", "2025-01-31 12:00:05, 1.5x, CH4");
    row("no comma", "2025-01-31 12:00:05");
    row("not finite", "2025-01-31 12:00:05, inf");
    row("no such day", "2025-02-30 12:00:05, 1");
    // A line of the same date and hour as the one before needs minutes and
    // seconds of its own.
    row("same hour, minute 60", "2025-01-31 12:00:05, 1\n2025-01-31 12:60:00, 1");
    row("same hour, 59:59", "2025-01-31 12:00:05, 1\n2025-01-31 12:59:59, 2",
        localMs(2025, 1, 31, 12, 59, 59), 2);
    row("same hour, second form", "2025-01-31 12:00:05, 1\n01-31-25 12:59:58, 3",
        localMs(2025, 1, 31, 12, 59, 58), 3);
}

void TestTrendImport::lines()
{
    QFETCH(QByteArray, lines);
    QFETCH(qint64, x);
    const QList<QByteArray> each = lines.split('\n');
    TrendReader reader;
    QPointF p;
    for (int i = 0; i + 1 < each.size(); ++i)
        QVERIFY(parse(reader, each[i], p));
    QCOMPARE(parse(reader, each.last(), p), x != 0);
    if (x != 0) {
        QCOMPARE(qint64(p.x()), x);
        QTEST(p.y(), "y");
    }
}

// Values as an exact reader has them, to the last bit, whatever their length.
void TestTrendImport::valuesReadExactly()
{
    QRandomGenerator random(11);
    TrendReader reader;
    for (int i = 0; i < 20000; ++i) {
        // Up to 19 digits, the point after the first to the last of them.
        const int count = 1 + int(random.bounded(19)), point = 1 + int(random.bounded(count));
        QByteArray value = random.bounded(2) ? "-" : "";
        for (int d = 0; d < count; ++d)
            value += QByteArray(d == point ? "." : "") + char('0' + random.bounded(10));
        QPointF p;
        if (!parse(reader, "2025-01-31 12:00:05, " + value + "\r", p) || p.y() != value.toDouble())
            QFAIL(qPrintable(
                QStringLiteral("%1 read as %2").arg(value.constData()).arg(p.y(), 0, 'g', 17)));
    }
}

void TestTrendImport::sameTimesAsQt_data()
{
    QTest::addColumn<QDate>("day");
    QTest::newRow("spring forward") << QDate(2025, 3, 30);
    QTest::newRow("fall back") << QDate(2025, 10, 26);
    QTest::newRow("new year") << QDate(2024, 12, 31);
}

// Every 7 s through the night of a switch, one reader for all (so its cache
// is tried across the switch): as QDateTime::fromString reads them, or no
// point where that finds no such local time.
void TestTrendImport::sameTimesAsQt()
{
    QFETCH(QDate, day);
    TrendReader reader;
    int compared = 0, skipped = 0;
    for (int s = 0; s < 5 * 3600; s += 7) {
        const QString text = day.toString(QStringLiteral("yyyy-MM-dd ")) +
                             QTime(0, 0).addSecs(s).toString(QStringLiteral("hh:mm:ss"));
        const QDateTime qt = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        QPointF p;
        const bool read = parse(reader, text.toLatin1() + ", 1", p);
        QCOMPARE(read, qt.isValid());
        if (read)
            QCOMPARE(qint64(p.x()), qt.toMSecsSinceEpoch());
        ++(read ? compared : skipped);
    }
    QVERIFY(compared > 2000);
    QCOMPARE(skipped > 0, day == QDate(2025, 3, 30)); // the hour that does not exist
}

// The first file: lines split across the read blocks, "\r\n" and "\n" ends, a
// last line without an end.
void TestTrendImport::twoFilesTwoCurves()
{
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    const QByteArray tail = "2025-01-31 23:00:00,1\n2025-01-31 23:00:01,2";
    dialogs.fileAnswers << writeFile(dir, QStringLiteral("a.csv"), trendRows(100000) + tail)
                        << dir.filePath(QStringLiteral("missing.csv"))
                        << writeFile(dir, QStringLiteral("b.txt"),
                                     "01-31-25 12:00:00, 4\n01-31-25 12:00:01\n");
    PlotWindow w;
    w.addTimePoint(QDateTime::currentDateTime(), QStringLiteral("1"));
    w.addData();
    QCOMPARE(dialogs.fileAsks.size(), 1);
    // The file that cannot be opened makes no curve.
    QCOMPARE(w.importedCurves().size(), 2);
    const QwtPlotCurve *first = w.importedCurves()[0];
    QCOMPARE(int(first->dataSize()), 100002);
    QVERIFY(holdsTrendRows(first, 100000));
    QCOMPARE(first->sample(100001), QPointF(localMs(2025, 1, 31, 23, 0, 1), 2));
    QCOMPARE(w.importedCurves()[1]->sample(0), QPointF(localMs(2025, 1, 31, 12, 0, 0), 4));
    QCOMPARE(int(w.importedCurves()[1]->dataSize()), 1);
    QCOMPARE(w.sampleCount(), 1); // the ring is not touched
    QVERIFY(w.plot()->axisAutoScale(QwtPlot::xBottom));
}

// Abort, pressed while the first file is read: its curve keeps the lines read
// so far, the next file gets an empty curve.
void TestTrendImport::abortKeepsLinesRead()
{
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    dialogs.fileAnswers << writeFile(dir, QStringLiteral("a.csv"), trendRows(50000))
                        << writeFile(dir, QStringLiteral("b.csv"), trendRows(10));
    PlotWindow w;
    w.show();
    QTimer::singleShot(0, &w, [&w] {
        auto *progress = w.findChild<QProgressDialog *>();
        QVERIFY(progress);
        progress->cancel();
    });
    w.addData();
    QCOMPARE(w.importedCurves().size(), 2);
    const QwtPlotCurve *first = w.importedCurves()[0];
    QVERIFY(first->dataSize() > 0 && first->dataSize() < 50000);
    QVERIFY(holdsTrendRows(first, first->dataSize()));
    QCOMPARE(int(w.importedCurves()[1]->dataSize()), 0);
}

// The line number of a file without line feeds stands still; the progress
// dialog must come up all the same, so that Abort can be pressed.
void TestTrendImport::abortOfferedForFileWithoutLineFeeds()
{
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    dialogs.fileAnswers << writeFile(dir, QStringLiteral("x.csv"), QByteArray(8 << 20, 'x'));
    struct SlowReading : FakeClock
    {
        qint64 monotonicMs() const override { return mono += 100; } // 100 ms a look
    } clock;
    PlotWindow w;
    w.show();
    bool offered = false;
    QTimer operatorLooks;
    connect(&operatorLooks, &QTimer::timeout, [&] {
        auto *progress = w.findChild<QProgressDialog *>();
        if (progress && progress->isVisible()) {
            offered = true;
            progress->cancel();
        }
    });
    operatorLooks.start(0);
    w.addData();
    QVERIFY(offered);
    QCOMPARE(int(w.importedCurves().value(0)->dataSize()), 0);
}

void TestTrendImport::anyFileReadsSafely_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("points");
    QTest::addColumn<double>("last"); // the value of the last point
    const QByteArray row = "2025-01-31 12:00:05, 1";
    const QByteArray next = "\n2025-01-31 12:00:06, 2\n";
    const auto padded = [&](int length) { return row + QByteArray(length - row.size(), ' '); };
    QTest::newRow("longest line kept") << padded(TrendReader::MaxLineLength) + next << 2 << 2.0;
    QTest::newRow("longest line kept, CR LF")
        << padded(TrendReader::MaxLineLength) + '\r' + next << 2 << 2.0;
    QTest::newRow("longer line skipped")
        << padded(TrendReader::MaxLineLength + 1) + next << 1 << 2.0;
    QTest::newRow("line across blocks skipped") << padded(3 << 20) + next << 1 << 2.0;
    QTest::newRow("no line feed at all") << QByteArray(5 << 20, 'x') << 0 << 0.0;
    QTest::newRow("a row after a million empty lines")
        << QByteArray(1 << 20, '\n') + row << 1 << 1.0;
    // The first lines promise few points; many more follow.
    QByteArray longThenShort;
    for (int i = 0; i < 6000; ++i) {
        const QByteArray r = "2025-01-31 12:00:05, " + QByteArray::number(i);
        longThenShort += (i < 1024 ? r.leftJustified(1000, ' ') : r) + '\n';
    }
    QTest::newRow("long rows, then many short ones") << longThenShort << 6000 << 5999.0;
}

// A file picked by mistake: whatever it holds, progress comes with every
// block read, so Abort is answered before the next one, and a line too long to
// be a row is skipped.
void TestTrendImport::anyFileReadsSafely()
{
    QFETCH(QByteArray, content);
    QFETCH(int, points);
    QBuffer file(&content);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVector<QPointF> read;
    qint64 calls = 0;
    QVERIFY(TrendReader().read(file, read, [&](qint64) { return ++calls > 0; }));
    QCOMPARE(read.size(), points);
    if (points > 0)
        QTEST(read.last().y(), "last");
    QVERIFY(calls >= content.size() >> 20);

    file.seek(0);
    read.clear();
    QVERIFY(!TrendReader().read(file, read, [](qint64) { return false; }));
    QVERIFY2(file.pos() <= 1 << 20, qPrintable(QString::number(file.pos())));
}

QTEST_MAIN(TestTrendImport)
#include "test_trendimport.moc"
