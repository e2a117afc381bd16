#include "app/analyzersession.h"
#include "app/mainwindow.h"
#include "common/commandsequence.h"
#include "dashboard/instrument.h"
#include "service/srda.h"
#include "simprocess.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

// A whole SRDA collection against the simulator on a real pty: start, collect
// a fast stream, stop, export. The CSV must hold exactly the rows the
// simulator sent.
class TestItSrda : public QObject
{
    Q_OBJECT
private slots:
    void collectStopExport();
    void collectionGoesOnAfterALostLink();
};

namespace {

// Connected to the analyzer at `port`, polling each second, until the SRDA
// tab's buttons are enabled by the identity answers.
bool connectForSrda(MainWindow &w, const QString &port)
{
    SettingsPresets p;
    p.serialPort = port;
    p.interval = 1;
    if (!w.settingsDialog()->applyPresets(p).isEmpty())
        return false;
    w.openConnection();
    return waitFor([&] { return w.srda()->onPeakButton->isEnabled(); }, 15000);
}

} // namespace

void TestItSrda::collectStopExport()
{
    QSettings().clear();
    ScriptedDialogs dialogs;
    CommandSequence::setSecondMs(20);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString sentFile = dir.filePath("sent.tsv");
    const int rows = 6000;
    SimProcess sim({"--pty", "--seed", "3", "--srda-rate", "3000", "--srda-count",
                    QString::number(rows), "--srda-copy", sentFile});
    QVERIFY(sim.ready());

    MainWindow w;
    QVERIFY(connectForSrda(w, sim.endpoint));
    SRDA *srda = w.srda();

    w.tabs()->setCurrentIndex(4);
    QTest::mouseClick(srda->onPeakButton, Qt::LeftButton);
    QVERIFY(waitFor([&] { return srda->data().rowCount() == rows; }, 15000));
    QTest::mouseClick(srda->stopButton, Qt::LeftButton);
    QVERIFY(!srda->srdaRunning);

    const QString csvFile = dir.filePath("srda.csv");
    dialogs.fileAnswers << csvFile;
    QTest::mouseClick(srda->exportButton, Qt::LeftButton);
    QVERIFY(dialogs.messages.isEmpty());

    QFile sentRows(sentFile);
    QVERIFY(sentRows.open(QIODevice::ReadOnly));
    QList<QByteArray> sent = sentRows.readAll().split('\n');
    QCOMPARE(sent.takeLast(), QByteArray());
    QFile csv(csvFile);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QList<QByteArray> exported = csv.readAll().split('\n');
    QCOMPARE(exported.takeLast(), QByteArray());
    QCOMPARE(exported.takeFirst(), QByteArray("Date/Time,Ringdown,Tau,Amplitude,Peak,"));
    QCOMPARE(exported.size(), sent.size());
    QCOMPARE(sent.size(), rows);
    for (int i = 0; i < rows; ++i) {
        // The simulator writes "2025-1-31 9:05:07\t..."; the export "2025-01-31 09:05:07,...,".
        QList<QByteArray> fields = sent.at(i).trimmed().split('\t');
        const QDateTime at = QDateTime::fromString(QString::fromLatin1(fields.first()),
                                                   QStringLiteral("yyyy-M-d H:mm:ss"));
        QVERIFY(at.isValid());
        QList<QByteArray> got = exported.at(i).split(',');
        QCOMPARE(got.takeLast(), QByteArray()); // every field ends in ','
        QCOMPARE(got.size(), fields.size());
        QCOMPARE(got.first(), at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toLatin1());
        // The same numbers, though "99.80" comes back as "99.8".
        for (int f = 1; f < fields.size(); ++f)
            QCOMPARE(got.at(f).toDouble(), fields.at(f).toDouble());
    }
    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
}

void TestItSrda::collectionGoesOnAfterALostLink()
{
    // The cable is pulled after 1500 rows and plugged in again: the same
    // analyzer gets the start commands again, and the rows go on being added
    // to those collected before.
    QSettings().clear();
    ScriptedDialogs dialogs;
    CommandSequence::setSecondMs(20);
    QTemporaryDir dir;
    const QString device = dir.filePath("orin");
    SimProcess sim({"--pty", "--verbose", "--seed", "3", "--srda-rate", "2000", "--link", device,
                    "--drop-on", "row:1500", "--restart-delay", "300"});
    QVERIFY(sim.ready());

    MainWindow w;
    QVERIFY(connectForSrda(w, device));
    SRDA *srda = w.srda();
    w.tabs()->setCurrentIndex(4);
    qint64 atLoss = -1;
    QString lossLine;
    connect(w.session(), &AnalyzerSession::lost, this, [&] {
        atLoss = srda->data().rowCount();
        lossLine = w.instrument()->staleLabel()->text();
    });
    // Once the link is open again, the line says so, not "next try".
    QString reopenLine;
    connect(w.session(), &AnalyzerSession::statusText, this, [&](const QString &text) {
        if (atLoss > 0 && reopenLine.isEmpty() && w.currentLink() &&
            text == w.currentLink()->connectionText)
            reopenLine = w.instrument()->staleLabel()->text();
    });
    QTest::mouseClick(srda->onPeakButton, Qt::LeftButton);
    QVERIFY2(
        waitFor([&] { return atLoss > 0; }, 15000),
        qPrintable(sim.heard().join(',') + " rows " + QString::number(srda->data().rowCount())));
    QVERIFY(srda->srdaRunning);
    QVERIFY(srda->stopButton->isEnabled()); // Stop stays in reach while reconnecting
    // The dashboard says why in plain words, since when the run waits and until when it may.
    QVERIFY2(lossLine.contains(", reconnecting: the serial device went away ("),
             qPrintable(lossLine));
    QVERIFY2(lossLine.contains(QRegularExpression(
                 " The run has been paused since \\d\\d:\\d\\d:\\d\\d; it is cancelled if its "
                 "analyzer is not back by \\d\\d:\\d\\d:\\d\\d\\.$")),
             qPrintable(lossLine));
    QVERIFY(waitFor([&] { return srda->data().rowCount() > atLoss + 2000; }, 15000));
    QVERIFY2(reopenLine.contains(QRegularExpression(
                 "^Reconnected at \\d\\d:\\d\\d:\\d\\d, waiting for the analyzer\\.$")),
             qPrintable(reopenLine));
    // The run goes on: nothing paused any more, the values still from before the loss.
    const QString resumedLine = w.instrument()->staleLabel()->text();
    QVERIFY2(resumedLine.startsWith("Reconnected at ") && !resumedLine.contains("paused"),
             qPrintable(resumedLine));
    QVERIFY(w.instrument()->isStale());
    QCOMPARE(w.tabs()->currentIndex(), 4);
    QCOMPARE(sim.heard().count(QStringLiteral("srda 3")), 2);
    QVERIFY(!sim.heard().contains(QStringLiteral("status")));
    QTest::mouseClick(srda->stopButton, Qt::LeftButton);
    QVERIFY(!srda->srdaRunning);
    w.closeConnection();
    QVERIFY(waitFor([&] { return !w.currentLink(); }));
}

QTEST_MAIN(TestItSrda)
#include "test_it_srda.moc"
