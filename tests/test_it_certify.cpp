#include "simprocess.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <quazip.h>
#include <quazipfile.h>

// An unattended verification as a technician starts it on a lab PC: the
// program on its own, pointed at the simulator's pty, started with --certify.
// Its paced second is shortened, so the 5 s ticks come every quarter second.
// Checked is the archive that comes out, also when the analyzer's cable is
// pulled in the middle of the reference cell scan and plugged in again.
class TestItCertify : public QObject
{
    Q_OBJECT
private slots:
    void unattendedRunWritesItsArchive_data();
    void unattendedRunWritesItsArchive();
};

void TestItCertify::unattendedRunWritesItsArchive_data()
{
    QTest::addColumn<QStringList>("drop");
    QTest::newRow("whole run") << QStringList();
    QTest::newRow("link lost in the reference cell scan")
        << QStringList{QStringLiteral("--drop-on"), QStringLiteral("lt:3"),
                       QStringLiteral("--restart-delay"), QStringLiteral("400")};
    QTest::newRow("another analyzer comes back")
        << QStringList{QStringLiteral("--drop-on"),       QStringLiteral("lt:3"),
                       QStringLiteral("--restart-delay"), QStringLiteral("400"),
                       QStringLiteral("--return-serial"), QStringLiteral("9999")};
}

