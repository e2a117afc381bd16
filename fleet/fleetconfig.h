#pragma once

#include "fleet/fleetsettings.h"

#include <QByteArray>
#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QCommandLineParser;

// A broker to connect to, read from the fleet settings.
struct BrokerConfig
{
    QString host;
    int port = 1883;
    QString caFile; // TLS when set
    QString user;
    QByteArray password;
    QString topicPrefix;
    // Worth telling the operator, though the connection is tried anyway.
    QStringList warnings;

    // "host:port", as messages name the broker.
    QString name() const;
};

// Reads "HOST", "HOST:PORT" or "[V6ADDRESS]:PORT"; without a port, 1883, or 8883 with TLS.
// Returns an error text, or empty.
QString parseBroker(const QString &text, bool tls, QString &host, int &port);
// Topic prefixes may have levels ("lab2/telvar") but no wildcards and no empty level.
QString checkTopicPrefix(const QString &prefix);
// The password is the file's first line. A file that others may read is used, with a warning.
QString readPasswordFile(const QString &path, QByteArray &password, QStringList &warnings);
// Everything needed to reach the broker of `settings`; an error text, or empty.
QString brokerConfig(const FleetSettings &settings, BrokerConfig &out);

// The command line's fleet options: --mqtt and its companions for a station,
// --fleet for the fleet view.
struct FleetPresets
{
    std::optional<QString> broker; // --mqtt: publishing on, to this broker
    std::optional<QString> topicPrefix, user, passwordFile, caFile;
    std::optional<int> spoolMb;
    bool discovery = false;        // --mqtt-discovery
    std::optional<QString> view;   // --fleet: the fleet view of this broker
    std::optional<QString> forget; // --mqtt-forget: retire this serial's station

    static QList<QCommandLineOption> options();
    // Reads the options after parsing; an error text, or empty. Files are kept
    // with absolute paths, so a start from another folder finds them.
    QString read(const QCommandLineParser &parser);
    bool any() const;
    // `s` with the presets applied; for the fleet view, its broker in place of --mqtt's.
    FleetSettings appliedTo(FleetSettings s) const;
};
