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

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        return QString();
    return path;
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
    void sameHourAsLineBefore();
    void sameTimesAsQt_data();
    void sameTimesAsQt();
    void readsWholeDevice();
    void twoFilesTwoCurves();
    void abortKeepsLinesRead();
};

void TestTrendImport::lines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("point");
    QTest::addColumn<qint64>("x");
    QTest::addColumn<double>("y");
    const qint64 noon = localMs(2025, 1, 31, 12, 0, 5);
    QTest::newRow("header") << QByteArray("Date&Time, Concentration, Gas, Alarms") << false
                            << qint64(0) << 0.0;
    QTest::newRow("first form, blank, 1.25")
        << QByteArray("2025-01-31 12:00:05, 1.25") << true << noon << 1.25;
    QTest::newRow("tab separated")
        << QByteArray("2025-01-31 12:00:05\t-3e-2\tx") << true << noon << -0.03;
    QTest::newRow("second form is 20yy")
        << QByteArray("01-31-25 12:00:05,7") << true << noon << 7.0;
    QTest::newRow("no comma") << QByteArray("2025-01-31 12:00:05") << false << qint64(0) << 0.0;
    QTest::newRow("not finite") << QByteArray("2025-01-31 12:00:05, inf") << false << qint64(0)
                                << 0.0;
    QTest::newRow("no such day") << QByteArray("2025-02-30 12:00:05, 1") << false << qint64(0)
                                 << 0.0;
}

void TestTrendImport::lines()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, point);
    TrendReader reader;
    QPointF p;
    QCOMPARE(reader.parseLine(line.constData(), line.constData() + line.size(), p), point);
    if (point) {
        QTEST(qint64(p.x()), "x");
        QTEST(p.y(), "y");
    }
}

// Values as an exact reader has them, to the last bit, whatever their length.
void TestTrendImport::valuesReadExactly()
{
    QRandomGenerator random(11);
    TrendReader reader;
    for (int i = 0; i < 20000; ++i) {
        QByteArray digits;
        const int count = 1 + int(random.bounded(19));
        for (int d = 0; d < count; ++d)
            digits += char('0' + random.bounded(10));
        const int point = int(random.bounded(count + 1));
        QByteArray value = (random.bounded(2) ? "-" : "") + digits.left(point);
        if (point < count)
            value += '.' + digits.mid(point);
        if (value.startsWith('.') || value.startsWith("-."))
            value.insert(value.indexOf('.'), '0');
        const QByteArray line = "2025-01-31 12:00:05, " + value + "\r";
        QPointF p;
        QVERIFY2(reader.parseLine(line.constData(), line.constData() + line.size(), p),
                 line.constData());
        bool ok = false;
        const double expected = value.toDouble(&ok);
        QVERIFY(ok);
        if (p.y() != expected)
            QFAIL(qPrintable(
                QStringLiteral("%1 read as %2").arg(value.constData()).arg(p.y(), 0, 'g', 17)));
    }
}

// A line of the same date and hour as the one before still needs whole minutes
// and seconds of its own.
void TestTrendImport::sameHourAsLineBefore()
{
    TrendReader reader;
    QPointF p;
    const auto read = [&](const QByteArray &line) {
        return reader.parseLine(line.constData(), line.constData() + line.size(), p);
    };
    QVERIFY(read("2025-01-31 12:00:05, 1"));
    QVERIFY(!read("2025-01-31 12:60:00, 1"));
    QVERIFY(read("2025-01-31 12:59:59, 2"));
    QCOMPARE(p, QPointF(localMs(2025, 1, 31, 12, 59, 59), 2));
    QVERIFY(read("01-31-25 12:59:58, 3"));
    QCOMPARE(p, QPointF(localMs(2025, 1, 31, 12, 59, 58), 3));
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
        const QString text = day.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') +
                             QTime(0, 0).addSecs(s).toString(QStringLiteral("hh:mm:ss"));
        const QDateTime qt = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        const QByteArray line = text.toLatin1() + ", 1";
        QPointF p;
        const bool read = reader.parseLine(line.constData(), line.constData() + line.size(), p);
        QCOMPARE(read, qt.isValid());
        if (read) {
            QCOMPARE(qint64(p.x()), qt.toMSecsSinceEpoch());
            ++compared;
        } else {
            ++skipped;
        }
    }
    QVERIFY(compared > 2000);
    QCOMPARE(skipped > 0, day == QDate(2025, 3, 30)); // the hour that does not exist
}

