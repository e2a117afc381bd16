#include "certification/certificationsequence.h"
#include "common/commandsequence.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <JlCompress.h>
#include <quazip.h>
#include <quazipfile.h>

Q_DECLARE_METATYPE(CertScans)

// The session as the run sees it: whether the link is lost, and what a stop
// owes the analyzer meanwhile.
class Seat : public ReplySeat
{
public:
    bool claim(ReplyOwner *run) override
    {
        holder = run;
        return true;
    }
    void release(ReplyOwner *run) override
    {
        if (holder == run)
            holder = nullptr;
    }
    bool oweWhileLost(ReplyOwner *, const QString &commands) override
    {
        if (lost)
            owed << commands;
        return lost;
    }
    bool isPaused(const ReplyOwner *run) const override { return lost && holder == run; }

    ReplyOwner *holder = nullptr;
    bool lost = false;
    QStringList owed;
};

// The performance verification driven by hand, tick by tick, on a fake clock:
// a 12-hour collection takes no time. The analyzer is a table of replies,
// delivered through the event loop as a link would deliver them.
class Rig
{
public:
    Rig()
    {
        // A paced second of a burst takes a millisecond; play() counts it as a second.
        CommandSequence::setSecondMs(1);
        seq.seatAt(&seat);
        clock.t = QDateTime(QDate(2021, 12, 28), QTime(17, 50, 0));
        seq.setFolder(dir.path());
        seq.settingsCommandFile = dir.filePath(QStringLiteral("Get_Factory_Settings.txt"));
        QFile f(seq.settingsCommandFile);
        if (f.open(QIODevice::WriteOnly))
            f.write("sver\ncalfactor\n");
        QObject::connect(&seq, &CertificationSequence::lineforOrin, [this](const QString &c) {
            sent << c;
            sentAt << clock.mono;
            if (onSend)
                onSend(c);
            const QString r = c == QLatin1String("lt\r\n") && !positions.isEmpty()
                                  ? positions.takeFirst() + QStringLiteral("\r\n")
                                  : replies.value(c);
            if (!r.isEmpty())
                QMetaObject::invokeMethod(
                    &seq, [this, r] { seq.linefromOrin(r); }, Qt::QueuedConnection);
        });
        QObject::connect(&seq, &CertificationSequence::lineforLogger,
                         [this](const QString &c) { logged << c; });
        QObject::connect(&seq, &CertificationSequence::stepChanged, [this](int s) { steps << s; });
        QObject::connect(&seq, &CertificationSequence::certifying,
                         [this](bool on) { certifying << on; });
        QObject::connect(&seq, &CertificationSequence::statusText,
                         [this](const QString &t) { status = t; });
        QObject::connect(&seq, &CertificationSequence::sendFileLabel,
                         [this](const QString &t) { fileLabel = t; });
        QObject::connect(&seq, &CertificationSequence::finished, [this](bool ok, const QString &t) {
            finishedOk = ok;
            finishedText = t;
        });
    }

    ~Rig() { CommandSequence::setSecondMs(1000); }

