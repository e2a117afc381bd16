#include "alarm/alarms.h"
#include "alarm/alarmswindow.h"
#include "app/mainwindow.h"
#include "certification/optionsdialog.h"
#include "common/commandsequence.h"
#include "console/console.h"
#include "dashboard/instrument.h"
#include "plot/plotwindow.h"
#include "service/utilities.h"
#include "support/pty.h"
#include "support/testsupport.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void titleMenusAndTabs();
    void actionsTable_data();
    void actionsTable();
    void preferencesPersist();
    void exitQuestion();
    void failedOpen();
    void connectAndDisconnectPaced();
    void entryFieldSendsLine();
    void tabSwitchingEnablesConsole();
    void instrumentTabDisable();
    void aboutAndHelpBoxes();
    void plotWindowsBuiltOnFirstUse();
    void optionsDialogFromItsAction();
    void alarmsWindowAndIndicator();

private:
    ScriptedDialogs *dialogs = nullptr;
};

void TestMainWindow::init()
{
    QSettings().clear();
    dialogs = new ScriptedDialogs;
    CommandSequence::setSecondMs(1000);
}

void TestMainWindow::cleanup()
{
    // CTest keeps this HOME between runs; the first init() of the next run
    // comes before the store's name is set and cannot clear it.
    QSettings().clear();
    delete dialogs;
    dialogs = nullptr;
}

// Connects to the pty with polls far apart, so only the commands under test go out.
static void connectQuietly(MainWindow &w, Pty &pty)
{
    SettingsPresets p;
    p.serialPort = pty.slavePath();
    p.interval = 60;
    QVERIFY(w.settingsDialog()->applyPresets(p).isEmpty());
    w.openConnection();
}

static QStringList menuTitles(QMenuBar *bar)
{
    QStringList out;
    for (QAction *a : bar->actions())
        out << a->text();
    return out;
}

void TestMainWindow::titleMenusAndTabs()
{
    MainWindow w;
    QCOMPARE(w.windowTitle(), QString("Telvar Interface Software 1.3.1"));
    QCOMPARE(menuTitles(w.menuBar()), QStringList({"Calls", "Tools", "Data", "Help"}));
    QTabWidget *tabs = w.tabs();
    QCOMPARE(tabs->count(), 5);
    QCOMPARE(tabs->tabText(0), QString("Monitor Analyzer"));
    QCOMPARE(tabs->tabText(1), QString("Performance Verification"));
    QCOMPARE(tabs->tabText(2), QString("Utilities"));
    QCOMPARE(tabs->tabText(3), QString("Service Scans"));
    QCOMPARE(tabs->tabText(4), QString("Service Diagnostics"));
    QVERIFY(!tabs->isTabEnabled(4));
    QVERIFY(!tabs->isTabEnabled(3)); // no user scans stored
    QVERIFY(tabs->tabBar()->styleSheet().contains("width: 1;"));
    QVERIFY(!w.consoleWidget()->isEnabled());
    QVERIFY(!w.commandEntry()->isEnabled());
    QCOMPARE(w.logFileButton()->text(), QString("-Click here to select log file-"));
    QVERIFY(w.logFileButton()->width() >= 140);
    // At the size the window opens with, every tool-bar item shows whole.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QWidget *bar = w.logFileButton()->parentWidget();
    for (const QWidget *item :
         {static_cast<QWidget *>(w.logFileButton()), static_cast<QWidget *>(w.serialLabel()),
          w.findChild<QWidget *>(QStringLiteral("alarmIndicator"))}) {
        QVERIFY(item->isVisible());
        QVERIFY(item->geometry().right() < bar->width());
    }
    QVERIFY(w.logFileButton()->width() >
            w.logFileButton()->fontMetrics().horizontalAdvance(w.logFileButton()->text()) + 8);
    QCOMPARE(w.serialLabel()->text(), QString("SN: "));
    // Log to File, then Cancel in its file chooser: the button stays as it was.
    const QString logStyle = w.logFileButton()->styleSheet();
    const QSize logSize = w.logFileButton()->sizeHint();
    w.actionLogToFile->trigger();
    QVERIFY(!w.actionLogToFile->isChecked());
    QCOMPARE(w.logFileButton()->styleSheet(), logStyle);
    QCOMPARE(w.logFileButton()->sizeHint(), logSize);
    QCOMPARE(w.progress()->value(), 100);
    QVERIFY(!w.pollTimer()->isActive());
    QVERIFY(w.actionConnect->isEnabled());
    QVERIFY(!w.actionDisconnect->isEnabled());
    QVERIFY(!w.actionSRDA->isEnabled());
    // Nothing to press before an analyzer is there.
    QVERIFY(!w.utilities()->refreshFilterPushButton->isEnabled());
    QVERIFY(!w.utilities()->speedCheckBox->isEnabled());
    QVERIFY(!w.actionConsole->isChecked()); // a missing preference reads as false
    QVERIFY(w.consoleWidget()->isHidden());
    // The console takes its column only while shown.
    const int narrow = w.centralWidget()->minimumSizeHint().width();
    w.toggleConsole(true);
    QVERIFY(w.centralWidget()->minimumSizeHint().width() >= narrow + 300);
    w.toggleConsole(false);
    QCOMPARE(w.centralWidget()->minimumSizeHint().width(), narrow);
}

