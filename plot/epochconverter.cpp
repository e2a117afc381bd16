#include "plot/epochconverter.h"

namespace {

constexpr qint64 minuteMs = 60 * 1000;
constexpr qint64 hourMs = 60 * minuteMs;
constexpr qint64 dayMs = 24 * 60 * minuteMs;
constexpr qint64 epochJulianDay = 2440588; // 1970-01-01

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - (a % b < 0 ? 1 : 0);
}

// The local wall-clock time as if it were UTC: no time zone involved.
qint64 wallClockMs(const QDate &date, int msecsOfDay)
{
    return (date.toJulianDay() - epochJulianDay) * dayMs + msecsOfDay;
}

} // namespace

qint64 EpochConverter::toEpochMs(const QDateTime &dateTime)
{
    if (dateTime.timeSpec() != Qt::LocalTime || !dateTime.isValid())
        return dateTime.toMSecsSinceEpoch();
    const qint64 local = wallClockMs(dateTime.date(), dateTime.time().msecsSinceStartOfDay());
    if (cached && floorDiv(local, hourMs) == cachedHour)
        return local - cachedOffset;
    return slowPath(dateTime, local);
}

bool EpochConverter::localToEpochMs(const QDate &date, int msecsOfDay, qint64 &ms)
{
    const qint64 local = wallClockMs(date, msecsOfDay);
    if (cached && floorDiv(local, hourMs) == cachedHour) {
        ms = local - cachedOffset;
        return true;
    }
    const QDateTime dateTime(date, QTime::fromMSecsSinceStartOfDay(msecsOfDay));
    if (!dateTime.isValid())
        return false;
    ms = slowPath(dateTime, local);
    return true;
}

qint64 EpochConverter::slowPath(const QDateTime &dateTime, qint64 local)
{
    const qint64 utc = dateTime.toMSecsSinceEpoch();
    const qint64 offset = local - utc;
    // The whole local hour is within an hour of utc; a switch within three
    // hours of it, even one of two hours, shows as a different offset here.
    const qint64 threeHours = 3 * hourMs;
    const bool steady =
        qint64(QDateTime::fromMSecsSinceEpoch(utc - threeHours).offsetFromUtc()) * 1000 == offset &&
        qint64(QDateTime::fromMSecsSinceEpoch(utc + threeHours).offsetFromUtc()) * 1000 == offset;
    cached = steady;
    cachedHour = floorDiv(local, hourMs);
    cachedOffset = offset;
    return utc;
}
