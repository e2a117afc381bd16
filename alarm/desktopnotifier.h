#pragma once

#include "alarm/alarm.h"

#include <QDBusConnection>
#include <QHash>
#include <QObject>

#include <optional>

class QDBusPendingCall;

// Puts alarms on the desktop through the freedesktop notification service
// (org.freedesktop.Notifications). Each alarm has one notification: a raise
// shows it (a fault stays until it is cleared, a warning for the server's usual
// time), a clear replaces it by a "cleared" one that goes away by itself. An
// acknowledgement changes nothing: the alarm still stands, and the notification
// says so until the clear.
//
// Every call is asynchronous. Without a bus, or without a notification server
// on it, nothing fails: trouble() says so once, and again only after a
// notification got through in between.
class DesktopNotifier : public QObject
{
    Q_OBJECT
public:
    // How long a call may wait for the server's answer.
    static constexpr int callTimeoutMs = 10000;

    explicit DesktopNotifier(const QDBusConnection &bus = QDBusConnection::sessionBus(),
                             QObject *parent = nullptr);

    void deliver(const AlarmEvent &event);

signals:
    void trouble(const QString &text);

private:
    // One alarm's notification: the id the server gave it, and while a Notify
    // is on its way, the newest change to show once its id is known.
    struct Shown
    {
        quint32 id = 0;
        bool waiting = false;
        std::optional<AlarmEvent> next;
    };

    void notify(const AlarmEvent &event, quint32 replaces);
    void answered(const QString &name, const QDBusPendingCall &call);

    QDBusConnection bus;
    QHash<QString, Shown> shown; // by alarm name
    bool troubleSaid = false;
};
