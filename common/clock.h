#pragma once

#include <QDateTime>

// Time of day for trend rows, file names and status texts, and the monotonic
// time that collections and back-offs are measured on. Tests install a
// controllable clock to cross midnight or let hours pass without waiting for
// them. Nothing here waits: paced commands go out on timers (CommandSequence).
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }
    // Milliseconds on a clock that never jumps with the time of day.
    virtual qint64 monotonicMs() const;

    static const Clock &instance();
    // Not owned; nullptr restores the system clock.
    static void install(const Clock *clock);
    static QDateTime current() { return instance().now(); }
    static qint64 monotonic() { return instance().monotonicMs(); }
};

// Unless TZ is set, the C library checks /etc/localtime again on every local
// time conversion: a file system call each time, and a plot redraw with a date
// axis makes about a hundred. Pointing TZ at that same file (when TZ is unset)
// has the zone read once. Call it first thing in main. A change of the system's
// zone is then seen at the next start.
void readLocalTimeZoneOnce();
