#include "app/commandline.h"
#include "app/mainwindow.h"
#include "certification/certification.h"
#include "certification/optionsdialog.h"
#include "common/commandsequence.h"
#include "support/testsupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

// The tab, the options dialog and the command-line presets as the main
// window wires them.
class TestCertificationTab : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QSettings().clear();
        CertificationSequence::setSecondMs(1);
        CommandSequence::setSecondMs(1);
    }

    void optionsCancelRestores();
    void runDisablesTheOtherTabs();
    void buttonsDuringRunAndFileSend();
    void commandLine_data();
    void commandLine();
};

static QStringList listTexts(const Certification *tab)
{
    QStringList out;
    for (int i = 0; i < tab->listWidget->count(); ++i)
        out << tab->listWidget->item(i)->text();
    return out;
}

static CertScans noScans()
{
    CertScans none;
    none.optimizeLaser = none.refCellScan = none.offPeak = none.collectSettings = false;
    return none;
}

void TestCertificationTab::optionsCancelRestores()
{
    OptionsDialog d;
    QList<CertScans> accepted;
    connect(&d, &OptionsDialog::scansChanged, [&](CertScans s) { accepted << s; });
    d.OnPeakspinBox->setValue(5);
    d.TempScancheckBox->setChecked(true);
    d.restore();
    QCOMPARE(d.OnPeakspinBox->value(), 12);
    QVERIFY(!d.TempScancheckBox->isChecked());
    QVERIFY(accepted.isEmpty());
    d.OffPeakspinBox->setValue(3);
    d.change();
    QCOMPARE(accepted.size(), 1);
    QCOMPARE(accepted.first().offPeakHours, 3);
}

void TestCertificationTab::runDisablesTheOtherTabs()
{
    ScriptedDialogs dialogs;
    MainWindow::Options demo;
    demo.demo = true;
    MainWindow w(demo);
    w.optionsDialog()->applyScans(noScans()); // through scansChanged to the tab
    CertificationSequence *run = w.certification()->sequence();
    // Not before the analyzer is there and has said who it is.
    run->certify();
    QVERIFY(!w.certification()->inProgress());
    QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("Not started: not connected."));
    w.openConnection();
    QVERIFY(waitFor([&] { return w.certification()->certifyButton->isEnabled(); }));
    w.tabs()->setCurrentIndex(1);
    QVERIFY(w.optionsDialog()->runNote->isHidden());
    run->certify();
    QVERIFY(w.certification()->inProgress());
    // Options taken during the run are for the next one, and the dialog says so;
    // the list shows what runs.
    QVERIFY(!w.optionsDialog()->runNote->isHidden());
    CertScans next = noScans();
    next.collectSettings = true;
    w.optionsDialog()->applyScans(next);
    QCOMPARE(listTexts(w.certification()), QStringList());
    QVERIFY(!w.tabs()->isTabEnabled(0) && !w.tabs()->isTabEnabled(2) && w.tabs()->isTabEnabled(1));
    // A lost link takes the controls away, but not the run's Cancel.
    w.setControlsEnabled(false);
    QVERIFY(w.certification()->cancelCertifyButton->isEnabled());
    QVERIFY(!w.certification()->certifyButton->isEnabled());
    run->queryProgress(); // the archive; the run ends
    QVERIFY(!w.certification()->inProgress());
    QCOMPARE(listTexts(w.certification()), QStringList{"Collect Settings"});
    QVERIFY(w.optionsDialog()->runNote->isHidden());
    QVERIFY(w.tabs()->isTabEnabled(0) && w.tabs()->isTabEnabled(2));
}

void TestCertificationTab::buttonsDuringRunAndFileSend()
{
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    Certification tab;
    tab.sequence()->setFolder(dir.path());
    tab.setControlsEnabled(true);
    QVERIFY(tab.certifyButton->isEnabled());

    const QString file = dir.filePath(QStringLiteral("cmds.txt"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("a\nb\n");
    f.close();
    dialogs.fileAnswers << file;
    QTest::mouseClick(tab.sendFileButton, Qt::LeftButton);
    QCOMPARE(tab.sendFileLabel->text(), QStringLiteral("Sending line: 0 of 2"));
    QVERIFY(!tab.certifyButton->isEnabled()); // no start while a file is being sent
    QVERIFY(tab.cancelFileButton->isEnabled());
    QTest::mouseClick(tab.cancelFileButton, Qt::LeftButton);
    QVERIFY(!tab.certifyButton->isEnabled()); // until the restore is out
    QVERIFY(waitFor([&] { return !tab.sequence()->isRestoring(); }));
    QCOMPARE(tab.currentStep(), 0);
    QVERIFY(tab.certifyButton->isEnabled());

    tab.changeScans(noScans());
    QTest::mouseClick(tab.certifyButton, Qt::LeftButton);
    QCOMPARE(tab.currentStep(), int(CertificationSequence::MakeArchive));
    QVERIFY(!tab.certifyButton->isEnabled() && !tab.sendFileButton->isEnabled());
    QVERIFY(!tab.cancelFileButton->isEnabled() && tab.cancelCertifyButton->isEnabled());
    tab.setControlsEnabled(true); // as the poll does in compatibility mode
    QVERIFY(!tab.certifyButton->isEnabled());
    tab.sequence()->queryProgress();
    QVERIFY(tab.certifyButton->isEnabled());
}

void TestCertificationTab::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("list");
    const QStringList defaults{"Optimize Laser", "Reference Cell Scan",
                               "Off-Peak Ring-Downs (12 hours)", "Collect Settings"};
    QTest::newRow("none") << QStringList() << QString() << defaults;
    QTest::newRow("scans and hours")
        << QStringList{"--scans", "tempscan,onpeak", "--on-peak-hours", "3"} << QString()
        << QStringList{"Cavity Temperature Scan", "On-Peak Ring-Downs (3 hours)"};
    QStringList longer = defaults;
    longer[2] = QStringLiteral("Off-Peak Ring-Downs (24 hours)");
    QTest::newRow("hours only") << QStringList{"--off-peak-hours", "24"} << QString() << longer;
    QTest::newRow("no scan") << QStringList{"--scans", ""} << QString() << QStringList();
    QTest::newRow("unknown scan") << QStringList{"--scans", "optimize,laser"}
                                  << "Unknown scan for --scans: laser" << QStringList();
    QTest::newRow("hours too many")
        << QStringList{"--on-peak-hours", "25"} << "--on-peak-hours takes 1 to 24" << QStringList();
    QTest::newRow("hours zero") << QStringList{"--off-peak-hours", "0"}
                                << "--off-peak-hours takes 1 to 24" << QStringList();
    QTest::newRow("hours not a number") << QStringList{"--off-peak-hours", "x"}
                                        << "--off-peak-hours takes 1 to 24" << QStringList();
}

void TestCertificationTab::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QFETCH(QStringList, list);
    CommandLine cl;
    const CommandLine::Result result = cl.parse(QStringList{"telvar"} + arguments);
    if (!error.isEmpty()) {
        QCOMPARE(result, CommandLine::Error);
        QVERIFY2(cl.message().startsWith(error), qPrintable(cl.message()));
        return;
    }
    QCOMPARE(result, CommandLine::Run);
    MainWindow w;
    QCOMPARE(cl.applyTo(w), QString());
    QCOMPARE(listTexts(w.certification()), list);
}

QTEST_MAIN(TestCertificationTab)
#include "test_certificationtab.moc"
