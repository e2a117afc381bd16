#include "simprocess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// The program started as an operator starts it, with its window on a real X
// server (Xvfb). It draws nothing with OpenGL, so no GL driver may be loaded:
// loading one takes longer than building the whole window.
class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void windowLoadsNoGlDriver();
};

void StartupTest::windowLoadsNoGlDriver()
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        QSKIP("needs Xvfb (Debian: xvfb)");
    // Xvfb picks a free display itself and says which on standard output.
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-nolisten", "tcp"});
    QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), 10000);
    const QString display = QLatin1Char(':') + QString::fromLatin1(xvfb.readLine().trimmed());

    QTemporaryDir home;
    QProcessEnvironment env = programEnvironment(home.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), display);
    QProcess telvar;
    telvar.setProcessEnvironment(env);
    telvar.start(QStringLiteral(TELVAR_BIN), {"--demo", "--connect", "--autolog"});
    // The demo analyzer's first trend row comes well after the window is up.
    const QDir trend(home.path() + QStringLiteral("/QuorvaneData/Trend"));
    QTRY_VERIFY_WITH_TIMEOUT(!trend.entryList({"SN-*.csv"}, QDir::Files).isEmpty(), 20000);

    QFile maps(QStringLiteral("/proc/%1/maps").arg(telvar.processId()));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    QSet<QString> drivers;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        if (line.contains("_dri.so") || line.contains("libGLX_") || line.contains("libLLVM"))
            drivers << QString::fromLatin1(line.mid(line.lastIndexOf(' ') + 1));
    }
    telvar.kill();
    telvar.waitForFinished();
    xvfb.terminate();
    xvfb.waitForFinished();
    QVERIFY2(drivers.isEmpty(), qPrintable(drivers.values().join(QLatin1Char(' '))));
}

QTEST_GUILESS_MAIN(StartupTest)
#include "test_it_startup.moc"