void TestItCertify::unattendedRunWritesItsArchive()
{
    QFETCH(QStringList, drop);
    QTemporaryDir home;
    QVERIFY(home.isValid());
    // The command list is read from the working folder.
    QFile commands(home.filePath(QStringLiteral("Get_Factory_Settings.txt")));
    QVERIFY(commands.open(QIODevice::WriteOnly));
    commands.write("sver\ncalfactor\nlasersetpoint\n");
    commands.close();

    const QString device = home.filePath(QStringLiteral("orin"));
    SimProcess sim(QStringList{QStringLiteral("--pty"), QStringLiteral("--serial"),
                               QStringLiteral("4321"), QStringLiteral("--seed"),
                               QStringLiteral("3"), QStringLiteral("--link"), device} +
                   drop);
    QVERIFY(sim.ready());
    const bool another = drop.contains(QStringLiteral("--return-serial"));

    QProcess telvar;
    QProcessEnvironment env = programEnvironment(home.path());
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    telvar.setProcessEnvironment(env);
    telvar.setWorkingDirectory(home.path());
    telvar.start(QStringLiteral(TELVAR_BIN),
                 {QStringLiteral("--serial"), device, QStringLiteral("--interval"),
                  QStringLiteral("1"), QStringLiteral("--pace"), QStringLiteral("50"),
                  QStringLiteral("--certify"), QStringLiteral("--scans"),
                  QStringLiteral("optimize,refcell,settings"), QStringLiteral("--connect")});
    QVERIFY(telvar.waitForStarted());

    // The archive's path on standard output once the run has ended, or on
    // standard error why it failed; the interruptions follow on standard error.
    QString out, err;
    QVERIFY2(waitFor(
                 [&] {
                     out += QString::fromLocal8Bit(telvar.readAllStandardOutput());
                     err += QString::fromLocal8Bit(telvar.readAllStandardError());
                     return out.contains(QLatin1Char('\n')) ||
                            err.contains(QStringLiteral("verification failed")) ||
                            telvar.state() == QProcess::NotRunning;
                 },
                 40000),
             qPrintable(err));
    waitFor([] { return false; }, 300);
    err += QString::fromLocal8Bit(telvar.readAllStandardError());
    telvar.kill();
    telvar.waitForFinished(5000);
    const QDir certDir(home.filePath(QStringLiteral("QuorvaneData/Certification")));
    if (another) {
        // Cancelled, naming both analyzers; nothing of either in the first one's files.
        QVERIFY2(err.contains(QStringLiteral("Performance verification failed: Another analyzer "
                                             "answered when the connection came back: serial "
                                             "number 9999, not 4321.")),
                 qPrintable(err));
        QVERIFY(out.isEmpty());
        QCOMPARE(certDir.entryList({QStringLiteral("*rcs*"), QStringLiteral("*.zip")}, QDir::Files),
                 QStringList());
        return;
    }
    const QString zipPath = out.trimmed();
    QCOMPARE(QFileInfo(zipPath).absolutePath(), certDir.absolutePath());
    QVERIFY2(QFileInfo(zipPath).fileName().contains(QRegularExpression(
                 "^CertificationData_4321_\\d{4}-\\w{3}-\\d\\d-\\d+-\\d\\d\\.zip$")),
             qPrintable(zipPath));

    QuaZip zip(zipPath);
    QVERIFY(zip.open(QuaZip::mdUnzip));
    QMap<QString, QByteArray> members;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFile f(&zip);
        QVERIFY(f.open(QIODevice::ReadOnly));
        members.insert(zip.getCurrentFileName(), f.readAll());
    }
    QCOMPARE(members.size(), 2);
    for (auto it = members.cbegin(); it != members.cend(); ++it) {
        QFile f(certDir.filePath(it.key()));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(it.value(), f.readAll());
    }

    // The reference cell download, up to its end marker.
    const QStringList rcs = members.keys().filter(QRegularExpression("^4321_rcs_.*\\.txt$"));
    QCOMPARE(rcs.size(), 1);
    const QList<QByteArray> rows = members.value(rcs.first()).split('\n');
    // "rcs 5 35 0.02 ...": 5 to 35 in steps of 0.02, and nothing after the last line end.
    QCOMPARE(rows.size(), 1502);
    QVERIFY(rows.at(0).startsWith("5.0000 "));
    QVERIFY(rows.at(1).startsWith("5.0200 "));
    QVERIFY(rows.at(1500).startsWith("35.0000 "));
    QVERIFY(rows.at(1501).isEmpty());

    // Each settings command followed by its answer.
    const QStringList settings =
        members.keys().filter(QRegularExpression("^4321_\\d{4}-\\w{3}-\\d\\d_Settings\\.txt$"));
    QCOMPARE(settings.size(), 1);
    // In the order they happened: each answer after its own command, and nothing
    // else in between. (On a busy machine an answer may come after the next
    // command has gone out.)
    const QByteArray text = members.value(settings.first());
    QVERIFY2(text.endsWith("\r\n"), text.constData());
    QList<QByteArray> lines = text.mid(text.indexOf("sver")).split('\n');
    lines.removeLast(); // after the last line end
    const QList<QByteArray> sent{"sver\r", "calfactor\r", "lasersetpoint\r"};
    const QList<QByteArray> answers{"5.10\r", "1.0000 0.9990\r", "95.12 20.98\r"};
    int commandsSeen = 0, answersSeen = 0;
    for (const QByteArray &line : lines) {
        if (commandsSeen < sent.size() && line == sent.at(commandsSeen))
            ++commandsSeen;
        else if (answersSeen < commandsSeen && line == answers.at(answersSeen))
            ++answersSeen;
        else
            QFAIL(text.constData());
    }
    QVERIFY2(commandsSeen == sent.size() && answersSeen == answers.size(), text.constData());

    // No status report and no identity answer went into any member.
    for (const QByteArray &member : qAsConst(members)) {
        for (const char *foreign : {"Faults", "Laser Status", "ORIN OK", "H2O"})
            QVERIFY2(!member.contains(foreign), foreign);
    }
    // An interruption is named, with its time.
    const QRegularExpression lost(QStringLiteral(
        "Connection lost at \\d\\d:\\d\\d:\\d\\d; Reference Cell Scan restarted\\n"));
    QCOMPARE(err.contains(lost), !drop.isEmpty());
}

QTEST_MAIN(TestItCertify)
#include "test_it_certify.moc"
