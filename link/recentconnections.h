#pragma once

#include "link/connectionsettings.h"

#include <QString>
#include <QStringList>

class QSettings;

// The recent-connection list of the settings dialog, newest first: how an entry
// reads, when it is added, how many are kept and stored, and how an entry is read
// back into a connection.
class RecentConnections
{
public:
    static constexpr int maxEntries = 10;

    struct ParsedEntry
    {
        bool valid = false;
        QString type;     // "Serial", "Ethernet", or whatever the entry says
        QString portOrIp; // port item text for "Serial", address for "Ethernet"
        QString baud;     // third part: the baud rate, or the TCP port; empty when missing
    };

    // "Serial, COM3, 115200", "Ethernet, 192.168.1.223" (port 23) or
    // "Ethernet, 192.168.1.223, 4001".
    static QString entryFor(const ConnectionSettings &settings, const QString &portItemText);
    // Splits at commas and spaces; fewer than two parts is invalid.
    static ParsedEntry parse(const QString &entry);

    // Puts the entry on top unless it already is the top one; keeps the newest ten.
    // Returns whether the list changed.
    bool add(const QString &entry);
    QStringList entries() const { return list; }

    // "history0".."history9": appended in order, empty texts skipped.
    void load(const QSettings &store);
    // Writes all ten keys, empty texts beyond the list's end.
    void save(QSettings &store) const;

private:
    QStringList list;
};