// Lines split across the read blocks, "\r\n" and "\n" ends, a last line
// without an end.
void TestTrendImport::readsWholeDevice()
{
    QByteArray content = trendRows(100000);
    content += "2025-01-31 23:00:00,1\n2025-01-31 23:00:01,2";
    QBuffer buffer(&content);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QVector<QPointF> points;
    QList<qint64> calls;
    QVERIFY(TrendReader().read(buffer, points, [&](qint64 line) {
        calls << line;
        return true;
    }));
    QCOMPARE(points.size(), 100002);
    const qint64 start = localMs(2025, 1, 31, 12, 0, 0);
    for (int i = 0; i < 100000; ++i) {
        if (points[i] != QPointF(start + i * 1000.0, i))
            QFAIL(qPrintable(QString::number(i)));
    }
    QCOMPARE(points.last(), QPointF(localMs(2025, 1, 31, 23, 0, 1), 2));
    QCOMPARE(calls.first(), qint64(TrendReader::ProgressLines + 1));
    QCOMPARE(calls.last(), qint64(100004)); // the last line, as the label counts
}

void TestTrendImport::twoFilesTwoCurves()
{
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    dialogs.fileAnswers << writeFile(dir, QStringLiteral("a.csv"), trendRows(3))
                        << dir.filePath(QStringLiteral("missing.csv"))
                        << writeFile(dir, QStringLiteral("b.txt"),
                                     "01-31-25 12:00:00, 4\n01-31-25 12:00:01\n");
    PlotWindow w;
    w.addTimePoint(QDateTime::currentDateTime(), QStringLiteral("1"));
    w.addData();
    QCOMPARE(dialogs.fileAsks.size(), 1);
    QCOMPARE(dialogs.fileAsks[0].title, QStringLiteral("Select one or more trend files to open"));
    QCOMPARE(dialogs.fileAsks[0].startPath, QDir::homePath() + "/QuorvaneData/Trend/");
    // The file that cannot be opened makes no curve.
    QCOMPARE(w.importedCurves().size(), 2);
    QCOMPARE(int(w.importedCurves()[0]->dataSize()), 3);
    QCOMPARE(w.importedCurves()[1]->sample(0),
             QPointF(localMs(2025, 1, 31, 12, 0, 0), 4)); // 2025, not 1925
    QCOMPARE(int(w.importedCurves()[1]->dataSize()), 1);
    QCOMPARE(w.sampleCount(), 1); // the ring is not touched
    QVERIFY(w.plot()->axisAutoScale(QwtPlot::xBottom));

    dialogs.answers << Dialogs::Ok;
    w.clearPlotData();
    QVERIFY(w.importedCurves().isEmpty());
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
        QVERIFY(progress->labelText().startsWith(QStringLiteral("Loading data, please wait...")));
        progress->cancel();
    });
    w.addData();
    QCOMPARE(w.importedCurves().size(), 2);
    const QwtPlotCurve *first = w.importedCurves()[0];
    QVERIFY(first->dataSize() > 0 && first->dataSize() < 50000);
    const qint64 start = localMs(2025, 1, 31, 12, 0, 0);
    for (size_t i = 0; i < first->dataSize(); ++i)
        QCOMPARE(first->sample(i), QPointF(start + double(i) * 1000, double(i)));
    QCOMPARE(int(w.importedCurves()[1]->dataSize()), 0);
}

QTEST_MAIN(TestTrendImport)
#include "test_trendimport.moc"
