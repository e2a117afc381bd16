#pragma once

#include <QDateTime>

// Milliseconds since the epoch of date-times, exactly as
// QDateTime::toMSecsSinceEpoch gives them, but fast for local times: that call
// asks the C library's mktime, which reads the time zone file each time, and
// costs microseconds. The UTC offset found for one local hour is reused for the
// next times in that hour, unless the offset changes within three hours of it
// (a daylight-saving switch, when a local time may stand for two instants or none).
class EpochConverter
{
public:
    qint64 toEpochMs(const QDateTime &dateTime);
    // The same for a local date and time of day given apart, without building a
    // QDateTime (which asks mktime as it is made). False for a time that does
    // not exist locally (skipped by a daylight-saving switch), as
    // QDateTime::fromString has it.
    bool localToEpochMs(const QDate &date, int msecsOfDay, qint64 &ms);
    // Whether the offset of the last local time converted holds for its whole
    // local hour (no daylight-saving switch near it).
    bool steadyHour() const { return cached; }

private:
    // Epoch milliseconds of the local time dateTime, whose wall-clock time read
    // as UTC is local; remembers the offset when it holds for the minute.
    qint64 slowPath(const QDateTime &dateTime, qint64 local);

    qint64 cachedHour = 0;
    bool cached = false;
    qint64 cachedOffset = 0;
};
