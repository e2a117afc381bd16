#include "fleet/mqttclient.h"

#include <QFile>
#include <QMetaObject>

#include <mosquitto.h>

#include <algorithm>
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
// A broker that takes the connection but does not answer it is told after this.
constexpr int answerMs = 5000;

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
    QString lastError;  // libmosquitto's last error line (TLS failures say why there)
    QString dropReason; // why the current attempt ended
    QString caFile;
    bool wasUp = false; // the current attempt got as far as a session
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
                mosquitto_disconnect(m);
                return;
            }
            topics = s.subscriptions;
            s.sessionUp = rc == 0;
            if (rc != 0) {
                // 4 and 5 are what a wrong user name or password gets.
                const QString said = QString::fromUtf8(mosquitto_connack_string(rc));
                s.dropReason = rc == 4 || rc == 5 ? QStringLiteral("user name or password "
                                                                   "refused (") +
                                                        said + QLatin1Char(')')
                                                  : said;
                return;
            }
            s.wasUp = true;
        }
        for (const QByteArray &t : topics)
            mosquitto_subscribe(m, nullptr, t.constData(), 1);
        s.post([p = &s](MqttClient *o) { o->connectedEvent(p); });
    }

    static void onDisconnect(mosquitto *, void *obj, int rc)
    {
        Shared &s = of(obj);
        const int error = errno;
        std::lock_guard<std::mutex> hold(s.mutex);
        s.sessionUp = false;
        // The first reason of an attempt is the one worth telling.
        if (s.dropReason.isEmpty())
            s.dropReason = reasonOf(rc, error);
    }

    static QString reasonOf(int rc, int error)
    {
        if (rc == MOSQ_ERR_ERRNO)
            return QString::fromLocal8Bit(std::strerror(error));
        if (rc == MOSQ_ERR_KEEPALIVE)
            return QStringLiteral("the broker did not answer in time");
        return QString::fromUtf8(mosquitto_strerror(rc));
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
        if (s.lastError.startsWith(QLatin1String("Error: ")))
            s.lastError.remove(0, 7);
    }

    bool isStopping()
    {
        std::lock_guard<std::mutex> hold(mutex);
        return stopping;
    }

    // One attempt: connects and runs the connection until it ends. Returns why
    // it ended, and whether it had been up.
    QString attempt(const QByteArray &host, int port, bool &hadSession)
    {
        {
            std::lock_guard<std::mutex> hold(mutex);
            dropReason.clear();
            lastError.clear();
            wasUp = false;
        }
        // Every attempt from the start (a name lookup included), so that each
        // failure comes back here to be told, rather than being retried
        // silently inside libmosquitto.
        errno = 0;
        int rc = mosquitto_connect_async(mosq, host.constData(), port, keepAliveSeconds);
        const int error = errno;
        // TLS failing before a byte was sent is the CA file's doing.
        const bool badCa = rc == MOSQ_ERR_TLS;
        const auto began = std::chrono::steady_clock::now();
        while (rc == MOSQ_ERR_SUCCESS) {
            rc = mosquitto_loop(mosq, 200, 1);
            std::lock_guard<std::mutex> hold(mutex);
            hadSession = wasUp;
            if (stopping)
                return QString();
            if (rc == MOSQ_ERR_SUCCESS && !wasUp &&
                std::chrono::steady_clock::now() - began > std::chrono::milliseconds(answerMs))
                return QStringLiteral("the broker did not answer within %1 s").arg(answerMs / 1000);
        }
        std::lock_guard<std::mutex> hold(mutex);
        hadSession = wasUp;
        if (badCa)
            return QStringLiteral("the CA file %1 holds no usable certificate (%2)")
                .arg(caFile, lastError);
        if (rc == MOSQ_ERR_EAI)
            return QStringLiteral("the name %1 does not resolve").arg(QString::fromUtf8(host));
        if (!lastError.isEmpty())
            return lastError; // TLS failures say why there
        if (!dropReason.isEmpty())
            return dropReason;
        return reasonOf(rc, error);
    }

    // The connection's thread: attempt after attempt, each failure told once,
    // with a back-off of 1, 2, 4 … 30 s that starts again after a connection
    // that was up.
    static void run(std::shared_ptr<Shared> s, QByteArray host, int port)
    {
        unsigned delay = firstDelay;
        while (!s->isStopping()) {
            bool hadSession = false;
            const QString reason = s->attempt(host, port, hadSession);
            std::unique_lock<std::mutex> hold(s->mutex);
            if (s->stopping)
                break;
            s->postLocked(
                [p = s.get(), reason](MqttClient *o) { o->disconnectedEvent(p, reason); });
            if (hadSession)
                delay = firstDelay;
            s->changed.wait_for(hold, std::chrono::seconds(delay), [&] { return s->stopping; });
            delay = std::min(delay * 2, longestDelay);
        }
        // The goodbye (and what was queued before it) goes out before the end.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < until &&
               mosquitto_loop(s->mosq, 100, 1) == MOSQ_ERR_SUCCESS) {
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
    s->caFile = broker.caFile;
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
