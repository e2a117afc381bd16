#include "app/station.h"
#include "app/trendlog.h"
#include "common/commandsequence.h"
#include "fleet/fleetpublisher.h"
#include "fleet/spool.h"
#include "support/fakeanalyzer.h"
#include "support/scriptlink.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QtTest>

// The station without a window, on a QCoreApplication: one status report from
// a scripted analyzer becomes one row in the day's trend file and one row in
// the fleet's spool, both from the same report.
static QStringList linesOf(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

class TestStation : public QObject
{
    Q_OBJECT
private slots:
    void oneReportOneRowEachWay();
};

void TestStation::oneReportOneRowEachWay()
{
    QVERIFY(!qobject_cast<QGuiApplication *>(QCoreApplication::instance()));
    CommandSequence::setSecondMs(20);
    QDir(trendFolder()).removeRecursively();
    QDir(spoolFolder()).removeRecursively();
    ScriptedDialogs dialogs;
    Analyzer analyzer;
    analyzer.answers = {{"ssnid", "4321\r\n"},
                        {"unitdisp", "1\r\n"},
                        {"species", "H2O\r\n"},
                        {"modelname", "ORIN OK\r\n"},
                        {"status", statusReport("7.125")}};
    QPointer<ScriptLink> link;
    Station station([&](const ConnectionSettings &) { return link = new ScriptLink(analyzer); });
    FleetSettings fleet;
    fleet.enabled = true;
    fleet.broker = QStringLiteral("127.0.0.1:1"); // nobody there: the row waits in the spool
    station.configureFleet(fleet);
    ConnectionSettings s;
    s.logInterval = 1;
    s.autoLog = true;
    station.setConnectionSettings(s);

    QList<TrendRow> rows;
    int reports = 0;
    connect(&station, &Station::statusReport, this, [&] { ++reports; });
    connect(&station, &Station::trendRow, this, [&](const TrendRow &row) { rows << row; });
    QVERIFY(station.connectToAnalyzer());
    QVERIFY(waitFor([&] { return !rows.isEmpty(); }, 10000));
    station.disconnectNow();
    QVERIFY(waitFor([&] {
        return station.session()->lifecycle()->state() == ConnectionLifecycle::State::Disconnected;
    }));
    QCOMPARE(reports, rows.size());
    const TrendRow &first = rows.first();
    QCOMPARE(first.record.conc, QStringLiteral("7.125"));

    // The trend file holds the row as handed out.
    const QStringList lines =
        linesOf(trendFolder() + trendFileName(QStringLiteral("4321"), first.time.date()));
    QVERIFY(lines.size() >= 2);
    QCOMPARE(lines.at(1) + QLatin1Char('\n'), first.text);

    // So does the spool, with the same time and concentration.
    QString spooled;
    const QDir spool(spoolFolder());
    for (const QString &name : spool.entryList(QDir::Files))
        for (const QString &line : linesOf(spool.filePath(name)))
            if (line.contains(QStringLiteral("\"seq\":1,")))
                spooled = line;
    QVERIFY2(spooled.contains(QStringLiteral("\t/4321/trend\t")), qPrintable(spooled));
    QVERIFY2(spooled.contains(QStringLiteral("\"concentration\":7.125")), qPrintable(spooled));
    QVERIFY2(spooled.contains(first.time.toString(Qt::ISODateWithMs).left(23)),
             qPrintable(spooled));
    // A whole connection, and not one widget made.
    QVERIFY(QApplication::allWidgets().isEmpty());
}

QTEST_GUILESS_MAIN(TestStation)
#include "test_station.moc"
