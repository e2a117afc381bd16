#include "app/analyzersession.h"
#include "app/consolespeaker.h"
#include "certification/certificationsequence.h"
#include "common/commandsequence.h"
#include "link/orininterface.h"
#include "service/commandfilesender.h"
#include "service/service.h"
#include "service/srda.h"
#include "support/fakeanalyzer.h"
#include "support/scriptlink.h"
#include "support/testsupport.h"

#include <QBuffer>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>

// The session without a window: an analyzer played by a scripted link, the
// paced second shortened. Each kind of run meets a lost link and what may
// follow it: the same analyzer, another one, none, or the operator's Disconnect.
namespace {

class FakeRun : public ReplyOwner
{
public:
    explicit FakeRun(Kind k) : k(k) {}
    Kind runKind() const override { return k; }
    void reply(const QByteArray &chunk) override { replies << chunk; }
    void pauseRun() override { ++pauses; }
    void resumeRun() override { ++resumes; }
    void abandonRun(const QString &why) override { abandoned << why; }
    void quiet() override { ++quiets; }
    QString pollCommand() const override
    {
        return k == Kind::ServiceScan ? QStringLiteral("lt\r\n") : QString();
    }
    bool start() { return claimReplies(); }

    Kind k;
    QList<QByteArray> replies;
    int pauses = 0, resumes = 0, quiets = 0;
    QStringList abandoned;
};

} // namespace

Q_DECLARE_METATYPE(ReplyOwner::Kind)

class TestSession : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void runAcrossALostLink_data();
    void runAcrossALostLink();
    void identityAnswersStayWithTheIdentityStep();
    // Only the owner of the conversation speaks, and a run starts only on a
    // live, identified connection.
    void oneSpeakerDuringARun_data();
    void oneSpeakerDuringARun();
    // A stop made while the link is lost is said to the same analyzer when it
    // is back, and to nobody before.
    void stopWhilePausedIsOwed_data();
    void stopWhilePausedIsOwed();
    // Disconnect in the middle of a verification's Cancel: the goodbye is the
    // last the analyzer hears, not the rest of the Cancel's restore.
    void cancelRestoreEndsAtDisconnect();
    // Before an analyzer has said who it is (first, or again after a return),
    // it hears the opening and nothing else: no status, no goodbye.
    void nothingBeforeTheSerialAnswer_data();
    void nothingBeforeTheSerialAnswer();
    // The console's keys, gathered into a line and sent through the session.
    void typedLineEditing();

private:
    void connectAndIdentify();

    Analyzer analyzer;
    std::unique_ptr<AnalyzerSession> session;
    QPointer<ScriptLink> link;
};

void TestSession::init()
{
    CommandSequence::setSecondMs(20);
    analyzer = Analyzer();
    analyzer.answers = {{"ssnid", "1234\r\n"},      {"unitdisp", "1\r\n"},
                        {"species", "H2O\r\n"},     {"modelname", "ORIN OK\r\n"},
                        {"status", statusReport()}, {"ping", "pong\r\n"}};
    session = std::make_unique<AnalyzerSession>([this](const ConnectionSettings &) {
        link = new ScriptLink(analyzer);
        return link.data();
    });
}

void TestSession::connectAndIdentify()
{
    ConnectionSettings s;
    s.logInterval = 1;
    s.maxPauseMinutes = 1; // 1.2 s at the shortened second
    QVERIFY(session->connectTo(s, false));
    QVERIFY(waitFor([&] { return session->owner() == AnalyzerSession::Owner::Monitoring; }));
    QCOMPARE(session->knownSerial(), QStringLiteral("1234"));
}

// Each kind of run with each case.
static void addRunRows(const char *column, std::initializer_list<const char *> cases)
{
    QTest::addColumn<ReplyOwner::Kind>("kind");
    QTest::addColumn<QString>(column);
    const QList<QPair<const char *, ReplyOwner::Kind>> kinds = {
        {"verification", ReplyOwner::Kind::Verification},
        {"service scan", ReplyOwner::Kind::ServiceScan},
        {"SRDA", ReplyOwner::Kind::Srda},
        {"file send", ReplyOwner::Kind::FileSend}};
    for (const auto &k : kinds)
        for (const char *c : cases)
            QTest::addRow("%s, %s", k.first, c) << k.second << QString(c);
}

