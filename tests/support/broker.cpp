#include "support/broker.h"

#include "support/testsupport.h"

#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

#include <mosquitto.h>

#include <mutex>
#include <pwd.h>
#include <unistd.h>

namespace {

bool run(const QString &dir, const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(program, arguments);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

bool TestBroker::configure()
{
    QString conf = QStringLiteral("log_dest file %1/mosquitto.log\n").arg(dir);
    // Run as root, mosquitto would become its own user, who cannot read the test's files.
    conf += QStringLiteral("user %1\n").arg(QString::fromLocal8Bit(getpwuid(geteuid())->pw_name));
    if (options.persistent)
        conf += QStringLiteral("persistence true\npersistence_location %1/\n").arg(dir);
    if (!options.user.isEmpty()) {
        QFile(dir + QStringLiteral("/passwords")).open(QIODevice::WriteOnly);
        if (!run(dir, QStandardPaths::findExecutable(QStringLiteral("mosquitto_passwd")),
                 {"-b", "passwords", options.user, options.password}))
            return false;
        conf += QStringLiteral("password_file %1/passwords\n").arg(dir);
    }
    conf += QStringLiteral("allow_anonymous %1\n").arg(options.user.isEmpty() ? "true" : "false");
    QTcpServer probe; // a free port
    probe.listen(QHostAddress::LocalHost, 0);
    port = probe.serverPort();
    conf += QStringLiteral("listener %1 127.0.0.1\n").arg(port);
    if (options.tls) {
        // A CA of the test's own, and the broker's certificate for 127.0.0.1 signed by it.
        const QString openssl = QStringLiteral("openssl");
        QFile ext(dir + QStringLiteral("/ext"));
        ext.open(QIODevice::WriteOnly);
        ext.write("subjectAltName=IP:127.0.0.1\n");
        ext.close();
        if (!run(dir, openssl,
                 {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out",
                  "ca.pem", "-days", "2", "-subj", "/CN=Telvar test CA"}) ||
            !run(dir, openssl,
                 {"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out",
                  "server.csr", "-subj", "/CN=127.0.0.1"}) ||
            !run(dir, openssl,
                 {"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                  "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "ext"}))
            return false;
        caFile = dir + QStringLiteral("/ca.pem");
        conf += QStringLiteral("cafile %1/ca.pem\ncertfile %1/server.pem\nkeyfile %1/server.key\n")
                    .arg(dir);
    }
    QFile f(dir + QStringLiteral("/mosquitto.conf"));
    return f.open(QIODevice::WriteOnly) && f.write(conf.toUtf8()) > 0;
}

bool TestBroker::start()
{
    if (port == 0 && !configure())
        return false;
    const QString sbin = QStandardPaths::findExecutable(QStringLiteral("mosquitto"),
                                                        {"/usr/sbin", "/usr/local/sbin"});
    process.start(sbin.isEmpty() ? QStringLiteral("mosquitto") : sbin,
                  {QStringLiteral("-c"), dir + QStringLiteral("/mosquitto.conf")});
    process.waitForStarted();
    return waitFor(
               [this] {
                   QTcpSocket probe;
                   probe.connectToHost(QHostAddress::LocalHost, quint16(port));
                   return probe.waitForConnected(100) || process.state() == QProcess::NotRunning;
               },
               10000) &&
           process.state() == QProcess::Running;
}

void TestBroker::stop()
{
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(2000);
}

struct TestSubscriber::State
{
    mutable std::mutex mutex;
    QList<Message> messages;
    QByteArray pattern;
    mosquitto *mosq = nullptr;
};

TestSubscriber::TestSubscriber(const TestBroker &broker, const QByteArray &pattern,
                               const QByteArray &clientId)
    : state(std::make_unique<State>())
{
    mosquitto_lib_init();
    state->pattern = pattern;
    state->mosq = mosquitto_new(clientId.isEmpty() ? nullptr : clientId.constData(),
                                clientId.isEmpty(), state.get());
    if (!broker.options.user.isEmpty())
        mosquitto_username_pw_set(state->mosq, broker.options.user.toUtf8().constData(),
                                  broker.options.password.toUtf8().constData());
    if (!broker.caFile.isEmpty())
        mosquitto_tls_set(state->mosq, QFile::encodeName(broker.caFile).constData(), nullptr,
                          nullptr, nullptr, nullptr);
    mosquitto_connect_callback_set(state->mosq, [](mosquitto *m, void *obj, int rc) {
        if (rc == 0)
            mosquitto_subscribe(m, nullptr, static_cast<State *>(obj)->pattern.constData(), 1);
    });
    mosquitto_message_callback_set(
        state->mosq, [](mosquitto *, void *obj, const mosquitto_message *m) {
            auto *s = static_cast<State *>(obj);
            std::lock_guard<std::mutex> hold(s->mutex);
            s->messages.append({m->topic,
                                QByteArray(static_cast<const char *>(m->payload), m->payloadlen),
                                m->retain});
        });
    mosquitto_reconnect_delay_set(state->mosq, 1, 1, false);
    mosquitto_connect_async(state->mosq, "127.0.0.1", broker.port, 30);
    mosquitto_loop_start(state->mosq);
}

TestSubscriber::~TestSubscriber()
{
    mosquitto_disconnect(state->mosq);
    mosquitto_loop_stop(state->mosq, true);
    mosquitto_destroy(state->mosq);
}

QList<TestSubscriber::Message> TestSubscriber::received(const QByteArray &topic) const
{
    std::lock_guard<std::mutex> hold(state->mutex);
    QList<Message> out;
    for (const Message &m : qAsConst(state->messages))
        if (topic.isEmpty() || m.topic == topic)
            out << m;
    return out;
}
