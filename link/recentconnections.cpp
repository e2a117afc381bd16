#include "link/recentconnections.h"

#include <QRegularExpression>
#include <QSettings>

namespace {
QString historyKey(int i)
{
    return QStringLiteral("history") + QString::number(i);
}
} // namespace

QString RecentConnections::entryFor(const ConnectionSettings &settings, const QString &portItemText)
{
    const QString head = settings.connectionType + QStringLiteral(", ");
    if (settings.connectionType == QLatin1String("Serial"))
        return head + portItemText + QStringLiteral(", ") + settings.stringBaudRate;
    // The analyzer's own port is left out, as entries have always read.
    if (settings.portNumber == 23)
        return head + settings.ipAddress;
    return head + settings.ipAddress + QStringLiteral(", ") + QString::number(settings.portNumber);
}

RecentConnections::ParsedEntry RecentConnections::parse(const QString &entry)
{
    static const QRegularExpression separators(QStringLiteral("[, ]"));
    const QStringList parts = entry.simplified().split(separators, Qt::SkipEmptyParts);
    ParsedEntry out;
    if (parts.size() < 2)
        return out;
    out.valid = true;
    out.type = parts.at(0);
    out.portOrIp = parts.at(1);
    if (parts.size() > 2)
        out.baud = parts.at(2);
    return out;
}

bool RecentConnections::add(const QString &entry)
{
    if (!list.isEmpty() && list.first() == entry)
        return false;
    list.prepend(entry);
    while (list.size() > maxEntries)
        list.removeAt(maxEntries);
    return true;
}

void RecentConnections::load(const QSettings &store)
{
    for (int i = 0; i < maxEntries; ++i) {
        const QString entry = store.value(historyKey(i)).toString();
        if (!entry.isEmpty())
            list.append(entry);
    }
    // Loading onto a list that already holds entries still keeps the limit.
    while (list.size() > maxEntries)
        list.removeLast();
}

void RecentConnections::save(QSettings &store) const
{
    for (int i = 0; i < maxEntries; ++i)
        store.setValue(historyKey(i), i < list.size() ? list.at(i) : QString());
}
