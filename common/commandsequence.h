#pragma once

#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

// Paces a burst of commands without blocking the GUI: steps run in order, and
// a wait lets replies and repaints go on while it lasts. Waits are counted in
// pace seconds (one second by default; tests shorten it).
class CommandSequence : public QObject
{
    Q_OBJECT
public:
    explicit CommandSequence(QObject *parent = nullptr);

    CommandSequence &then(std::function<void()> step);
    CommandSequence &wait(int seconds);
    // Runs the steps queued so far; steps queued while running are appended.
    void start();
    // Drops the steps not yet run.
    void cancel();
    bool isRunning() const { return running; }

    // Length of one paced second in milliseconds (default 1000).
    static int secondMs();
    static void setSecondMs(int ms);

signals:
    void finished();

private:
    void runSteps();

    struct Step
    {
        std::function<void()> action;
        int waitMs = 0;
    };
    QList<Step> steps;
    QTimer timer;
    bool running = false;
};
