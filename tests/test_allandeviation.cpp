#include "plot/allandeviation.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(TauSpacing)

namespace {

const double gap = std::nan("");
const QVector<double> nist{892, 809, 823, 798, 671, 644, 883, 903, 677};

AllanSeries untimed(const QVector<double> &values)
{
    AllanSeries s;
    s.place(nullptr, values.constData(), values.size());
    return s;
}

// The definition in long double, on the values as given (gaps NaN), less the
// first (exact in long double): a window's sum slides along, a term is the
// difference of two window means.
std::vector<AllanPoint> byDefinition(const QVector<double> &v, const std::vector<qint64> &factors)
{
    std::vector<AllanPoint> out;
    const long double first = v[0];
    for (const qint64 m : factors) {
        std::vector<long double> means;
        long double sum = 0;
        int gaps = 0;
        for (int i = 0; i < v.size(); ++i) {
            const auto add = [&](int k, int sign) {
                if (std::isnan(v[k]))
                    gaps += sign;
                else
                    sum += sign * (v[k] - first);
            };
            add(i, 1);
            if (i >= m)
                add(int(i - m), -1);
            if (i >= m - 1)
                means.push_back(gaps ? NAN : sum / m);
        }
        long double squares = 0;
        qint64 n = 0;
        for (size_t i = 0; i + size_t(m) < means.size(); ++i) {
            const long double d = means[i + size_t(m)] - means[i];
            if (!std::isnan(double(d))) {
                squares += d * d;
                ++n;
            }
        }
        out.push_back({double(m), double(std::sqrt(squares / (2 * n))), n});
    }
    return out;
}

} // namespace

class TestAllanDeviation : public QObject
{
    Q_OBJECT
private slots:
    void handbookValues_data();
    void handbookValues();
    void agreesWithDefinition_data();
    void agreesWithDefinition();
    void placement_data();
    void placement();
    void texts();
};

void TestAllanDeviation::handbookValues_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<TauSpacing>("spacing");
    QTest::addColumn<QVector<double>>("adev");
    QTest::addColumn<QVector<qint64>>("n");
    const QVector<double> both{91.22945, 85.95287};
    QTest::newRow("octave") << nist << TauSpacing::Octave << both << QVector<qint64>{8, 6, 2};
    QTest::newRow("decade") << nist << TauSpacing::Decade << both << QVector<qint64>{8, 6};
    QTest::newRow("many") << nist << TauSpacing::Many << both << QVector<qint64>{8, 6, 4, 2};
    // A gap after the 4th value: 3 + 4 terms at tau 1, 1 + 2 at tau 2.
    QVector<double> split = nist;
    split.insert(4, gap);
    QTest::newRow("gap: terms skipped and counted")
        << split << TauSpacing::Octave << QVector<double>{91.43147, 98.11770}
        << QVector<qint64>{7, 3};
}

void TestAllanDeviation::handbookValues()
{
    QFETCH(QVector<double>, values);
    QFETCH(TauSpacing, spacing);
    QFETCH(QVector<double>, adev);
    QFETCH(QVector<qint64>, n);
    std::vector<AllanPoint> points;
    QVERIFY(allanDeviation(untimed(values), spacing, points));
    QCOMPARE(int(points.size()), n.size());
    for (int i = 0; i < n.size(); ++i) {
        QCOMPARE(points[size_t(i)].n, n[i]);
        if (i < adev.size())
            QVERIFY2(std::fabs(points[size_t(i)].adev - adev[i]) < 5e-6,
                     qPrintable(QString::number(points[size_t(i)].adev, 'g', 10)));
    }
}

