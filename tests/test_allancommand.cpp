#include "app/allancommand.h"
#include "app/trendlog.h"
#include "plot/plotexport.h"
#include "plot/samplering.h"
#include "service/srdadata.h"
#include "support/testsupport.h"

#include <QBuffer>
#include <QProcess>
#include <QTemporaryDir>

Q_DECLARE_METATYPE(TauSpacing)

namespace {

// The handbook's 9 values: their table at octave spacing.
const QVector<double> nist{892, 809, 823, 798, 671, 644, 883, 903, 677};
const QByteArray nistTable = "tau_s,adev,n\n1,91.22944974074983,8\n2,85.952869837681,6\n"
                             "4,27.6351791200998,2\n";
const QDateTime start(QDate(2025, 1, 31), QTime(23, 59, 55)); // runs over midnight

// Rows as the trend log writes them, a second apart; NaN: no concentration.
QByteArray trendFile(const QVector<double> &values, bool statusLog)
{
    QByteArray text = trendHeader(statusLog).toUtf8();
    StatusRecord r;
    r.gasType = QStringLiteral("CH4");
    r.faults = QStringLiteral("0");
    for (int i = 0; i < values.size(); ++i) {
        const QString v = std::isnan(values[i]) ? QStringLiteral("--") : QString::number(values[i]);
        r.conc = statusLog ? QStringLiteral("0.2") : v;
        r.tau = r.tauStd = r.tauEmpty = r.tauEmptyStd = r.laserCurrent = r.laserTemp = v;
        text += trendRow(r, start.addSecs(i), false, statusLog).toUtf8();
    }
    return text;
}

// An SRDA export of three rows a second; NaN is written "nan".
QByteArray srdaFile(const QVector<double> &values)
{
    SrdaData table;
    table.setColumns({QStringLiteral("Date/Time"), QStringLiteral("Tau"), QStringLiteral("Ratio")});
    for (int i = 0; i < values.size(); ++i) {
        const double row[] = {double(start.addSecs(i / 3).toMSecsSinceEpoch()), 1.0, values[i]};
        table.appendRow(row);
    }
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    table.writeCsv(out);
    return out.data();
}

// "Export Data" of a plot with or without a date axis.
QByteArray plotFile(const QVector<double> &values, bool dateAxis)
{
    SampleRing ring;
    for (int i = 0; i < values.size(); ++i)
        ring.append(dateAxis ? double(start.addSecs(i).toMSecsSinceEpoch()) : 10.0 * i, values[i]);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    writePlotCsv(out, ring, -1e300, 1e300, dateAxis, QStringLiteral("Scan"), false);
    return out.data();
}

struct Run
{
    int status;
    QByteArray out, err;
};

Run allan(const QString &path, const QString &column = QString(),
          TauSpacing spacing = TauSpacing::Octave)
{
    AllanCommand command;
    command.file = path;
    command.column = column;
    command.spacing = spacing;
    QBuffer out, err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    const int status = command.run(out, err);
    return {status, out.data(), err.data()};
}

} // namespace

class TestAllanCommand : public QObject
{
    Q_OBJECT
private slots:
    void table_data();
    void table();
    void badInput_data();
    void badInput();
    void runsWithoutWindow();

private:
    QString write(const QByteArray &content);
    QTemporaryDir dir;
};

QString TestAllanCommand::write(const QByteArray &content)
{
    const QString path = dir.filePath(
        QStringLiteral("%1 %2.csv").arg(QTest::currentTestFunction(), QTest::currentDataTag()));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestAllanCommand::table_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("column");
    QTest::addColumn<TauSpacing>("spacing");
    QTest::addColumn<QByteArray>("table");
    QTest::newRow("trend") << trendFile(nist, false) << "" << TauSpacing::Octave << nistTable;
    QTest::newRow("trend, Tau of the status columns")
        << trendFile(nist, true) << "tau" << TauSpacing::Octave << nistTable;
    QVector<double> split = nist;
    split.insert(4, std::nan(""));
    QTest::newRow("SRDA export, a row without a number")
        << srdaFile(split) << "Ratio" << TauSpacing::Octave
        << QByteArray("tau_s,adev,n\n0.4,91.43147316823833,7\n0.8,98.11770142707856,3\n");
    QTest::newRow("plot export, decade")
        << plotFile(nist, true) << "" << TauSpacing::Decade
        << QByteArray(nistTable).replace("4,27.6351791200998,2\n", "");
    QTest::newRow("plot export without times, in samples")
        << plotFile(nist, false) << "Scan" << TauSpacing::Octave << nistTable;
}

void TestAllanCommand::table()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, column);
    QFETCH(TauSpacing, spacing);
    QFETCH(QByteArray, table);
    const Run run = allan(write(content), column, spacing);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.out, table);
    QCOMPARE(run.status, 0);
}

void TestAllanCommand::badInput_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("said"); // after "telvar: FILE: "
    QTest::newRow("empty") << QByteArray() << ""
                           << "the file is empty";
    QTest::newRow("binary") << QByteArray("\x7f"
                                          "ELF\x02\x01\x01\0\0\0",
                                          10) +
                                   trendFile(nist, false)
                            << ""
                            << "not a text file";
    QTest::newRow("no line feed") << QByteArray(100000, 'x') << ""
                                  << "no line feed in its first 64 KB: no trend, SRDA or plot data";
    QTest::newRow("no such column") << trendFile(nist, false) << "Tau"
                                    << "no column \"Tau\"; its columns: Concentration, Gas, Alarms";
    QTest::newRow("2 points") << trendFile({0.2, 0.3}, false) << ""
                              << "2 usable points; the Allan deviation needs at least 3";
}

void TestAllanCommand::badInput()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, column);
    QFETCH(QString, said);
    const QString path = write(content);
    const Run run = allan(path, column);
    QCOMPARE(QString::fromUtf8(run.err), "telvar: " + path + ": " + said + "\n");
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.status, 2);
}

// The program itself, with no display to be had.
void TestAllanCommand::runsWithoutWindow()
{
    const QString path = write(trendFile(nist, false));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    QProcess telvar;
    telvar.setProcessEnvironment(env);
    telvar.start(QStringLiteral(TELVAR_BIN), {QStringLiteral("--allan"), path});
    QVERIFY(telvar.waitForFinished(10000));
    QCOMPARE(telvar.readAllStandardError(), QByteArray());
    QCOMPARE(telvar.readAllStandardOutput(), nistTable);
    QCOMPARE(telvar.exitCode(), 0);
}

QTEST_MAIN(TestAllanCommand)
#include "test_allancommand.moc"