void TestMainWindow::actionsTable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<QString>("menu");
    QTest::newRow("connect") << "actionConnect"
                             << "C&onnect"
                             << "Connect to port"
                             << "Ctrl+O"
                             << "Calls";
    QTest::newRow("disconnect") << "actionDisconnect"
                                << "&Disconnect"
                                << "Disconnect from port"
                                << "Ctrl+D"
                                << "Calls";
    QTest::newRow("quit") << "actionQuit"
                          << "&Quit"
                          << ""
                          << "Ctrl+Q"
                          << "Calls";
    QTest::newRow("settings") << "actionConfigure"
                              << "Se&ttings"
                              << "Configure communications port"
                              << "Alt+S"
                              << "Tools";
    QTest::newRow("clear") << "actionClear"
                           << "C&lear"
                           << "Clear console data"
                           << "Alt+L"
                           << "Tools";
    QTest::newRow("console") << "actionConsole"
                             << "Console"
                             << "Toggle Console Display"
                             << ""
                             << "Tools";
    QTest::newRow("options") << "actionOptions"
                             << "Options"
                             << ""
                             << ""
                             << "Tools";
    QTest::newRow("alarms") << "actionAlarms"
                            << "Alarms"
                            << "The active alarms, and those to acknowledge"
                            << ""
                            << "Tools";
    QTest::newRow("trend") << "actionTrend"
                           << "Trend"
                           << "Trend"
                           << ""
                           << "Data";
    QTest::newRow("certification") << "actionCertification"
                                   << "Certification"
                                   << ""
                                   << ""
                                   << "Data";
    QTest::newRow("logging") << "actionLogging"
                             << "Logging"
                             << ""
                             << ""
                             << "Data";
    QTest::newRow("firmware") << "actionFirmware"
                              << "Firmware Compatibility"
                              << ""
                              << ""
                              << "Help";
    QTest::newRow("quickstart") << "actionQuickStart"
                                << "QuickStart Guide (pdf)"
                                << ""
                                << ""
                                << "Help";
    QTest::newRow("aboutqt") << "actionAboutQt"
                             << "About Qt"
                             << ""
                             << ""
                             << "Help";
    QTest::newRow("about") << "actionAbout"
                           << "&About"
                           << "About program"
                           << "Alt+A"
                           << "Help";
}

void TestMainWindow::actionsTable()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, tip);
    QFETCH(QString, shortcut);
    QFETCH(QString, menu);
    MainWindow w;
    const QMap<QString, QAction *> byName = {{"actionConnect", w.actionConnect},
                                             {"actionDisconnect", w.actionDisconnect},
                                             {"actionQuit", w.actionQuit},
                                             {"actionConfigure", w.actionConfigure},
                                             {"actionClear", w.actionClear},
                                             {"actionConsole", w.actionConsole},
                                             {"actionOptions", w.actionOptions},
                                             {"actionTrend", w.actionTrend},
                                             {"actionCertification", w.actionCertification},
                                             {"actionLogging", w.actionLogging},
                                             {"actionFirmware", w.actionFirmware},
                                             {"actionQuickStart", w.actionQuickStart},
                                             {"actionAboutQt", w.actionAboutQt},
                                             {"actionAbout", w.actionAbout},
                                             {"actionAlarms", w.actionAlarms}};
    QAction *a = byName.value(name);
    QVERIFY(a);
    QCOMPARE(a->text(), text);
    if (!tip.isEmpty())
        QCOMPARE(a->toolTip(), tip);
    QCOMPARE(a->shortcut(), QKeySequence(shortcut));
    QMenu *found = nullptr;
    for (QAction *m : w.menuBar()->actions())
        if (m->menu() && m->menu()->actions().contains(a))
            found = m->menu();
    QVERIFY(found);
    QCOMPARE(found->title(), menu);
}