    void start(const CertScans &scans)
    {
        seq.setScans(scans);
        seq.certify();
        seq.tickTimer().stop(); // the test ticks by hand
        play();
    }

    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i) {
            seq.queryProgress();
            play();
            // Replies, and replies to what those replies made the run send.
            for (int round = 0; round < 3; ++round)
                QCoreApplication::processEvents();
        }
    }

    // Plays the burst under way to its end. Each of its paced seconds ends in
    // a command, sent or owed: one second of the fake clock passes per command.
    void play()
    {
        while (seq.bursts().isRunning()) {
            const int before = sent.size() + seat.owed.size();
            clock.advance(1000);
            while (seq.bursts().isRunning() && sent.size() + seat.owed.size() == before)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }

    // The link goes and comes back, as the session tells the run.
    void loseLink()
    {
        seat.lost = true;
        seq.pauseRun();
    }
    void linkBack()
    {
        seat.lost = false;
        seq.resumeRun();
    }

    QString path(const QString &name) const { return dir.path() + QLatin1Char('/') + name; }

    static QByteArray contents(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir dir;
    FakeClock clock;
    ScriptedDialogs dialogs;
    Seat seat;
    CertificationSequence seq;
    QStringList positions; // what "lt" reads, in turn
    // What the analyzer says to each command.
    QHash<QString, QString> replies = {
        {"opmode 5\r\n", "5\r\n"},
        {"opmode\r\n", "0\r\n"},
        {"fact=1\r\n", "1\r\n"},
        {"drcsd\r\n", "5.0000 0.11\r\n20.0000 0.52\r\n35.0000 0.13\r\n"},
        {"dtsd\r\n", "5.000 0.11\r\n35.000 0.13\r\n"},
        {"srda=3\r\n", "Date/Time\tRingdown\r\n2021-12-28 17:50:00\t1\t99.9\r\n"},
        {"sver\r\n", "5.10\r\n"},
        {"calfactor\r\n", "1.0000 0.9990\r\n"}};
    QStringList sent, logged;
    QList<qint64> sentAt;
    QList<int> steps;
    QList<bool> certifying;
    QString status, fileLabel, finishedText;
    bool finishedOk = false;
    std::function<void(const QString &)> onSend;
};

static CertScans only(bool optimize, bool temp, bool ref, bool on, bool off, bool settings)
{
    CertScans s;
    s.optimizeLaser = optimize;
    s.cavityTempScan = temp;
    s.refCellScan = ref;
    s.onPeak = on;
    s.offPeak = off;
    s.collectSettings = settings;
    return s;
}

// The member names and contents of a zip, read back through QuaZip.
static QMap<QString, QByteArray> zipMembers(const QString &zip)
{
    QMap<QString, QByteArray> out;
    QuaZip z(zip);
    if (!z.open(QuaZip::mdUnzip))
        return out;
    for (bool more = z.goToFirstFile(); more; more = z.goToNextFile()) {
        QuaZipFile f(&z);
        if (f.open(QIODevice::ReadOnly))
            out.insert(z.getCurrentFileName(), f.readAll());
    }
    return out;
}

class TestCertification : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English)); }

    void defaultRunPassesItsStates();
    void archiveAndResultsBox_data();
    void archiveAndResultsBox();
    void optimizeLaserAcknowledgement_data();
    void optimizeLaserAcknowledgement();
    void downloadEndsOnWholeMarkerOrTimeout_data();
    void downloadEndsOnWholeMarkerOrTimeout();
    void ringDownsEndAfterTheirHours_data();
    void ringDownsEndAfterTheirHours();
    void cancelRestoresServiceMode_data();
    void cancelRestoresServiceMode();
    void fileNames_data();
    void fileNames();
    void resultsListOnlySelectedScans_data();
    void resultsListOnlySelectedScans();
    void lossRestartsTheInterruptedStep_data();
    void lossRestartsTheInterruptedStep();

    // Faults the first design had.
    void oneSecondWaitAcrossMidnight();
    void tickIsNeverReentered();
    void secondRunStartsWithEmptyDownload();
    void analyzerIdStaysInTheFolder();
    void blankBlockIsNoScanPosition();
    void missingCommandFileCancelsWithoutBlocking();
};

void TestCertification::defaultRunPassesItsStates()
{
    Rig rig;
    rig.seq.setSSNID(QStringLiteral("4321"));
    rig.positions = QStringList{QStringLiteral("5.00"), QStringLiteral("20.00"),
                                QStringLiteral("35.00"), QStringLiteral("21.00")};
    rig.start(CertScans());
    QCOMPARE(rig.certifying, QList<bool>{true});
    // Laser optimization, the reference cell scan and its download, the
    // off-peak start burst; then 12 h later the settings and the archive.
    rig.tick(8);
    rig.clock.advance(12 * 3600000LL + 1);
    rig.tick(5);
    rig.seq.queryProgress();
    QCOMPARE(rig.steps, (QList<int>{1, 3, 13, 5, 6, 7, 0}));
    QCOMPARE(rig.certifying, (QList<bool>{true, false}));
    QVERIFY(rig.dialogs.messages.isEmpty()); // not from inside the tick
    QVERIFY(waitFor([&] { return !rig.dialogs.messages.isEmpty(); }));
    QCOMPARE(rig.dialogs.messages.first().title, QStringLiteral("Results"));

    // Every member of the archive equals its file.
    const CertFiles::RunFiles files = rig.seq.files();
    QVERIFY(rig.finishedOk);
    QCOMPARE(rig.finishedText, rig.path(files.archive));
    const QMap<QString, QByteArray> zip = zipMembers(rig.finishedText);
    QStringList members{files.offPeak, files.refCell, files.settings};
    members.sort();
    QCOMPARE(zip.keys(), members);
    for (auto it = zip.cbegin(); it != zip.cend(); ++it)
        QCOMPARE(it.value(), Rig::contents(rig.path(it.key())));
    QVERIFY(zip.value(files.offPeak).contains("\t99.9\r\n"));
    // The settings commands also went to the traffic log.
    QVERIFY(rig.logged.contains(QStringLiteral("calfactor\r\n")));
}

