#include "stationprocess.h"

#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

// Trend rows while the broker is away and across a restart of the program:
// every row on disk arrives, under consecutive seqs.
class TestItFleetSpool : public QObject
{
    Q_OBJECT
private slots:
    void everyTrendRowArrives();
};

namespace {

// seq → payload of every trend row received (a row sent twice counts once).
QHash<qint64, QJsonObject> rowsBySeq(const TestSubscriber &subscriber)
{
    QHash<qint64, QJsonObject> out;
    for (const TestSubscriber::Message &m : subscriber.received()) {
        const QJsonObject o = jsonOf(m.payload);
        out.insert(qint64(o.value("seq").toDouble()), o);
    }
    return out;
}

bool allArrived(const TestSubscriber &subscriber, int rows)
{
    const QHash<qint64, QJsonObject> got = rowsBySeq(subscriber);
    for (qint64 seq = 1; seq <= rows; ++seq)
        if (!got.contains(seq))
            return false;
    return true;
}

} // namespace

void TestItFleetSpool::everyTrendRowArrives()
{
    QTemporaryDir tmp;
    TestBroker::Options persistent;
    persistent.persistent = true; // the checker's session outlives the broker's restart
    TestBroker broker(tmp.path(), persistent);
    QVERIFY(broker.start());
    TestSubscriber checker(broker, "telvar/4321/trend", "fleet-checker");
    const QString home = tmp.filePath(QStringLiteral("home"));
    const QString spool = home + QStringLiteral("/QuorvaneData/Spool");
    const auto spooled = [&] { return !QDir(spool).entryList({"*.rows"}, QDir::Files).isEmpty(); };
    int lastRunRows = 0;
    {
        StationProcess station(home, QStringLiteral("4321"), {"--mqtt", broker.address()});
        QVERIFY(waitFor([&] { return checker.received().size() >= 5; }, 20000));

        // The broker goes away; rows wait in the spool; it comes back.
        broker.stop();
        const int before = station.trendRows().size();
        QVERIFY(waitFor([&] { return station.trendRows().size() >= before + 20; }, 10000));
        QVERIFY(spooled());
        QVERIFY(broker.start());
        const int rows = station.trendRows().size();
        QVERIFY(waitFor([&] { return allArrived(checker, rows); }, 40000));
        QVERIFY(station.stop());
        lastRunRows = station.trendRows().size();
    }
    // The next run goes on counting, and sends what the last one had not.
    StationProcess next(home, QStringLiteral("4321"), {"--mqtt", broker.address()});
    QVERIFY(waitFor([&] { return next.trendRows().size() >= lastRunRows + 5; }, 20000));
    const QStringList rows = next.trendRows();
    QVERIFY(waitFor([&] { return allArrived(checker, rows.size()); }, 20000));

    // Row k on disk is seq k: same time and concentration.
    const QHash<qint64, QJsonObject> got = rowsBySeq(checker);
    for (int k = 1; k <= rows.size(); ++k) {
        const QStringList fields = rows.at(k - 1).split(QStringLiteral(", "));
        const QJsonObject o = got.value(k);
        QCOMPARE(o.value("time").toString().left(19).replace(QLatin1Char('T'), QLatin1Char(' ')),
                 fields.at(0));
        QCOMPARE(o.value("concentration").toDouble(), fields.at(1).toDouble());
    }
    QVERIFY(!got.contains(rows.size() + 100)); // no seq out of thin air
}

QTEST_GUILESS_MAIN(TestItFleetSpool)
#include "test_it_fleetspool.moc"
