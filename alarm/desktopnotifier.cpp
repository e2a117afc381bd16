#include "alarm/desktopnotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");

// The urgency levels freedesktop notification servers know (0 is low).
constexpr uchar normalUrgency = 1;
constexpr uchar criticalUrgency = 2;

} // namespace

DesktopNotifier::DesktopNotifier(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), bus(bus)
{}

void DesktopNotifier::deliver(const AlarmEvent &event)
{
    if (event.change == AlarmEvent::Change::Acknowledged)
        return;
    Shown &s = shown[event.name];
    if (s.waiting) {
        // Its id is on its way: what this change replaces is not known yet.
        s.next = event;
        return;
    }
    notify(event, s.id);
}

void DesktopNotifier::notify(const AlarmEvent &event, quint32 replaces)
{
    const AlarmCondition condition = alarmCondition(event.name);
    const QString title = condition.title.isEmpty() ? event.name : condition.title;
    const bool raised = event.change == AlarmEvent::Change::Raised;
    const bool fault = event.severity == AlarmSeverity::Fault;

    QString facts = event.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!event.serial.isEmpty())
        facts = tr("Analyzer %1, %2").arg(event.serial, facts);
    // Servers that take markup would read a "<" in the text as a tag.
    const QString body = (event.text + QLatin1Char('\n') + facts).toHtmlEscaped();

    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"),
                 QVariant::fromValue(raised && fault ? criticalUrgency : normalUrgency));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("telvar"));
    // 0: until it is replaced; -1: the server's usual time.
    const int expires = raised && fault ? 0 : -1;

    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    call << QStringLiteral("Telvar") << replaces << QStringLiteral("telvar")
         << (raised ? title : tr("%1 cleared").arg(title)) << body << QStringList() << hints
         << expires;
    shown[event.name].waiting = true;
    const QString name = event.name;
    if (!bus.isConnected()) {
        // No call is made, and no answer would come: the error is the answer.
        const QDBusPendingCall failed = QDBusPendingCall::fromError(bus.lastError());
        QMetaObject::invokeMethod(
            this, [this, name, failed] { answered(name, failed); }, Qt::QueuedConnection);
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, name](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                answered(name, *w);
            });
}

void DesktopNotifier::answered(const QString &name, const QDBusPendingCall &call)
{
    const QDBusPendingReply<quint32> reply = call;
    Shown &s = shown[name];
    s.waiting = false;
    if (reply.isError()) {
        s.id = 0;
        if (!troubleSaid) {
            troubleSaid = true;
            emit trouble(
                tr("Alarms cannot be shown on the desktop: %1").arg(reply.error().message()));
        }
    } else {
        s.id = reply.value();
        troubleSaid = false;
    }
    if (s.next) {
        const AlarmEvent next = *s.next;
        s.next.reset();
        notify(next, s.id);
    }
}
