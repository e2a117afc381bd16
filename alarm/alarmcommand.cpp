#include "alarm/alarmcommand.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

#include <deque>

#include <signal.h>
#include <unistd.h>

namespace {

// After SIGKILL a process is gone at once; this only bounds the wait for it to
// be reaped when the command is destroyed.
constexpr int reapMs = 2000;

// A command in a process group of its own, so that a kill takes what it
// started as well (a script's "sleep").
class CommandProcess : public QProcess
{
public:
    using QProcess::QProcess;

    void killGroup()
    {
        if (processId() > 0)
            ::kill(-pid_t(processId()), SIGKILL);
        kill(); // in case it had not made its group yet
    }

protected:
    void setupChildProcess() override { ::setpgid(0, 0); }
};

// "2025-01-31T12:00:00+01:00"; the offset also when it is 0.
QString isoTime(const QDateTime &time)
{
    if (!time.isValid())
        return QString();
    const int offset = time.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) +
           QLatin1Char(offset < 0 ? '-' : '+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

// Lives on the command's thread: everything about the processes happens there.
class AlarmCommandWorker : public QObject
{
    Q_OBJECT
public:
    explicit AlarmCommandWorker(const QString &program) : program(program) {}

    void take(const QProcessEnvironment &facts)
    {
        if (int(waiting.size()) >= AlarmCommand::maxWaiting) {
            waiting.pop_front();
            if (!dropSaid) {
                dropSaid = true;
                emit trouble(tr("The alarm command %1 falls behind: the oldest alarms waiting "
                                "for it are dropped.")
                                 .arg(program));
            }
        }
        waiting.push_back(facts);
        startNext();
    }

    void setTimeoutMs(int ms) { timeoutMs = qMax(1, ms); }

    // Kills a command still running, forgets the waiting ones and ends the thread.
    void stop()
    {
        waiting.clear();
        if (process) {
            process->disconnect(this);
            process->killGroup();
            process->waitForFinished(reapMs);
            delete process;
            process = nullptr;
        }
        if (limit)
            limit->stop();
        thread()->quit();
    }

signals:
    void trouble(const QString &text);
    void ran(bool ok);

private:
    void startNext()
    {
        if (process)
            return;
        if (waiting.empty()) {
            dropSaid = false;
            return;
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(waiting.front());
        waiting.pop_front();

        if (!limit) {
            limit = new QTimer(this);
            limit->setSingleShot(true);
            connect(limit, &QTimer::timeout, this, [this] {
                if (process) {
                    timedOut = true;
                    process->killGroup();
                }
            });
        }
        process = new CommandProcess(this);
        process->setProgram(program);
        process->setProcessEnvironment(environment);
        process->setStandardInputFile(QProcess::nullDevice());
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                end(false, tr("The alarm command %1 cannot be started: %2")
                               .arg(program, process->errorString()));
        });
        connect(
            process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this](int code, QProcess::ExitStatus status) {
                if (timedOut)
                    end(false, tr("The alarm command %1 did not end within %2 s and was "
                                  "stopped.")
                                   .arg(program)
                                   .arg(timeoutMs / 1000.0));
                else if (status == QProcess::CrashExit)
                    end(false, tr("The alarm command %1 was ended by a signal.").arg(program));
                else if (code != 0)
                    end(false,
                        tr("The alarm command %1 ended with status %2.").arg(program).arg(code));
                else
                    end(true, QString());
            });
        timedOut = false;
        limit->start(timeoutMs);
        process->start();
    }

    void end(bool ok, const QString &why)
    {
        limit->stop();
        process->disconnect(this);
        process->deleteLater();
        process = nullptr;
        if (ok) {
            troubleSaid = false;
        } else if (!troubleSaid) {
            troubleSaid = true;
            emit trouble(why);
        }
        emit ran(ok);
        // Not from inside the ended process's own signal.
        QMetaObject::invokeMethod(this, &AlarmCommandWorker::startNext, Qt::QueuedConnection);
    }

    const QString program;
    int timeoutMs = AlarmCommand::defaultTimeoutMs;
    std::deque<QProcessEnvironment> waiting;
    CommandProcess *process = nullptr;
    QTimer *limit = nullptr;
    bool timedOut = false;
    bool troubleSaid = false;
    bool dropSaid = false;
};

AlarmCommand::AlarmCommand(const QString &program, QObject *parent)
    : QObject(parent), path(program), worker(new AlarmCommandWorker(program))
{
    thread.setObjectName(QStringLiteral("alarm command"));
    worker->moveToThread(&thread);
    connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &AlarmCommandWorker::trouble, this, &AlarmCommand::trouble);
    connect(worker, &AlarmCommandWorker::ran, this, &AlarmCommand::ran);
    thread.start();
}

AlarmCommand::~AlarmCommand()
{
    QMetaObject::invokeMethod(worker, &AlarmCommandWorker::stop);
    thread.wait();
}

void AlarmCommand::setTimeoutMs(int ms)
{
    QMetaObject::invokeMethod(worker, [w = worker, ms] { w->setTimeoutMs(ms); });
}

void AlarmCommand::deliver(const AlarmEvent &event)
{
    if (event.change == AlarmEvent::Change::Acknowledged)
        return;
    QProcessEnvironment facts;
    facts.insert(QStringLiteral("TELVAR_ALARM"), event.name);
    facts.insert(QStringLiteral("TELVAR_STATE"), changeText(event.change));
    facts.insert(QStringLiteral("TELVAR_SEVERITY"), severityText(event.severity));
    facts.insert(QStringLiteral("TELVAR_SERIAL"), event.serial);
    facts.insert(QStringLiteral("TELVAR_VALUE"), event.value);
    facts.insert(QStringLiteral("TELVAR_TEXT"), event.text);
    facts.insert(QStringLiteral("TELVAR_TIME"), isoTime(event.time));
    QMetaObject::invokeMethod(worker, [w = worker, facts] { w->take(facts); });
}

#include "alarmcommand.moc"
