// The decimators alone, on device points: what they keep and why.
#include "plot/decimation.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <random>

namespace {

std::vector<QPoint> column(int x, const std::vector<int> &rows)
{
    std::vector<QPoint> out;
    for (int r : rows)
        out.emplace_back(x, r);
    return out;
}

const QRect canvas(0, 0, 400, 300);

QPolygonF poly(std::initializer_list<QPointF> points)
{
    return QPolygonF(QVector<QPointF>(points));
}

// A filled 5 x 5 square with a soft rim, like an antialiased round symbol.
QImage softSquare()
{
    QImage picture(7, 7, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x) {
            const bool rim = x == 0 || y == 0 || x == 6 || y == 6;
            picture.setPixel(x, y, rim ? qRgba(60, 30, 0, 80) : qRgba(200, 100, 0, 255));
        }
    return picture;
}

// Two plain arrays, as the plot's ring hands them over.
class Arrays : public ArraySeries
{
public:
    QVector<double> xs, ys;
    size_t size() const override { return size_t(xs.size()); }
    QPointF sample(size_t i) const override { return QPointF(xs[int(i)], ys[int(i)]); }
    QRectF boundingRect() const override { return QRectF(); }
    const double *xData() const override { return xs.constData(); }
    const double *yData() const override { return ys.constData(); }
};

} // namespace

class TestPlotDecimation : public QObject
{
    Q_OBJECT
private slots:
    void mappingRoundsAsTheCurveDoes();
    void runKeepsEndsAndCountsCrossings();
    void runWithoutOverdrawKeepsExtremes();
    void revisitedColumnMakesNewRun();
    void denseLineShrinksToColumns();
    void offCanvasRowsFoldOntoItsEdge();
    void unplacedPointsAreSkipped();
    void symbolsHiddenInsideACrowd();
    void symbolsApartAreAllKept();
    void symbolsRepeatOncePerChunk();
};

