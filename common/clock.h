#pragma once

#include <QDateTime>

// Time of day for trend rows, file names and status texts, and the monotonic
// time that waits and back-offs are measured on. Tests install a controllable
// clock to cross midnight or wait out hours without waiting for them.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }
    // Milliseconds on a clock that never jumps with the time of day.
    virtual qint64 monotonicMs() const;
    // Waits `ms` milliseconds of monotonic time while the event loop goes on,
    // so replies are still read and handled meanwhile. Ends early once the
    // program is quitting. A test clock moves its time on instead of waiting.
    virtual void pause(qint64 ms) const;

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
