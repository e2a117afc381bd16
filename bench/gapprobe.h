#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <vector>

// How long the event loop kept a timer of `intervalMs` waiting: the intervals
// between its firings, between start() and stop().
class GapProbe
{
public:
    explicit GapProbe(int intervalMs)
    {
        timer.setInterval(intervalMs);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            gaps.push_back(clock.nsecsElapsed());
            clock.start();
        });
    }
    void start()
    {
        gaps.clear();
        clock.start();
        timer.start();
    }
    void stop() { timer.stop(); }
    // What the bench itself blocks on (starting and stopping a broker) is no
    // gap of the program's.
    void pause() { timer.stop(); }
    void resume()
    {
        clock.start();
        timer.start();
    }
    double longestMs() const
    {
        return gaps.empty() ? 0 : double(*std::max_element(gaps.begin(), gaps.end())) / 1e6;
    }
    double percentileMs(double p) const
    {
        if (gaps.empty())
            return 0;
        std::vector<qint64> sorted = gaps;
        std::sort(sorted.begin(), sorted.end());
        return double(sorted[size_t(p * double(sorted.size() - 1))]) / 1e6;
    }
    int over(double ms) const
    {
        return int(std::count_if(gaps.begin(), gaps.end(),
                                 [ms](qint64 g) { return double(g) / 1e6 > ms; }));
    }

private:
    QTimer timer;
    QElapsedTimer clock;
    std::vector<qint64> gaps;
};
