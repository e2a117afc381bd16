#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

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

// A notification server as a desktop has one: every call recorded, ids handed
// out from 1, a replaced notification keeps its id.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList calls;

public slots:
    uint Notify(const QString &app, uint replaces, const QString &, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &hints, int expires)
    {
        const uint id = replaces ? replaces : ++last;
        calls << QStringLiteral("%1 %2>%3 u%4 t%5 %6 | %7")
                     .arg(app)
                     .arg(replaces)
                     .arg(id)
                     .arg(hints.value(QStringLiteral("urgency")).toInt())
                     .arg(expires)
                     .arg(summary, body);
        return id;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }

private:
    uint last = 0;
};