void TestSession::runAcrossALostLink_data()
{
    addRunRows("after", {"same analyzer", "another analyzer", "no analyzer", "Disconnect"});
}

void TestSession::runAcrossALostLink()
{
    QFETCH(ReplyOwner::Kind, kind);
    QFETCH(QString, after);
    connectAndIdentify();
    FakeRun run(kind);
    session->enrol(&run);
    QVERIFY(run.start());
    FakeRun second(ReplyOwner::Kind::FileSend);
    session->enrol(&second);
    QVERIFY(!second.start()); // one run at a time

    // The run's replies are its own, whatever the run.
    QVERIFY(session->sendFor(&run, QStringLiteral("ping\r\n")));
    QVERIFY(waitFor([&] { return analyzer.heard.contains("ping"); }));
    QVERIFY(waitFor([&] { return run.replies.size() == 1; }));

    if (after == "another analyzer")
        analyzer.answers["ssnid"] = "9999\r\n";
    if (after == "no analyzer")
        analyzer.silent = true;
    emit link->connectionLost(QStringLiteral("cable pulled"));
    QVERIFY(waitFor([&] { return run.pauses == 1; }));
    if (after == "Disconnect") {
        // Nobody to say goodbye to: the run ends and nothing goes out.
        const int heard = analyzer.heard.size();
        session->disconnectNow();
        QVERIFY(waitFor([&] {
            return !session->link() &&
                   session->lifecycle()->state() == ConnectionLifecycle::State::Disconnected;
        }));
        QCOMPARE(run.abandoned, QStringList{QStringLiteral("Disconnected")});
        QCOMPARE(analyzer.heard.size(), heard);
        QCOMPARE(session->owner(), AnalyzerSession::Owner::None);
        return;
    }
    const int heardBefore = analyzer.heard.size();
    QVERIFY(waitFor([&] { return analyzer.heard.size() >= heardBefore + 2; }));
    // The analyzer that comes back is asked who it is before anything else.
    QCOMPARE(analyzer.heard.mid(heardBefore, 2), (QList<QByteArray>{"fact=1", "ssnid"}));

    if (after == "same analyzer") {
        QVERIFY(waitFor([&] { return run.resumes == 1; }));
        waitFor([] { return false; }, 150); // several poll periods
        const QList<QByteArray> since = analyzer.heard.mid(heardBefore + 2);
        for (const char *notForRuns : {"status", "unitdisp", "species", "modelname"})
            QVERIFY2(!since.contains(notForRuns), notForRuns);
        QCOMPARE(since.contains("lt"), kind == ReplyOwner::Kind::ServiceScan);
        QCOMPARE(session->owner() != AnalyzerSession::Owner::Monitoring, true);
        QVERIFY(run.abandoned.isEmpty());
        return;
    }
    // Another analyzer, or none: the run is cancelled, naming the serial numbers.
    QVERIFY(waitFor([&] { return !run.abandoned.isEmpty(); }));
    QCOMPARE(run.resumes, 0);
    QVERIFY(run.abandoned.first().contains("1234"));
    if (after == "another analyzer") {
        QVERIFY(run.abandoned.first().contains("9999"));
        QVERIFY(waitFor([&] {
            return session->lifecycle()->state() == ConnectionLifecycle::State::Disconnected;
        }));
        // Not a word more to an analyzer that is not ours, not even goodbye.
        QCOMPARE(analyzer.heard.mid(heardBefore), (QList<QByteArray>{"fact=1", "ssnid"}));
        return;
    }
    // None answers: the connection keeps trying, with a growing wait.
    QVERIFY(waitFor([&] { return session->lifecycle()->attempts() >= 2; }, 8000));
    QCOMPARE(session->currentRun(), nullptr);
    session->disconnectNow();
}

