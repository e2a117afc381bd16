#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A dbus-daemon of the test's own, listening on a socket in a folder of its
// own, with no services to start on demand: a name is there only while a
// connection owns it. Stopped at the end.
class SessionBus
{
public:
    ~SessionBus();

    static bool installed();
    // Starts the daemon; false when it does not say its address.
    bool start();
    // A connection of its own to the bus, closed with the bus.
    QDBusConnection connect(const QString &name);

    QString address;

private:
    QTemporaryDir dir;
    QProcess daemon;
    QStringList names;
};
