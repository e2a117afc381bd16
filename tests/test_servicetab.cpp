#include "plot/plotwindow.h"
#include "service/service.h"
#include "support/testsupport.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

// The "Service Scans" tab as the technician uses it, with the main window's
// part played by the test: what it sends, shows, plots and keeps.
class TestServiceTab : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void refusedFieldSendsNothing();
    void scanFromStartToPlot();
    void cancel_data();
    void cancel();
    void emptyDownloadHasNothingToPlot();

private:
    QStringList sent;
    ScriptedDialogs *dialogs = nullptr;
    Service *tab = nullptr;
};

void TestServiceTab::init()
{
    dialogs = new ScriptedDialogs;
    tab = new Service;
    sent.clear();
    connect(tab, &Service::lineforOrin, this, [this](const QString &t) { sent << t; });
    connect(tab, &Service::downloadComplete, tab, &Service::downloadDone);
    Service::setStartDelayMs(0);
    tab->setSerialNumber(QStringLiteral("0042"));
    tab->setControlsEnabled(true);
    QDir(testHome() + QStringLiteral("/QuorvaneData")).removeRecursively();
}

void TestServiceTab::cleanup()
{
    delete tab;
    delete dialogs;
}

void TestServiceTab::refusedFieldSendsNothing()
{
    tab->field(ServiceScan::Temperature, 2)->setText(QStringLiteral("abc"));
    QVERIFY(!tab->tempScanButton->isEnabled());
    QCOMPARE(tab->refusalLabel(ServiceScan::Temperature)->text(),
             QStringLiteral("Temperature Scan: Step: \"abc\" is not a number."));
    QVERIFY(tab->rcsButton->isEnabled());
    // Reached without the button all the same: said, and nothing goes out.
    tab->startScan(ServiceScan::Temperature);
    QVERIFY(waitFor([&] { return dialogs->messages.size() == 1; }));
    QTest::qWait(20);
    QVERIFY(sent.isEmpty());
    QCOMPARE(tab->scanState(), 0);

    tab->field(ServiceScan::Temperature, 2)->setText(QStringLiteral("0.5"));
    QVERIFY(tab->tempScanButton->isEnabled());
    QVERIFY(tab->refusalLabel(ServiceScan::Temperature)->text().isEmpty());
}

void TestServiceTab::scanFromStartToPlot()
{
    // The commands on the way are checked end to end against the simulator.
    tab->startScan(ServiceScan::RefCell);
    QVERIFY(waitFor([&] { return !sent.isEmpty(); }));
    QVERIFY(!tab->tempScanButton->isEnabled());
    tab->scanReading(QStringLiteral("5"));
    tab->scanReading(QStringLiteral("20"));
    QCOMPARE(tab->positionLabel()->text(), QStringLiteral("20 °C"));
    QCOMPARE(tab->scanProgress()->value(), 50);
    tab->scanReading(QStringLiteral("5")); // falling back fetches the data
    tab->appendDownload({"5.0000", "99.9", "20.0000", "55.1"});
    tab->appendDownload({"35.0000", "99.8"});
    QCOMPARE(tab->scanState(), 0);
    QVERIFY(tab->resultLabel()->text().startsWith(QStringLiteral("Reference Cell Scan, 3 points")));

    // Closing the plot loses nothing: the button brings it back.
    PlotWindow *plot = tab->plotWindow();
    plot->close();
    tab->showPlot();
    QVERIFY(plot->isVisible());
    QCOMPARE(plot->sampleCount(), 3);
    QCOMPARE(dialogs->messages.size(), 0);
}

void TestServiceTab::cancel_data()
{
    QTest::addColumn<bool>("inDownload");
    QTest::addColumn<bool>("byDisconnect"); // the run abandoned: nothing is sent
    QTest::newRow("while the scan runs") << false << false;
    QTest::newRow("while the download runs") << true << false;
    QTest::newRow("abandoned while the scan runs") << false << true;
}

void TestServiceTab::cancel()
{
    QFETCH(bool, inDownload);
    QFETCH(bool, byDisconnect);
    tab->startScan(ServiceScan::FineSpectrum);
    QVERIFY(waitFor([&] { return !sent.isEmpty(); }));
    QCOMPARE(sent.last(), QStringLiteral("fss 90 100 0.05 10 2\r\n"));
    QCOMPARE(tab->scanState(), 3);
    tab->scanReading(QStringLiteral("95"));
    if (inDownload) {
        tab->fineDownloadButton->click();
        QCOMPARE(sent.last(), QStringLiteral("dfssd\r\n"));
        tab->appendDownload({"90.000", "99.9"});
    }
    QVERIFY(tab->cancelButton->isEnabled());
    if (byDisconnect) {
        const int before = sent.size();
        tab->abandonRun(QStringLiteral("Disconnected"));
        QCOMPARE(sent.size(), before);
    } else {
        tab->cancelButton->click();
        QCOMPARE(sent.last(), QStringLiteral("opmode 0\r\n"));
    }
    QCOMPARE(tab->scanState(), 0);
    QVERIFY(!tab->cancelButton->isEnabled());
    QVERIFY(tab->fineScanButton->isEnabled());
    // Rows still arriving are not taken.
    tab->appendDownload({"100.000", "99.9"});
    tab->downloadDone();
    QCOMPARE(tab->plotWindow()->sampleCount(), 0);
}

void TestServiceTab::emptyDownloadHasNothingToPlot()
{
    tab->download(ServiceScan::Temperature);
    QCOMPARE(sent, QStringList{"dtsd\r\n"});
    // The analyzer stays quiet; the main window gives up waiting.
    tab->downloadDone();
    QCOMPARE(tab->scanState(), 0);
    QCOMPARE(tab->resultLabel()->text(), QStringLiteral("No scan data to plot"));
    QVERIFY(!QDir(testHome() + QStringLiteral("/QuorvaneData/Scans")).exists());
    tab->showPlot();
    QCOMPARE(dialogs->messages.size(), 1);
    QCOMPARE(dialogs->messages.first().text, QStringLiteral("No scan data to plot"));
    QVERIFY(!tab->plotWindow()->isVisible());
}

QTEST_MAIN(TestServiceTab)
#include "test_servicetab.moc"