void TestCertification::archiveAndResultsBox_data()
{
    QTest::addColumn<bool>("blocked");
    QTest::newRow("no scan: straight to the archive") << false;
    QTest::newRow("the archive cannot be written") << true;
}

void TestCertification::archiveAndResultsBox()
{
    QFETCH(bool, blocked);
    Rig rig;
    rig.seq.setSSNID(QStringLiteral("4321"));
    // A same-day on-peak file of an earlier run is archived, though not listed.
    const QString earlier = QStringLiteral("4321_2021-Dec-28_SRDA_ON-peak.txt");
    QVERIFY(CertFiles::append(rig.path(earlier), QStringLiteral("earlier\r\n")));
    // Something of the archive's name that a zip cannot replace.
    const QString archive =
        rig.path(QStringLiteral("CertificationData_4321_2021-Dec-28-17-50.zip"));
    if (blocked)
        QVERIFY(QDir().mkdir(archive));
    rig.start(only(false, false, false, false, false, false));
    QCOMPARE(rig.seq.currentStep(), int(CertificationSequence::MakeArchive));
    rig.tick();
    QCOMPARE(rig.seq.currentStep(), 0);
    QCOMPARE(rig.finishedOk, !blocked);
    QVERIFY(rig.finishedText.contains(archive));
    if (!blocked)
        QCOMPARE(zipMembers(archive).value(earlier), QByteArray("earlier\r\n"));
    QVERIFY(waitFor([&] { return !rig.dialogs.messages.isEmpty(); }));
    const QString text = rig.dialogs.messages.first().text;
    QVERIFY(!text.contains(earlier));
    QVERIFY(text.contains(archive));
    QCOMPARE(text.contains(QStringLiteral("was created")), !blocked);
    QCOMPARE(text.contains(QStringLiteral("could not be made")), blocked);
}

void TestCertification::lossRestartsTheInterruptedStep_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("ticksInto");
    QTest::newRow("optimize laser") << int(CertificationSequence::OptimizeLaser) << 1;
    QTest::newRow("reference cell scan") << int(CertificationSequence::RefCellScan) << 2;
    QTest::newRow("its download") << int(CertificationSequence::DownloadRefCellScan) << 0;
    QTest::newRow("on-peak ring-downs") << int(CertificationSequence::OnPeakRingDowns) << 2;
    QTest::newRow("collect settings") << int(CertificationSequence::CollectSettings) << 2;
}

