#include "link/ethernetinterface.h"

#include "common/debuglog.h"
#include "common/dialogs.h"
#include "common/hostport.h"

#include <QDebug>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

const QByteArray EthernetInterface::accessCode = QByteArrayLiteral("8264\r");

EthernetInterface::EthernetInterface(QObject *parent)
    : OrinInterface(parent), socket(new QTcpSocket(this)), connectTimer(new QTimer(this))
{
    linkKind = Tcp;
    socket->setReadBufferSize(readPieceBytes);
    connectTimer->setSingleShot(true);
    connect(connectTimer, &QTimer::timeout, this, [this] { finishBackground(false); });
    connect(socket, &QTcpSocket::connected, this, [this] {
        if (backgroundOpening)
            finishBackgroundLater(true);
    });
    connect(socket, &QTcpSocket::readyRead, this, &OrinInterface::readyRead);
    connect(socket, &QTcpSocket::errorOccurred, this, &EthernetInterface::socketError);
    connect(socket, &QTcpSocket::disconnected, this, &EthernetInterface::socketDisconnected);
}

bool EthernetInterface::openConnection(ConnectionSettings currentSettings)
{
    socket->abort();
    opening = true;
    lostReported = false;
    socket->connectToHost(currentSettings.ipAddress, quint16(currentSettings.portNumber),
                          QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    return opened(socket->waitForConnected(connectTimeoutMs), currentSettings);
}

void EthernetInterface::openInBackground(ConnectionSettings currentSettings)
{
    socket->abort();
    opening = true;
    lostReported = false;
    backgroundOpening = true;
    backgroundSettings = currentSettings;
    connectTimer->start(connectTimeoutMs);
    socket->connectToHost(currentSettings.ipAddress, quint16(currentSettings.portNumber),
                          QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
}

void EthernetInterface::finishBackground(bool connected)
{
    if (!backgroundOpening)
        return;
    backgroundOpening = false;
    connectTimer->stop();
    emit openFinished(opened(connected, backgroundSettings));
}

// The socket's signals say how the open went; what follows (the access code,
// or letting the socket go) runs once the signal has returned.
void EthernetInterface::finishBackgroundLater(bool connected)
{
    QMetaObject::invokeMethod(
        this, [this, connected] { finishBackground(connected); }, Qt::QueuedConnection);
}

bool EthernetInterface::opened(bool connected, const ConnectionSettings &settings)
{
    opening = false;
    const QString port = QString::number(settings.portNumber);
    if (connected) {
        qCDebug(telvarDebug) << "Connected";
        open = true;
        // An IPv6 address in brackets, so that the port stands apart.
        connectionText = QStringLiteral("Connected to ") +
                         HostPort::join(settings.ipAddress, settings.portNumber);
        writeData(accessCode);
        return true;
    }
    socket->abort();
    open = false;
    errorText = QStringLiteral("Unable to open connection with ") + settings.ipAddress +
                QStringLiteral(", port: ") + port;
    connectionText = errorText;
    qCDebug(telvarDebug) << "Not connected...";
    return false;
}

void EthernetInterface::closeConnection()
{
    backgroundOpening = false;
    connectTimer->stop();
    open = false;
    socket->close();
}

void EthernetInterface::writeData(QByteArray data)
{
    // A socket the analyzer has closed is still "valid"; only a standing
    // connection takes bytes.
    if (!socket->isValid() || socket->state() != QAbstractSocket::ConnectedState)
        return;
    socket->write(data + '\n');
    socket->waitForBytesWritten(writeTimeoutMs);
}

QByteArray EthernetInterface::readData()
{
    return socket->isValid() ? socket->readAll() : QByteArray();
}

bool EthernetInterface::connectionOpen()
{
    return open;
}

void EthernetInterface::socketError(QAbstractSocket::SocketError code)
{
    qCDebug(telvarDebug) << "socket error happened" << int(code);
    if (backgroundOpening) {
        finishBackgroundLater(false);
        return;
    }
    if (opening || boxOpen || !errorBoxes)
        return;
    boxOpen = true;
    Dialogs::Message m;
    m.text = QStringLiteral("error ") + QString::number(int(code)) + socket->errorString();
    m.buttons = Dialogs::Ok;
    const QPointer<EthernetInterface> self(this);
    Dialogs::post(m, [self](int) {
        if (!self)
            return; // disconnected meanwhile
        self->boxOpen = false;
        qCDebug(telvarDebug) << "socket state" << self->socket->state();
    });
}

// The base's promise: a transport lost while open, not closed by us, is reported
// once. The link stays "open" until the main window closes it.
void EthernetInterface::socketDisconnected()
{
    if (!open || lostReported)
        return;
    lostReported = true;
    emit connectionLost(
        readableReason(socket->errorString(), tr("the analyzer closed the connection")));
}
