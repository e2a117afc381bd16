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
    void throughWindow_data();
    void throughWindow();
};

// What was plotted is what is written: the shortest text that reads back the same.
void TestPlotExport::numbersReadBackTheSame()
{
    SampleRing ring;
    for (const QPointF &p : {QPointF(1234567, 1234.567), QPointF(0.2, 0.1 + 0.2),
                             QPointF(1e-7, 2e300), QPointF(-98765.4321, 1.0 / 3)})
        ring.append(p.x(), p.y());
    QBuffer out;
    QVERIFY(out.open(QIODevice::WriteOnly));
    QVERIFY(writePlotCsv(out, ring, -1e6, 1e7, false, QStringLiteral("Tau"), false));
    QCOMPARE(out.data(), QByteArray("X-axis,Tau\n1234567,1234.567\n0.2,0.30000000000000004\n"
                                    "1e-07,2e+300\n-98765.4321,0.3333333333333333\n"));
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
    w.plot()->setAxisScale(QwtPlot::xBottom, t0.toMSecsSinceEpoch(),
                           t0.addSecs(4).toMSecsSinceEpoch() + 1);
    w.replotNow();
    const QString path = dir.filePath(QStringLiteral("data.csv"));
    dialogs.fileAnswers << path;
    w.exportData();
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
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QString>("name");
    QTest::newRow(".png, JPEG") << "/d/plot.png"
                                << "JPEG file (*.jpeg)" << QByteArray("JPEG") << "/d/plot.jpeg";
    QTest::newRow("no suffix") << "/d/plot"
                               << "Portable Network Graphics file (*.png)" << QByteArray("PNG")
                               << "/d/plot.png";
    QTest::newRow("every .jpeg goes")
        << "/d/a.jpeg.jpeg.png"
        << "Bitmap file (*.bmp)" << QByteArray("BMP") << "/d/a.png.bmp";
}

void TestPlotExport::pictureName()
{
    QFETCH(QString, chosen);
    QFETCH(QString, filter);
    QByteArray format;
    QTEST(pictureFileName(chosen, filter, format), "name");
    QTEST(format, "format");
}

void TestPlotExport::throughWindow_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("picture");
    QTest::addColumn<QString>("written"); // none: a warning, or nothing on Cancel
    QTest::newRow("picture, .png under JPEG") << "plot.png" << true << "plot.jpeg";
    QTest::newRow("data into a missing folder") << "missing/data.csv" << false << "";
    QTest::newRow("picture into a missing folder") << "missing/plot" << true << "";
    QTest::newRow("data cancelled: silent") << "" << false << "";
    QTest::newRow("picture cancelled: silent") << "" << true << "";
}

void TestPlotExport::throughWindow()
{
    QFETCH(bool, picture);
    QFETCH(QString, file);
    QFETCH(QString, written);
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    PlotWindow w;
    w.addTimePoint(QDateTime::currentDateTime(), QStringLiteral("1"));
    dialogs.fileAnswers << (file.isEmpty() ? file : dir.filePath(file));
    dialogs.filterAnswers << QStringLiteral("JPEG file (*.jpeg)");
    picture ? w.exportPlot() : w.exportData();
    if (!written.isEmpty()) {
        QVERIFY(dialogs.messages.isEmpty());
        QVERIFY(!QFile::exists(dir.filePath(file)));
        QImageReader reader(dir.filePath(written));
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        QCOMPARE(reader.size(), w.size());
        return;
    }
    QCOMPARE(dialogs.messages.size(), file.isEmpty() ? 0 : 1);
    if (file.isEmpty())
        return;
    const Dialogs::Message &m = dialogs.messages[0];
    QCOMPARE(m.icon, Dialogs::Icon::Warning);
    QVERIFY2(m.text.contains(QDir::toNativeSeparators(dir.filePath(file))), qPrintable(m.text));
    // The reason follows the name on a line of its own.
    QVERIFY2(!m.text.section(QLatin1Char('\n'), 1).trimmed().isEmpty(), qPrintable(m.text));
}

QTEST_MAIN(TestPlotExport)
#include "test_plotexport.moc"
