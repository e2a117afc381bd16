#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>

#include <memory>

// A mosquitto broker of the test's own on a free loopback port, configured by a
// file the test writes into `dir`, stopped at the end.
class TestBroker
{
public:
    struct Options
    {
        bool tls = false;        // a certificate of a CA made by openssl for the test
        QString user, password;  // anonymous clients are refused
        bool persistent = false; // sessions survive a restart
    };

    TestBroker(const QString &dir, const Options &options) : options(options), dir(dir) {}
    ~TestBroker() { stop(); }

    // Starts it (again on the same port); false when it does not listen.
    bool start();
    // SIGTERM, as a service manager stops it.
    void stop();
    QString address() const { return QStringLiteral("127.0.0.1:") + QString::number(port); }

    const Options options;
    int port = 0;
    QString caFile; // with tls

private:
    bool configure();

    QString dir;
    QProcess process;
};

// A libmosquitto client of the test's own that records what it receives.
class TestSubscriber
{
public:
    struct Message
    {
        QByteArray topic, payload;
        bool retained = false;
    };

    // `clientId` makes a persistent session that a broker restart keeps.
    TestSubscriber(const TestBroker &broker, const QByteArray &pattern,
                   const QByteArray &clientId = QByteArray());
    ~TestSubscriber();

    // What arrived so far on `topic`, or on any topic.
    QList<Message> received(const QByteArray &topic = QByteArray()) const;
    // The payload of the last message on `topic`, or empty.
    QByteArray last(const QByteArray &topic) const
    {
        const QList<Message> on = received(topic);
        return on.isEmpty() ? QByteArray() : on.last().payload;
    }

private:
    struct State;
    std::unique_ptr<State> state;
};