void TestCertification::lossRestartsTheInterruptedStep()
{
    // The same run twice, the second one losing its link in the middle of a
    // step: the files come out the same (the ring-downs keep what they had and
    // their hour), and the results name the interruption.
    QFETCH(int, step);
    QFETCH(int, ticksInto);
    const QString full = QStringLiteral("5.0000 0.11\r\n20.0000 0.52\r\n35.0000 0.13\r\n");
    bool limitBeforeLoss = false, timersWhilePaused = true;
    const auto run = [&](Rig &rig, bool interrupt, int *sentWhilePaused) {
        CertScans scans = only(true, false, true, true, false, true);
        scans.onPeakHours = 1;
        rig.seq.setSSNID(QStringLiteral("4321"));
        rig.positions = QStringList{"5.00", "20.00", "35.00", "21.00", "22.00"};
        int downloads = 0;
        rig.onSend = [&](const QString &c) {
            // The first download is cut off halfway when the link is to be lost in it.
            if (c == QLatin1String("drcsd\r\n"))
                rig.replies[c] = interrupt && ++downloads == 1 &&
                                         step == CertificationSequence::DownloadRefCellScan
                                     ? QStringLiteral("5.0000 0.11\r\n")
                                     : full;
        };
        rig.start(scans);
        int ticks = 0, into = ticksInto;
        while (rig.seq.currentStep() != CertificationSequence::Idle && ticks < 100) {
            if (interrupt && rig.seq.currentStep() == step && into-- == 0) {
                // As in the program, the tick runs (and a download's limit) when the link goes.
                rig.seq.tickTimer().start();
                limitBeforeLoss = rig.seq.downloadTimer().isActive();
                rig.loseLink();
                // Paused, nothing of the run's own goes on: no tick, no time limit.
                timersWhilePaused =
                    rig.seq.tickTimer().isActive() || rig.seq.downloadTimer().isActive();
                rig.seq.tickTimer().stop(); // the test ticks by hand again
                const int before = rig.sent.size();
                rig.clock.advance(60000);
                rig.tick(2);
                *sentWhilePaused = rig.sent.size() - before;
                rig.linkBack();
                interrupt = false;
            }
            rig.clock.advance(20 * 60000);
            rig.tick();
            ++ticks;
        }
        return ticks;
    };
    // One rig at a time: each installs its own clock.
    QByteArray refCell, settings, onPeakBefore;
    int wholeTicks = 0;
    {
        Rig whole;
        wholeTicks = run(whole, false, nullptr);
        QVERIFY(whole.finishedOk);
        const CertFiles::RunFiles a = whole.seq.files();
        refCell = Rig::contents(whole.path(a.refCell));
        settings = Rig::contents(whole.path(a.settings));
        onPeakBefore = Rig::contents(whole.path(a.onPeak));
    }
    Rig cut;
    int sentWhilePaused = -1;
    const int cutTicks = run(cut, true, &sentWhilePaused);
    QCOMPARE(sentWhilePaused, 0);
    QVERIFY(!timersWhilePaused);
    QCOMPARE(limitBeforeLoss, step == CertificationSequence::DownloadRefCellScan);
    QVERIFY(cut.finishedOk);
    const CertFiles::RunFiles b = cut.seq.files();
    QCOMPARE(Rig::contents(cut.path(b.refCell)), refCell);
    QCOMPARE(Rig::contents(cut.path(b.settings)), settings);
    const QByteArray onPeak = Rig::contents(cut.path(b.onPeak));
    QVERIFY(onPeak.startsWith(onPeakBefore));
    if (step == CertificationSequence::OnPeakRingDowns) {
        QVERIFY(onPeak.size() > onPeakBefore.size());
        QVERIFY2(cutTicks <= wholeTicks + 1, "the hour began again");
    }
    QVERIFY(waitFor([&] { return !cut.dialogs.messages.isEmpty(); }));
    const QString note = QStringLiteral("Connection lost at %1; %2 restarted")
                             .arg(cut.seq.interruptions().value(0).mid(19, 8),
                                  CertificationSequence::stepTitle(step));
    QCOMPARE(cut.seq.interruptions(), QStringList{note});
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"))
                .match(note.mid(19, 8))
                .hasMatch());
    QVERIFY(cut.dialogs.messages.last().text.contains(note));
}

void TestCertification::optimizeLaserAcknowledgement_data()
{
    QTest::addColumn<QStringList>("blocks");
    QTest::addColumn<int>("phase");
    QTest::addColumn<int>("step");
    QTest::newRow("5 and 0 in one block") << QStringList{"5\r\n0\r\n"} << 5 << 1;
    QTest::newRow("then 0") << QStringList{"5\r\n0\r\n", "0\r\n"} << 0 << 7;
    QTest::newRow("0 before 5") << QStringList{"0\r\n"} << 0 << 1;
    QTest::newRow("50 is not 5") << QStringList{"50\r\n", "opmode=5\r\n"} << 5 << 1;
}

void TestCertification::optimizeLaserAcknowledgement()
{
    QFETCH(QStringList, blocks);
    QFETCH(int, phase);
    QFETCH(int, step);
    Rig rig;
    rig.start(only(true, false, false, false, false, false));
    for (const QString &b : blocks)
        rig.seq.linefromOrin(b);
    QCOMPARE(rig.seq.currentPhase(), phase);
    QCOMPARE(rig.seq.currentStep(), step);
}

