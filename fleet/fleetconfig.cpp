#include "fleet/fleetconfig.h"

#include "common/hostport.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

namespace {

const QCommandLineOption mqttOpt(
    QStringLiteral("mqtt"),
    QStringLiteral("Publish status, trend rows and events to the MQTT broker at HOST (port 1883, "
                   "or 8883 with --mqtt-cafile)."),
    QStringLiteral("HOST[:PORT]"));
const QCommandLineOption topicOpt(QStringLiteral("mqtt-topic"),
                                  QStringLiteral("Topic prefix (default \"telvar\")."),
                                  QStringLiteral("PREFIX"));
const QCommandLineOption userOpt(QStringLiteral("mqtt-user"),
                                 QStringLiteral("User name at the broker."),
                                 QStringLiteral("NAME"));
const QCommandLineOption
    passwordOpt(QStringLiteral("mqtt-password-file"),
                QStringLiteral("File whose first line is the broker password (keep it chmod 600)."),
                QStringLiteral("FILE"));
const QCommandLineOption caOpt(
    QStringLiteral("mqtt-cafile"),
    QStringLiteral("Certificate authority of the broker's TLS certificate: connect with TLS."),
    QStringLiteral("FILE"));
const QCommandLineOption spoolOpt(
    QStringLiteral("mqtt-spool-mb"),
    QStringLiteral("Disk space for trend rows kept while the broker is away, in MiB (default "
                   "256)."),
    QStringLiteral("N"));
const QCommandLineOption
    discoveryOpt(QStringLiteral("mqtt-discovery"),
                 QStringLiteral("Announce the station to Home Assistant (MQTT discovery, under "
                                "\"homeassistant/\")."));
const QCommandLineOption forgetOpt(
    QStringLiteral("mqtt-forget"),
    QStringLiteral("Retire the station of analyzer SERIAL: clear its retained status, state and "
                   "Home Assistant configs at the broker, then exit."),
    QStringLiteral("SERIAL"));
const QCommandLineOption
    fleetOpt(QStringLiteral("fleet"),
             QStringLiteral("Show the fleet view of the stations publishing to the broker at HOST, "
                            "instead of the main window."),
             QStringLiteral("HOST[:PORT]"));

} // namespace

QString BrokerConfig::name() const
{
    return HostPort::join(host, port);
}

QString parseBroker(const QString &text, bool tls, QString &host, int &port)
{
    const HostPort address = HostPort::parse(text, tls ? 8883 : 1883);
    switch (address.problem) {
    case HostPort::None:
        break;
    case HostPort::NoClosingBracket:
        return QStringLiteral("Broker address without its closing ']': ") + text;
    case HostPort::TextAfterBracket:
        return QStringLiteral("Unexpected text after the broker address: ") + text;
    case HostPort::NoPortAfterColon:
        return QStringLiteral("No port after ':' in the broker address: ") + text;
    case HostPort::Ipv6WithoutBrackets:
        return QStringLiteral("Write an IPv6 broker address in brackets, [ADDRESS]:PORT: ") + text;
    case HostPort::NoHost:
        return QStringLiteral("No broker host given.");
    case HostPort::BlankInHost:
        return QStringLiteral("Broker host with a blank or control character: ") + text;
    case HostPort::BadPort:
        return QStringLiteral("Broker port is not 1 to 65535: ") + address.portText;
    }
    host = address.host;
    port = address.port;
    return QString();
}

