#include "link/connectionsettings.h"

#include "common/hostport.h"

#include <QCoreApplication>
#include <QSettings>

#include <algorithm>

namespace {

constexpr int defaultTcpPort = 23;
const int baudRates[] = {9600, 19200, 38400, 57600, 115200};

QString tr(const char *text)
{
    return QCoreApplication::translate("SettingsDialog", text);
}

} // namespace

QString SettingsPresets::problem() const
{
    if (serialPort && tcpHost)
        return tr("Choose either a serial port or a TCP host, not both.");
    if (serialPort && serialPort->trimmed().isEmpty())
        return tr("No serial port given.");
    if (tcpHost) {
        switch (HostPort::parse(*tcpHost, defaultTcpPort).problem) {
        case HostPort::None:
            break;
        case HostPort::NoHost:
            return tr("No TCP host given.");
        case HostPort::NoPortAfterColon:
        case HostPort::BadPort:
            return tr("The TCP port in %1 is not a number from 1 to 65535.").arg(*tcpHost);
        default:
            return tr("Not a TCP address: %1 (an IPv6 address is written [ADDRESS]:PORT).")
                .arg(*tcpHost);
        }
    }
    if (baudRate &&
        std::find(std::begin(baudRates), std::end(baudRates), *baudRate) == std::end(baudRates))
        return tr("Baud rate %1 is not one of 9600, 19200, 38400, 57600, 115200.").arg(*baudRate);
    if (interval && (*interval < 1 || *interval > 1000))
        return tr("Acquisition interval %1 is outside 1 to 1000 seconds.").arg(*interval);
    if (maxPause && (*maxPause < 1 || *maxPause > 24 * 60))
        return tr("Longest pause %1 is outside 1 to 1440 minutes.").arg(*maxPause);
    return QString();
}

ConnectionSettings ConnectionSettings::stored(const QSettings &s)
{
    ConnectionSettings c;
    c.ipAddress = s.value(QStringLiteral("ipAddress"), c.ipAddress).toString();
    const int port = s.value(QStringLiteral("portNumber")).toInt();
    c.portNumber = port >= 1 && port <= 65535 ? port : defaultTcpPort;
    c.connectionType = s.value(QStringLiteral("ConnectionType"), 0).toInt() == 1
                           ? QStringLiteral("Ethernet")
                           : QStringLiteral("Serial");
    c.logInterval = s.value(QStringLiteral("LogInterval"), c.logInterval).toInt();
    c.statusLog = s.value(QStringLiteral("statusLog"), false).toBool();
    c.autoReconnect = s.value(QStringLiteral("autoReconnect"), true).toBool();
    c.maxPauseMinutes = s.value(QStringLiteral("maxPauseMinutes"), 30).toInt();
    return c;
}

QString ConnectionSettings::take(const SettingsPresets &p)
{
    const QString why = p.problem();
    if (!why.isEmpty())
        return why;
    if (p.serialPort) {
        name = *p.serialPort;
        connectionType = QStringLiteral("Serial");
    }
    if (p.tcpHost) {
        const HostPort tcp = HostPort::parse(*p.tcpHost, defaultTcpPort);
        connectionType = QStringLiteral("Ethernet");
        ipAddress = tcp.host;
        portNumber = tcp.port;
    }
    if (p.baudRate) {
        baudRate = *p.baudRate;
        stringBaudRate = QString::number(baudRate);
    }
    if (p.interval)
        logInterval = *p.interval;
    if (p.maxPause)
        maxPauseMinutes = *p.maxPause;
    autoLog = autoLog || p.autoLog;
    statusLog = statusLog || p.statusLog;
    if (p.logFile)
        logFile = *p.logFile;
    return QString();
}