void TestCertification::downloadEndsOnWholeMarkerOrTimeout_data()
{
    QTest::addColumn<bool>("temp");
    QTest::addColumn<QString>("block");
    QTest::addColumn<bool>("ends"); // else the download limit ends it
    QTest::newRow("temp 35.000") << true << "35.000 0.2\r\n" << true;
    QTest::newRow("temp 35.0000") << true << "34.500 1\r\n35.0000 0.2\r\n" << false;
    QTest::newRow("temp 135.000") << true << "135.000\r\n" << false;
    QTest::newRow("temp tab separated") << true << "0.2\t35.000\r\n" << true;
    QTest::newRow("rcs 35.0000") << false << "35.0000=0.2\r\n" << true;
    QTest::newRow("rcs 35.000") << false << "35.000 0.2\r\n" << false;
}

void TestCertification::downloadEndsOnWholeMarkerOrTimeout()
{
    QFETCH(bool, temp);
    QFETCH(QString, block);
    QFETCH(bool, ends);
    Rig rig;
    const QString first = QStringLiteral("5.0000 0.11\r\n");
    rig.replies["dtsd\r\n"] = rig.replies["drcsd\r\n"] = first;
    rig.positions = QStringList{QStringLiteral("10"), QStringLiteral("7")};
    rig.start(only(false, temp, !temp, false, false, false));
    rig.tick(3); // acknowledged, 10, 7: the fall
    const int download =
        temp ? CertificationSequence::DownloadTempScan : CertificationSequence::DownloadRefCellScan;
    QCOMPARE(rig.seq.currentStep(), download);
    QVERIFY(rig.sent.contains(temp ? QStringLiteral("dtsd\r\n") : QStringLiteral("drcsd\r\n")));
    QCOMPARE(rig.seq.downloadTimer().interval(), 600000);
    QVERIFY(rig.seq.downloadTimer().isActive());
    rig.seq.linefromOrin(block);
    QCOMPARE(rig.seq.currentStep(), ends ? int(CertificationSequence::MakeArchive) : download);
    QCOMPARE(rig.seq.downloadTimer().isActive(), !ends);
    if (!ends) {
        rig.seq.timedOut(); // as the download timer does
        QCOMPARE(rig.status, QStringLiteral("Response timed out"));
        QCOMPARE(rig.seq.currentStep(), int(CertificationSequence::MakeArchive));
    }
    // What arrived is kept either way.
    const CertFiles::RunFiles &files = rig.seq.files();
    QCOMPARE(Rig::contents(rig.path(temp ? files.tempScan : files.refCell)),
             (first + block).toUtf8());
}

void TestCertification::ringDownsEndAfterTheirHours_data()
{
    QTest::addColumn<bool>("onPeak");
    QTest::addColumn<int>("hours");
    QTest::addColumn<int>("chosenMeanwhile"); // hours of every scan, chosen during the run
    QTest::newRow("on-peak 12 h") << true << 12 << 0;
    QTest::newRow("off-peak 1 h") << false << 1 << 0;
    QTest::newRow("off-peak 24 h") << false << 24 << 0;
    QTest::newRow("off-peak 1 h, every scan for 24 h chosen meanwhile") << false << 1 << 24;
}

void TestCertification::ringDownsEndAfterTheirHours()
{
    QFETCH(bool, onPeak);
    QFETCH(int, hours);
    QFETCH(int, chosenMeanwhile);
    Rig rig;
    CertScans s = only(false, false, false, onPeak, !onPeak, false);
    s.onPeakHours = s.offPeakHours = hours;
    rig.start(s);
    rig.tick(); // the start burst; its first "fact=1" is acknowledged during the pauses
    if (chosenMeanwhile > 0) {
        // The Options dialog's OK while the run goes on: for the next run.
        CertScans next = only(true, true, true, true, true, true);
        next.onPeakHours = next.offPeakHours = chosenMeanwhile;
        rig.seq.setScans(next);
    }
    // The reply came during the first pause, just before the second "fact=1".
    const qint64 acknowledged = rig.sentAt.at(1);
    QCOMPARE(rig.seq.currentPhase(), 1);
    const qint64 limit = qint64(hours) * 3600000;
    rig.clock.mono = acknowledged + limit; // exactly the hours: not yet
    rig.tick();
    QCOMPARE(rig.seq.currentPhase(), 1);
    QVERIFY(!rig.sent.contains(QStringLiteral("srda=0\r\n")));
    rig.clock.mono = acknowledged + limit + 1;
    rig.tick();
    QCOMPARE(rig.seq.currentStep(), int(CertificationSequence::MakeArchive));
    const QStringList tail =
        onPeak ? QStringList{"srda=0\r\n"} : QStringList{"srda=0\r\n", "tuneringdowns=25\r\n"};
    QCOMPARE(rig.sent.mid(rig.sent.size() - tail.size()), tail);
}

