// A curve of many points drawn decimated must look like the same curve drawn
// point by point with a plain QwtPlotCurve.
//
// Tolerance: three colour steps per channel. Every blend rounds to whole steps,
// and the two pictures blend differently: the decimated curve paints stroke
// overdraw as one blend of alpha 1 - (1/2)^e instead of e half-coverage blends,
// and paints solid spans where the plain curve blends the symbol colour over
// itself again and again, drifting by a step each time (seen up to two steps
// on one side and one on the other, under big overlapping symbols). Anything
// that changes what a pixel shows (a missing stroke, symbol or fill) differs by
// far more: a half-covered stroke pixel alone is tens of steps.
#include "plot/decimatingcurve.h"
#include "plot/ringseries.h"
#include "plot/samplering.h"

#include <qwt_painter.h>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_scale_div.h>
#include <qwt_symbol.h>

#include <QtTest>

#include <memory>
#include <random>

namespace {

struct Style
{
    bool lines = true;
    bool symbols = true;
    int markerSize = 4;
    QColor marker = QColor(237, 139, 0);
    QColor outline = QColor(237, 139, 0);
    QColor line = QColor(237, 139, 0);
    qreal lineWidth = 0;
    QColor fill = QColor(0, 0, 0, 0);
    bool antialias = true;
};

enum class Data
{
    Trend,
    WrappedTrend,
    Walk,
    Sparse
};

void fill(SampleRing &ring, Data data)
{
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const int n = data == Data::WrappedTrend ? SampleRing::Capacity + 70000
                  : data == Data::Sparse     ? 300
                                             : SampleRing::Capacity;
    double x = 0, y = 0;
    for (int i = 0; i < n; ++i) {
        if (data == Data::Walk) {
            x += noise(random);
            y += noise(random);
        } else {
            // A drifting concentration with noise and now and then a spike.
            x = 1.7e12 + 1000.0 * i;
            y = 1.0 + 0.2 * std::sin(i / 20000.0) + 0.02 * noise(random) +
                (i % 4999 == 17 ? uniform(random) - 0.5 : 0.0);
        }
        ring.append(x, y);
    }
}

void styleCurve(QwtPlotCurve *curve, const Style &s)
{
    curve->setStyle(s.lines ? QwtPlotCurve::Lines : QwtPlotCurve::NoCurve);
    curve->setPen(s.line, s.lineWidth, Qt::SolidLine);
    curve->setBrush(QBrush(s.fill));
    curve->setRenderHint(QwtPlotItem::RenderAntialiased, s.antialias);
    if (s.symbols)
        curve->setSymbol(
            new QwtSymbol(QwtSymbol::Ellipse, QBrush(s.marker),
                          QPen(s.outline, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin),
                          QSize(s.markerSize, s.markerSize)));
}

// A plot of the ring, as the plot window shows it: the newer points from 0 and,
// after a wrap, the older ones in a second curve.
std::unique_ptr<QwtPlot> picturePlot(const SampleRing &ring, const Style &style, bool decimated,
                                     bool asPoints)
{
    auto plot = std::make_unique<QwtPlot>();
    plot->setCanvasBackground(QColor(100, 100, 100));
    plot->resize(900, 520);
    const auto addCurve = [&](int begin, int end) {
        QwtPlotCurve *curve = decimated ? new DecimatingCurve : new QwtPlotCurve;
        if (asPoints) {
            // A series that is no ring: read sample by sample.
            QVector<QPointF> points;
            for (int i = begin; i < end; ++i)
                points << QPointF(ring.x()[i], ring.y()[i]);
            curve->setSamples(points);
        } else {
            auto *series = new RingSeries(ring, RingSeries::Raw);
            series->setRange(begin, end);
            curve->setData(series);
        }
        styleCurve(curve, style);
        curve->attach(plot.get());
    };
    addCurve(0, ring.sampleCount());
    if (ring.wrapped())
        addCurve(ring.sampleCount(), SampleRing::Capacity);
    return plot;
}

QImage canvasImage(QwtPlot *plot)
{
    plot->show();
    if (!QTest::qWaitForWindowExposed(plot))
        qWarning("plot not shown");
    plot->replot();
    return plot->canvas()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

constexpr int tolerance = 3;

struct Difference
{
    int painted = 0; // pixels the plain curve changed from the background
    int differing = 0;
    int beyondTolerance = 0;
    int largest = 0;
};

Difference compare(const QImage &decimated, const QImage &plain, QRgb background)
{
    Difference d;
    for (int y = 0; y < plain.height(); ++y) {
        for (int x = 0; x < plain.width(); ++x) {
            const QRgb a = decimated.pixel(x, y), b = plain.pixel(x, y);
            d.painted += b != background;
            const int diff = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                       std::abs(qBlue(a) - qBlue(b))});
            d.differing += diff > 0;
            d.beyondTolerance += diff > tolerance;
            d.largest = std::max(d.largest, diff);
        }
    }
    return d;
}

} // namespace