void TestSession::identityAnswersStayWithTheIdentityStep()
{
    // The run starts the moment the model name is asked; the answer on its
    // way is the identity step's, and no status poll follows for the run.
    FakeRun run(ReplyOwner::Kind::Verification);
    session->enrol(&run);
    bool started = false;
    connect(session.get(), &AnalyzerSession::statusText, this, [&](const QString &text) {
        if (text == QLatin1String("Getting model name..."))
            started = run.start();
    });
    ConnectionSettings s;
    s.logInterval = 1;
    QVERIFY(session->connectTo(s, false));
    QVERIFY(waitFor([&] { return started; }));
    QVERIFY(waitFor([&] { return session->parserState().modelName == "ORIN OK"; }));
    waitFor([] { return false; }, 100);
    QVERIFY(run.replies.isEmpty());
    QVERIFY(!analyzer.heard.contains("status"));
    QCOMPARE(session->owner(), AnalyzerSession::Owner::Verification);
    session->disconnectNow();
    QVERIFY(waitFor([&] { return !run.abandoned.isEmpty(); }));
}

void TestSession::oneSpeakerDuringARun_data()
{
    addRunRows("what", {"another tab's button", "a start in the goodbye",
                        "no analyzer, then the same one", "silence on another tab"});
}

void TestSession::oneSpeakerDuringARun()
{
    QFETCH(ReplyOwner::Kind, kind);
    QFETCH(QString, what);
    connectAndIdentify();
    FakeRun run(kind);
    session->enrol(&run);
    QSignalSpy refused(session.get(), &AnalyzerSession::refused);
    const QString name = kind == ReplyOwner::Kind::Verification  ? "a performance verification"
                         : kind == ReplyOwner::Kind::ServiceScan ? "a service scan"
                         : kind == ReplyOwner::Kind::Srda        ? "an SRDA collection"
                                                                 : "a command file send";

    if (what == "a start in the goodbye") {
        session->disconnectNow();
        QCOMPARE(session->lifecycle()->state(), ConnectionLifecycle::State::Closing);
        QVERIFY(!run.start());
        QCOMPARE(refused.last().first().toString(),
                 QStringLiteral("Not started: the connection is closing."));
        QVERIFY(waitFor([&] { return !session->link(); }));
        QVERIFY(!run.start());
        QCOMPARE(refused.last().first().toString(), QStringLiteral("Not started: not connected."));
        return;
    }
    if (what == "silence on another tab") {
        // A download that stops short ends on the session's own count of
        // silence, whatever tab is in front.
        session->setTabInFront(0); // the dashboard, not the run's own tab
        analyzer.silent = true;
        QVERIFY(run.start());
        QVERIFY(waitFor([&] { return run.quiets == 1; }, 2000));
        session->disconnectNow();
        return;
    }
    QVERIFY(run.start());
    if (what == "no analyzer, then the same one") {
        // Still booting after the return: the run waits, as long as the
        // longest pause allows, and goes on when the analyzer answers.
        analyzer.silent = true;
        emit link->connectionLost(QStringLiteral("cable pulled"));
        QVERIFY(waitFor([&] { return session->pausedMs() >= 600; }, 5000)); // half of 1.2 s
        QVERIFY(session->lifecycle()->attempts() >= 1);
        analyzer.silent = false;
        QVERIFY(waitFor([&] { return run.resumes == 1; }, 8000));
        QVERIFY(run.abandoned.isEmpty());
        QCOMPARE(session->currentRun(), &run);
        QCOMPARE(session->pausedMs(), qint64(-1));
        return;
    }
    FakeRun otherTab(ReplyOwner::Kind::ServiceScan);
    session->enrol(&otherTab);
    QVERIFY(!session->send(QStringLiteral("filter\r\n"), AnalyzerSession::Speaker::Controls));
    QVERIFY(!session->sendFor(&otherTab, QStringLiteral("lt\r\n")));
    QCOMPARE(refused.last().first().toString(),
             QStringLiteral("Not sent: %1 is running.").arg(name));
    QVERIFY(session->sendFor(&run, QStringLiteral("ping\r\n")));
    QVERIFY(waitFor([&] { return analyzer.heard.contains("ping"); }));
    QVERIFY(!analyzer.heard.contains("filter"));
    QVERIFY(!analyzer.heard.contains("lt") || kind == ReplyOwner::Kind::ServiceScan);
    session->disconnectNow();
}

