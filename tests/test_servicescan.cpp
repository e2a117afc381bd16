#include "service/servicescan.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The service scans without the tab: commands, readings, downloads, files.
class TestServiceScan : public QObject
{
    Q_OBJECT
private slots:
    void startCommand_data();
    void startCommand();
    void readings_data();
    void readings();
    void download_data();
    void download();
    void savedFile();
};

static QStringList defaults(ServiceScan::Kind kind)
{
    QStringList out;
    for (const ServiceScan::Field &f : ServiceScan::fields(kind))
        out << QString::number(f.defaultValue);
    return out;
}

void TestServiceScan::startCommand_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("field"); // -1: the defaults as they are
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("result"); // the command, or why it is refused
    // The performance verification's own scans are the defaults.
    QTest::newRow("rcs defaults") << 0 << -1 << ""
                                  << "rcs 5 35 0.02 1 10 95\r\n";
    QTest::newRow("tempscan defaults") << 1 << -1 << ""
                                       << "tempscan 5 35 0.5 20 15\r\n";
    QTest::newRow("fss defaults") << 2 << -1 << ""
                                  << "fss 90 100 0.05 10 2\r\n";
    QTest::newRow("short numbers") << 0 << 0 << " 5.000 "
                                   << "rcs 5 35 0.02 1 10 95\r\n";
    QTest::newRow("letters") << 0 << 2 << "0.o2"
                             << "Reference Cell Scan: Step: \"0.o2\" is not a number.";
    QTest::newRow("nan") << 1 << 0 << "nan"
                         << "Temperature Scan: Start: \"nan\" is not a number.";
    QTest::newRow("range") << 0 << 1 << "61"
                           << "Reference Cell Scan: End: must be from 0 to 60 °C.";
    QTest::newRow("whole") << 1 << 4 << "1.5"
                           << "Temperature Scan: Initial Delay: must be a whole number.";
    QTest::newRow("end") << 1 << 1 << "5"
                         << "Temperature Scan: End: must be above Start:.";
    QTest::newRow("steps") << 0 << 2 << "0.001"
                           << "Reference Cell Scan: Step: gives more than 20000 steps from Start: "
                              "to End:.";
}

void TestServiceScan::startCommand()
{
    QFETCH(int, kind);
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QString, result);
    QStringList texts = defaults(ServiceScan::Kind(kind));
    if (field >= 0)
        texts[field] = text;
    ServiceScan scan;
    QString why = QStringLiteral("stale");
    const QString line = scan.start(ServiceScan::Kind(kind), texts, &why);
    QCOMPARE(line.isEmpty() ? why : line, result);
    // A refused scan changes nothing: the poll keeps quiet.
    QCOMPARE(scan.state(), line.isEmpty() ? 0 : kind + 1);
}

void TestServiceScan::readings_data()
{
    QTest::addColumn<QStringList>("replies");
    QTest::addColumn<int>("overAt"); // index of the reply that ends the scan, -1 none
    QTest::addColumn<int>("progress");
    // Reference cell scan 5..35 with 0.02 steps.
    QTest::newRow("resting, jumps to Start, rises, falls back")
        << QStringList{"20.98", "20.99", "20.98", "5", "8", "20", "35", "5"} << 7 << 100;
    QTest::newRow("still rising") << QStringList{"5", "8", "20"} << -1 << 50;
    QTest::newRow("jitter under half a step is no fall")
        << QStringList{"5", "8", "7.995", "9"} << -1 << 13;
    QTest::newRow("a fall before any rise only moves the start")
        << QStringList{"30", "5", "5.5"} << -1 << 2;
    QTest::newRow("text replies are no positions")
        << QStringList{"5", "9", "OK", "!UNKNOWN", "10"} << -1 << 17;
}

void TestServiceScan::readings()
{
    QFETCH(QStringList, replies);
    QFETCH(int, overAt);
    QFETCH(int, progress);
    ServiceScan scan;
    QVERIFY(!scan.start(ServiceScan::RefCell, defaults(ServiceScan::RefCell), nullptr).isEmpty());
    int over = -1;
    for (int i = 0; i < replies.size(); ++i)
        if (scan.takeReading(replies.at(i)) && over < 0)
            over = i;
    QCOMPARE(over, overAt);
    QCOMPARE(scan.progress(), progress);
}

void TestServiceScan::download_data()
{
    QTest::addColumn<QList<QStringList>>("replies");
    QTest::addColumn<QVector<double>>("xs");
    QTest::addColumn<QVector<double>>("ys");
    QTest::addColumn<bool>("complete");
    QTest::newRow("rows up to End")
        << QList<QStringList>{{"5.0000", "99.9", "20.0000", "55.1"}, {"35.0000", "99.8"}}
        << QVector<double>{5, 20, 35} << QVector<double>{99.9, 55.1, 99.8} << true;
    QTest::newRow("stopped short: no end marker")
        << QList<QStringList>{{"5.0000", "99.9", "5.0200", "99.7"}} << QVector<double>{5, 5.02}
        << QVector<double>{99.9, 99.7} << false;
    QTest::newRow("a late position reading ahead of the rows")
        << QList<QStringList>{{"21.5", "5.0000", "99.9"}, {"13"}} << QVector<double>{5}
        << QVector<double>{99.9} << false;
    QTest::newRow("a status report in between")
        << QList<QStringList>{{"5.0000", "99.9"},
                              {"Filter", "100", "TauEStd", "0.25", "Laser", "Temp", "20.98"},
                              {"35.0000", "99.8"}}
        << QVector<double>{5, 35} << QVector<double>{99.9, 99.8} << true;
}

void TestServiceScan::download()
{
    QFETCH(QList<QStringList>, replies);
    QFETCH(QVector<double>, xs);
    QFETCH(QVector<double>, ys);
    QFETCH(bool, complete);
    ServiceScan scan;
    scan.start(ServiceScan::RefCell, defaults(ServiceScan::RefCell), nullptr);
    QCOMPARE(scan.requestDownload(ServiceScan::RefCell), QStringLiteral("drcsd\r\n"));
    QCOMPARE(scan.state(), 4);
    bool done = false;
    for (const QStringList &tokens : replies)
        done = scan.addDownload(tokens);
    QCOMPARE(scan.xs(), xs);
    QCOMPARE(scan.ys(), ys);
    QCOMPARE(done, complete);
    scan.finishDownload();
    QCOMPARE(scan.state(), 0);
    QCOMPARE(scan.xs(), xs); // the result stays for the plot and the file
}

void TestServiceScan::savedFile()
{
    QTemporaryDir dir;
    ServiceScan scan;
    scan.start(ServiceScan::Temperature, defaults(ServiceScan::Temperature), nullptr);
    scan.requestDownload(ServiceScan::Temperature);
    scan.addDownload({"5.000", "0.1", "35.000", "1e-07"});
    scan.finishDownload();
    const QDateTime at(QDate(2026, 3, 4), QTime(5, 6, 7));
    // An unknown serial is named so; a known one is kept to safe characters
    // (checked end to end with the simulator's "7/31").
    const QString path = scan.save(dir.filePath(QStringLiteral("Scans")), QString(), at);
    QCOMPARE(path, dir.filePath(QStringLiteral("Scans/unknown_tempscan_20260304-050607.txt")));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("# Temperature Scan\r\n# SN \r\n# 2026-03-04 05:06:07\r\n"
                                     "# tempscan 5 35 0.5 20 15\r\nPosition\tScan\r\n"
                                     "5\t0.1\r\n35\t1e-07\r\n"));
}

QTEST_GUILESS_MAIN(TestServiceScan)
#include "test_servicescan.moc"