void TestCertification::cancelRestoresServiceMode_data()
{
    QTest::addColumn<QString>("during");
    QTest::addColumn<QString>("lostOn");    // the link goes as this command is sent
    QTest::addColumn<QStringList>("heard"); // from the Cancel on
    QTest::addColumn<QStringList>("owed");
    const QStringList restore{"opmode 0\r\n", "srda=0\r\n", "tuneringdowns=25\r\n"};
    QTest::newRow("Send File") << "file"
                               << "" << restore << QStringList();
    QTest::newRow("the off-peak start burst: its rest is dropped")
        << "burst"
        << "" << restore << QStringList();
    QTest::newRow("nothing runs: nothing to put back") << "idle"
                                                       << "" << QStringList() << QStringList();
    QTest::newRow("link lost on the restore's first command: the rest is owed")
        << "burst"
        << "opmode 0\r\n"
        << QStringList(restore.mid(0, 1)) << QStringList(restore.mid(1));
}

void TestCertification::cancelRestoresServiceMode()
{
    QFETCH(QString, during);
    QFETCH(QString, lostOn);
    QFETCH(QStringList, heard);
    QFETCH(QStringList, owed);
    Rig rig;
    CertificationSequence::setSecondMs(20); // a line every 100 ms
    const auto restore = qScopeGuard([] { CertificationSequence::setSecondMs(1000); });
    if (during == "file") {
        const QString file = rig.path(QStringLiteral("commands.txt"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("one\ntwo\nthree\n");
        f.close();
        rig.seq.sendFile(file);
        QCOMPARE(rig.fileLabel, QStringLiteral("Sending line: 0 of 3"));
        rig.seq.certify(); // refused: a start has no state to follow a file send
        QCOMPARE(rig.seq.currentStep(), int(CertificationSequence::SendFile));
        QVERIFY(waitFor([&] { return !rig.logged.isEmpty(); }));
        QCOMPARE(rig.logged, QStringList{"one\r"});
        QCOMPARE(rig.fileLabel, QStringLiteral("Sending line: 1 of 3"));
    } else if (during == "burst") {
        rig.start(only(false, false, false, false, true, false));
        rig.seq.queryProgress(); // its first "fact=1"
    }
    const int mark = rig.sent.size();
    int heardWhenFinished = -1;
    QObject::connect(&rig.seq, &CertificationSequence::finished,
                     [&] { heardWhenFinished = rig.sent.size() - mark; });
    rig.onSend = [&](const QString &c) {
        if (c == lostOn)
            rig.loseLink();
    };
    rig.seq.cancel();
    rig.play();
    QCOMPARE(rig.sent.mid(mark), heard);
    QCOMPARE(rig.seat.owed, owed);
    for (int i = mark + 1; i < rig.sent.size(); ++i)
        QCOMPARE(rig.sentAt.at(i) - rig.sentAt.at(i - 1), 1000);
    QCOMPARE(rig.fileLabel, QStringLiteral(" "));
    QCOMPARE(rig.certifying, (during == "burst" ? QList<bool>{true, false} : QList<bool>{false}));
    QCOMPARE(rig.seq.currentStep(), 0);
    QCOMPARE(rig.status, QStringLiteral("Stopped"));
    // A file send is no verification; a verification ends once the analyzer
    // has heard the whole restore, and only then lets the replies go.
    QCOMPARE(heardWhenFinished, during == "burst" ? heard.size() : -1);
    QCOMPARE(rig.finishedText.isEmpty(), during != "burst");
    QCOMPARE(rig.seat.holder, nullptr);
}

void TestCertification::fileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    const QDateTime at(QDate(2021, 12, 28), QTime(17, 53, 20));
    const QDateTime morning(QDate(2022, 3, 4), QTime(9, 5, 0));
    QTest::newRow("on-peak") << CertFiles::onPeakSuffix(at) << "_2021-Dec-28_SRDA_ON-peak.txt";
    QTest::newRow("off-peak") << CertFiles::offPeakSuffix(at) << "_2021-Dec-28_SRDA_OFF-peak.txt";
    QTest::newRow("settings") << CertFiles::settingsSuffix(at) << "_2021-Dec-28_Settings.txt";
    QTest::newRow("tempscan") << CertFiles::tempScanSuffix(at) << "_tempscan_2021-Dec-28-17-53.txt";
    QTest::newRow("rcs, hour without zero")
        << CertFiles::refCellSuffix(morning) << "_rcs_2022-Mar-04-9-05.txt";
    QTest::newRow("archive, empty id")
        << CertFiles::archiveName(QString(), at) << "CertificationData__2021-Dec-28-17-53.zip";
    QTest::newRow("archive") << CertFiles::archiveName("4321", at)
                             << "CertificationData_4321_2021-Dec-28-17-53.zip";
}

void TestCertification::fileNames()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(name, expected);
}

