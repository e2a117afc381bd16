#include "fleet/mqttclient.h"

#include <QFile>
#include <QMetaObject>

#include <mosquitto.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int keepAliveSeconds = 30;
constexpr unsigned firstDelay = 1, longestDelay = 30;

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

} // namespace

// What the GUI thread and the connection's thread share. The thread holds it
// until its loop has ended, so the libmosquitto handle outlives both sides.
struct MqttClient::Shared
{
    std::mutex mutex;
    MqttClient *owner = nullptr; // none once stopped: nothing more is posted
    bool stopping = false;
    bool finished = false;
    std::condition_variable changed;
    std::vector<QByteArray> subscriptions;
    // Set where onConnect takes its copy of the subscriptions: from then on a
    // new one is subscribed at once, as the copy no longer holds it.
    bool sessionUp = false;
    QString lastError; // libmosquitto's last error line (TLS failures say why there)
    mosquitto *mosq = nullptr;

    ~Shared()
    {
        if (mosq)
            mosquitto_destroy(mosq);
    }

    // Runs f(owner) on the owner's thread, unless the owner has stopped this
    // connection. Call with the mutex held.
    template <typename F> void postLocked(F f)
    {
        if (MqttClient *o = owner)
            QMetaObject::invokeMethod(
                o, [o, f] { f(o); }, Qt::QueuedConnection);
    }
    template <typename F> void post(F f)
    {
        std::lock_guard<std::mutex> hold(mutex);
        postLocked(std::move(f));
    }

    static Shared &of(void *obj) { return *static_cast<Shared *>(obj); }

    static void onConnect(mosquitto *m, void *obj, int rc)
    {
        Shared &s = of(obj);
        std::vector<QByteArray> topics;
        {
            std::lock_guard<std::mutex> hold(s.mutex);
            if (s.stopping) {
                // Stopped while libmosquitto was reconnecting on its own.
                mosquitto_disconnect(m);
                return;
            }
            topics = s.subscriptions;
            s.sessionUp = rc == 0;
        }
        if (rc != 0) {
            QString reason = QString::fromUtf8(mosquitto_connack_string(rc));
            // 4 and 5 are what a wrong user name or password gets.
            if (rc == 4 || rc == 5)
                reason =
                    QStringLiteral("user name or password refused (") + reason + QLatin1Char(')');
            s.post([p = &s, reason](MqttClient *o) { o->disconnectedEvent(p, reason); });
            return;
        }
        for (const QByteArray &t : topics)
            mosquitto_subscribe(m, nullptr, t.constData(), 1);
        s.post([p = &s](MqttClient *o) { o->connectedEvent(p); });
    }

    static void onDisconnect(mosquitto *, void *obj, int rc)
    {
        Shared &s = of(obj);
        {
            std::lock_guard<std::mutex> hold(s.mutex);
            s.sessionUp = false;
        }
        QString reason;
        if (rc == MOSQ_ERR_ERRNO)
            reason = QString::fromLocal8Bit(std::strerror(errno));
        else if (rc == MOSQ_ERR_KEEPALIVE)
            reason = QStringLiteral("the broker did not answer in time");
        else if (rc == MOSQ_ERR_CONN_REFUSED)
            return; // said by onConnect
        else
            reason = QString::fromUtf8(mosquitto_strerror(rc));
        s.post([p = &s, reason](MqttClient *o) { o->disconnectedEvent(p, reason); });
    }

    static void onPublish(mosquitto *, void *obj, int mid)
    {
        Shared &s = of(obj);
        s.post([mid](MqttClient *o) { emit o->published(mid); });
    }

    static void onMessage(mosquitto *, void *obj, const mosquitto_message *m)
    {
        Shared &s = of(obj);
        const QByteArray topic(m->topic);
        const QByteArray payload(static_cast<const char *>(m->payload), m->payloadlen);
        const bool retained = m->retain;
        s.post([topic, payload, retained](MqttClient *o) {
            emit o->messageReceived(topic, payload, retained);
        });
    }

    static void onLog(mosquitto *, void *obj, int level, const char *text)
    {
        if (level != MOSQ_LOG_ERR)
            return;
        Shared &s = of(obj);
        std::lock_guard<std::mutex> hold(s.mutex);
        s.lastError = QString::fromUtf8(text);
    }

