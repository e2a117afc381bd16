#pragma once

#include <QList>
#include <QString>

// What identifies the serial device an analyzer was reached through, so that
// after a re-plug the same device is found again even when it comes back under
// another name (/dev/ttyUSB0 becoming /dev/ttyUSB1).
struct SerialIdentity
{
    QString portName;     // the name the operator chose
    QString byIdPath;     // the /dev/serial/by-id link it was opened through, if any
    QString serialNumber; // the adapter's own serial number, if it reports one
    quint16 vendorId = 0; // with the product id, only meaningful with a serial number
    quint16 productId = 0;

    // The identity of the port `name` as the system reports it now.
    static SerialIdentity of(const QString &name);
};

// One port the system offers now, as far as finding a device again needs it.
struct SerialCandidate
{
    QString portName; // as QSerialPort takes it (a system location)
    QString serialNumber;
    quint16 vendorId = 0;
    quint16 productId = 0;
};

// The ports the system offers now.
QList<SerialCandidate> availableSerialPorts();

// The port to open again for `id`, or an empty text while it is not back.
// The by-id link is trusted first, then the serial number with vendor and
// product, and only a device that reports none of these falls back to its
// old name. A port whose device reports another serial number is never
// chosen: that is another analyzer.
QString chooseReconnectPort(const SerialIdentity &id, const QList<SerialCandidate> &available,
                            bool byIdLinkExists);