void TestCertification::resultsListOnlySelectedScans_data()
{
    QTest::addColumn<CertScans>("scans");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("all") << only(true, true, true, true, true, true)
                         << QStringList{"t.txt", "r.txt", "on.txt", "off.txt", "s.txt"};
    QTest::newRow("default") << CertScans() << QStringList{"r.txt", "off.txt", "s.txt"};
}

void TestCertification::resultsListOnlySelectedScans()
{
    QFETCH(CertScans, scans);
    QFETCH(QStringList, listed);
    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');
    CertFiles::RunFiles files;
    files.tempScan = QStringLiteral("t.txt");
    files.refCell = QStringLiteral("r.txt");
    files.onPeak = QStringLiteral("on.txt");
    files.offPeak = QStringLiteral("off.txt");
    files.settings = QStringLiteral("s.txt");
    files.archive = QStringLiteral("a.zip");
    for (const QString &n : files.dataFiles())
        QVERIFY(CertFiles::append(folder + n, QStringLiteral("x")));
    const QString text = CertFiles::resultsText(folder, files, scans, true, QString());
    QString expected;
    for (const QString &n : listed)
        expected += n + QStringLiteral("<br>");
    const QString head = QStringLiteral(
        "<p>Certification data collection has completed.  The following files were generated:</p>");
    QVERIFY(text.startsWith(head));
    QCOMPARE(text.mid(head.size()).section(QStringLiteral("<p>"), 0, 0), expected);
    QVERIFY(
        text.contains(QStringLiteral("<p>A compressed archive of those files was created:</p>") +
                      folder + QStringLiteral("a.zip")));
    QVERIFY(text.contains(QStringLiteral("Certifcation%20Data")));
}

namespace {

// The time of day runs from just before midnight, starting when the first
// command goes out; waits are the program's own, on the real monotonic clock.
class MidnightClock : public Clock
{
public:
    MidnightClock() { Clock::install(this); }
    ~MidnightClock() override { Clock::install(nullptr); }
    QDateTime now() const override
    {
        return QDateTime(QDate(2021, 12, 31), QTime(23, 59, 59, 990))
            .addMSecs(anchor < 0 ? 0 : monotonicMs() - anchor);
    }
    qint64 anchor = -1;
};

} // namespace

