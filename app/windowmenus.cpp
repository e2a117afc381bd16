#include "app/mainwindow.h"

#include "common/dialogs.h"
#include "dashboard/instrument.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QToolBar>
#include <QUrl>

// The window's menus, tool bar, text sizes and the Help menu's boxes: built
// once and shown, with no part in the conversation with the analyzer.

void MainWindow::buildMenus()
{
    auto action = [this](const QString &text, const QString &tip, const QKeySequence &key,
                         const QString &icon = QString()) {
        auto *a = new QAction(text, this);
        if (!tip.isEmpty()) {
            a->setToolTip(tip);
            a->setStatusTip(tip);
        }
        if (!key.isEmpty())
            a->setShortcut(key);
        if (!icon.isEmpty())
            a->setIcon(QIcon(icon));
        return a;
    };
    actionConnect = action(tr("C&onnect"), tr("Connect to port"), QKeySequence(tr("Ctrl+O")),
                           QStringLiteral(":/images/connect.png"));
    actionDisconnect =
        action(tr("&Disconnect"), tr("Disconnect from port"), QKeySequence(tr("Ctrl+D")),
               QStringLiteral(":/images/disconnect.png"));
    actionQuit = action(tr("&Quit"), QString(), QKeySequence(tr("Ctrl+Q")));
    actionConfigure = action(tr("Se&ttings"), tr("Configure communications port"),
                             QKeySequence(tr("Alt+S")), QStringLiteral(":/images/settings.png"));
    actionClear = action(tr("C&lear"), tr("Clear console data"), QKeySequence(tr("Alt+L")),
                         QStringLiteral(":/images/clear-console.png"));
    actionConsole = action(tr("Console"), tr("Toggle Console Display"), QKeySequence(),
                           QStringLiteral(":/images/console.png"));
    actionConsole->setCheckable(true);
    actionConsole->setChecked(true);
    actionOptions = action(tr("Options"), QString(), QKeySequence());
    actionPlotWindow = action(tr("Plot Window"), tr("Show Plot Window"), QKeySequence(),
                              QStringLiteral(":/images/plot.png"));
    actionLogToFile = action(tr("Log to File"), tr("Log to File"), QKeySequence(),
                             QStringLiteral(":/images/logfile.png"));
    actionLogToFile->setCheckable(true);
    actionSRDA = action(tr("SRDA"), QString(), QKeySequence());
    actionTrend = action(tr("Trend"), tr("Trend"), QKeySequence());
    actionCertification = action(tr("Certification"), QString(), QKeySequence());
    actionLogging = action(tr("Logging"), QString(), QKeySequence());
    actionDemoMode =
        action(tr("Demo Mode"), tr("Use a simulated analyzer at the next connect"), QKeySequence());
    actionDemoMode->setCheckable(true);
    actionDemoMode->setChecked(demoMode); // also for a run started with --demo
    actionFirmware = action(tr("Firmware Compatibility"), QString(), QKeySequence());
    actionQuickStart = action(tr("QuickStart Guide (pdf)"), QString(), QKeySequence());
    actionAboutQt = action(tr("About Qt"), QString(), QKeySequence());
    actionAbout = action(tr("&About"), tr("About program"), QKeySequence(tr("Alt+A")));

    QMenu *calls = menuBar()->addMenu(tr("Calls"));
    calls->addAction(actionConnect);
    calls->addAction(actionDisconnect);
    calls->addSeparator();
    calls->addAction(actionQuit);

    QMenu *tools = menuBar()->addMenu(tr("Tools"));
    tools->addAction(actionConfigure);
    tools->addAction(actionClear);
    tools->addAction(actionConsole);
    tools->addAction(actionOptions);
    QMenu *sizes = tools->addMenu(tr("Text Size"));
    auto *sizeGroup = new QActionGroup(this);
    const QStringList sizeNames = {tr("Small"), tr("Medium"), tr("Large")};
    for (int i = 0; i < sizeNames.size(); ++i) {
        QAction *a = sizes->addAction(sizeNames[i]);
        a->setCheckable(true);
        sizeGroup->addAction(a);
        textSizeActions << a;
        connect(a, &QAction::triggered, this, [this, i] { changeText(i); });
    }
    tools->addSeparator();
    tools->addAction(actionDemoMode);

    QMenu *data = menuBar()->addMenu(tr("Data"));
    data->addAction(actionTrend);
    data->addAction(actionCertification);
    data->addAction(actionLogging);

    QMenu *help = menuBar()->addMenu(tr("Help"));
    help->addAction(actionFirmware);
    help->addAction(actionQuickStart);
    help->addSeparator();
    help->addAction(actionAboutQt);
    help->addAction(actionAbout);

    QToolBar *bar = mainBar = addToolBar(tr("Main"));
    bar->setObjectName(QStringLiteral("mainToolBar"));
    bar->addAction(actionConnect);
    bar->addAction(actionDisconnect);
    bar->addAction(actionConfigure);
    bar->addAction(actionClear);
    bar->addSeparator();
    bar->addAction(actionConsole);
    bar->addAction(actionPlotWindow);
    bar->addSeparator();
    bar->addAction(actionLogToFile);
    bar->addWidget(logButton);
    bar->addSeparator();
    bar->addWidget(snLabel);
}

