#include "app/pollcycle.h"

#include "service/servicescan.h"

namespace PollCycle {

Silence silence(qint64 silentMs, qint64 pollMs, bool gotReply, bool onDashboard)
{
    if (!onDashboard || silentMs <= 3 * pollMs)
        return Silence::None;
    return gotReply ? Silence::Quiet : Silence::NeverAnswered;
}

QList<IdentityQuery> identityQueries(const ParserState &state)
{
    QList<IdentityQuery> out;
    if (state.unitsCode.isEmpty())
        out << IdentityQuery{1, QStringLiteral("unitdisp\r\n"), IdentityAnswers::Units,
                             &ParserState::unitsCode, QStringLiteral("Getting units...")};
    if (state.speciesName.isEmpty())
        out << IdentityQuery{1, QStringLiteral("species\r\n"), IdentityAnswers::Species,
                             &ParserState::speciesName, QStringLiteral("Getting species...")};
    if (state.modelName.isEmpty())
        out << IdentityQuery{2, QStringLiteral("modelname\r\n"), IdentityAnswers::Model,
                             &ParserState::modelName, QStringLiteral("Getting model name...")};
    return out;
}

QString pollCommand(int tab, bool compatibilityMode, int scanState)
{
    if (tab == 0)
        return compatibilityMode ? QStringLiteral("conc\r\n") : QStringLiteral("status\r\n");
    if (tab == 3)
        return ServiceScan::pollCommand(scanState);
    return QString();
}

} // namespace PollCycle
