#include "app/mainwindow.h"
#include "common/commandsequence.h"
#include "console/console.h"
#include "dashboard/instrument.h"
#include "plot/plotwindow.h"
#include "service/service.h"
#include "service/srda.h"
#include "service/utilities.h"
#include "support/fakeanalyzer.h"
#include "support/testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

// The Service Diagnostics and Utilities tabs in the main window, against an
// analyzer on a real pty: the replies reach them through the reply parser.
class TestServiceTabs : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void srdaHeaderSelectorsPointsExport();
    void noDataToPlotOrExport_data();
    void noDataToPlotOrExport();
    void clearThenRowsWithoutHeaderStoreNothing();
    void exportFailureIsReported();
    void elapsedHoursCountOnAfterStop();
    void memoryLimitSaysSoOnceAndReadingGoesOn();
    void wrongModeBoxWaitsForTheReplyPath();
    // While a collection owns the conversation, the other controls are
    // disabled, and what they would send is refused even so.
    void otherControlsSendNothingDuringACollection_data();
    void otherControlsSendNothingDuringACollection();

private:
    void connectTo(MainWindow &w, FakeAnalyzer &a);
    void startSrda(MainWindow &w, FakeAnalyzer &a, const QByteArray &header);
    ScriptedDialogs *dialogs = nullptr;
};

namespace {

QByteArray row(int second, const QByteArray &rest)
{
    return "2025-1-31 12:00:" + QByteArray::number(second).rightJustified(2, '0') + '\t' + rest +
           "\r\n";
}

} // namespace

void TestServiceTabs::init()
{
    QSettings().clear();
    dialogs = new ScriptedDialogs;
    CommandSequence::setSecondMs(20);
}

void TestServiceTabs::cleanup()
{
    delete dialogs;
    dialogs = nullptr;
}

void TestServiceTabs::connectTo(MainWindow &w, FakeAnalyzer &a)
{
    a.answers["ssnid"] = "1234\r\n";
    a.answers["unitdisp"] = "1\r\n";
    a.answers["species"] = "H2O\r\n";
    a.answers["modelname"] = "ORIN OK\r\n";
    a.answers["status"] = statusReport();
    SettingsPresets p;
    p.serialPort = a.pty.slavePath();
    p.interval = 1;
    QVERIFY(w.settingsDialog()->applyPresets(p).isEmpty());
    w.openConnection();
    QVERIFY(w.currentLink());
    // The species answer unlocks the tabs' command buttons.
    QVERIFY(waitFor([&] { return w.srda()->onPeakButton->isEnabled(); }));
}

void TestServiceTabs::startSrda(MainWindow &w, FakeAnalyzer &a, const QByteArray &header)
{
    a.answers["srda 3"] = header;
    w.tabs()->setCurrentIndex(4);
    QTest::mouseClick(w.srda()->onPeakButton, Qt::LeftButton);
    QVERIFY(w.srda()->srdaRunning);
    QVERIFY(waitFor([&] { return w.srda()->xSelector->count() > 0; }));
    QVERIFY(a.commands.mid(a.commands.size() - 3) ==
            (QList<QByteArray>{"fact=1", "opmode 2", "srda 3"}));
}