    // The connection's thread: libmosquitto's loop reconnects by itself, but
    // gives up on a TLS failure; that is tried again at the longest back-off.
    static void run(std::shared_ptr<Shared> s, QByteArray host, int port)
    {
        // A broker not reached here is tried again by the loop.
        mosquitto_connect_async(s->mosq, host.constData(), port, keepAliveSeconds);
        while (true) {
            const int rc = mosquitto_loop_forever(s->mosq, 1000, 1);
            std::unique_lock<std::mutex> hold(s->mutex);
            if (s->stopping)
                break;
            const QString reason =
                s->lastError.isEmpty() ? QString::fromUtf8(mosquitto_strerror(rc)) : s->lastError;
            s->lastError.clear();
            s->postLocked(
                [p = s.get(), reason](MqttClient *o) { o->disconnectedEvent(p, reason); });
            s->changed.wait_for(hold, std::chrono::seconds(longestDelay),
                                [&] { return s->stopping; });
            if (s->stopping)
                break;
            hold.unlock();
            mosquitto_reconnect(s->mosq);
        }
        std::lock_guard<std::mutex> hold(s->mutex);
        s->finished = true;
        s->changed.notify_all();
    }
};

MqttClient::MqttClient(QObject *parent) : QObject(parent)
{
    initLibrary();
}

MqttClient::~MqttClient()
{
    stop();
}

QString MqttClient::start(const BrokerConfig &broker, const Will *will)
{
    stop();
    auto s = std::make_shared<Shared>();
    // A client id made by the broker; the session is clean, as the spool
    // keeps what must not be lost.
    s->mosq = mosquitto_new(nullptr, true, s.get());
    if (!s->mosq)
        return QStringLiteral("Cannot make an MQTT client.");
    mosquitto_threaded_set(s->mosq, true);
    mosquitto_int_option(s->mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_reconnect_delay_set(s->mosq, firstDelay, longestDelay, true);
    mosquitto_connect_callback_set(s->mosq, &Shared::onConnect);
    mosquitto_disconnect_callback_set(s->mosq, &Shared::onDisconnect);
    mosquitto_publish_callback_set(s->mosq, &Shared::onPublish);
    mosquitto_message_callback_set(s->mosq, &Shared::onMessage);
    mosquitto_log_callback_set(s->mosq, &Shared::onLog);
    if (!broker.user.isEmpty() &&
        mosquitto_username_pw_set(s->mosq, broker.user.toUtf8().constData(),
                                  broker.password.isEmpty() ? nullptr
                                                            : broker.password.constData()) != 0)
        return QStringLiteral("The broker user name is not valid.");
    if (!broker.caFile.isEmpty()) {
        const int rc = mosquitto_tls_set(s->mosq, QFile::encodeName(broker.caFile).constData(),
                                         nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return QStringLiteral("TLS with %1: %2")
                .arg(broker.caFile, QString::fromUtf8(mosquitto_strerror(rc)));
    }
    if (will && mosquitto_will_set(s->mosq, will->topic.constData(), will->payload.size(),
                                   will->payload.constData(), 1, true) != MOSQ_ERR_SUCCESS)
        return QStringLiteral("The last will's topic is not valid: ") +
               QString::fromUtf8(will->topic);
    s->owner = this;
    shared = s;
    std::thread(&Shared::run, s, broker.host.toUtf8(), broker.port).detach();
    return QString();
}

void MqttClient::stop(int waitMs)
{
    if (!shared)
        return;
    const std::shared_ptr<Shared> s = std::move(shared);
    shared.reset();
    up = false;
    {
        std::lock_guard<std::mutex> hold(s->mutex);
        s->owner = nullptr;
        s->stopping = true;
    }
    s->changed.notify_all();
    // Queued messages go out before the goodbye; a clean goodbye keeps the
    // broker from sending the last will.
    mosquitto_disconnect(s->mosq);
    if (waitMs > 0) {
        std::unique_lock<std::mutex> hold(s->mutex);
        s->changed.wait_for(hold, std::chrono::milliseconds(waitMs), [&] { return s->finished; });
    }
}

int MqttClient::publish(const QByteArray &topic, const QByteArray &payload, int qos, bool retain)
{
    if (!shared || !up)
        return -1;
    int mid = 0;
    const int rc = mosquitto_publish(shared->mosq, &mid, topic.constData(), payload.size(),
                                     payload.constData(), qos, retain);
    return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

void MqttClient::subscribe(const QByteArray &pattern)
{
    if (!shared)
        return;
    // Not by `up`: the connection may be made before its signal arrives here.
    // libmosquitto is called without the mutex, which its callbacks take.
    bool now = false;
    {
        std::lock_guard<std::mutex> hold(shared->mutex);
        shared->subscriptions.push_back(pattern);
        now = shared->sessionUp;
    }
    if (now)
        mosquitto_subscribe(shared->mosq, nullptr, pattern.constData(), 1);
}

void MqttClient::connectedEvent(const Shared *from)
{
    if (from != shared.get())
        return; // from a connection stopped since
    up = true;
    emit connected();
}

void MqttClient::disconnectedEvent(const Shared *from, const QString &reason)
{
    if (from != shared.get())
        return;
    up = false;
    emit disconnected(reason);
}
