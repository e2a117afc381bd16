#include "link/serialinterface.h"

#include <QSerialPort>

SerialInterface::SerialInterface(QObject *parent) : OrinInterface(parent), port(new QSerialPort)
{
    linkKind = Serial;
    port->setReadBufferSize(readPieceBytes);
    connect(port, &QSerialPort::readyRead, this, &OrinInterface::readyRead);
    connect(port, &QSerialPort::errorOccurred, this, &SerialInterface::portError);
}

SerialInterface::~SerialInterface()
{
    if (open)
        port->close();
    delete port;
}

bool SerialInterface::openConnection(ConnectionSettings currentSettings)
{
    port->setPortName(currentSettings.name);
    port->setBaudRate(currentSettings.baudRate, QSerialPort::AllDirections);
    port->setDataBits(currentSettings.dataBits);
    port->setParity(currentSettings.parity);
    port->setStopBits(currentSettings.stopBits);
    port->setFlowControl(currentSettings.flowControl);
    lostReported = false;
    if (port->open(QIODevice::ReadWrite)) {
        connectionText =
            tr("Connected to %1 : %2").arg(currentSettings.name, currentSettings.stringBaudRate);
        open = true;
        return true;
    }
    errorText = QStringLiteral("Unable to open ") + currentSettings.name;
    connectionText = port->errorString();
    open = false;
    return false;
}

void SerialInterface::closeConnection()
{
    port->close();
    open = false;
}

void SerialInterface::writeData(QByteArray data)
{
    if (port->isOpen())
        port->write(data);
}

QByteArray SerialInterface::readData()
{
    // Bytes stay in the port until a whole line is there. A runaway stream
    // without line feeds is handed over all the same once it is longer than
    // any reply, so the reader can drop it instead of the port holding it forever.
    if (port->canReadLine() || port->bytesAvailable() > runawayBytes)
        return port->readAll();
    return QByteArray();
}

bool SerialInterface::connectionOpen()
{
    return open;
}

void SerialInterface::portError()
{
    // A device that goes away (cable pulled, pty closed) shows up as a resource
    // error on an open port, or, when it hangs up while data is streaming in,
    // as a read that returns nothing though the port said it was readable.
    // Report it once; the session reconnects or disconnects.
    const auto error = port->error();
    if (!open || lostReported)
        return;
    if (error == QSerialPort::ResourceError || error == QSerialPort::DeviceNotFoundError ||
        error == QSerialPort::PermissionError || error == QSerialPort::ReadError) {
        lostReported = true;
        // Said plainly first; the system's own words follow for the technician.
        const QString system = readableReason(port->errorString(), QString());
        const QString gone = tr("the serial device went away");
        emit connectionLost(system.isEmpty() ? gone : gone + QStringLiteral(" (") + system + ')');
    }
}
