#include "link/demointerface.h"

#include <QMetaObject>

DemoInterface::DemoInterface(QObject *parent, std::function<int()> random)
    : OrinInterface(parent), model(std::move(random))
{
    linkKind = Simulated;
}

bool DemoInterface::openConnection(ConnectionSettings currentSettings)
{
    model.reset();
    open = true;
    const QString pattern = QStringLiteral("Connected to %1 : %2 (DEMO)");
    if (currentSettings.connectionType == QLatin1String("Serial"))
        connectionText = pattern.arg(QStringLiteral("COM3"), currentSettings.stringBaudRate);
    else if (currentSettings.connectionType == QLatin1String("Ethernet"))
        connectionText =
            pattern.arg(currentSettings.ipAddress, QString::number(currentSettings.portNumber));
    else
        connectionText = QStringLiteral("boo!");
    return true;
}

void DemoInterface::closeConnection()
{
    open = false;
}

void DemoInterface::writeData(QByteArray data)
{
    model.interpret(data);
    // Announce the reply from the event loop, as a real transport would: the
    // main window's reader may itself be writing (a mode button sends two
    // commands in a row), and must not be re-entered from inside a write.
    // Posted with this object as context, so a link deleted meanwhile stays silent.
    QMetaObject::invokeMethod(
        this, [this] { emit readyRead(); }, Qt::QueuedConnection);
}

QByteArray DemoInterface::readData()
{
    return model.report();
}

bool DemoInterface::connectionOpen()
{
    return open;
}
