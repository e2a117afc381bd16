#include "common/commandsequence.h"

namespace {
int paceSecondMs = 1000;
}

CommandSequence::CommandSequence(QObject *parent) : QObject(parent)
{
    // Coarse timers may fire early; the gaps between commands are minimums.
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &CommandSequence::runSteps);
}

CommandSequence &CommandSequence::then(std::function<void()> step)
{
    steps.append(Step{std::move(step), 0});
    return *this;
}

CommandSequence &CommandSequence::wait(int seconds)
{
    steps.append(Step{nullptr, seconds * paceSecondMs});
    return *this;
}

void CommandSequence::start()
{
    if (running)
        return;
    running = true;
    runSteps();
}

void CommandSequence::cancel()
{
    timer.stop();
    steps.clear();
    running = false;
}

void CommandSequence::runSteps()
{
    while (running && !steps.isEmpty()) {
        Step step = steps.takeFirst();
        if (step.waitMs > 0) {
            timer.start(step.waitMs);
            return;
        }
        if (step.action)
            step.action(); // may cancel() or queue more steps
    }
    if (running) {
        running = false;
        emit finished();
    }
}

int CommandSequence::secondMs()
{
    return paceSecondMs;
}

void CommandSequence::setSecondMs(int ms)
{
    paceSecondMs = ms > 0 ? ms : 1;
}
