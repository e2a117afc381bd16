#include "app/analyzersession.h"
#include "app/commandsequence.h"
#include "link/orininterface.h"
#include "support/fakeanalyzer.h"
#include "support/testsupport.h"

#include <QPointer>

// The session without a window: an analyzer played by a scripted link, the
// paced second shortened. Each kind of run meets a lost link and what may
// follow it: the same analyzer, another one, none, or the operator's Disconnect.
namespace {

struct Analyzer
{
    QMap<QByteArray, QByteArray> answers;
    QList<QByteArray> heard;
    bool silent = false;
};

class ScriptLink : public OrinInterface
{
public:
    explicit ScriptLink(Analyzer &a) : a(a) { linkKind = Simulated; }
    bool openConnection(ConnectionSettings) override { return open = true; }
    void closeConnection() override { open = false; }
    bool connectionOpen() override { return open; }
    QByteArray readData() override { return std::exchange(in, QByteArray()); }
    void writeData(QByteArray data) override
    {
        for (const QByteArray &line : data.split('\n')) {
            const QByteArray command = line.trimmed();
            if (command.isEmpty())
                continue;
            a.heard << command;
            if (a.silent || !a.answers.contains(command))
                continue;
            in += a.answers.value(command);
            QMetaObject::invokeMethod(
                this, [this] { emit readyRead(); }, Qt::QueuedConnection);
        }
    }

private:
    Analyzer &a;
    QByteArray in;
};

class FakeRun : public ReplyOwner
{
public:
    explicit FakeRun(Kind k) : k(k) {}
    Kind runKind() const override { return k; }
    void reply(const QByteArray &chunk) override { replies << chunk; }
    void pauseRun() override { ++pauses; }
    void resumeRun() override { ++resumes; }
    void abandonRun(const QString &why) override { abandoned << why; }
    QString pollCommand() const override
    {
        return k == Kind::ServiceScan ? QStringLiteral("lt\r\n") : QString();
    }
    bool start() { return claimReplies(); }

    Kind k;
    QList<QByteArray> replies;
    int pauses = 0, resumes = 0;
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

private:
    void connectAndIdentify();

    Analyzer analyzer;
    StatusRecord record;
    ParserHooks hooks;
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
    record = StatusRecord();
    session = std::make_unique<AnalyzerSession>(record, hooks, [this](const ConnectionSettings &) {
        link = new ScriptLink(analyzer);
        return link.data();
    });
}

void TestSession::connectAndIdentify()
{
    ConnectionSettings s;
    s.logInterval = 1;
    QVERIFY(session->connectTo(s, false));
    QVERIFY(waitFor([&] { return session->owner() == AnalyzerSession::Owner::Monitoring; }));
    QCOMPARE(session->knownSerial(), QStringLiteral("1234"));
}

void TestSession::runAcrossALostLink_data()
{
    QTest::addColumn<ReplyOwner::Kind>("kind");
    QTest::addColumn<QString>("after");
    const QList<QPair<const char *, ReplyOwner::Kind>> kinds = {
        {"verification", ReplyOwner::Kind::Verification},
        {"service scan", ReplyOwner::Kind::ServiceScan},
        {"SRDA", ReplyOwner::Kind::Srda},
        {"file send", ReplyOwner::Kind::FileSend}};
    for (const auto &k : kinds)
        for (const char *after : {"same analyzer", "another analyzer", "no analyzer", "Disconnect"})
            QTest::addRow("%s, %s", k.first, after) << k.second << QString(after);
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
    session->send(QStringLiteral("ping\r\n"));
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

QTEST_MAIN(TestSession)
#include "test_session.moc"
