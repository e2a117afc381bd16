#pragma once

#include "fleet/fleetconfig.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

// One connection to an MQTT broker through libmosquitto, kept up on a thread of
// its own: looking up the name, connecting, the TLS handshake, waiting for a
// broker that does not answer and reconnecting after 1, 2, 4 … 30 s all happen
// there, never in the GUI thread. What the broker says arrives as queued
// signals, every failed attempt with its reason. Publishing only queues the
// message for that thread.
class MqttClient : public QObject
{
    Q_OBJECT
public:
    struct Will
    {
        QByteArray topic;
        QByteArray payload; // sent retained, QoS 1
    };

    explicit MqttClient(QObject *parent = nullptr);
    ~MqttClient() override;

    // Starts connecting; a running connection is stopped first. An error text
    // for settings libmosquitto refuses, or empty.
    QString start(const BrokerConfig &broker, const Will *will = nullptr);
    // Says goodbye to the broker and lets the thread go. With `waitMs`, waits
    // at most that long for the goodbye to be sent (at exit).
    void stop(int waitMs = 0);
    bool isRunning() const { return bool(shared); }
    bool isConnected() const { return up; }
    // Queues a message for the broker: its message id, or -1 when not connected.
    int publish(const QByteArray &topic, const QByteArray &payload, int qos, bool retain);
    // Subscribes (QoS 1), now and again after every reconnect.
    void subscribe(const QByteArray &pattern);

signals:
    void connected();
    // Lost, refused, not reached or not answering (within 5 s); the thread
    // tries again by itself.
    void disconnected(const QString &reason);
    // The broker has a QoS 1 message (the id publish() returned).
    void published(int mid);
    void messageReceived(const QByteArray &topic, const QByteArray &payload, bool retained);

private:
    struct Shared;
    void connectedEvent(const Shared *from);
    void disconnectedEvent(const Shared *from, const QString &reason);

    std::shared_ptr<Shared> shared;
    bool up = false;
};
