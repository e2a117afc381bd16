#include "common/clock.h"

#include <QByteArray>

namespace {
const Clock systemClock;
const Clock *currentClock = &systemClock;
} // namespace

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