void TestPlotDecimation::mappingRoundsAsTheCurveDoes()
{
    // Whatever route the arrays take, each pixel is the one the curve paints:
    // the map's value rounded half up. Halves, both signs, values that map far
    // beyond any int, and NaN in either coordinate.
    QwtScaleMap xMap, yMap;
    xMap.setScaleInterval(1.7e12, 1.7e12 + 2e8);
    xMap.setPaintInterval(10, 1910);
    yMap.setScaleInterval(-1.0, 3.0);
    yMap.setPaintInterval(1000, 0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Arrays arrays;
    arrays.xs = {1.7e12, 1.7e12 + 1e8, 1.7e12 - 1e14, 1.7e12 + 1e14, nan, 1.7e12 + 5};
    arrays.ys = {0.0, -0.998, 1e30, -1e30, 1.0, nan};
    std::mt19937 random(3);
    std::uniform_real_distribution<double> x(1.6e12, 1.8e12), y(-5.0, 5.0);
    for (int i = 0; i < 1001; ++i) { // odd, so one sample is left after the pairs
        arrays.xs << x(random);
        // Every tenth value on a pixel's half: 0.5 + k / 250 maps to k + 0.5.
        arrays.ys << (i % 10 == 0 ? -1.0 + (0.5 + (i % 997)) / 250.0 : y(random));
    }
    QVector<QPointF> samples;
    for (int i = 0; i < arrays.xs.size(); ++i)
        samples << QPointF(arrays.xs[i], arrays.ys[i]);
    QwtPointSeriesData plain(samples);

    const int last = int(arrays.size()) - 1;
    for (int from : {0, 1}) { // both alignments of the pairs
        std::vector<QPoint> fast, slow;
        mapToDevice(arrays, xMap, yMap, from, last, fast);
        mapToDevice(plain, xMap, yMap, from, last, slow);
        QCOMPARE(fast.size(), size_t(last - from + 1));
        QVERIFY(fast == slow);
        for (int i = from; i <= last; ++i) {
            const QPoint p = fast[size_t(i - from)];
            if (std::isnan(arrays.xs[i]) || std::isnan(arrays.ys[i])) {
                QCOMPARE(p, Unplaced);
                continue;
            }
            const double dx = xMap.transform(arrays.xs[i]), dy = yMap.transform(arrays.ys[i]);
            if (std::abs(dx) < 1e6 && std::abs(dy) < 1e6) {
                QCOMPARE(p, QPoint(qRound(dx), qRound(dy)));
            } else {
                QVERIFY2(std::abs(p.x()) >= std::min(1e6, std::abs(dx)),
                         qPrintable(QString::number(i)));
                QVERIFY(std::abs(p.y()) >= std::min(1e6, std::abs(dy)));
                QVERIFY(p != Unplaced);
            }
        }
    }
}

void TestPlotDecimation::runKeepsEndsAndCountsCrossings()
{
    // One column: 10 -> 20 -> 12 -> 18 -> 15. The reduced stroke goes 10 -> 15;
    // rows 12..14 are crossed twice more, 15..17 four times, 18..19 twice.
    std::vector<QPoint> points = column(50, {10, 20, 12, 18, 15});
    points.emplace_back(51, 15); // the next column
    LineDecimator d;
    d.decimate(points, true, canvas);
    QCOMPARE(d.polyline, poly({{50, 10}, {50, 15}, {51, 15}}));
    QCOMPARE(d.overdrawn[2], (QVector<QRect>{QRect(49, 12, 2, 3), QRect(49, 18, 2, 2)}));
    QCOMPARE(d.overdrawn[4], (QVector<QRect>{QRect(49, 15, 2, 3)}));
    for (int level : {1, 3, 5, 6, 7, 8, LineDecimator::SolidCrossings})
        QVERIFY(d.overdrawn[size_t(level)].isEmpty());
    QCOMPARE(LineDecimator::overdrawAlpha(2), 191); // two half blends
    QCOMPARE(LineDecimator::overdrawAlpha(LineDecimator::SolidCrossings), 255);
}

void TestPlotDecimation::runWithoutOverdrawKeepsExtremes()
{
    LineDecimator d;
    d.decimate(column(7, {15, 30, 11, 18, 22, 16}), false, canvas);
    // First, highest row value and lowest in sample order, last.
    QCOMPARE(d.polyline, poly({{7, 15}, {7, 30}, {7, 11}, {7, 16}}));
    for (const auto &spans : d.overdrawn)
        QVERIFY(spans.isEmpty());
}

void TestPlotDecimation::revisitedColumnMakesNewRun()
{
    // X goes back and forth: each visit is a run of its own and keeps its ends.
    const std::vector<QPoint> points = {{5, 1}, {5, 9}, {5, 2}, {5, 8}, {5, 3},
                                        {6, 4}, {5, 7}, {5, 1}, {5, 6}, {5, 2}};
    LineDecimator d;
    d.decimate(points, true, canvas);
    QCOMPARE(d.polyline, poly({{5, 1}, {5, 3}, {6, 4}, {5, 7}, {5, 2}}));
}

void TestPlotDecimation::denseLineShrinksToColumns()
{
    std::vector<QPoint> points;
    for (int i = 0; i < 100000; ++i)
        points.emplace_back(i / 250, 100 + (i * 7919) % 97);
    LineDecimator d;
    d.decimate(points, true, canvas);
    QCOMPARE(d.polyline.size(), 2 * 400); // first and last of each of 400 columns
    // Deep inside the band the stroke crosses often enough to be solid.
    QCOMPARE(d.overdrawn[LineDecimator::SolidCrossings].size(), 400);
}

void TestPlotDecimation::offCanvasRowsFoldOntoItsEdge()
{
    // Rows far above the canvas count like a row just above it, but the kept
    // ends keep their true place, so lines into the canvas keep their slope.
    LineDecimator d;
    d.decimate(column(20, {-5000000, 50, -7000, 40}), true, canvas);
    QCOMPARE(d.polyline, poly({{20, -5000000}, {20, 40}}));
    // Rows -2..39 (-2 standing for everything above): crossed three times, once
    // by the kept stroke; rows 40..49 twice, by the trip to 50 and back.
    QCOMPARE(d.overdrawn[2], (QVector<QRect>{QRect(19, -2, 2, 52)}));
}

void TestPlotDecimation::unplacedPointsAreSkipped()
{
    LineDecimator d;
    d.decimate({{1, 1}, Unplaced, {2, 2}}, true, canvas);
    QCOMPARE(d.polyline, poly({{1, 1}, {2, 2}}));
    SymbolDecimator s;
    s.setStamp(softSquare(), QPoint(-3, -3));
    QPolygonF points;
    QVector<QRect> solid;
    s.decimate({{10, 10}, Unplaced, {50, 50}}, canvas, points, solid);
    QCOMPARE(points, poly({{10, 10}, {50, 50}}));
}

void TestPlotDecimation::symbolsHiddenInsideACrowd()
{
    // Every pixel of a 40 x 40 block holds a point: the inner pictures touch
    // solid pixels only.
    std::vector<QPoint> points;
    for (int y = 100; y < 140; ++y)
        for (int x = 200; x < 240; ++x)
            points.emplace_back(x, y);
    SymbolDecimator s;
    s.setStamp(softSquare(), QPoint(-3, -3));
    QPolygonF kept;
    QVector<QRect> solid;
    s.decimate(points, canvas, kept, solid);
    // Solid: the block grown by the opaque core (2 pixels). Hidden: pictures
    // whose rim (3 pixels out) stays within that.
    QCOMPARE(kept.size(), 40 * 40 - 38 * 38);
    for (const QPointF &p : kept)
        QVERIFY(p.x() < 201 || p.x() > 238 || p.y() < 101 || p.y() > 138);
    QCOMPARE(solid, (QVector<QRect>{QRect(198, 98, 44, 44)}));
}

void TestPlotDecimation::symbolsApartAreAllKept()
{
    std::vector<QPoint> points;
    for (int i = 0; i < 30; ++i)
        points.emplace_back(10 + 12 * i, 10 + 9 * i);
    SymbolDecimator s;
    s.setStamp(softSquare(), QPoint(-3, -3));
    QPolygonF kept;
    QVector<QRect> solid;
    s.decimate(points, canvas, kept, solid);
    QCOMPARE(kept.size(), 30);
    // Each picture's core would be solid, but no picture is hidden: spans
    // would only add work.
    QVERIFY(solid.isEmpty());

    // Without a stamp (several colours) nothing is hidden and nothing solid.
    s.setStamp(QImage(), QPoint());
    kept.clear();
    solid.clear();
    s.decimate(points, canvas, kept, solid);
    QCOMPARE(kept.size(), 30);
    QVERIFY(solid.isEmpty());
}

void TestPlotDecimation::symbolsRepeatOncePerChunk()
{
    // The curve paints a pixel once per chunk of samples; a pixel repeated in
    // the next chunk is painted again, and its rim blends twice.
    std::vector<QPoint> points(SymbolDecimator::ChunkSize + 10, QPoint(50, 50));
    points.emplace_back(300, 200); // outside this canvas
    SymbolDecimator s;
    s.setStamp(softSquare(), QPoint(-3, -3));
    QPolygonF kept;
    QVector<QRect> solid;
    s.decimate(points, QRect(0, 0, 200, 100), kept, solid);
    QCOMPARE(kept, poly({{50, 50}, {50, 50}}));
}

QTEST_MAIN(TestPlotDecimation)
#include "test_plotdecimation.moc"
