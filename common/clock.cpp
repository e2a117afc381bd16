#include "common/clock.h"

#include <QByteArray>
#include <QElapsedTimer>

namespace {
const Clock systemClock;
const Clock *currentClock = &systemClock;

const QElapsedTimer &monotonicStart()
{
    static const QElapsedTimer started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return started;
}
} // namespace

qint64 Clock::monotonicMs() const
{
    return monotonicStart().elapsed();
}

const Clock &Clock::instance()
{
    return *currentClock;
}

void Clock::install(const Clock *clock)
{
    currentClock = clock ? clock : &systemClock;
}

void readLocalTimeZoneOnce()
{
    // Qt reads this value as "the system zone" too.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
}
