#pragma once

#include <QByteArray>

#include <functional>

// The simulated analyzer: it takes the program's commands and answers each
// with a full status report. The concentration follows a fixed repeating
// profile with a little noise, so the alarm lamp and the plots show movement.
// Plain class, shared by the demo link and the stand-alone simulator.
class DemoModel
{
public:
    static constexpr int randomMax = 32767;

    // `random` gives integers 0..32767; by default a seeded pseudo-random generator.
    explicit DemoModel(std::function<int()> random = {});

    // Applies one written block of commands.
    void interpret(const QByteArray &command);
    // Advances the profile one step and returns the next status report.
    QByteArray report();
    // Back to the state of a fresh connection.
    void reset();

    // The profile's base concentration at step `k` (before the noise).
    static double baseConcentration(int k);

    int mode = 0;  // 0 service, 1 tune, 2 measure, 4 temperature scan, 7 reference cell scan
    int count = 0; // position in the profile, 0..100
    double laserCurrent = 95.12;
    double laserTemp = 20.98;

private:
    int nextRandom();
    void takeStartValue(const QByteArray &command);

    std::function<int()> random;
};
