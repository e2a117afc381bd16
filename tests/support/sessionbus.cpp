#include "support/sessionbus.h"

#include "support/testsupport.h"

#include <QFile>
#include <QStandardPaths>

SessionBus::~SessionBus()
{
    for (const QString &name : qAsConst(names))
        QDBusConnection::disconnectFromBus(name);
    if (daemon.state() != QProcess::NotRunning) {
        daemon.terminate();
        daemon.waitForFinished(5000);
    }
}

bool SessionBus::installed()
{
    return !QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty();
}

bool SessionBus::start()
{
    QFile config(dir.filePath(QStringLiteral("bus.conf")));
    if (!dir.isValid() || !config.open(QIODevice::WriteOnly))
        return false;
    config.write(
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig>\n  <type>session</type>\n  <listen>unix:path=" +
        dir.filePath(QStringLiteral("bus")).toLocal8Bit() +
        "</listen>\n  <auth>EXTERNAL</auth>\n"
        "  <policy context=\"default\">\n"
        "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
        "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n"
        "  </policy>\n</busconfig>\n");
    config.close();
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1")});
    if (!waitFor(
            [this] { return daemon.canReadLine() || daemon.state() == QProcess::NotRunning; }) ||
        !daemon.canReadLine())
        return false;
    address = QString::fromLocal8Bit(daemon.readLine()).trimmed();
    return !address.isEmpty();
}

QDBusConnection SessionBus::connect(const QString &name)
{
    names << name;
    return QDBusConnection::connectToBus(address, name);
}