void TestAllanDeviation::agreesWithDefinition_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<TauSpacing>("spacing");
    QRandomGenerator random(11);
    const auto noisy = [&](int count, double level) {
        QVector<double> v(count);
        for (double &x : v)
            x = level + 1e-3 * (random.generateDouble() - 0.5);
        return v;
    };
    const QVector<double> noise = noisy(2000, 1e6);
    // A start-up reading far off: every later value stands far from the first.
    QVector<double> offStart = noisy(50000, 0);
    offStart[0] = 1000;
    QVector<double> drifting = noise;
    for (int i = 0; i < drifting.size(); ++i)
        drifting[i] = (i % 301 == 150 || (i > 600 && i < 640)) ? gap : noise[i] + i * 1e-5;
    for (const auto &s :
         {std::make_pair("octave", TauSpacing::Octave),
          std::make_pair("decade", TauSpacing::Decade), std::make_pair("many", TauSpacing::Many)}) {
        QTest::addRow("1e-3 noise on 1e6, %s", s.first) << noise << s.second;
        QTest::addRow("drift and gaps, %s", s.first) << drifting << s.second;
        QTest::addRow("first of 50,000 off by 1000, %s", s.first) << offStart << s.second;
    }
}

void TestAllanDeviation::agreesWithDefinition()
{
    QFETCH(QVector<double>, values);
    QFETCH(TauSpacing, spacing);
    const AllanSeries series = untimed(values);
    std::vector<AllanPoint> points;
    QVERIFY(allanDeviation(series, spacing, points));
    const std::vector<AllanPoint> expected = byDefinition(values, series.factors(spacing));
    QVERIFY(points.size() > 5);
    QCOMPARE(points.size(), expected.size());
    for (size_t i = 0; i < points.size(); ++i) {
        QCOMPARE(points[i].tau, expected[i].tau);
        QCOMPARE(points[i].n, expected[i].n);
        QVERIFY2(std::fabs(points[i].adev / expected[i].adev - 1) < 1e-13,
                 qPrintable(QStringLiteral("tau %1: %2, by definition %3")
                                .arg(points[i].tau)
                                .arg(points[i].adev, 0, 'g', 17)
                                .arg(expected[i].adev, 0, 'g', 17)));
    }
}