void TestMainWindow::preferencesPersist()
{
    {
        MainWindow w;
        w.changeText(2);
        w.actionConsole->setChecked(true);
        w.userScansChange(true);
        QVERIFY(w.tabs()->isTabEnabled(3));
        QVERIFY(w.tabs()->tabBar()->styleSheet().contains("width: 100;"));
        QCOMPARE(w.instrument()->styleSheet(), QString("QLabel { font-size: 22px }"));
    }
    QSettings s;
    QCOMPARE(s.value("selectedTextSize").toInt(), 2);
    QCOMPARE(s.value("consoleVisible").toBool(), true);
    QCOMPARE(s.value("userScans").toBool(), true);
    MainWindow again;
    QVERIFY(again.actionConsole->isChecked());
    QVERIFY(!again.consoleWidget()->isHidden());
    QVERIFY(again.tabs()->isTabEnabled(3));
}

void TestMainWindow::exitQuestion()
{
    MainWindow w;
    w.show();
    dialogs->answers = {Dialogs::Cancel};
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QCOMPARE(dialogs->messages.size(), 1);
    const auto &m = dialogs->messages.first();
    QCOMPARE(m.title, QString("Telvar"));
    QCOMPARE(m.text, QString("Are you sure you want to exit?\n"));
    QCOMPARE(m.buttons, int(Dialogs::Yes | Dialogs::Cancel));
    QCOMPARE(m.defaultButton, int(Dialogs::Yes));

    dialogs->answers = {Dialogs::Yes};
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
}

void TestMainWindow::failedOpen()
{
    MainWindow w;
    SettingsPresets p;
    p.serialPort = QStringLiteral("/dev/telvar-no-such-port");
    QVERIFY(w.settingsDialog()->applyPresets(p).isEmpty());
    w.openConnection();
    QVERIFY(!w.currentLink());
    QVERIFY(w.actionConnect->isEnabled());
    QVERIFY(!w.actionDisconnect->isEnabled());
    QCOMPARE(w.statusBar()->currentMessage(), QString("Open error"));
    QCOMPARE(dialogs->count("Error"), 1);
    QCOMPARE(dialogs->messages.first().text, QString("Unable to open /dev/telvar-no-such-port"));
    QCOMPARE(dialogs->messages.first().icon, Dialogs::Icon::Critical);
    // A second attempt builds a new link and fails the same way.
    w.openConnection();
    QCOMPARE(dialogs->count("Error"), 2);
}