Q_DECLARE_METATYPE(Style)
Q_DECLARE_METATYPE(Data)

class TestPlotPicture : public QObject
{
    Q_OBJECT
private slots:
    void decimatedLooksLikePlain_data();
    void decimatedLooksLikePlain();
};

void TestPlotPicture::decimatedLooksLikePlain_data()
{
    QTest::addColumn<Data>("data");
    QTest::addColumn<Style>("style");
    QTest::addColumn<bool>("asPoints");
    QTest::addColumn<QRectF>("zoom"); // empty: autoscale

    const Style standard;
    Style linesOnly = standard;
    linesOnly.symbols = false;
    Style symbolsOnly = standard;
    symbolsOnly.lines = false;
    Style filled = standard;
    filled.fill = QColor(94, 138, 180);
    Style aliased = standard;
    aliased.antialias = false;
    Style wide = standard;
    wide.lineWidth = 2.0;
    wide.markerSize = 10;
    Style twoColours = standard;
    twoColours.outline = QColor(0, 75, 150);
    Style blackOnGreen = standard;
    blackOnGreen.marker = blackOnGreen.outline = QColor(86, 133, 78);
    blackOnGreen.line = Qt::black;

    QTest::newRow("trend, lines and symbols") << Data::Trend << standard << false << QRectF();
    QTest::newRow("trend, lines") << Data::Trend << linesOnly << false << QRectF();
    QTest::newRow("trend, symbols") << Data::Trend << symbolsOnly << false << QRectF();
    QTest::newRow("trend, filled") << Data::Trend << filled << false << QRectF();
    QTest::newRow("trend, aliased") << Data::Trend << aliased << false << QRectF();
    QTest::newRow("trend, wide line, big symbols") << Data::Trend << wide << false << QRectF();
    QTest::newRow("trend, two-colour symbols") << Data::Trend << twoColours << false << QRectF();
    QTest::newRow("trend, other colours") << Data::Trend << blackOnGreen << false << QRectF();
    QTest::newRow("wrapped ring") << Data::WrappedTrend << standard << false << QRectF();
    QTest::newRow("unsorted X") << Data::Walk << standard << false << QRectF();
    QTest::newRow("unsorted X, filled") << Data::Walk << filled << false << QRectF();
    QTest::newRow("plain series") << Data::Trend << standard << true << QRectF();
    QTest::newRow("zoomed in") << Data::Trend << standard << false
                               << QRectF(1.7e12 + 4.0e7, 0.95, 3.0e7, 0.12);
    QTest::newRow("few points") << Data::Sparse << standard << false << QRectF();
}

void TestPlotPicture::decimatedLooksLikePlain()
{
    QFETCH(Data, data);
    QFETCH(Style, style);
    QFETCH(bool, asPoints);
    QFETCH(QRectF, zoom);
    SampleRing ring;
    fill(ring, data);
    auto decimated = picturePlot(ring, style, true, asPoints);
    auto plain = picturePlot(ring, style, false, asPoints);
    for (QwtPlot *plot : {decimated.get(), plain.get()}) {
        if (!zoom.isEmpty()) {
            plot->setAxisScale(QwtPlot::xBottom, zoom.left(), zoom.right());
            plot->setAxisScale(QwtPlot::yLeft, zoom.top(), zoom.bottom());
        }
    }
    const QImage a = canvasImage(decimated.get());
    // The decimating curve leaves Qwt's program-wide setting as it found it,
    // so the plain curve is drawn as stock Qwt draws it.
    QVERIFY(QwtPainter::polylineSplitting());
    const QImage stock = canvasImage(plain.get());
    // Stock Qwt cuts a long polyline into pieces of a few points (a raster
    // engine workaround) and caps each piece; the reduced polyline is drawn
    // whole on purpose. Where those cuts are all that differs, the picture
    // must match the same stroke drawn whole.
    QwtPainter::setPolylineSplitting(false);
    const QImage whole = canvasImage(plain.get());
    QwtPainter::setPolylineSplitting(true);
    QCOMPARE(a.size(), stock.size());
    const Difference toStock = compare(a, stock, qRgb(100, 100, 100));
    const Difference toWhole = compare(a, whole, qRgb(100, 100, 100));
    const Difference d = toStock.beyondTolerance <= toWhole.beyondTolerance ? toStock : toWhole;
    const QByteArray stats = QByteArray("painted ") + QByteArray::number(d.painted) +
                             ", differing " + QByteArray::number(d.differing) + ", beyond " +
                             QByteArray::number(d.beyondTolerance) + ", largest " +
                             QByteArray::number(d.largest);
    QVERIFY2(d.painted > 2000, stats.constData());
    QVERIFY2(d.beyondTolerance == 0, stats.constData());
}

QTEST_MAIN(TestPlotPicture)
#include "test_plotpicture.moc"