void TestAllanDeviation::placement_data()
{
    QTest::addColumn<QVector<double>>("times"); // ms; empty: no times
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<double>("tau0");
    QTest::addColumn<qint64>("usable");
    QTest::addColumn<qint64>("gaps");
    QTest::addColumn<qint64>("terms"); // at tau0
    QTest::addColumn<QString>("problem");

    const auto seconds = [](std::initializer_list<double> s) {
        QVector<double> ms;
        for (const double v : s)
            ms << 1.7e12 + v * 1000;
        return ms;
    };
    const QVector<double> six{1, 2, 3, 4, 5, 6};
    QTest::newRow("trend, a row a second")
        << seconds({0, 1, 2, 3, 4, 5}) << six << 1.0 << qint64(6) << qint64(0) << qint64(5) << "";
    QTest::newRow("an outage of 8 s") << seconds({0, 1, 2, 10, 11, 12}) << six << 1.0 << qint64(6)
                                      << qint64(1) << qint64(4) << "";
    QTest::newRow("no concentration data")
        << seconds({0, 1, 2, 3, 4, 5}) << QVector<double>{1, 2, 3, gap, 5, 6} << 1.0 << qint64(5)
        << qint64(1) << qint64(3) << "";
    QTest::newRow("a missing time stamp")
        << seconds({0, 1, 2, gap, 4, 5}) << six << 1.0 << qint64(5) << qint64(1) << qint64(3) << "";
    QTest::newRow("a second stamped twice: the second row not used")
        << seconds({0, 1, 1, 2, 3, 4}) << six << 1.0 << qint64(5) << qint64(0) << qint64(4) << "";
    QTest::newRow("every 10 s from 10 s, one left out")
        << QVector<double>{10000, 20000, 30000, 50000, 60000} << QVector<double>(5, 1.0) << 10.0
        << qint64(5) << qint64(1) << qint64(3) << "";
    QTest::newRow("the first step long")
        << seconds({0, 2, 3, 4, 5, 6}) << six << 1.0 << qint64(6) << qint64(1) << qint64(4) << "";
    QTest::newRow("stamps that jitter")
        << seconds({0, 0.9, 1.9, 3, 4, 4.9, 6}) << QVector<double>(7, 1.0) << 1.0 << qint64(7)
        << qint64(0) << qint64(6) << "";
    QTest::newRow("every 10 s") << seconds({0, 10, 20, 40, 50, 60}) << six << 10.0 << qint64(6)
                                << qint64(1) << qint64(4) << "";
    QTest::newRow("SRDA, 2 rows a second")
        << seconds({0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5}) << QVector<double>(12, 1.0) << 0.5
        << qint64(12) << qint64(0) << qint64(11) << "";
    QTest::newRow("SRDA, a second left out")
        << seconds({0, 0, 1, 1, 2, 2, 3, 3, 5, 5, 6, 6}) << QVector<double>(12, 1.0) << 0.5
        << qint64(12) << qint64(1) << qint64(10) << "";
    QTest::newRow("no times") << QVector<double>() << QVector<double>{1, gap, 2, 3, 4} << 1.0
                              << qint64(4) << qint64(1) << qint64(2) << "";
    QTest::newRow("no neighbours")
        << QVector<double>() << QVector<double>{1, gap, 2, gap, 3} << 1.0 << qint64(3) << qint64(2)
        << qint64(0) << "Too many gaps: no averaging time has 2 terms without one";
    QTest::newRow("a reading of 1e300")
        << seconds({0, 1, 2, 3, 4, 5}) << QVector<double>{1, 2, 3, 1e300, 5, 6} << 1.0 << qint64(5)
        << qint64(1) << qint64(3) << "";
    QTest::newRow("shared stamps running back")
        << seconds({5, 5, 5, 4, 4, 4}) << six << 1.0 << qint64(0) << qint64(0) << qint64(0)
        << "The time stamps do not run forward";
    QTest::newRow("time running back")
        << seconds({5, 4, 3, 2, 1, 0}) << six << 1.0 << qint64(0) << qint64(0) << qint64(0)
        << "The time stamps do not run forward";
    QTest::newRow("one stamp") << seconds({0, 0, 0, 0}) << QVector<double>{1, 2, 3, 4} << 1.0
                               << qint64(0) << qint64(0) << qint64(0)
                               << "All points share one time stamp";
}

void TestAllanDeviation::placement()
{
    QFETCH(QVector<double>, times);
    QFETCH(QVector<double>, values);
    AllanSeries s;
    s.place(times.isEmpty() ? nullptr : times.constData(), values.constData(), values.size(), 1,
            0.001);
    QTEST(s.tau0(), "tau0");
    QTEST(s.usable(), "usable");
    QTEST(s.gaps(), "gaps");
    QTEST(s.terms(1), "terms");
    QTEST(s.problem(), "problem");
}

void TestAllanDeviation::texts()
{
    const std::vector<AllanPoint> points{{64, 0.02, 2048}, {128, 0.0123, 1024}, {256, 0.015, 512}};
    QCOMPARE(allanMinimumText(points, QStringLiteral("PPBv"), true),
             QStringLiteral("Minimum 0.0123 PPBv at τ = 128 s (n = 1,024)"));
    QCOMPARE(allanMinimumText({{8, 1234.6, 3}}, QString(), false),
             QStringLiteral("Minimum 1235 at τ = 8 samples (n = 3)"));
    const double times[] = {0, 1000, 2000, 5000, 6000, 7000}, values[] = {1, 2, 3, 4, 5, 6};
    AllanSeries s;
    s.place(times, values, 6, 1, 0.001);
    QCOMPARE(allanSeriesText(s), QStringLiteral("6 points, sampling interval τ0 = 1 s, 1 gap"));
}

QTEST_GUILESS_MAIN(TestAllanDeviation)
#include "test_allandeviation.moc"
