#include "plot/plotwindow.h"
#include "plot/preferencesform.h"
#include "support/testsupport.h"

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_symbol.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>

namespace {

// What a window shows of its main curve and canvas.
struct Look
{
    QColor marker;
    int markerSize;
    QColor line;
    QColor fill;
    bool lines;
    QColor background;
};

Look look(const PlotWindow &w)
{
    const QwtPlotCurve *c = w.mainCurve();
    return {c->symbol()->brush().color(),
            c->symbol()->size().width(),
            c->pen().color(),
            c->brush().color(),
            c->style() == QwtPlotCurve::Lines,
            w.plot()->canvasBackground().color()};
}

void click(QAbstractButton *button)
{
    QVERIFY(button);
    // On the indicator: a check or radio button stretched over a wide cell
    // answers only near its text.
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

// Clicks reach only a dialog that is on screen.
preferencesForm *openForm(PlotWindow &w)
{
    preferencesForm *form = w.preferences();
    form->show();
    if (!QTest::qWaitForWindowExposed(form))
        qWarning("preferences dialog not shown");
    return form;
}

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT
private slots:
    void init() { QSettings(QStringLiteral("Quorvane"), QStringLiteral("Telvar")).clear(); }
    void emptyStoreDefaults();
    void choicesRecolourAtOnce_data();
    void choicesRecolourAtOnce();
    void linesOffMeansSymbolsOnly();
    void revertRestoresStoredAndStaysOpen();
    void acceptedColoursOutliveTheWindow();
};

void TestPreferences::emptyStoreDefaults()
{
    PlotWindow w;
    const Look l = look(w);
    QCOMPARE(l.marker, QColor(237, 139, 0));
    QCOMPARE(l.markerSize, 4);
    QCOMPARE(l.line, QColor(237, 139, 0));
    QCOMPARE(l.fill.alpha(), 0);
    QVERIFY(l.lines);
    QCOMPARE(l.background, QColor(100, 100, 100));
    QCOMPARE(w.wrapCurve()->symbol()->brush().color(), QColor(237, 139, 0));
    QCOMPARE(w.mainCurve()->pen().widthF(), 0.0); // one device pixel

    // The defaults of the other keys, as the dialog shows them.
    preferencesForm *form = w.preferences();
    QCOMPARE(form->lineSpinBox->value(), 2);
    QCOMPARE(form->fillGroup->checkedId(), 6);
    QCOMPARE(form->markerRspinBox->value(), 227);
    QCOMPARE(form->lineGspinBox->value(), 223);
    QCOMPARE(form->fillBspinBox->value(), 122);
}

void TestPreferences::choicesRecolourAtOnce_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<int>("id");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("marker blue") << "marker" << 2 << QColor(0, 75, 150);
    QTest::newRow("marker green") << "marker" << 4 << QColor(86, 133, 78);
    QTest::newRow("line black") << "line" << 3 << QColor(0, 0, 0);
    QTest::newRow("fill grey") << "fill" << 3 << QColor(166, 166, 166);
    QTest::newRow("fill orange") << "fill" << 1 << QColor(243, 190, 120);
}

void TestPreferences::choicesRecolourAtOnce()
{
    QFETCH(QString, group);
    QFETCH(int, id);
    QFETCH(QColor, expected);
    PlotWindow w;
    preferencesForm *form = openForm(w);
    QButtonGroup *buttons = group == QLatin1String("marker") ? form->markerGroup
                            : group == QLatin1String("line") ? form->lineGroup
                                                             : form->fillGroup;
    click(buttons->button(id));
    const Look l = look(w);
    const QColor shown = group == QLatin1String("marker") ? l.marker
                         : group == QLatin1String("line") ? l.line
                                                          : l.fill;
    QCOMPARE(shown, expected);
}

void TestPreferences::linesOffMeansSymbolsOnly()
{
    PlotWindow w;
    preferencesForm *form = openForm(w);
    click(form->linesCheckBox);
    QVERIFY(!look(w).lines);
    click(form->linesCheckBox);
    QVERIFY(look(w).lines);
}

void TestPreferences::revertRestoresStoredAndStaysOpen()
{
    PlotWindow w;
    preferencesForm *form = openForm(w);

    // Custom marker colour, changed through its R box: the symbols follow at once.
    click(form->markerGroup->button(5));
    QCOMPARE(look(w).marker, QColor(227, 50, 50));
    form->markerRspinBox->setFocus();
    form->markerRspinBox->selectAll();
    QTest::keyClicks(form->markerRspinBox, QStringLiteral("17"));
    QCOMPARE(look(w).marker, QColor(17, 50, 50));
    form->horizontalSlider->setValue(200);
    QCOMPARE(look(w).background, QColor(200, 200, 200));

    click(form->revertButton);
    QVERIFY(form->isVisible());
    QCOMPARE(form->markerGroup->checkedId(), 1);
    QCOMPARE(form->markerRspinBox->value(), 227);
    QCOMPARE(form->horizontalSlider->value(), 100);
    QCOMPARE(look(w).marker, QColor(237, 139, 0));
    QCOMPARE(look(w).background, QColor(100, 100, 100));
}

void TestPreferences::acceptedColoursOutliveTheWindow()
{
    {
        PlotWindow w;
        preferencesForm *form = openForm(w);
        click(form->lineGroup->button(5));
        form->lineRspinBox->setValue(10);
        form->lineGspinBox->setValue(20);
        form->lineBspinBox->setValue(30);
        click(form->fillGroup->button(2));
        click(form->linesCheckBox);
        form->markerSpinBox->setValue(7);
        form->horizontalSlider->setValue(150);
        click(form->acceptButton);
        QVERIFY(!form->isVisible());
    }
    PlotWindow again;
    const Look l = look(again);
    QCOMPARE(l.line, QColor(10, 20, 30));
    QCOMPARE(l.fill, QColor(94, 138, 180));
    QVERIFY(!l.lines);
    QCOMPARE(l.markerSize, 7);
    QCOMPARE(l.background, QColor(150, 150, 150));
    QCOMPARE(l.marker, QColor(237, 139, 0)); // untouched
    QCOMPARE(QSettings(QStringLiteral("Quorvane"), QStringLiteral("Telvar")).allKeys().size(), 16);
}

QTEST_MAIN(TestPreferences)
#include "test_preferences.moc"
