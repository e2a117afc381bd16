#pragma once

#include <QDateTime>

// Time of day for trend rows, file names and status texts. Tests install a
// controllable clock to cross midnight without waiting for it.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }

    static const Clock &instance();
    // Not owned; nullptr restores the system clock.
    static void install(const Clock *clock);
    static QDateTime current() { return instance().now(); }
};
