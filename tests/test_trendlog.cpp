#include "app/trendlog.h"
#include "console/logger.h"
#include "support/testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

namespace {

StatusRecord report(const QString &conc, const QString &faults)
{
    StatusRecord r;
    r.conc = conc;
    r.gasType = QStringLiteral("N2");
    r.faults = faults;
    r.tau = QStringLiteral("10.5");
    r.tauStd = QStringLiteral("0.02");
    r.tauEmpty = QStringLiteral("11.1");
    r.tauEmptyStd = QStringLiteral("0.03");
    r.laserCurrent = QStringLiteral("45.2");
    r.laserTemp = QStringLiteral("25.0");
    r.setFaultBits(faults.toInt());
    return r;
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every file below root, relative to it.
QStringList filesBelow(const QString &root)
{
    QStringList out;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(root).relativeFilePath(it.next());
    out.sort();
    return out;
}

const QByteArray header = "Date&Time, Concentration, Gas, Alarms\r\n";

} // namespace

class TestTrendLog : public QObject
{
    Q_OBJECT
private slots:
    void rows_data();
    void rows();
    void headers();
    void namesAndFolder();
    void headerOnlyOncePerFile();
    void shortFileGetsHeaderAgain_data();
    void shortFileGetsHeaderAgain();
    void midnightStartsNewFile();
    void demoModeName();
    void firstStartInMissingFolderShowsNoBox();
    void serialCannotLeaveFolder_data();
    void serialCannotLeaveFolder();
    void unwritableFileReportedOncePerRow();

private:
    const QDateTime noon = QDateTime(QDate(2025, 1, 31), QTime(12, 0, 5));
};

void TestTrendLog::rows_data()
{
    QTest::addColumn<QString>("conc");
    QTest::addColumn<QString>("faults");
    QTest::addColumn<bool>("compatibility");
    QTest::addColumn<bool>("statusLog");
    QTest::addColumn<QString>("row");

    QTest::newRow("normal") << "12.3"
                            << "0" << false << false
                            << "2025-01-31 12:00:05, 12.3, N2, No Faults\r\n";
    QTest::newRow("normal, status log")
        << "12.3"
        << "0" << false << true
        << "2025-01-31 12:00:05, 12.3, N2, No Faults, 10.5, 0.02, 11.1, 0.03, 45.2, 25.0\r\n";
    QTest::newRow("compatibility") << "7.25"
                                   << "24" << true << false << "2025-01-31 12:00:05, 7.25\r\n";
    QTest::newRow("compatibility, status log")
        << "7.25"
        << "24" << true << true << "2025-01-31 12:00:05, 7.25\r\n";
    QTest::newRow("faults 24") << "12.3"
                               << "24" << false << false
                               << "2025-01-31 12:00:05, 12.3, N2, 24, Alarm1, Alarm2\r\n";
    QTest::newRow("faults 24, status log")
        << "12.3"
        << "24" << false << true
        << "2025-01-31 12:00:05, 12.3, N2, 24, 10.5, 0.02, 11.1, 0.03, 45.2, 25.0, Alarm1, "
           "Alarm2\r\n";
    QTest::newRow("faults 8: only alarm 1")
        << "12.3"
        << "8" << false << false << "2025-01-31 12:00:05, 12.3, N2, 8, Alarm1\r\n";
    QTest::newRow("no number") << "----"
                               << "0" << false << false
                               << "2025-01-31 12:00:05, No concentration data, N2, No Faults\r\n";
    QTest::newRow("empty, compatibility")
        << ""
        << "0" << true << false << "2025-01-31 12:00:05, No concentration data\r\n";
}

void TestTrendLog::rows()
{
    QFETCH(QString, conc);
    QFETCH(QString, faults);
    QFETCH(bool, compatibility);
    QFETCH(bool, statusLog);
    QFETCH(QString, row);
    QCOMPARE(trendRow(report(conc, faults), noon, compatibility, statusLog), row);
}

void TestTrendLog::headers()
{
    QCOMPARE(trendHeader(false), QString::fromLatin1(header));
    QCOMPARE(trendHeader(true), QStringLiteral("Date&Time, Concentration, Gas, Alarms, Tau, "
                                               "TauStd, TauEmpty, TauEmptyStd, LaserCurrent, "
                                               "LaserTemp\r\n"));
}

void TestTrendLog::namesAndFolder()
{
    QCOMPARE(trendFileName(QStringLiteral("1234"), QDate(2025, 1, 31)),
             QStringLiteral("SN-1234-20250131.csv"));
    QCOMPARE(trendFolder(), QDir::homePath() + QStringLiteral("/QuorvaneData/Trend/"));
    Logger logger;
    TrendWriter writer(logger);
    QCOMPARE(writer.trendFile(), trendFolder()); // before the first row
}

void TestTrendLog::headerOnlyOncePerFile()
{
    QTemporaryDir tmp;
    ScriptedDialogs dialogs;
    FakeClock clock;
    clock.t = noon;
    Logger logger;
    TrendWriter writer(logger, tmp.path() + QStringLiteral("/Trend/"));
    writer.setSerialNumber(QStringLiteral("1234"));
    QVERIFY(writer.append(report(QStringLiteral("1.5"), QStringLiteral("0")), false, false));
    clock.t = noon.addSecs(1);
    QVERIFY(writer.append(report(QStringLiteral("1.6"), QStringLiteral("0")), false, false));

    const QString file = tmp.path() + QStringLiteral("/Trend/SN-1234-20250131.csv");
    QCOMPARE(writer.trendFile(), file);
    QCOMPARE(contents(file), header + "2025-01-31 12:00:05, 1.5, N2, No Faults\r\n"
                                      "2025-01-31 12:00:06, 1.6, N2, No Faults\r\n");
    QVERIFY(dialogs.messages.isEmpty());
}

void TestTrendLog::shortFileGetsHeaderAgain_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("header");
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("9 bytes") << QByteArray("123456789") << true;
    QTest::newRow("10 bytes") << QByteArray("1234567890") << false;
}