void MainWindow::changeText(int size)
{
    static const struct
    {
        const char *style;
        const char *measure;
        const char *service;
        const char *tune;
    } sets[] = {
        {"QLabel { font-size: 14px }", ":/images/Measure_s.bmp", ":/images/Service_s.bmp",
         ":/images/Tune_s.bmp"},
        {"QLabel { font-size: 16px }", ":/images/Measure_m.bmp", ":/images/Service_m.bmp",
         ":/images/Tune_m.bmp"},
        {"QLabel { font-size: 22px }", ":/images/Measure.bmp", ":/images/Service.bmp",
         ":/images/Tune.bmp"},
    };
    size = qBound(0, size, 2);
    selectedTextSize = size;
    QSettings().setValue(QStringLiteral("selectedTextSize"), size);
    instrumentTab->setStyleSheet(QLatin1String(sets[size].style));
    instrumentTab->setModeButtonImages(QLatin1String(sets[size].measure),
                                       QLatin1String(sets[size].service),
                                       QLatin1String(sets[size].tune));
    if (size < textSizeActions.size())
        textSizeActions[size]->setChecked(true);
}

void MainWindow::about()
{
    Dialogs::Message m;
    m.title = tr("Telvar Interface");
    m.text = QStringLiteral("Telvar Software Version ") + QLatin1String(version) +
             QStringLiteral("\n\n");
    m.informativeText =
        tr("Telvar monitors and services one Orin cavity ring-down gas analyzer over a serial "
           "line or TCP.\n\nBuilt with the Qt %1 toolkit, the Qwt plotting library and the "
           "zlib compression library (through QuaZip).")
            .arg(QLatin1String(qVersion()));
    m.iconResource = QStringLiteral(":/images/splash_small.bmp");
    m.parent = this;
    Dialogs::instance().message(m);
}

void MainWindow::firmwareCompatibility()
{
    Dialogs::Message m;
    m.title = tr("Firmware Compatibility");
    m.text = QStringLiteral(
                 "When connecting to an instrument with firmware \nbefore version 5.00, Telvar "
                 "will drop into a \ncompatibility mode with slightly reduced functions.\nLaser "
                 "and alarm status are not updated, \nbut concentration readings will still be "
                 "obtained\nand recorded.") +
             tr("\n\nFor a firmware upgrade, please contact Quorvane sales.");
    m.iconResource = QStringLiteral(":/images/splash_small.bmp");
    m.parent = this;
    Dialogs::instance().message(m);
}

void MainWindow::quickStart()
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
    m.title = tr("File missing");
    m.text = QStringLiteral("File missing:\n\n") + name + QStringLiteral("\nin\n") + folder;
    m.parent = this;
    Dialogs::instance().message(m);
}
