#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QIODevice;

// Sends a prepared file of analyzer commands, one raw line per period: each
// line exactly as stored (CR LF stays CR LF, a last line without an end goes
// out without one), read as single-byte text up to any NUL. The device is the
// caller's; the sender closes it at its end or on cancel.
class CommandFileSender : public QObject
{
    Q_OBJECT
public:
    explicit CommandFileSender(QObject *parent = nullptr);

    // Starts pacing: the first line one period from now. Called again while
    // sending, the pace restarts and the next line of the same device follows.
    void start(QIODevice *device, int periodMs);
    void cancel();
    bool isSending() const { return timer.isActive(); }
    int period() const { return timer.interval(); }

signals:
    void lineReady(const QString &line);
    void finished();

private:
    void sendNext();

    QIODevice *device = nullptr;
    QTimer timer;
};