void TestTrendLog::shortFileGetsHeaderAgain()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, header);
    QTemporaryDir tmp;
    const QString folder = tmp.path() + QLatin1Char('/');
    const QString file = folder + QStringLiteral("SN-77-20250131.csv");
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(before);
    }
    Logger logger;
    TrendWriter writer(logger, folder);
    const QString row = QStringLiteral("2025-01-31 12:00:05, 1.5, N2, No Faults\r\n");
    QVERIFY(writer.append(QStringLiteral("77"), row, false, QDate(2025, 1, 31)));
    QCOMPARE(contents(file), before + (header ? ::header : QByteArray()) + row.toUtf8());
}

void TestTrendLog::midnightStartsNewFile()
{
    QTemporaryDir tmp;
    FakeClock clock;
    clock.t = QDateTime(QDate(2025, 1, 31), QTime(23, 59, 59));
    Logger logger;
    TrendWriter writer(logger, tmp.path() + QLatin1Char('/'));
    writer.setSerialNumber(QStringLiteral("1234"));
    QVERIFY(writer.append(report(QStringLiteral("1.5"), QStringLiteral("0")), false, true));
    clock.t = clock.t.addSecs(2);
    QVERIFY(writer.append(report(QStringLiteral("1.6"), QStringLiteral("0")), false, true));

    const QByteArray statusHeader = trendHeader(true).toUtf8();
    const QString before = tmp.path() + QStringLiteral("/SN-1234-20250131.csv");
    const QString after = tmp.path() + QStringLiteral("/SN-1234-20250201.csv");
    QCOMPARE(writer.trendFile(), after);
    QCOMPARE(contents(before), statusHeader + "2025-01-31 23:59:59, 1.5, N2, No Faults, 10.5, "
                                              "0.02, 11.1, 0.03, 45.2, 25.0\r\n");
    QCOMPARE(contents(after), statusHeader + "2025-02-01 00:00:01, 1.6, N2, No Faults, 10.5, "
                                             "0.02, 11.1, 0.03, 45.2, 25.0\r\n");
}

void TestTrendLog::demoModeName()
{
    QTemporaryDir tmp;
    FakeClock clock;
    Logger logger;
    TrendWriter writer(logger, tmp.path() + QLatin1Char('/'));
    QVERIFY(writer.append(report(QStringLiteral("1.5"), QStringLiteral("0")), false, false));
    QCOMPARE(QFileInfo(writer.trendFile()).fileName(), QStringLiteral("SN--20250131.csv"));
    QVERIFY(QFileInfo::exists(writer.trendFile()));
}

void TestTrendLog::firstStartInMissingFolderShowsNoBox()
{
    // The default folder under this test's own home, which does not exist yet.
    QDir(trendFolder()).removeRecursively();
    QVERIFY(!QDir(trendFolder()).exists());
    ScriptedDialogs dialogs;
    FakeClock clock;
    Logger logger;
    TrendWriter writer(logger);
    writer.setSerialNumber(QStringLiteral("1234"));
    QVERIFY(writer.append(report(QStringLiteral("1.5"), QStringLiteral("0")), false, false));
    QCOMPARE(dialogs.titles(), QStringList());
    QCOMPARE(contents(trendFolder() + QStringLiteral("SN-1234-20250131.csv")),
             header + "2025-01-31 12:00:00, 1.5, N2, No Faults\r\n");
}

void TestTrendLog::serialCannotLeaveFolder_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("climbs up") << "..//"
                               << "SN-____-20250131.csv";
    QTest::newRow("backslash and colon") << "a\\:b"
                                         << "SN-a__b-20250131.csv";
    QTest::newRow("zero byte") << QString(QStringLiteral("1") + QChar(0) + QStringLiteral("2"))
                               << "SN-1_2-20250131.csv";
    QTest::newRow("plain") << "A1-_"
                           << "SN-A1-_-20250131.csv";
}

void TestTrendLog::serialCannotLeaveFolder()
{
    QFETCH(QString, serial);
    QFETCH(QString, fileName);
    QTemporaryDir tmp;
    const QString folder = tmp.path() + QStringLiteral("/data/Trend/");
    FakeClock clock;
    Logger logger;
    TrendWriter writer(logger, folder);
    writer.setSerialNumber(serial);
    QVERIFY(writer.append(report(QStringLiteral("1.5"), QStringLiteral("0")), false, false));
    QCOMPARE(writer.trendFile(), folder + fileName);
    QCOMPARE(filesBelow(tmp.path()), QStringList{QStringLiteral("data/Trend/") + fileName});
}

void TestTrendLog::unwritableFileReportedOncePerRow()
{
    QTemporaryDir tmp;
    const QString folder = tmp.path() + QLatin1Char('/');
    // A folder where the file should be: it cannot be opened for appending.
    QVERIFY(QDir().mkpath(folder + QStringLiteral("SN-9-20250131.csv")));
    ScriptedDialogs dialogs;
    Logger logger;
    TrendWriter writer(logger, folder);
    QVERIFY(
        !writer.append(QStringLiteral("9"), QStringLiteral("x\r\n"), false, QDate(2025, 1, 31)));
    QVERIFY(waitFor([&] { return dialogs.count(QStringLiteral("Log File error!")) > 0; }));
    QTest::qWait(20);
    QCOMPARE(dialogs.count(QStringLiteral("Log File error!")), 1);
}

QTEST_MAIN(TestTrendLog)
#include "test_trendlog.moc"