void TestSession::stopWhilePausedIsOwed_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QList<QByteArray>>("owed");
    QTest::newRow("SRDA Stop") << "SRDA" << QList<QByteArray>{"srda 0", "tuneringdowns 25"};
    QTest::newRow("scan Cancel") << "scan" << QList<QByteArray>{"opmode 0"};
    QTest::newRow("verification Cancel")
        << "verification" << QList<QByteArray>{"opmode 0", "srda=0", "tuneringdowns=25"};
    QTest::newRow("file send Cancel") << "file send" << QList<QByteArray>{};
}

void TestSession::stopWhilePausedIsOwed()
{
    QFETCH(QString, kind);
    QFETCH(QList<QByteArray>, owed);
    QTemporaryDir dir;
    SRDA srda;
    Service scan;
    CertificationSequence verification;
    verification.setFolder(dir.path());
    CommandFileSender sender;
    QBuffer file;
    file.setData("first\r\nsecond\r\n");
    // Wired as the window wires them: every command names its run.
    connect(&srda, &SRDA::lineforOrin, this, [&](const QString &t) { session->sendFor(&srda, t); });
    connect(&scan, &Service::lineforOrin, this,
            [&](const QString &t) { session->sendFor(&scan, t); });
    connect(&verification, &CertificationSequence::lineforOrin, this,
            [&](const QString &t) { session->sendFor(&verification, t); });
    for (ReplyOwner *r : std::initializer_list<ReplyOwner *>{&srda, &scan, &verification, &sender})
        session->enrol(r);
    connectAndIdentify();

    std::function<void()> stop;
    if (kind == "SRDA") {
        srda.sendSRDAONCommand();
        stop = [&] { srda.sendSRDAStopCommand(); };
    } else if (kind == "scan") {
        scan.startScan(ServiceScan::RefCell);
        stop = [&] { scan.cancelScan(); };
    } else if (kind == "verification") {
        CertScans only;
        only.optimizeLaser = true;
        only.cavityTempScan = only.refCellScan = only.onPeak = only.offPeak = false;
        only.collectSettings = false;
        verification.setScans(only);
        verification.certify();
        stop = [&] { verification.cancel(); };
    } else {
        file.open(QIODevice::ReadOnly);
        sender.start(&file, 10);
        stop = [&] { sender.cancel(); };
    }
    QVERIFY(session->currentRun());
    emit link->connectionLost(QStringLiteral("cable pulled"));
    analyzer.silent = true; // the cable stays out for a while
    QVERIFY(waitFor([&] { return session->pausedMs() >= 0; }));
    const int mark = analyzer.heard.size();
    stop();
    QCOMPARE(session->currentRun(), nullptr); // ended at once
    waitFor([] { return false; }, 100);
    // Nothing but the attempts to reconnect while the cable is out.
    for (const QByteArray &c : analyzer.heard.mid(mark))
        QVERIFY2(c == "fact=1" || c == "ssnid", c.constData());
    analyzer.silent = false;
    QVERIFY(waitFor([&] { return session->owner() == AnalyzerSession::Owner::Monitoring; }, 8000));
    waitFor([] { return false; }, 60);
    // The same analyzer hears who it is asked, then what the run owed it.
    QList<QByteArray> heard = analyzer.heard.mid(mark);
    const int asked = heard.lastIndexOf("ssnid");
    QVERIFY(asked >= 0);
    QCOMPARE(heard.mid(asked + 1, owed.size()), owed);
    if (kind == "file send")
        QVERIFY(!heard.contains("first") && !heard.contains("second"));
    session->disconnectNow();
}

