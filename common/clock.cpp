#include "common/clock.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

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

void Clock::pause(qint64 ms) const
{
    // A precise single-shot timer ends the wait; the loop handles every other
    // event meanwhile. Coarse timers may fire early, so the end is checked on
    // the monotonic clock and the wait goes on for what is left.
    // Once the program is quitting, a loop returns at once without waiting
    // (exec() gives -1): the wait ends there rather than spinning to its end.
    const qint64 end = monotonicMs() + qMax<qint64>(0, ms);
    for (qint64 left = end - monotonicMs(); left > 0; left = end - monotonicMs()) {
        QEventLoop loop;
        QTimer::singleShot(int(qMin<qint64>(left, 1 << 30)), Qt::PreciseTimer, &loop,
                           &QEventLoop::quit);
        if (loop.exec() != 0)
            return;
    }
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
