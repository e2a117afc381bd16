#pragma once

#include <QDateTime>

// Milliseconds since the epoch of date-times, exactly as
// QDateTime::toMSecsSinceEpoch gives them, but fast for local times: that call
// asks the C library's mktime, which reads the time zone file each time, and
// costs microseconds. The UTC offset found for one local minute is reused for
// the next times in that minute, unless the offset changes within two hours of
// it (a daylight-saving switch, when a local minute may stand for two instants).
class EpochConverter
{
public:
    qint64 toEpochMs(const QDateTime &dateTime);

private:
    qint64 cachedMinute = 0;
    bool cached = false;
    qint64 cachedOffset = 0;
};
