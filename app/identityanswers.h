#pragma once

#include "dashboard/statusrecord.h"

#include <QString>

struct ParserState;

// The identity step's questions, asked once a connection: the units, the
// species and the model name. Their answers carry no name, so the questions
// out are held here, and a reply is read as the answer to one of them only
// while it is awaited: the status parser never sees them as its own.
class IdentityAnswers
{
public:
    enum Question
    {
        Units = 1,
        Species = 2,
        Model = 4
    };

    struct Learned
    {
        bool units = false;
        bool species = false;
        bool model = false;
        // "!UNKNOWN" answered the units question: it says nothing of the status poll.
        bool unknownUnits = false;
    };

    void ask(Question q) { awaited |= q; }
    void forget() { awaited = 0; }
    bool awaits(Question q) const { return awaited & q; }
    bool awaitsAny() const { return awaited != 0; }

    // Takes the answers in `chunk` to the questions awaited into `state` and
    // `record` (units and species), and says what it learned.
    Learned read(const QString &chunk, ParserState &state, StatusRecord &record);

private:
    int awaited = 0;
};