QString checkTopicPrefix(const QString &prefix)
{
    if (prefix.isEmpty())
        return QStringLiteral("The topic prefix is empty.");
    if (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#')))
        return QStringLiteral("The topic prefix may not hold '+' or '#': ") + prefix;
    for (const QString &level : prefix.split(QLatin1Char('/'))) {
        if (level.isEmpty())
            return QStringLiteral("The topic prefix has an empty level: ") + prefix;
    }
    for (const QChar c : prefix) {
        // Spool lines are tab-separated; control characters have no place in a topic anyway.
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("The topic prefix holds a control character.");
    }
    return QString();
}

QString readPasswordFile(const QString &path, QByteArray &password, QStringList &warnings)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("Cannot read the broker password file ") + path +
               QStringLiteral(": ") + f.errorString();
    password = f.readLine(4096);
    while (password.endsWith('\n') || password.endsWith('\r'))
        password.chop(1);
    if (f.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther))
        warnings << QStringLiteral("The broker password file ") + path +
                        QStringLiteral(" can be read by other users; chmod 600 it.");
    return QString();
}

QString brokerConfig(const FleetSettings &s, BrokerConfig &out)
{
    out = BrokerConfig();
    out.caFile = s.caFile.trimmed();
    QString error = parseBroker(s.broker, !out.caFile.isEmpty(), out.host, out.port);
    if (error.isEmpty())
        error = checkTopicPrefix(s.topicPrefix);
    if (error.isEmpty() && !out.caFile.isEmpty() && !QFileInfo(out.caFile).isReadable())
        error = QStringLiteral("Cannot read the broker's certificate authority file ") + out.caFile;
    out.user = s.user;
    if (error.isEmpty() && !s.passwordFile.isEmpty())
        error = readPasswordFile(s.passwordFile, out.password, out.warnings);
    if (error.isEmpty() && !s.passwordFile.isEmpty() && s.user.isEmpty())
        error = QStringLiteral("A broker password needs a user name (--mqtt-user).");
    out.topicPrefix = s.topicPrefix;
    return error;
}

QList<QCommandLineOption> FleetPresets::options()
{
    return {mqttOpt,  topicOpt,     userOpt,   passwordOpt, caOpt,
            spoolOpt, discoveryOpt, forgetOpt, fleetOpt};
}

QString FleetPresets::read(const QCommandLineParser &p)
{
    const auto text = [&](const QCommandLineOption &o, std::optional<QString> &out) {
        if (p.isSet(o))
            out = p.value(o);
    };
    text(mqttOpt, broker);
    text(topicOpt, topicPrefix);
    text(userOpt, user);
    text(passwordOpt, passwordFile);
    text(caOpt, caFile);
    text(fleetOpt, view);
    text(forgetOpt, forget);
    discovery = p.isSet(discoveryOpt);
    for (auto *file : {&passwordFile, &caFile}) {
        if (*file && !(*file)->trimmed().isEmpty())
            *file = QFileInfo((*file)->trimmed()).absoluteFilePath();
    }
    QString host;
    int port = 0;
    for (const auto &address : {broker, view}) {
        if (!address)
            continue;
        const QString error = parseBroker(*address, caFile.has_value(), host, port);
        if (!error.isEmpty())
            return error + QLatin1Char('\n');
    }
    if (topicPrefix) {
        const QString error = checkTopicPrefix(*topicPrefix);
        if (!error.isEmpty())
            return error + QLatin1Char('\n');
    }
    if (p.isSet(spoolOpt)) {
        bool ok = false;
        const int mb = p.value(spoolOpt).toInt(&ok);
        if (!ok || mb < 1)
            return QStringLiteral("--mqtt-spool-mb takes 1 or more\n");
        spoolMb = mb;
    }
    return QString();
}

bool FleetPresets::any() const
{
    return broker || topicPrefix || user || passwordFile || caFile || spoolMb || discovery || view;
}

FleetSettings FleetPresets::appliedTo(FleetSettings s) const
{
    if (broker) {
        s.enabled = true;
        s.broker = *broker;
    }
    if (view)
        s.broker = *view;
    if (topicPrefix)
        s.topicPrefix = *topicPrefix;
    if (user)
        s.user = *user;
    if (passwordFile)
        s.passwordFile = *passwordFile;
    if (caFile)
        s.caFile = *caFile;
    if (spoolMb)
        s.spoolMb = *spoolMb;
    if (discovery)
        s.discovery = true;
    return s;
}
