#include "app/helpboxes.h"

#include "app/mainwindow.h"
#include "common/buildinfo.h"
#include "common/dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

void showAboutBox(QWidget *parent)
{
    Dialogs::Message m;
    m.title = QObject::tr("Telvar Interface");
    m.text = QStringLiteral("Telvar Software Version ") + QLatin1String(MainWindow::version) +
             QStringLiteral("\n\n");
    m.informativeText =
        BuildInfo::versionLine() + QStringLiteral("\n\n") +
        QObject::tr(
            "Telvar monitors and services one Orin cavity ring-down gas analyzer over a serial "
            "line or TCP.\n\nBuilt with the Qt %1 toolkit, the Qwt plotting library and the "
            "zlib compression library (through QuaZip).")
            .arg(QLatin1String(qVersion()));
    m.iconResource = QStringLiteral(":/images/splash_small.bmp");
    m.parent = parent;
    Dialogs::instance().message(m);
}

void showFirmwareBox(QWidget *parent)
{
    Dialogs::Message m;
    m.title = QObject::tr("Firmware Compatibility");
    m.text = QStringLiteral(
                 "When connecting to an instrument with firmware \nbefore version 5.00, Telvar "
                 "will drop into a \ncompatibility mode with slightly reduced functions.\nLaser "
                 "and alarm status are not updated, \nbut concentration readings will still be "
                 "obtained\nand recorded.") +
             QObject::tr("\n\nFor a firmware upgrade, please contact Quorvane sales.");
    m.iconResource = QStringLiteral(":/images/splash_small.bmp");
    m.parent = parent;
    Dialogs::instance().message(m);
}

void openQuickStart(QWidget *parent)
{
    const QString name = QStringLiteral("TelvarQuickStartGuide.pdf");
    const QString folder = QDir::currentPath();
    const QFileInfo guide(QDir(folder).filePath(name));
    if (guide.exists()) {
        Dialogs::instance().openUrl(QUrl::fromLocalFile(guide.absoluteFilePath()));
        return;
    }
    Dialogs::Message m;
    m.icon = Dialogs::Icon::Warning;
    m.title = QObject::tr("File missing");
    m.text = QStringLiteral("File missing:\n\n") + name + QStringLiteral("\nin\n") + folder;
    m.parent = parent;
    Dialogs::instance().message(m);
}