void TestSession::cancelRestoreEndsAtDisconnect()
{
    QTemporaryDir dir;
    CertificationSequence::setSecondMs(10); // its restore runs on during the goodbye
    CertificationSequence verification;
    verification.setFolder(dir.path());
    connect(&verification, &CertificationSequence::lineforOrin, this,
            [&](const QString &t) { session->sendFor(&verification, t); });
    session->enrol(&verification);
    connectAndIdentify();
    CertScans only;
    only.refCellScan = only.offPeak = only.collectSettings = false;
    verification.setScans(only);
    verification.certify();
    QVERIFY(session->currentRun());
    // Disconnect comes while the Cancel waits its paced second after "opmode 0".
    QTimer::singleShot(5, this, [&] { session->disconnectNow(); });
    verification.cancel();
    QVERIFY(waitFor([&] { return !session->link(); }));
    waitFor([] { return false; }, 100);
    const QList<QByteArray> heard = analyzer.heard.mid(analyzer.heard.lastIndexOf("opmode 0"));
    QCOMPARE(heard, (QList<QByteArray>{"opmode 0", "srda 0", "tuneringdowns 25"}));
}

void TestSession::nothingBeforeTheSerialAnswer_data()
{
    QTest::addColumn<bool>("afterReturn");
    QTest::addColumn<bool>("disconnect");
    QTest::newRow("tab change in the first opening") << false << false;
    QTest::newRow("tab change in a return's opening") << true << false;
    QTest::newRow("Disconnect in a return's opening") << true << true;
}

void TestSession::nothingBeforeTheSerialAnswer()
{
    QFETCH(bool, afterReturn);
    QFETCH(bool, disconnect);
    if (afterReturn)
        connectAndIdentify();
    // The operator acts the moment the link is open, before "ssnid" has gone out.
    connect(session.get(), &AnalyzerSession::linkReady, this, [&] {
        if (disconnect)
            QTimer::singleShot(0, session.get(), [&] { session->disconnectNow(); });
        else
            session->setTabInFront(0);
    });
    const int mark = analyzer.heard.size();
    if (afterReturn) {
        emit link->connectionLost(QStringLiteral("cable pulled"));
    } else {
        ConnectionSettings s;
        s.logInterval = 1;
        QVERIFY(session->connectTo(s, false));
    }
    if (disconnect) {
        QVERIFY(waitFor([&] {
            return session->lifecycle()->state() == ConnectionLifecycle::State::Disconnected;
        }));
        waitFor([] { return false; }, 100);
        QVERIFY(!analyzer.heard.mid(mark).contains("srda 0"));
        return;
    }
    QVERIFY(waitFor([&] {
        return analyzer.heard.mid(mark).contains("ssnid") &&
               session->owner() == AnalyzerSession::Owner::Monitoring;
    }));
    QCOMPARE(analyzer.heard.mid(mark, 2), (QList<QByteArray>{"fact=1", "ssnid"}));
    session->disconnectNow();
}

void TestSession::typedLineEditing()
{
    connectAndIdentify();
    ConsoleSpeaker typist(*session);
    QSignalSpy logged(&typist, &ConsoleSpeaker::logged);
    const int mark = analyzer.heard.size();
    typist.backspace(); // empty stays empty
    typist.enter();     // an empty line writes nothing but is still logged
    QCOMPARE(logged.count(), 1);
    QCOMPARE(logged.takeFirst().at(0).toString(), QString());
    for (const char *key : {"s", "t", "x"})
        typist.key(key);
    typist.backspace();
    typist.key(QByteArray("a\0b", 3));
    typist.key("\r\n");
    typist.enter();
    QVERIFY(waitFor([&] { return analyzer.heard.size() > mark; }));
    QCOMPARE(analyzer.heard.mid(mark), (QList<QByteArray>{QByteArray("sta\0b", 5)})); // whole
    QCOMPARE(logged.takeFirst().at(0).toString(), QString("sta")); // logged up to the zero byte
    session->disconnectNow();
}

QTEST_MAIN(TestSession)
#include "test_session.moc"
