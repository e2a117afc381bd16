#include "plot/epochconverter.h"

namespace {

constexpr qint64 minuteMs = 60 * 1000;
constexpr qint64 dayMs = 24 * 60 * minuteMs;
constexpr qint64 epochJulianDay = 2440588; // 1970-01-01

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - (a % b < 0 ? 1 : 0);
}

} // namespace

qint64 EpochConverter::toEpochMs(const QDateTime &dateTime)
{
    if (dateTime.timeSpec() != Qt::LocalTime || !dateTime.isValid())
        return dateTime.toMSecsSinceEpoch();
    // The local wall-clock time as if it were UTC: no time zone involved.
    const qint64 local = (dateTime.date().toJulianDay() - epochJulianDay) * dayMs +
                         dateTime.time().msecsSinceStartOfDay();
    const qint64 minute = floorDiv(local, minuteMs);
    if (cached && minute == cachedMinute)
        return local - cachedOffset;

    const qint64 utc = dateTime.toMSecsSinceEpoch();
    const qint64 offset = local - utc;
    const qint64 twoHours = 2 * 60 * minuteMs;
    const bool steady =
        qint64(QDateTime::fromMSecsSinceEpoch(utc - twoHours).offsetFromUtc()) * 1000 == offset &&
        qint64(QDateTime::fromMSecsSinceEpoch(utc + twoHours).offsetFromUtc()) * 1000 == offset;
    cached = steady;
    cachedMinute = minute;
    cachedOffset = offset;
    return utc;
}
