#include "support/broker.h"

#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

#include <mosquitto.h>

#include <mutex>
#include <pwd.h>
#include <unistd.h>

namespace {

QString sbinTool(const QString &name)
{
    const QString found = QStandardPaths::findExecutable(name, {"/usr/sbin", "/usr/local/sbin"});
    return found.isEmpty() ? QStandardPaths::findExecutable(name) : found;
}

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

bool runOpenssl(const QString &dir, const QStringList &arguments)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral("openssl"), arguments);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

TestBroker::TestBroker(const QString &dir, const Options &options) : options(options), dir(dir) {}

bool TestBroker::makeCertificates()
{
    QFile ext(dir + QStringLiteral("/ext"));
    ext.open(QIODevice::WriteOnly);
    ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    ext.close();
    caFile = dir + QStringLiteral("/ca.pem");
    return runOpenssl(dir, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key",
                            "-out", "ca.pem", "-days", "2", "-subj", "/CN=Telvar test CA"}) &&
           runOpenssl(dir, {"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out",
                            "server.csr", "-subj", "/CN=127.0.0.1"}) &&
           runOpenssl(dir,
                      {"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                       "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "ext"});
}

bool TestBroker::start()
{
    if (port == 0) {
        if (options.tls && !makeCertificates())
            return false;
        QString conf;
        // Run as root, mosquitto would switch to its own user, who cannot read the test's files.
        conf +=
            QStringLiteral("user %1\n").arg(QString::fromLocal8Bit(getpwuid(geteuid())->pw_name));
        conf += QStringLiteral("log_dest file %1/mosquitto.log\n").arg(dir);
        if (options.persistent)
            conf += QStringLiteral("persistence true\npersistence_location %1/\n").arg(dir);
        if (!options.user.isEmpty()) {
            const QString pw = dir + QStringLiteral("/passwords");
            QFile(pw).open(QIODevice::WriteOnly);
            QProcess::execute(QStandardPaths::findExecutable(QStringLiteral("mosquitto_passwd")),
                              {"-b", pw, options.user, options.password});
            conf += QStringLiteral("password_file %1\n").arg(pw);
        }
        conf +=
            QStringLiteral("allow_anonymous %1\n").arg(options.user.isEmpty() ? "true" : "false");
        port = freePort();
        conf += QStringLiteral("listener %1 127.0.0.1\n").arg(port);
        if (options.tls)
            conf += QStringLiteral("cafile %1/ca.pem\ncertfile %1/server.pem\nkeyfile "
                                   "%1/server.key\n")
                        .arg(dir);
        QFile f(dir + QStringLiteral("/mosquitto.conf"));
        if (!f.open(QIODevice::WriteOnly) || f.write(conf.toUtf8()) < 0)
            return false;
    }
    process.start(sbinTool(QStringLiteral("mosquitto")),
                  {QStringLiteral("-c"), dir + QStringLiteral("/mosquitto.conf")});
    process.waitForStarted();
    const bool up =
        waitFor(
            [this] {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, quint16(port));
                return probe.waitForConnected(100) || process.state() == QProcess::NotRunning;
            },
            10000) &&
        process.state() == QProcess::Running;
    if (!up) {
        QFile log(dir + QStringLiteral("/mosquitto.log"));
        log.open(QIODevice::ReadOnly);
        qWarning() << "mosquitto did not start:" << log.readAll();
    }
    return up;
}

void TestBroker::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
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
    state->mosq = mosquitto_new(clientId.isEmpty() ? nullptr : clientId.constData(),
                                clientId.isEmpty(), state.get());
    state->pattern = pattern;
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
            s->messages.append({QByteArray(m->topic),
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

QByteArray TestSubscriber::last(const QByteArray &topic) const
{
    const QList<Message> on = received(topic);
    return on.isEmpty() ? QByteArray() : on.last().payload;
}
