#include "service/commandfilesender.h"

#include "common/debuglog.h"

#include <QDebug>
#include <QIODevice>

CommandFileSender::CommandFileSender(QObject *parent) : QObject(parent)
{
    // Seconds apart: a coarse timer could send a line early.
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &CommandFileSender::sendNext);
}

void CommandFileSender::start(QIODevice *newDevice, int periodMs, const std::function<void()> &open)
{
    if (!claimReplies())
        return;
    if (open)
        open();
    device = newDevice;
    timer.start(periodMs);
}

void CommandFileSender::cancel()
{
    if (device && device->isOpen())
        device->close();
    timer.stop();
    releaseReplies();
}

void CommandFileSender::pauseRun()
{
    if (!timer.isActive())
        return;
    timer.stop();
}

void CommandFileSender::resumeRun()
{
    // The lines sent before the loss were taken; the next one follows a period from now.
    if (device && device->isOpen())
        timer.start();
}

void CommandFileSender::sendNext()
{
    // A device that never opened counts as one at its end.
    if (!device || !device->isOpen() || device->atEnd()) {
        cancel();
        emit finished();
        return;
    }
    QByteArray line = device->readLine();
    const int zero = line.indexOf('\0');
    if (zero >= 0)
        line.truncate(zero);
    const QString text = QString::fromLatin1(line);
    qCDebug(telvarDebug) << text;
    emit lineReady(text);
}