// Connect and disconnect at the real pace: the analyzer gets its second between commands.
void TestMainWindow::connectAndDisconnectPaced()
{
    Pty pty;
    QVERIFY(pty.isOpen());
    MainWindow w;
    SettingsPresets p;
    p.serialPort = pty.slavePath();
    p.interval = 60; // no poll gets in the way
    QVERIFY(w.settingsDialog()->applyPresets(p).isEmpty());

    QElapsedTimer clock;
    clock.start();
    w.openConnection();
    QVERIFY(w.currentLink());
    QVERIFY(!w.actionConnect->isEnabled());
    QVERIFY(w.actionDisconnect->isEnabled());
    QVERIFY(!w.actionConfigure->isEnabled());
    QCOMPARE(w.windowTitle(), QString("Telvar - Connection Label"));

    QByteArray got;
    qint64 factAt = -1, ssnidAt = -1;
    QVERIFY(waitFor(
        [&] {
            got += pty.readAvailable();
            if (factAt < 0 && got.contains("fact=1\r\n"))
                factAt = clock.elapsed();
            if (ssnidAt < 0 && got.contains("ssnid\r\n"))
                ssnidAt = clock.elapsed();
            return ssnidAt >= 0;
        },
        5000));
    QCOMPARE(got, QByteArray("fact=1\r\nssnid\r\n"));
    QVERIFY2(factAt >= 1000, qPrintable(QString::number(factAt)));
    QVERIFY2(ssnidAt - factAt >= 990, qPrintable(QString::number(ssnidAt - factAt)));
    QVERIFY(waitFor([&] { return w.pollTimer()->isActive(); }));

    got.clear();
    clock.restart();
    w.closeConnection();
    QVERIFY(!w.actionDisconnect->isEnabled());
    qint64 srdaAt = -1, tuneAt = -1, closedAt = -1;
    QVERIFY(waitFor(
        [&] {
            got += pty.readAvailable();
            if (srdaAt < 0 && got.contains("srda 0\r\n"))
                srdaAt = clock.elapsed();
            if (tuneAt < 0 && got.contains("tuneringdowns 25\r\n"))
                tuneAt = clock.elapsed();
            if (closedAt < 0 && !w.currentLink())
                closedAt = clock.elapsed();
            return closedAt >= 0;
        },
        5000));
    QCOMPARE(got, QByteArray("srda 0\r\ntuneringdowns 25\r\n"));
    QVERIFY(tuneAt - srdaAt >= 990);
    QVERIFY(closedAt - tuneAt >= 990);
    QVERIFY(w.actionConnect->isEnabled());
    QVERIFY(!w.actionDisconnect->isEnabled());
    QVERIFY(!w.consoleWidget()->isEnabled());
    QCOMPARE(w.statusBar()->currentMessage(), QString("Disconnected"));
    QCOMPARE(w.windowTitle(), QString("Telvar Interface Software 1.3.1"));
    QVERIFY(!w.pollTimer()->isActive());
    for (QWidget *control : std::initializer_list<QWidget *>{w.utilities()->speedCheckBox,
                                                             w.utilities()->refreshFilterPushButton,
                                                             w.utilities()->filterPushButton})
        QVERIFY(!control->isEnabled());
}

void TestMainWindow::entryFieldSendsLine()
{
    CommandSequence::setSecondMs(20);
    Pty pty;
    MainWindow w;
    connectQuietly(w, pty);
    QVERIFY(pty.readUntil("ssnid\r\n", 3000).endsWith("ssnid\r\n"));
    w.tabs()->setCurrentIndex(2);
    QVERIFY(w.commandEntry()->isEnabled());
    w.commandEntry()->setText("lt");
    QTest::keyClick(w.commandEntry(), Qt::Key_Return);
    QCOMPARE(pty.readUntil("lt\r\n", 2000), QByteArray("lt\r\n"));
    QVERIFY(w.commandEntry()->text().isEmpty());
    // A zero byte ends what goes out.
    w.toOrin(QString("ab") + QChar(0) + "cd");
    QCOMPARE(pty.readUntil("ab", 2000), QByteArray("ab"));
    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
}

void TestMainWindow::tabSwitchingEnablesConsole()
{
    CommandSequence::setSecondMs(20);
    Pty pty;
    MainWindow w;
    connectQuietly(w, pty);
    QVERIFY(!w.consoleWidget()->isEnabled()); // dashboard in front
    QVERIFY(pty.readUntil("ssnid\r\n", 3000).endsWith("ssnid\r\n"));
    w.tabs()->setCurrentIndex(1);
    QVERIFY(w.consoleWidget()->isEnabled());
    QVERIFY(w.commandEntry()->isEnabled());
    pty.readAvailable();
    // Back on the dashboard the status is asked at once.
    w.tabs()->setCurrentIndex(0);
    QVERIFY(!w.consoleWidget()->isEnabled());
    QCOMPARE(pty.readUntil("status\r\n", 2000), QByteArray("status\r\n"));
    QCOMPARE(w.progress()->value(), 100);
    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
}

void TestMainWindow::instrumentTabDisable()
{
    MainWindow w;
    w.instrumentTabDisable(true);
    QVERIFY(!w.tabs()->isTabEnabled(0));
    QVERIFY(!w.tabs()->isTabEnabled(2));
    QVERIFY(w.tabs()->isTabEnabled(1));
    w.instrumentTabDisable(false);
    QVERIFY(w.tabs()->isTabEnabled(0));
    QVERIFY(w.tabs()->isTabEnabled(2));
    QVERIFY(!w.tabs()->isTabEnabled(3)); // user scans off: the scans tab stays hidden
}

