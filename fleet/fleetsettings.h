#pragma once

#include <QSettings>
#include <QString>

// Where and how a station publishes to the fleet's MQTT broker. The settings
// dialog fills it and keeps it in the settings store; the command line can
// preset it. Header only, so the dialog needs nothing else of this folder.
struct FleetSettings
{
    bool enabled = false; // off until the operator (or --mqtt) turns it on
    QString broker;       // HOST[:PORT]; port 1883, or 8883 with TLS
    QString topicPrefix = QStringLiteral("telvar");
    QString user;
    QString passwordFile;   // the password itself is never stored
    QString caFile;         // TLS when set
    int spoolMb = 256;      // the most the spool of unsent trend rows may take on disk
    bool discovery = false; // Home Assistant's MQTT discovery configs, retained

    bool operator==(const FleetSettings &o) const
    {
        return enabled == o.enabled && broker == o.broker && topicPrefix == o.topicPrefix &&
               user == o.user && passwordFile == o.passwordFile && caFile == o.caFile &&
               spoolMb == o.spoolMb && discovery == o.discovery;
    }
    bool operator!=(const FleetSettings &o) const { return !(*this == o); }

    void load(const QSettings &s)
    {
        const FleetSettings d;
        enabled = s.value(QStringLiteral("fleet/enabled"), d.enabled).toBool();
        broker = s.value(QStringLiteral("fleet/broker"), d.broker).toString();
        topicPrefix = s.value(QStringLiteral("fleet/topicPrefix"), d.topicPrefix).toString();
        user = s.value(QStringLiteral("fleet/user"), d.user).toString();
        passwordFile = s.value(QStringLiteral("fleet/passwordFile"), d.passwordFile).toString();
        caFile = s.value(QStringLiteral("fleet/caFile"), d.caFile).toString();
        spoolMb = s.value(QStringLiteral("fleet/spoolMb"), d.spoolMb).toInt();
        discovery = s.value(QStringLiteral("fleet/discovery"), d.discovery).toBool();
    }

    void save(QSettings &s) const
    {
        s.setValue(QStringLiteral("fleet/enabled"), enabled);
        s.setValue(QStringLiteral("fleet/broker"), broker);
        s.setValue(QStringLiteral("fleet/topicPrefix"), topicPrefix);
        s.setValue(QStringLiteral("fleet/user"), user);
        s.setValue(QStringLiteral("fleet/passwordFile"), passwordFile);
        s.setValue(QStringLiteral("fleet/caFile"), caFile);
        s.setValue(QStringLiteral("fleet/spoolMb"), spoolMb);
        s.setValue(QStringLiteral("fleet/discovery"), discovery);
    }
};
