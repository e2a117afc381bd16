#include "app/mainwindow.h"
#include "certification/certification.h"
#include "certification/optionsdialog.h"
#include "common/commandsequence.h"
#include "plot/plotwindow.h"
#include "service/service.h"
#include "simprocess.h"

#include <QAction>
#include <QDir>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QtTest>

// A reference cell scan from the Start button to the plotted result, with the
// simulator on a real pty. Paced seconds are shortened to a tenth. The
// analyzer's cable may be pulled in the middle of the scan or of its download
// and plugged in again: the scan starts over, the download is asked again
// whole. Disconnect in the middle ends
// it with nothing but the goodbye commands.
class TestItScans : public QObject
{
    Q_OBJECT
private slots:
    void referenceCellScan_data();
    void referenceCellScan();
};

void TestItScans::referenceCellScan_data()
{
    QTest::addColumn<QString>("dropOn");
    QTest::addColumn<int>("starts");
    QTest::newRow("whole scan") << QString() << 1;
    QTest::newRow("link lost in the scan") << QStringLiteral("lt:4") << 2;
    QTest::newRow("link lost in the download") << QStringLiteral("drcsd") << 1;
    QTest::newRow("Disconnect in the scan") << QStringLiteral("disconnect") << 1;
    QTest::newRow("Quit in the scan") << QStringLiteral("quit") << 1;
    QTest::newRow("Quit in a verification's scan") << QStringLiteral("quit verification") << 1;
}

void TestItScans::referenceCellScan()
{
    QFETCH(QString, dropOn);
    QFETCH(int, starts);
    QSettings().clear();
    QDir(testHome() + QStringLiteral("/QuorvaneData")).removeRecursively();
    ScriptedDialogs dialogs;
    CommandSequence::setSecondMs(100);
    Service::setStartDelayMs(100);
    const QString device = testHome() + QStringLiteral("/orin");
    QStringList args = {QStringLiteral("--pty"),    QStringLiteral("--verbose"),
                        QStringLiteral("--serial"), QStringLiteral("7/31"),
                        QStringLiteral("--link"),   device};
    const bool verification = dropOn == QLatin1String("quit verification");
    const bool quit = verification || dropOn == QLatin1String("quit");
    const bool disconnect = quit || dropOn == QLatin1String("disconnect");
    if (!dropOn.isEmpty() && !disconnect)
        args << QStringLiteral("--drop-on") << dropOn << QStringLiteral("--restart-delay")
             << QStringLiteral("300");
    SimProcess sim(args);
    QVERIFY(sim.ready());

    MainWindow w;
    SettingsPresets p;
    p.serialPort = device;
    p.interval = 1;
    QCOMPARE(w.settingsDialog()->applyPresets(p), QString());
    w.openConnection();
    QVERIFY(w.currentLink());
    // Identified, and the identity questions answered, so that no answer of
    // theirs is taken for a scan position.
    QVERIFY(waitFor([&] { return !w.connectionState().modelName.isEmpty(); }, 15000));
    w.tabs()->setCurrentIndex(3);
    QCOMPARE(w.tabs()->currentIndex(), 3);

    Service *tab = w.service();
    QVERIFY(tab->rcsButton->isEnabled());
    if (verification) {
        CertificationSequence::setSecondMs(10);
        CertScans refCellOnly;
        refCellOnly.optimizeLaser = refCellOnly.offPeak = refCellOnly.collectSettings = false;
        w.optionsDialog()->applyScans(refCellOnly);
        w.certification()->sequence()->certify();
        QVERIFY(w.certification()->inProgress());
    } else {
        tab->rcsButton->click();
    }
    if (disconnect) {
        QVERIFY2(waitFor([&] { return sim.heard().count(QStringLiteral("lt")) >= 3; }, 10000),
                 qPrintable(sim.heard().join(QLatin1Char(','))));
        if (quit) {
            // Ctrl+Q and Yes: the window stays until the goodbye is out.
            w.show();
            w.actionQuit->trigger();
            QCOMPARE(dialogs.count(QStringLiteral("Telvar")), 1);
            QVERIFY(w.isVisible());
            QVERIFY(waitFor([&] { return !w.isVisible(); }));
        } else {
            w.actionDisconnect->trigger();
        }
        QVERIFY(waitFor([&] { return !w.currentLink() && !w.isBusy(); }));
        QCOMPARE(tab->scanState(), 0);
        QVERIFY(!tab->cancelButton->isEnabled() && !w.certification()->inProgress());
        QVERIFY(waitFor([&] { return sim.heard().last() == QLatin1String("tuneringdowns 25"); }));
        const QStringList heard = sim.heard();
        const QStringList end = heard.mid(heard.lastIndexOf(QStringLiteral("lt")) + 1);
        QCOMPARE(end, (QStringList{QStringLiteral("srda 0"), QStringLiteral("tuneringdowns 25")}));
        return;
    }
    QVERIFY2(waitFor([&] { return tab->plotWindow()->sampleCount() > 0 && tab->scanState() == 0; },
                     20000),
             qPrintable(sim.heard().join(QLatin1Char(','))));

    // Service mode first, then the scan, polled for its position until it
    // fell back, then its download.
    const QStringList heard = sim.heard();
    const int mode = heard.lastIndexOf(QStringLiteral("opmode 0"));
    const int start = heard.lastIndexOf(QStringLiteral("rcs 5 35 0.02 1 10 95"));
    const int download = heard.lastIndexOf(QStringLiteral("drcsd"));
    QVERIFY2(mode >= 0 && mode < start && start < download, qPrintable(heard.join(',')));
    QVERIFY(heard.mid(start, download - start).count(QStringLiteral("lt")) >= 10);
    QCOMPARE(heard.count(QStringLiteral("rcs 5 35 0.02 1 10 95")), starts);
    // Nothing of the dashboard's in between, and the operator stays on this tab.
    QVERIFY(!heard.mid(start).contains(QStringLiteral("status")));
    QCOMPARE(w.tabs()->currentIndex(), 3);

    // Every step from Start to End, plotted and kept.
    PlotWindow *plot = tab->plotWindow();
    QCOMPARE(plot->sampleCount(), 1501);
    QVERIFY(plot->isVisible());
    QCOMPARE(plot->seriesName, QStringLiteral("Scan"));
    QCOMPARE(plot->samples().x()[0], 5.0);
    QCOMPARE(plot->samples().x()[1500], 35.0);
    const QDir scans(testHome() + QStringLiteral("/QuorvaneData/Scans"));
    const QStringList files = scans.entryList({QStringLiteral("7_31_rcs_*.txt")}, QDir::Files);
    QCOMPARE(files.size(), 1);
    QCOMPARE(tab->lastFile(), scans.filePath(files.first()));
    const QStringList lines = wholeLines(tab->lastFile());
    QCOMPARE(lines.size(), 5 + 1501);
    QCOMPARE(lines.at(3), QStringLiteral("# rcs 5 35 0.02 1 10 95"));
    QVERIFY(lines.last().startsWith(QStringLiteral("35\t")));
    QCOMPARE(dialogs.messages.size(), 0);

    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
}

QTEST_MAIN(TestItScans)
#include "test_it_scans.moc"