void TestMainWindow::aboutAndHelpBoxes()
{
    MainWindow w;
    w.about();
    w.firmwareCompatibility();
    QDir::setCurrent(testHome()); // no guide here
    w.quickStart();
    QCOMPARE(dialogs->titles(),
             QStringList({"Telvar Interface", "Firmware Compatibility", "File missing"}));
    QCOMPARE(dialogs->messages[0].text, QString("Telvar Software Version 1.3.1\n\n"));
    QVERIFY(dialogs->messages[0].informativeText.contains("Qwt"));
    QVERIFY(dialogs->messages[0].informativeText.contains("zlib"));
    QCOMPARE(dialogs->messages[0].iconResource, QString(":/images/splash_small.bmp"));
    QVERIFY(dialogs->messages[1].text.startsWith(
        "When connecting to an instrument with firmware \nbefore version 5.00"));
    QCOMPARE(dialogs->messages[2].text,
             "File missing:\n\nTelvarQuickStartGuide.pdf\nin\n" + QDir::currentPath());
    QVERIFY(dialogs->openedUrls.isEmpty());
}

void TestMainWindow::plotWindowsBuiltOnFirstUse()
{
    // Built when first wanted, "Plot Window" still shows the concentration plot.
    MainWindow w;
    w.actionPlotWindow->trigger();
    QVERIFY(w.plotWindow()->isVisible());
    QCOMPARE(w.plotWindow()->seriesName, QString("Concentration"));
    QCOMPARE(w.plotWindow()->windowTitle(), QString("Plot Window"));
}

void TestMainWindow::optionsDialogFromItsAction()
{
    // The dialog is made when first asked for; it still answers its action and
    // its "Enable Scans" still offers the Service Scans tab.
    MainWindow w;
    w.actionOptions->trigger();
    auto *options = w.findChild<OptionsDialog *>();
    QVERIFY(options && options->isVisible());
    QCOMPARE(options->windowTitle(), QString("Options"));
    QVERIFY(!w.tabs()->isTabEnabled(3));
    options->userScansCheckBox->click();
    QVERIFY(w.tabs()->isTabEnabled(3));
    QCOMPARE(QSettings().value("userScans").toBool(), true);
}

// What a person finds in the morning: the indicator counts the active alarms
// in the colour of the worst, the Alarms window lists them with the one that
// cleared overnight, and acknowledging takes away what is over.
void TestMainWindow::alarmsWindowAndIndicator()
{
    MainWindow w;
    Alarms *alarms = w.station()->alarms();
    auto *indicator = w.findChild<QToolButton *>(QStringLiteral("alarmIndicator"));
    QVERIFY(indicator);
    QCOMPARE(indicator->text(), QStringLiteral("0 alarms"));
    StatusReport lamp;
    lamp.record.faults = QStringLiteral("16");
    lamp.record.setFaultBits(16);
    alarms->report(lamp); // Alarm 2, a warning
    QCOMPARE(indicator->text(), QStringLiteral("1 alarm"));
    QVERIFY(indicator->styleSheet().contains(QStringLiteral("#e67e00")));
    alarms->runEnded(QStringLiteral("Service scan"), RunOutcome::Failed,
                     QStringLiteral("Connection lost"), false);
    QCOMPARE(indicator->text(), QStringLiteral("2 alarms"));
    QVERIFY(indicator->styleSheet().contains(QStringLiteral("#c01c28"))); // a fault is worst
    lamp.record.setFaultBits(0);
    alarms->report(lamp); // Alarm 2 clears: still listed until acknowledged
    QCOMPARE(indicator->text(), QStringLiteral("1 alarm"));

    indicator->click();
    AlarmsWindow *window = w.alarmsWindow();
    QVERIFY(window->isVisible());
    QTreeWidget *list = window->list;
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("Alarm 2"));
    QVERIFY(!list->topLevelItem(0)->text(3).isEmpty()); // cleared at
    QCOMPARE(list->topLevelItem(1)->text(5),
             QStringLiteral("Service scan failed: Connection lost"));
    QVERIFY(!window->acknowledgeButton->isEnabled());
    list->topLevelItem(0)->setSelected(true);
    window->acknowledgeButton->click();
    QCOMPARE(list->topLevelItemCount(), 1); // seen and over
    QCOMPARE(indicator->text(), QStringLiteral("1 alarm"));
    window->acknowledgeAllButton->click(); // a run's alarm is over once seen
    QCOMPARE(list->topLevelItemCount(), 0);
    QCOMPARE(indicator->text(), QStringLiteral("0 alarms"));
    QVERIFY(!window->acknowledgeAllButton->isEnabled());
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
