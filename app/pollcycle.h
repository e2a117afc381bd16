#pragma once

#include "app/identityanswers.h"
#include "app/statusparser.h"

#include <QList>
#include <QString>

// What one poll tick decides, apart from the widgets and timers that carry it out.
namespace PollCycle {

enum class Silence
{
    None,          // replies are coming, or silence does not count here
    NeverAnswered, // nothing came since connect: give up the connection
    Quiet,         // the analyzer answered once and has been quiet since: say when
};

// Silence is judged only with the dashboard in front, on the first tick more
// than three poll periods after the last reply (milliseconds, not rounded).
Silence silence(qint64 silentMs, qint64 pollMs, bool gotReply, bool onDashboard);

struct IdentityQuery
{
    int waitSeconds;                    // pause before the query
    QString command;                    // ends in "\r\n"
    IdentityAnswers::Question question; // the next suitable reply answers it
    QString ParserState::*answer;
    QString statusText;
};

// The identity queries still to ask, in order: units, species, model name.
QList<IdentityQuery> identityQueries(const ParserState &state);

// The poll command for the tab in front: "status" or, in compatibility mode,
// "conc" on the dashboard; "lt" or "lc" while a service scan runs; else none.
QString pollCommand(int tab, bool compatibilityMode, int scanState);

} // namespace PollCycle
