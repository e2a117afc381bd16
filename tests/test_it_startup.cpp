#include "simprocess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// The program as an operator starts it, its window on a real X server (Xvfb).
// It draws nothing with OpenGL, so no GL driver may be loaded: loading one
// takes longer than building the whole window.
class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void windowLoadsNoGlDriver()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            QSKIP("needs Xvfb (Debian: xvfb)");
        QProcess xvfb; // picks a free display itself and says which
        xvfb.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-nolisten", "tcp"});
        QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), 10000);
        QTemporaryDir home;
        QProcessEnvironment env = programEnvironment(home.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), ':' + QString::fromLatin1(xvfb.readLine().trimmed()));
        QProcess telvar;
        telvar.setProcessEnvironment(env);
        telvar.start(QStringLiteral(TELVAR_BIN), {"--demo", "--connect", "--autolog"});
        // The demo analyzer's first trend row comes well after the window is up.
        const QDir trend(home.path() + QStringLiteral("/QuorvaneData/Trend"));
        QTRY_VERIFY_WITH_TIMEOUT(!trend.entryList({"SN-*.csv"}, QDir::Files).isEmpty(), 20000);
        QFile maps(QStringLiteral("/proc/%1/maps").arg(telvar.processId()));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QByteArray loaded = maps.readAll();
        for (const char *driver : {"_dri.so", "libGLX_", "libLLVM"})
            QVERIFY2(!loaded.contains(driver), driver);
    }
};

QTEST_GUILESS_MAIN(StartupTest)
#include "test_it_startup.moc"
