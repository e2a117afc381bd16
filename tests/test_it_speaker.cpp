#include "app/commandsequence.h"
#include "app/mainwindow.h"
#include "certification/certification.h"
#include "certification/certificationsequence.h"
#include "console/console.h"
#include "dashboard/instrument.h"
#include "service/service.h"
#include "service/srda.h"
#include "service/utilities.h"
#include "simprocess.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

// An operator new to the program, in the middle of a performance verification
// against the simulator on a real pty, tries the other tabs' buttons and the
// console: the analyzer hears none of it, and the verification goes on.
class TestItSpeaker : public QObject
{
    Q_OBJECT
private slots:
    void verificationIsTheOnlySpeaker();
};

void TestItSpeaker::verificationIsTheOnlySpeaker()
{
    QSettings().clear();
    ScriptedDialogs dialogs;
    CommandSequence::setSecondMs(50);
    const QString device = testHome() + QStringLiteral("/orin");
    SimProcess sim({QStringLiteral("--pty"), QStringLiteral("--verbose"),
                    QStringLiteral("--serial"), QStringLiteral("4321"), QStringLiteral("--link"),
                    device});
    QVERIFY(sim.ready());
    MainWindow w;
    SettingsPresets p;
    p.serialPort = device;
    p.interval = 1;
    QCOMPARE(w.settingsDialog()->applyPresets(p), QString());
    w.openConnection();
    QVERIFY(waitFor([&] { return !w.connectionState().modelName.isEmpty(); }, 15000));

    CertScans onPeakOnly;
    onPeakOnly.optimizeLaser = onPeakOnly.refCellScan = onPeakOnly.offPeak = false;
    onPeakOnly.collectSettings = false;
    onPeakOnly.onPeak = true;
    onPeakOnly.onPeakHours = 1;
    w.certification()->changeScans(onPeakOnly);
    QVERIFY(w.certification()->certifyButton->isEnabled());
    QTest::mouseClick(w.certification()->certifyButton, Qt::LeftButton);
    QVERIFY(waitFor(
        [&] {
            return sim.heard().contains(QStringLiteral("srda 3")) ||
                   sim.heard().contains(QStringLiteral("srda=3"));
        },
        10000));
    const int heard = sim.heard().size();

    // Greyed out, and pressed anyway (a stray signal) they are refused.
    const QList<QPushButton *> others = {w.instrument()->measureButton,
                                         w.instrument()->tuneButton,
                                         w.utilities()->refreshFilterPushButton,
                                         w.utilities()->measurePushButton,
                                         w.srda()->onPeakButton,
                                         w.srda()->serviceButton,
                                         w.service()->rcsButton};
    for (QPushButton *b : others) {
        QVERIFY2(!b->isEnabled(), qPrintable(b->text() + b->objectName()));
        emit b->clicked();
        emit b->released();
    }
    w.commandEntry()->setText(QStringLiteral("sver"));
    QTest::keyClick(w.commandEntry(), Qt::Key_Return);
    w.consoleWidget()->flush();
    QVERIFY(w.consoleWidget()->toPlainText().contains(
        QStringLiteral("Not sent: a performance verification is running.")));
    waitFor([] { return false; }, 500);
    for (const QString &c : sim.heard().mid(heard))
        QVERIFY2(!c.startsWith(QLatin1String("opmode")) && !c.startsWith(QLatin1String("rcs")) &&
                     c != QLatin1String("status") && c != QLatin1String("filter") &&
                     c != QLatin1String("sver"),
                 qPrintable(c));
    QVERIFY(w.certification()->inProgress());

    QTest::mouseClick(w.certification()->cancelCertifyButton, Qt::LeftButton);
    QVERIFY(waitFor([&] { return !w.certification()->inProgress(); }));
    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink() && !w.isBusy(); }, 10000));
}

QTEST_MAIN(TestItSpeaker)
#include "test_it_speaker.moc"
