// The built-in pictures: every name the program uses must load, under both spellings it uses.
#include <QDir>
#include <QIcon>
#include <QPixmap>
#include <QtTest>

namespace {

const QStringList modeButtons = {"Measure_s.bmp", "Service_s.bmp", "Tune_s.bmp",
                                 "Measure_m.bmp", "Service_m.bmp", "Tune_m.bmp",
                                 "Measure.bmp",   "Service.bmp",   "Tune.bmp"};
const QStringList lamps = {"grey.png", "green.png", "red.png"};
const QStringList squareIcons = {
    // plot window
    "resize-width-8x.png", "resize-height-8x.png", "spreadsheet-8x.png", "file-8x.png", "add.png",
    "spec-lines-nobar.png", "color.png", "clear.png",
    // main window
    "connect.png", "disconnect.png", "settings.png", "clear-console.png", "console.png", "plot.png",
    "logfile.png",
    // certification list and options, about box, SRDA tab
    "Checkbox_checked.bmp", "Checkbox_unchecked.bmp", "approval.png", "splash_small.bmp",
    "App_Icon.png"};

QStringList allNames()
{
    return modeButtons + lamps + squareIcons;
}

QSize sizeOf(const QString &name)
{
    return QPixmap(":/images/" + name).size();
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT
private slots:
    void loads_data();
    void loads();
    void nothingUnlisted();
    void modeButtonSets_data();
    void modeButtonSets();
    void shapes();
};

void TestResources::loads_data()
{
    QTest::addColumn<QString>("path");
    for (const QString &name : allNames()) {
        // Some callers write ":images/x"; both must reach the same picture.
        QTest::newRow(qPrintable(":/images/" + name)) << ":/images/" + name;
        QTest::newRow(qPrintable(":images/" + name)) << ":images/" + name;
    }
}

void TestResources::loads()
{
    QFETCH(QString, path);
    const QPixmap pixmap(path);
    QVERIFY2(!pixmap.isNull(), qPrintable(path));
    QCOMPARE(pixmap.size(), sizeOf(path.mid(path.lastIndexOf('/') + 1)));
    const QIcon icon(path);
    QVERIFY(!icon.pixmap(16, 16).isNull());
}

void TestResources::nothingUnlisted()
{
    // A picture nobody asks for is dead weight, and a missing one shows as a blank.
    QStringList present = QDir(":/images").entryList(QDir::Files);
    QStringList expected = allNames();
    present.sort();
    expected.sort();
    QCOMPARE(present, expected);
}

void TestResources::modeButtonSets_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("small") << "_s";
    QTest::newRow("medium") << "_m";
    QTest::newRow("large") << "";
}

void TestResources::modeButtonSets()
{
    // The three buttons of a set sit side by side at the size of their face, which is an
    // opaque brush texture: one size per set, no alpha.
    QFETCH(QString, suffix);
    const QSize measure = sizeOf("Measure" + suffix + ".bmp");
    QVERIFY(measure.width() > measure.height());
    for (const QString &mode : QStringList{"Measure", "Service", "Tune"}) {
        const QString name = mode + suffix + ".bmp";
        QCOMPARE(sizeOf(name), measure);
        QVERIFY(!QImage(":/images/" + name).hasAlphaChannel());
    }
}

void TestResources::shapes()
{
    // Larger text sizes get larger buttons.
    const QSize s = sizeOf("Measure_s.bmp"), m = sizeOf("Measure_m.bmp"), l = sizeOf("Measure.bmp");
    QVERIFY(s.width() < m.width() && m.width() < l.width());
    QVERIFY(s.height() < m.height() && m.height() < l.height());

    // Lamps swap in place, so they share one size; round lamps have see-through corners.
    for (const QString &lamp : lamps) {
        QCOMPARE(sizeOf(lamp), sizeOf(lamps.first()));
        const QImage img(":/images/" + lamp);
        QVERIFY(img.hasAlphaChannel());
        QCOMPARE(qAlpha(img.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(img.pixel(img.width() / 2, img.height() / 2)), 255);
    }

    for (const QString &name : squareIcons) {
        const QSize size = sizeOf(name);
        QVERIFY2(size.width() == size.height() && size.width() >= 16, qPrintable(name));
    }
}

QTEST_MAIN(TestResources)
#include "test_resources.moc"