void TestServiceTabs::srdaHeaderSelectorsPointsExport()
{
    FakeAnalyzer a;
    MainWindow w;
    connectTo(w, a);
    SRDA *srda = w.srda();
    startSrda(w, a, "Date/Time\tTau\tTauStd\r\n");
    const QStringList names{"Date/Time", "Tau", "TauStd"};
    for (QComboBox *box : {srda->xSelector, srda->ySelector}) {
        QStringList got;
        for (int i = 0; i < box->count(); ++i)
            got << box->itemText(i);
        QCOMPARE(got, names);
    }
    srda->ySelector->setCurrentIndex(1);
    a.pty.write(row(1, "99.5\t0.25") + row(2, "99.125\tbad"));
    QVERIFY(waitFor([&] { return srda->data().rowCount() == 2; }));
    // Live points of Tau over time.
    QCOMPARE(srda->plotWindow()->sampleCount(), 2);
    QCOMPARE(srda->elapsedLabel->text(), QString("0.00 hours"));

    QTest::mouseClick(srda->plotButton, Qt::LeftButton);
    QVERIFY(srda->plotWindow()->isVisible());
    QVERIFY(srda->plotWindow()->dateAxis());
    srda->xSelector->setCurrentIndex(1);
    QTest::mouseClick(srda->plotButton, Qt::LeftButton);
    QVERIFY(!srda->plotWindow()->dateAxis());
    QCOMPARE(srda->plotWindow()->seriesName, QString("Tau"));

    const QString file = testHome() + "/srda.csv";
    dialogs->fileAnswers << file;
    QTest::mouseClick(srda->exportButton, Qt::LeftButton);
    QFile csv(file);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll(), QByteArray("Date/Time,Tau,TauStd,\n"
                                       "2025-01-31 12:00:01,99.5,0.25,\n"
                                       "2025-01-31 12:00:02,99.125,nan,\n"));
    QVERIFY(dialogs->messages.isEmpty());

    QTest::mouseClick(srda->stopButton, Qt::LeftButton);
    QVERIFY(!srda->srdaRunning);
    QVERIFY(waitFor([&] { return a.count("tuneringdowns 25") == 1; }));
    QVERIFY(a.count("srda 0") == 1);
}

void TestServiceTabs::noDataToPlotOrExport_data()
{
    QTest::addColumn<bool>("plot");
    QTest::newRow("plot") << true;
    QTest::newRow("export") << false;
}

void TestServiceTabs::noDataToPlotOrExport()
{
    QFETCH(bool, plot);
    SRDA srda;
    // A header of one column is no data either.
    srda.data().setColumns({"Date/Time"});
    QTest::mouseClick(plot ? srda.plotButton : srda.exportButton, Qt::LeftButton);
    QCOMPARE(dialogs->messages.size(), 1);
    QCOMPARE(dialogs->messages.first().text,
             plot ? QString("No SRDA data to plot") : QString("No SRDA data to export"));
    QVERIFY(dialogs->fileAsks.isEmpty());
    QVERIFY(!srda.plotWindow()->isVisible());
}

void TestServiceTabs::clearThenRowsWithoutHeaderStoreNothing()
{
    FakeAnalyzer a;
    MainWindow w;
    connectTo(w, a);
    SRDA *srda = w.srda();
    startSrda(w, a, "Date/Time\tTau\r\n");
    a.pty.write(row(1, "1") + row(2, "2"));
    QVERIFY(waitFor([&] { return srda->data().rowCount() == 2; }));

    // Cancel is the default: nothing cleared.
    QTest::mouseClick(srda->clearButton, Qt::LeftButton);
    QCOMPARE(srda->data().rowCount(), 2);

    dialogs->answers << Dialogs::Ok;
    QTest::mouseClick(srda->clearButton, Qt::LeftButton);
    QCOMPARE(srda->data().rowCount(), 0);
    QVERIFY(srda->xSelector->count() == 0 && srda->ySelector->count() == 0);
    QCOMPARE(srda->elapsedLabel->text(), QString("0.00 hours"));
    QVERIFY(srda->srdaRunning);

    a.pty.write(row(3, "3") + row(4, "4") + "marker\r\n");
    QVERIFY(waitFor([&] {
        w.consoleWidget()->flush(); // the window is not shown
        return w.consoleWidget()->toPlainText().contains("marker");
    }));
    QCOMPARE(srda->data().rowCount(), 0);
    // The plot keeps what it showed.
    QCOMPARE(srda->plotWindow()->sampleCount(), 0);
}

void TestServiceTabs::exportFailureIsReported()
{
    SRDA srda;
    srda.data().setColumns({"Date/Time", "Tau"});
    const double values[] = {0, 1};
    QVERIFY(srda.data().appendRow(values));

    // Cancel in the file chooser stays silent.
    dialogs->fileAnswers << "";
    QTest::mouseClick(srda.exportButton, Qt::LeftButton);
    QVERIFY(dialogs->messages.isEmpty());

    const QString file = testHome() + "/no such folder/srda.csv";
    dialogs->fileAnswers << file;
    QTest::mouseClick(srda.exportButton, Qt::LeftButton);
    QCOMPARE(dialogs->messages.size(), 1);
    QCOMPARE(dialogs->messages.first().icon, Dialogs::Icon::Warning);
    QVERIFY2(dialogs->messages.first().text.contains(file),
             qPrintable(dialogs->messages.first().text));
}

