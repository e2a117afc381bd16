#include "plot/plotexport.h"
#include "plot/plotwindow.h"
#include "support/testsupport.h"

#include <qwt_plot.h>

#include <QBuffer>
#include <QImageReader>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void showRange(PlotWindow &w, double lo, double hi)
{
    w.plot()->setAxisScale(QwtPlot::xBottom, lo, hi);
    w.replotNow();
}

} // namespace

class TestPlotExport : public QObject
{
    Q_OBJECT
private slots:
    void init() { QSettings(QStringLiteral("Quorvane"), QStringLiteral("Telvar")).clear(); }
    void numbersReadBackTheSame();
    void dateAxisAndFilterColumn();
    void pictureName_data();
    void pictureName();
    void pictureSavedInChosenFormat();
    void failedExportsWarn_data();
    void failedExportsWarn();
};

// What was plotted is what is written: no figures cut to 6 digits.
void TestPlotExport::numbersReadBackTheSame()
{
    SampleRing ring;
    const QVector<double> xs{1234567, 0.2, 1e-7, -98765.4321};
    const QVector<double> ys{1234.567, 0.1 + 0.2, 2e300, 1.0 / 3};
    for (int i = 0; i < xs.size(); ++i)
        ring.append(xs[i], ys[i]);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QVERIFY(writePlotCsv(out, ring, -1e6, 1e7, false, QStringLiteral("Tau"), false));
    const QList<QByteArray> lines = out.data().split('\n');
    QCOMPARE(lines.mid(0, 3),
             (QList<QByteArray>{"X-axis,Tau", "1234567,1234.567", "0.2,0.30000000000000004"}));
    QCOMPARE(lines.size(), xs.size() + 2); // the last line end leaves an empty piece
    for (int i = 0; i < xs.size(); ++i) {
        const QList<QByteArray> fields = lines[i + 1].split(',');
        QCOMPARE(fields.size(), 2);
        QCOMPARE(fields[0].toDouble(), xs[i]);
        QCOMPARE(fields[1].toDouble(), ys[i]);
    }
}

// Through the window: the file chosen, the date format, the filter column.
void TestPlotExport::dateAxisAndFilterColumn()
{
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    PlotWindow w;
    w.seriesName = QStringLiteral("Concentration");
    const QDateTime t0(QDate(2025, 7, 4), QTime(9, 30, 0));
    for (int i = 0; i < 5; ++i)
        w.addTimePoint(t0.addSecs(i), QString::number(i * 1.5));
    showRange(w, t0.toMSecsSinceEpoch(), t0.addSecs(4).toMSecsSinceEpoch() + 1);
    const QString path = dir.filePath(QStringLiteral("data.csv"));
    dialogs.fileAnswers << path;
    w.exportData();
    QCOMPARE(dialogs.fileAsks[0].title, QStringLiteral("Save Data"));
    QCOMPARE(dialogs.fileAsks[0].filter, QStringLiteral("Comma Separated Values (*.csv)"));
    // The point at the left edge is not written.
    QCOMPARE(readAll(path), QByteArray("Date&Time,Concentration\n"
                                       "2025-07-04 09:30:01,1.5\n"
                                       "2025-07-04 09:30:02,3\n"
                                       "2025-07-04 09:30:03,4.5\n"
                                       "2025-07-04 09:30:04,6\n"));

    w.setPlotTitle(QStringLiteral("SRDA Tau"));
    w.filterWindowField()->setText(QStringLiteral("3"));
    w.filter();
    dialogs.fileAnswers << path;
    w.exportData();
    const QList<QByteArray> lines = readAll(path).split('\n');
    QCOMPARE(lines[0], QByteArray("Date&Time,Concentration, Filtered"));
    QCOMPARE(lines[4], QByteArray("2025-07-04 09:30:04,6,3"));
    QVERIFY(dialogs.messages.isEmpty()); // nothing said on success
}

void TestPlotExport::pictureName_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow(".png under the JPEG filter") << "/d/plot.png"
                                                << "JPEG file (*.jpeg)"
                                                << "/d/plot.jpeg" << QByteArray("JPEG");
    QTest::newRow("no suffix") << "/d/plot"
                               << "Portable Network Graphics file (*.png)"
                               << "/d/plot.png" << QByteArray("PNG");
    QTest::newRow("every .jpeg goes") << "/d/a.jpeg.jpeg.png"
                                      << "Bitmap file (*.bmp)"
                                      << "/d/a.png.bmp" << QByteArray("BMP");
}

void TestPlotExport::pictureName()
{
    QFETCH(QString, chosen);
    QFETCH(QString, filter);
    QByteArray format;
    QTEST(pictureFileName(chosen, filter, format), "name");
    QTEST(format, "format");
}

void TestPlotExport::pictureSavedInChosenFormat()
{
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    PlotWindow w;
    dialogs.fileAnswers << dir.filePath(QStringLiteral("plot.png"));
    dialogs.filterAnswers << QStringLiteral("JPEG file (*.jpeg)");
    w.exportPlot();
    QCOMPARE(dialogs.fileAsks[0].title, QStringLiteral("Save Image"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("plot.png"))));
    QImageReader reader(dir.filePath(QStringLiteral("plot.jpeg")));
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    QCOMPARE(reader.size(), w.size());
    QVERIFY(dialogs.messages.isEmpty());
}

void TestPlotExport::failedExportsWarn_data()
{
    QTest::addColumn<bool>("picture");
    QTest::addColumn<QString>("file");
    QTest::newRow("data into a missing folder") << false << "missing/data.csv";
    QTest::newRow("data onto a folder") << false << "folder";
    QTest::newRow("picture into a missing folder") << true << "missing/plot";
    QTest::newRow("data cancelled: silent") << false << "";
    QTest::newRow("picture cancelled: silent") << true << "";
}

void TestPlotExport::failedExportsWarn()
{
    QFETCH(bool, picture);
    QFETCH(QString, file);
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("folder"));
    ScriptedDialogs dialogs;
    PlotWindow w;
    w.addTimePoint(QDateTime::currentDateTime(), QStringLiteral("1"));
    dialogs.fileAnswers << (file.isEmpty() ? file : dir.filePath(file));
    dialogs.filterAnswers << QStringLiteral("Portable Network Graphics file (*.png)");
    picture ? w.exportPlot() : w.exportData();
    QCOMPARE(dialogs.messages.size(), file.isEmpty() ? 0 : 1);
    if (file.isEmpty())
        return;
    const Dialogs::Message &m = dialogs.messages[0];
    QCOMPARE(m.icon, Dialogs::Icon::Warning);
    QCOMPARE(m.title,
             picture ? QStringLiteral("Export Plot Image") : QStringLiteral("Export Data"));
    QVERIFY2(m.text.contains(QDir::toNativeSeparators(dir.filePath(file))), qPrintable(m.text));
    // The reason follows the name on a line of its own.
    QVERIFY2(!m.text.section(QLatin1Char('\n'), 1).trimmed().isEmpty(), qPrintable(m.text));
}

QTEST_MAIN(TestPlotExport)
#include "test_plotexport.moc"
