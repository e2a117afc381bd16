#include "console/logger.h"

#include "common/debuglog.h"
#include "common/dialogs.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>

#include <utility>

Logger::Logger(QObject *parent) : QObject(parent)
{
    blockTimer.setSingleShot(true);
    blockTimer.setInterval(blockDelayMs);
    connect(&blockTimer, &QTimer::timeout, this, &Logger::flush);
}

Logger::~Logger()
{
    flush();
}

void Logger::append(const QByteArray &bytes, const QString &filename)
{
    if (filename != blockFile)
        flush(); // what was gathered belongs to the file it was meant for
    blockFile = filename;
    block += bytes;
    if (block.size() >= blockBytes)
        flush();
    else if (!blockTimer.isActive())
        blockTimer.start();
}

bool Logger::flush()
{
    blockTimer.stop();
    if (block.isEmpty())
        return true;
    // Taken first, so a failed write is not tried again with the next block.
    const QByteArray bytes = std::exchange(block, QByteArray());
    // The trend files written in between do not end the traffic log's run of
    // failures: it has a run of its own.
    return writeReported(bytes, blockFile, blockFailureReported, blockFailing);
}

bool Logger::log(QByteArray bytesToWrite, QString filename)
{
    return writeReported(bytesToWrite, filename, failureReported, rowFailing);
}

bool Logger::writeReported(const QByteArray &bytes, const QString &filename, bool &reported,
                           bool &failing)
{
    file.setFileName(filename);
    // Unbuffered: the bytes go out in one write, so a kill leaves whole rows.
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered) &&
              file.isWritable();
    if (ok)
        ok = file.write(bytes) == bytes.size();
    if (file.isOpen())
        file.close();
    if (ok) {
        reported = false;
        if (std::exchange(failing, false))
            emit writeRecovered(filename);
        return true;
    }
    qCDebug(telvarDebug) << "Log file not writeable!";
    if (!std::exchange(failing, true))
        emit writeFailed(filename);
    reportFailure(reported);
    return false;
}

// Every reply line tries again, and replies keep arriving while the box is open:
// one box per run of failures, never one inside another. The box is shown once
// the write's caller has returned, so reading and parsing never wait on it.
void Logger::reportFailure(bool &reported)
{
    if (boxOpen || reported)
        return;
    reported = true;
    boxOpen = true;
    Dialogs::Message m;
    m.icon = Dialogs::Icon::Information;
    m.title = tr("Log File error!");
    m.text = tr("Log file is not writeable!  (Do you have it open in another program?)");
    m.buttons = Dialogs::Ok;
    const QPointer<Logger> self(this);
    Dialogs::post(m, [self](int) {
        if (self)
            self->boxOpen = false;
    });
}

bool Logger::fileIsValid(QString filename)
{
    return log(QByteArray(), filename);
}

bool Logger::lastFileExists() const
{
    return !file.fileName().isEmpty() && QFileInfo::exists(file.fileName());
}

QString Logger::loggingFolder() const
{
    return lastFileExists() ? QFileInfo(file.fileName()).absolutePath() : QDir::homePath();
}

void Logger::loggingDataFolder()
{
    qCDebug(telvarDebug) << (lastFileExists() ? "logfile exists" : "log file doesn't exist");
    Dialogs::instance().openUrl(QUrl::fromLocalFile(loggingFolder()));
}
