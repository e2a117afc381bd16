#include "app/mainwindow.h"
#include "common/commandsequence.h"
#include "console/console.h"
#include "console/logger.h"
#include "support/fakeanalyzer.h"
#include "support/testsupport.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>

// The main window's traffic log: what reaches the file, and the log-file button.
class TestTrafficLog : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void buttonFollowsTheSwitch();
    void chooserOpensWhenNoFileIsSet();
    void commandsAndRepliesByTab();

private:
    static QByteArray contents(const QString &file);
    ScriptedDialogs *dialogs = nullptr;
    QString logFile;
};

void TestTrafficLog::init()
{
    QSettings().clear();
    dialogs = new ScriptedDialogs;
    CommandSequence::setSecondMs(20);
    logFile = testHome() + "/traffic-" + QTest::currentTestFunction() + ".txt";
    QFile::remove(logFile);
}

void TestTrafficLog::cleanup()
{
    delete dialogs;
}

QByteArray TestTrafficLog::contents(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TestTrafficLog::buttonFollowsTheSwitch()
{
    MainWindow w;
    SettingsPresets p;
    p.logFile = logFile;
    QVERIFY(w.settingsDialog()->applyPresets(p).isEmpty());
    w.actionLogToFile->setChecked(true);
    QVERIFY(w.isLoggingOn());
    QCOMPARE(w.logFileButton()->text(), logFile.right(24));
    QVERIFY(w.logFileButton()->styleSheet().startsWith("background-color: rgb(255,255,255)"));

    w.toLogger("status\r");
    w.toLogger("x");
    w.trafficLogger()->flush();
    QCOMPARE(contents(logFile), QByteArray("status\r\nx"));

    w.actionLogToFile->setChecked(false);
    QVERIFY(!w.isLoggingOn());
    QVERIFY(w.logFileButton()->styleSheet().startsWith("background-color: rgb(200,200,200)"));
    w.toLogger("more\r\n");
    w.trafficLogger()->flush();
    QCOMPARE(contents(logFile), QByteArray("status\r\nx"));
}

void TestTrafficLog::chooserOpensWhenNoFileIsSet()
{
    MainWindow w;
    // The chooser cancelled: nothing changes, and no box about an unwritable file follows.
    dialogs->fileAnswers = QStringList{QString()};
    w.actionLogToFile->setChecked(true);
    QVERIFY(!w.isLoggingOn());
    QVERIFY(!w.actionLogToFile->isChecked());
    w.toLogger("status\r");
    QVERIFY(dialogs->messages.isEmpty());

    dialogs->fileAnswers = QStringList{testHome() + "/chosen"};
    w.actionLogToFile->setChecked(true);
    QCOMPARE(dialogs->fileAsks.size(), 2);
    QCOMPARE(dialogs->fileAsks.first().title, QString("Choose File"));
    QVERIFY(w.isLoggingOn());
    QVERIFY(w.actionLogToFile->isChecked());
    QCOMPARE(w.settingsDialog()->settings().logFile, testHome() + "/chosen.txt");
    QCOMPARE(w.logFileButton()->text(), (testHome() + "/chosen.txt").right(24));

    // Clicking the button picks another file; cancelling changes nothing.
    dialogs->fileAnswers = QStringList{QString()};
    QTest::mouseClick(w.logFileButton(), Qt::LeftButton);
    QCOMPARE(dialogs->fileAsks.size(), 3);
    QCOMPARE(w.settingsDialog()->settings().logFile, testHome() + "/chosen.txt");
    QVERIFY(w.isLoggingOn());
}

void TestTrafficLog::commandsAndRepliesByTab()
{
    FakeAnalyzer a;
    a.answers["ssnid"] = "1234\r\n";
    a.answers["status"] = statusReport("5.5");
    a.answers["lt"] = "Conc : 12.3\r\nGas";
    MainWindow w;
    SettingsPresets p;
    p.serialPort = a.pty.slavePath();
    p.interval = 1;
    p.logFile = logFile;
    QVERIFY(w.settingsDialog()->applyPresets(p).isEmpty());
    w.actionLogToFile->setChecked(true);
    w.openConnection();
    QVERIFY(waitFor([&] { return a.count("status") >= 2; }));
    // On the dashboard the routine replies stay out of the log; the trend rows go in.
    w.trafficLogger()->flush();
    QByteArray log = contents(logFile);
    QVERIFY(!log.contains("Filter : 100"));
    QVERIFY(log.contains(", 5.5, N2, No Faults\r\n"));

    // The operator picks another file while connected: everything goes there from now on.
    const QString second = testHome() + "/traffic-second.txt";
    QFile::remove(second);
    dialogs->fileAnswers = QStringList{second};
    QTest::mouseClick(w.logFileButton(), Qt::LeftButton);
    QCOMPARE(w.settingsDialog()->settings().logFile, second);

    // Off the dashboard, typed lines and replies are logged as they pass.
    w.tabs()->setCurrentIndex(2);
    w.commandEntry()->setText("lt");
    QTest::keyClick(w.commandEntry(), Qt::Key_Return);
    QVERIFY(waitFor([&] { return contents(second).contains("Conc : 12.3\r\n"); }));
    QVERIFY(!contents(logFile).contains("Conc : 12.3"));
    log = contents(second);
    QVERIFY(log.contains("lt\r\nConc : 12.3\r\n"));
    QVERIFY(!log.contains("Gas")); // waits for its line feed
    QVERIFY(w.consoleWidget()->isEnabled());
    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
    QVERIFY(w.isLoggingOn()); // closing the connection does not stop logging
    QVERIFY(dialogs->messages.isEmpty());
}

QTEST_MAIN(TestTrafficLog)
#include "test_trafficlog.moc"
