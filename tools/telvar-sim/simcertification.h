#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

#include <optional>

// The analyzer's side of a performance verification: the acknowledgements,
// the laser optimization and the answers to the factory-settings commands.
// Its scans are the analyzer's service scans (SimScans), and the SRDA stream of
// the ring-down states is the analyzer's usual one.
class SimCertification
{
public:
    struct Options
    {
        // "optimize": "opmode 5" gets no answer; "fact": "fact=1" gets none.
        // The program then repeats the start command on every tick.
        QByteArray noAck;
        int optimizeQueries = 2; // "opmode" queries answered 5 before the 0
    };

    // The answer when the command is one of a verification's; nothing leaves
    // it to the analyzer's other commands. `mode` is the analyzer's mode.
    std::optional<QByteArray> answer(const QByteArray &name, const QByteArray &arg, int &mode);
    void reset();

    // The factory-settings queries the analyzer knows, with their answers.
    static const QList<QPair<QByteArray, QByteArray>> &settingsAnswers();

    Options options;

private:
    int optimizeLeft = -1; // "opmode" answers of 5 still to come; < 0: not optimizing
};