void TestServiceTabs::elapsedHoursCountOnAfterStop()
{
    FakeClock clock;
    SRDA srda;
    srda.sendSRDAONCommand();
    clock.advance(15 * 60 * 1000);
    srda.updateDataSize();
    QCOMPARE(srda.elapsedLabel->text(), QString("0.25 hours"));
    srda.sendSRDAStopCommand();
    clock.advance(15 * 60 * 1000 + 18000); // 0.505 h shows as 0.51
    srda.updateDataSize();
    QCOMPARE(srda.elapsedLabel->text(), QString("0.51 hours"));
}

void TestServiceTabs::memoryLimitSaysSoOnceAndReadingGoesOn()
{
    FakeAnalyzer a;
    MainWindow w;
    connectTo(w, a);
    SRDA *srda = w.srda();
    const qint64 blockBytes = qint64(SrdaData::blockRows) * 2 * sizeof(double);
    srda->data().setMemoryLimit(blockBytes);
    startSrda(w, a, "Date/Time\tN\r\n");
    srda->ySelector->setCurrentIndex(1);
    // The console keeps the last 100 lines: few rows after the limit.
    const int rows = SrdaData::blockRows + 4;
    for (int sent = 0; sent < rows;) {
        QByteArray batch;
        for (int i = 0; i < 100; ++i, ++sent)
            batch += row(sent % 60, QByteArray::number(sent));
        a.pty.write(batch);
        QVERIFY(waitFor([&] {
            return srda->data().rowCount() == qMin(sent, SrdaData::blockRows) &&
                   (sent <= SrdaData::blockRows || srda->data().limitReached());
        }));
    }
    a.pty.write("last line\r\n");
    QVERIFY(waitFor([&] {
        w.consoleWidget()->flush(); // the window is not shown
        return w.consoleWidget()->toPlainText().contains("last line");
    }));
    const QString text = "Memory limit reached: 4096 rows kept; export and clear to continue";
    QCOMPARE(srda->elapsedLabel->text(), text);
    QCOMPARE(w.consoleWidget()->toPlainText().count(text), 1);
    QCOMPARE(srda->data().rowCount(), qint64(SrdaData::blockRows));
    QCOMPARE(srda->data().value(SrdaData::blockRows - 1, 1), double(SrdaData::blockRows - 1));
    // The live plot keeps its own points and goes on.
    QCOMPARE(srda->plotWindow()->sampleCount(), rows);
    QVERIFY(dialogs->messages.isEmpty());

    // A new collection starts with room again.
    a.pty.write("Date/Time\tN\r\n" + row(1, "7"));
    QVERIFY(waitFor([&] { return srda->data().rowCount() == 1; }));
    QCOMPARE(srda->elapsedLabel->text(), QString("0.00 hours"));
}

void TestServiceTabs::wrongModeBoxWaitsForTheReplyPath()
{
    FakeAnalyzer a;
    MainWindow w;
    connectTo(w, a);
    Utilities *u = w.utilities();
    w.tabs()->setCurrentIndex(2);
    a.answers["DYNAMICFILTER_ENABLED"] = "!WRONG\r\n";
    // While the box is open the analyzer goes on talking: a bare "1" that
    // comes after the "!WRONG" is no answer to the Speed+ query any more.
    dialogs->whileOpen = [&](const Dialogs::Message &m) {
        if (m.title != "Wrong Mode")
            return;
        a.pty.write("1\r\n");
        QTest::qWait(150);
    };
    QTest::mouseClick(u->refreshSpeedPushButton, Qt::LeftButton);
    QVERIFY(waitFor([&] { return dialogs->count("Wrong Mode") == 1; }));
    QVERIFY(waitFor([&] { return Dialogs::pendingPosts() == 0; }));
    QVERIFY(!u->waitingForSpeed);
    QVERIFY(!u->speedCheckBox->isChecked());
}

