#include "simprocess.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The program as the operator starts it on a monitoring station: its own
// process, offscreen, pointed at the simulator's pty from the command line.
// Checked is what lands on disk.
class TestItSession : public QObject
{
    Q_OBJECT
private slots:
    void goodSessionWritesTrendRows();
};

void TestItSession::goodSessionWritesTrendRows()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());

    SimProcess sim({QStringLiteral("--pty"), QStringLiteral("--serial"), QStringLiteral("4321"),
                    QStringLiteral("--seed"), QStringLiteral("1")});
    QVERIFY(sim.ready());

    QProcess telvar;
    telvar.setProcessEnvironment(programEnvironment(home.path()));
    const QString trafficLog = home.filePath(QStringLiteral("traffic.log"));
    telvar.start(QStringLiteral(TELVAR_BIN),
                 {QStringLiteral("--serial"), sim.endpoint, QStringLiteral("--interval"),
                  QStringLiteral("1"), QStringLiteral("--autolog"), QStringLiteral("--log"),
                  trafficLog, QStringLiteral("--connect")});
    QVERIFY(telvar.waitForStarted());

    // Connecting, identifying and the first poll take several paced seconds.
    QString trendFile;
    QVERIFY2(waitForTrendRows(telvar, home.path(), 3, trendFile), qPrintable(trendFile));
    QCOMPARE(telvar.state(), QProcess::Running);
    // As a power cut would end it: whatever is on disk must be whole rows.
    telvar.kill();
    QVERIFY(telvar.waitForFinished(5000));

    // One file a day, named after the analyzer's serial number.
    QVERIFY(QFileInfo(trendFile).fileName().contains(QRegularExpression("^SN-4321-\\d{8}\\.csv$")));
    const QStringList trend = wholeLines(trendFile);
    QVERIFY2(trend.size() >= 4, qPrintable(trendFile));
    QCOMPARE(trend.first(), trendHeader);
    const QDateTime now = QDateTime::currentDateTime();
    for (const QString &row : trend.mid(1)) {
        const QRegularExpressionMatch m = trendRowPattern().match(row);
        QVERIFY2(m.hasMatch(), qPrintable(row));
        // A freshly switched-on analyzer measures near 0.2 with no faults.
        const double conc = m.captured(1).toDouble();
        QVERIFY2(conc > 0.1 && conc < 1.0, qPrintable(row));
        QCOMPARE(m.captured(2), QStringLiteral("No Faults"));
        const QDateTime at =
            QDateTime::fromString(row.left(19), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        QVERIFY2(at.isValid() && qAbs(at.secsTo(now)) < 120, qPrintable(row));
    }

    // The traffic log got the same rows (the dashboard's polls stay out of it). It is
    // written just before the trend file, so its last row may be one the kill kept
    // from the trend file.
    const QStringList traffic = wholeLines(trafficLog);
    QVERIFY(!traffic.isEmpty());
    for (const QString &line : traffic)
        QVERIFY2(trendRowPattern().match(line).hasMatch(), qPrintable(line));
    for (const QString &line : traffic.mid(0, traffic.size() - 1))
        QVERIFY2(trend.contains(line), qPrintable(line));
}

QTEST_MAIN(TestItSession)
#include "test_it_session.moc"
