#include "link/orininterface.h"

OrinInterface::OrinInterface(QObject *parent) : QObject(parent) {}

void OrinInterface::openInBackground(ConnectionSettings currentSettings)
{
    const bool opened = openConnection(currentSettings);
    QMetaObject::invokeMethod(
        this, [this, opened] { emit openFinished(opened); }, Qt::QueuedConnection);
}

void OrinInterface::measureCommand()
{
    writeData("opmode 2\r\n");
    writeData("status\r\n");
}

void OrinInterface::serviceCommand()
{
    writeData("opmode 0\r\n");
    writeData("status\r\n");
}

void OrinInterface::tuneCommand()
{
    writeData("opmode 1\r\n");
    writeData("status\r\n");
}

QString OrinInterface::readableReason(const QString &reason, const QString &fallback)
{
    const QString text = reason.trimmed();
    if (text.isEmpty() || text.compare(QLatin1String("Unknown error"), Qt::CaseInsensitive) == 0)
        return fallback;
    return text;
}