void TestServiceTabs::otherControlsSendNothingDuringACollection_data()
{
    QTest::addColumn<QString>("control");
    QTest::newRow("scan start") << "scan";
    QTest::newRow("Utilities filter refresh") << "filter";
    QTest::newRow("dashboard Measure") << "measure";
    QTest::newRow("SRDA tab Tune") << "tune";
    QTest::newRow("console line") << "console";
    QTest::newRow("Send File") << "send file";
    QTest::newRow("Utilities Speed+") << "speed";
}

void TestServiceTabs::otherControlsSendNothingDuringACollection()
{
    QFETCH(QString, control);
    FakeAnalyzer a;
    MainWindow w;
    connectTo(w, a);
    QTemporaryDir dir;
    const auto commandFile = [&](const QString &name, const QByteArray &lines) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(lines);
        dialogs->fileAnswers << f.fileName();
    };
    startSrda(w, a, "Date/Time\tTau\r\n");
    const int heard = a.commands.size();
    // Pressed anyway (the signal, as a stray click or a key would give it).
    QAbstractButton *button = control == "scan"      ? w.service()->rcsButton
                              : control == "filter"  ? w.utilities()->refreshFilterPushButton
                              : control == "measure" ? w.instrument()->measureButton
                              : control == "tune"    ? w.srda()->tuneButton
                              : control == "speed"
                                  ? static_cast<QAbstractButton *>(w.utilities()->speedCheckBox)
                                  : w.srda()->sendFileButton;
    const bool speedShown = w.utilities()->speedCheckBox->isChecked();
    if (control == "console") {
        w.commandEntry()->setText("sver");
        QTest::keyClick(w.commandEntry(), Qt::Key_Return);
        w.consoleWidget()->flush();
        QVERIFY(
            w.consoleWidget()->toPlainText().contains("Not sent: an SRDA collection is running."));
    } else {
        QVERIFY(!button->isEnabled());
        if (control == "send file") {
            commandFile("first.txt", "first\r\n");
            w.srda()->browseButton->click();
        }
        if (control == "speed") {
            button->click(); // a box shows only what the analyzer was told
        } else {
            emit button->clicked();
            emit button->released();
        }
    }
    QTest::qWait(300);
    QCOMPARE(w.utilities()->speedCheckBox->isChecked(), speedShown);
    QCOMPARE(a.commands.mid(heard), QList<QByteArray>());
    QVERIFY(w.srda()->srdaRunning);
    QCOMPARE(w.service()->scans().state(), ServiceScan::Idle);
    if (control != "send file")
        return;
    // The refused send kept nothing open: after the collection the file
    // chosen next is the one that goes.
    QTest::mouseClick(w.srda()->stopButton, Qt::LeftButton);
    QStringList said;
    connect(w.statusBar(), &QStatusBar::messageChanged, this,
            [&](const QString &text) { said << text; });
    commandFile("second.txt", "second\r\n");
    w.srda()->browseButton->click();
    w.srda()->delaySpinBox->setValue(1);
    QTest::mouseClick(w.srda()->sendFileButton, Qt::LeftButton);
    QVERIFY(waitFor([&] { return a.count("second") == 1; }, 5000));
    QCOMPARE(a.count("first"), 0);
    // Each line goes once, and nothing claims it was not sent.
    QVERIFY(waitFor([&] { return w.srda()->sendFileButton->isEnabled(); }, 5000));
    QVERIFY2(said.filter("Not sent").isEmpty(), qPrintable(said.join('|')));
    // A path typed into "Open:" is the one that goes.
    commandFile("third.txt", "third\r\n");
    dialogs->fileAnswers.clear();
    w.srda()->fileLineEdit->setText(dir.filePath("third.txt"));
    QTest::mouseClick(w.srda()->sendFileButton, Qt::LeftButton);
    QVERIFY(waitFor([&] { return a.count("third") == 1; }, 5000));
}

QTEST_MAIN(TestServiceTabs)
#include "test_servicetabs.moc"
