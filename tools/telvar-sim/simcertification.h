#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

#include <optional>

// The analyzer's side of a performance verification: the acknowledgements,
// the laser optimization, the two scans with their downloads and the answers
// to the factory-settings commands. The SRDA stream of the ring-down states is
// the analyzer's usual one.
class SimCertification
{
public:
    struct Options
    {
        // "optimize": "opmode 5" gets no answer; "fact": "fact=1" gets none.
        // The program then repeats the start command on every tick.
        QByteArray noAck;
        bool endlessDownload = false; // downloads never reach their end marker
        int optimizeQueries = 2;      // "opmode" queries answered 5 before the 0
        int scanSteps = 4;            // "lt" readings from start to end of a scan
    };

    // The answer when the command is one of a verification's; nothing leaves
    // it to the analyzer's other commands. `mode` is the analyzer's mode.
    std::optional<QByteArray> answer(const QByteArray &name, const QByteArray &arg, int &mode);
    void reset();

    // The factory-settings queries the analyzer knows, with their answers.
    static const QList<QPair<QByteArray, QByteArray>> &settingsAnswers();

    Options options;

private:
    QByteArray download(bool temp) const;

    int optimizeLeft = -1; // "opmode" answers of 5 still to come; < 0: not optimizing
    int scanStep = -1;     // next "lt" reading of a running scan; < 0: no scan
    double scanFrom = 5, scanTo = 35;
};
