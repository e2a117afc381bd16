#pragma once

#include "link/orininterface.h"

#include <QAbstractSocket>

class QTcpSocket;
class QTimer;

// The analyzer link over TCP. The analyzer's telnet-like service wants an access
// code first, and every write carries one extra line feed.
class EthernetInterface : public OrinInterface
{
    Q_OBJECT
public:
    static constexpr int connectTimeoutMs = 5000;
    static constexpr int writeTimeoutMs = 1000;
    static const QByteArray accessCode; // "8264\r"

    explicit EthernetInterface(QObject *parent = nullptr);

    // False while the program reconnects by itself: a dropped peer is then a
    // loss to recover from, not a box for the operator.
    bool errorBoxes = true;

public slots:
    bool openConnection(ConnectionSettings currentSettings) override;
    // The same open, but the wait for the connection (at most connectTimeoutMs)
    // runs on the event loop.
    void openInBackground(ConnectionSettings currentSettings) override;
    void closeConnection() override;
    void writeData(QByteArray data) override;
    QByteArray readData() override;
    bool connectionOpen() override;

    // Shows "error <code><socket's text>" in a box once the socket's signal has
    // returned. Errors while opening are left to the open's own failure text,
    // and a second box waits until the first is closed.
    void socketError(QAbstractSocket::SocketError code);

private:
    void socketDisconnected();
    // What follows the wait for the connection, either way.
    bool opened(bool connected, const ConnectionSettings &settings);
    void finishBackground(bool connected);
    void finishBackgroundLater(bool connected);

    QTcpSocket *socket;
    QTimer *connectTimer;
    ConnectionSettings backgroundSettings;
    bool backgroundOpening = false;
    bool opening = false;
    bool boxOpen = false;
    bool lostReported = false;
};