void TestCertification::oneSecondWaitAcrossMidnight()
{
    Rig rig;
    const int second = 50; // a shortened pace keeps the test short
    CommandSequence::setSecondMs(second);
    const auto restore = qScopeGuard([] { CommandSequence::setSecondMs(1); });
    MidnightClock clock;
    QList<qint64> sentAt;
    rig.onSend = [&](const QString &) {
        if (clock.anchor < 0)
            clock.anchor = clock.monotonicMs();
        sentAt << clock.monotonicMs();
    };
    rig.start(only(false, false, false, false, true, false));
    rig.tick();
    QCOMPARE(rig.sent, (QStringList{"fact=1\r\n", "fact=1\r\n", "tuneringdowns=-1\r\n",
                                    "opmode=1\r\n", "srda=3\r\n"}));
    // The first wait begins 10 ms before midnight and still lasts its second.
    QCOMPARE(Clock::current().date(), QDate(2022, 1, 1));
    for (int i = 1; i < sentAt.size(); ++i)
        QVERIFY2(sentAt.at(i) - sentAt.at(i - 1) >= second, qPrintable(rig.sent.at(i)));
}

void TestCertification::tickIsNeverReentered()
{
    Rig rig;
    rig.start(only(false, false, false, true, false, false));
    // The tick timer firing while the start burst still waits.
    rig.onSend = [&](const QString &) { rig.seq.queryProgress(); };
    rig.tick();
    QCOMPARE(rig.sent, (QStringList{"fact=1\r\n", "fact=1\r\n", "opmode=2\r\n", "srda=3\r\n"}));
}

void TestCertification::secondRunStartsWithEmptyDownload()
{
    Rig rig;
    QStringList names;
    for (int run = 0; run < 2; ++run) {
        rig.replies["drcsd\r\n"] = QStringLiteral("run %1: 35.0000\r\n").arg(run);
        rig.positions = QStringList{QStringLiteral("10"), QStringLiteral("7")};
        rig.start(only(false, false, true, false, false, false));
        rig.tick(4);
        QCOMPARE(rig.seq.currentStep(), 0);
        names << rig.seq.files().refCell;
        rig.clock.advance(60000); // a new minute, a new file
    }
    QVERIFY(names.at(0) != names.at(1));
    QCOMPARE(Rig::contents(rig.path(names.at(1))), QByteArray("run 1: 35.0000\r\n"));
}

void TestCertification::analyzerIdStaysInTheFolder()
{
    Rig rig;
    rig.seq.setSSNID(QStringLiteral("../x/..\\y"));
    QCOMPARE(rig.seq.ssnid(), QStringLiteral("___x____y"));
    rig.start(only(false, false, false, true, false, false));
    rig.tick();
    rig.seq.linefromOrin(QStringLiteral("row\r\n"));
    const QString onPeak = rig.seq.files().onPeak;
    QVERIFY(onPeak.startsWith(QStringLiteral("___x____y_2021-Dec-28")));
    QCOMPARE(Rig::contents(rig.path(onPeak)).right(5), QByteArray("row\r\n"));
}

void TestCertification::blankBlockIsNoScanPosition()
{
    Rig rig;
    rig.positions = QStringList{QStringLiteral("10")};
    rig.start(only(false, false, true, false, false, false));
    rig.tick(2);
    rig.seq.linefromOrin(QStringLiteral("\r\n"));
    rig.seq.linefromOrin(QStringLiteral(" \t\r\n"));
    QCOMPARE(rig.seq.currentStep(), int(CertificationSequence::RefCellScan));
    // Text that is no number still reads as 0 and ends the scan.
    rig.seq.linefromOrin(QStringLiteral("done\r\n"));
    QCOMPARE(rig.seq.currentStep(), int(CertificationSequence::DownloadRefCellScan));
}

void TestCertification::missingCommandFileCancelsWithoutBlocking()
{
    Rig rig;
    QFile::remove(rig.seq.settingsCommandFile);
    rig.start(CertScans());
    QCOMPARE(rig.seq.currentStep(), 0);
    QVERIFY(!rig.seq.tickTimer().isActive());
    QCOMPARE(rig.sent, (QStringList{"opmode 0\r\n", "srda=0\r\n", "tuneringdowns=25\r\n"}));
    QCOMPARE(rig.certifying, (QList<bool>{true, false}));
    QVERIFY(!rig.finishedOk);
    QVERIFY(rig.finishedText.contains(QStringLiteral("Get_Factory_Settings.txt")));
    QVERIFY(waitFor([&] { return !rig.dialogs.messages.isEmpty(); }));
    QVERIFY(rig.dialogs.messages.first().text.contains(QStringLiteral("Get_Factory_Settings.txt")));
}

QTEST_MAIN(TestCertification)
#include "test_certification.moc"
