#include "common/clock.h"

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
