#include "link/serialidentity.h"

#include <QFileInfo>
#include <QSerialPortInfo>

namespace {

SerialCandidate candidateOf(const QSerialPortInfo &info)
{
    SerialCandidate c;
    c.portName = info.systemLocation();
    c.serialNumber = info.serialNumber();
    c.vendorId = info.hasVendorIdentifier() ? info.vendorIdentifier() : 0;
    c.productId = info.hasProductIdentifier() ? info.productIdentifier() : 0;
    return c;
}

// "ttyUSB0" and "/dev/ttyUSB0" name the same port.
QString systemLocation(const QString &name)
{
    return name.startsWith(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name;
}

bool samePort(const QString &a, const QString &b)
{
    return systemLocation(a) == systemLocation(b);
}

} // namespace

SerialIdentity SerialIdentity::of(const QString &name)
{
    SerialIdentity id;
    id.portName = name;
    if (name.startsWith(QLatin1String("/dev/serial/by-id/")))
        id.byIdPath = name;
    // The device behind a link is the one the system lists.
    const QString target = QFileInfo(name).canonicalFilePath();
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (!samePort(info.systemLocation(), name) && info.systemLocation() != target)
            continue;
        const SerialCandidate c = candidateOf(info);
        id.serialNumber = c.serialNumber;
        id.vendorId = c.vendorId;
        id.productId = c.productId;
        break;
    }
    return id;
}

QList<SerialCandidate> availableSerialPorts()
{
    QList<SerialCandidate> out;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        out << candidateOf(info);
    return out;
}

QString chooseReconnectPort(const SerialIdentity &id, const QList<SerialCandidate> &available,
                            bool byIdLinkExists)
{
    if (!id.byIdPath.isEmpty())
        return byIdLinkExists ? id.byIdPath : QString();
    if (!id.serialNumber.isEmpty()) {
        for (const SerialCandidate &c : available) {
            if (c.serialNumber == id.serialNumber && c.vendorId == id.vendorId &&
                c.productId == id.productId)
                return c.portName;
        }
        return QString(); // not back yet; never a stranger under the old name
    }
    // No identity of its own: the old name, unless another adapter with a
    // serial number of its own has taken it meanwhile.
    for (const SerialCandidate &c : available) {
        if (samePort(c.portName, id.portName) && !c.serialNumber.isEmpty())
            return QString();
    }
    return id.portName;
}
