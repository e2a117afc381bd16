#pragma once

#include "common/replyowner.h"

#include <QIODevice>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QIODevice;

// Sends a prepared file of analyzer commands, one raw line per period: each
// line exactly as stored (CR LF stays CR LF, a last line without an end goes
// out without one), read as single-byte text up to any NUL. The device is the
// caller's; the sender closes it at its end or on cancel.
//
// It owns the analyzer's replies while it sends; a lost link holds the next
// line back until the same analyzer is back.
class CommandFileSender : public QObject, public ReplyOwner
{
    Q_OBJECT
public:
    explicit CommandFileSender(QObject *parent = nullptr);

    // Starts pacing: the first line one period from now. Called again while
    // sending, the pace restarts and the next line of the same device follows.
    // `open` readies the device once the send may start (it is not called for
    // a start refused because another run has the analyzer).
    void start(QIODevice *device, int periodMs, const std::function<void()> &open = nullptr);
    void cancel();
    bool isSending() const { return timer.isActive() || (device && device->isOpen()); }
    int period() const { return timer.interval(); }

    Kind runKind() const override { return Kind::FileSend; }
    void reply(const QByteArray &) override {} // the console shows what comes back
    void pauseRun() override;
    void resumeRun() override;
    void abandonRun(const QString &reason) override
    {
        if (isSending())
            tellEnd(RunOutcome::Failed, reason);
        cancel();
    }
    // The operator's Cancel: said so, then cancel().
    void cancelled()
    {
        tellEnd(RunOutcome::Cancelled, QStringLiteral("cancelled by the operator"));
        cancel();
    }

signals:
    void lineReady(const QString &line);
    void finished();

private:
    void sendNext();

    QIODevice *device = nullptr;
    QTimer timer;
};
