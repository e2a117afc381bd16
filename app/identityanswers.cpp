#include "app/identityanswers.h"

#include "app/statusparser.h"
#include "common/debuglog.h"

#include <QDebug>

namespace {

QString modelAnswer(const QString &chunk, const QStringRef &last)
{
    // A model name may hold a blank ("ORIN OK"), which the token split would
    // cut, so take the reply's line whole (after a "key :" if there is one).
    // The answer is the first line: the next poll's status report may follow
    // it in the same chunk.
    const QString text = chunk.trimmed();
    const int end = text.indexOf(QLatin1Char('\n'));
    QString line = (end < 0 ? text : text.left(end)).simplified();
    const int colon = line.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0)
        line = line.mid(colon + 1).trimmed();
    return line.isEmpty() ? last.toString() : line;
}

} // namespace

IdentityAnswers::Learned IdentityAnswers::read(const QString &chunk, ParserState &state,
                                               StatusRecord &record)
{
    Learned learned;
    if (!awaited)
        return learned;
    QVector<QStringRef> tokens;
    StatusParser::tokenise(chunk, tokens);
    const int n = tokens.size();
    if (n == 0)
        return learned;
    const QStringRef last = tokens.last();

    if (awaits(Units) && last.size() == 1) {
        state.unitsCode = last.toString();
        awaited &= ~Units;
        learned.units = true;
        qCDebug(telvarDebug) << "unitDisp " + state.unitsCode;
        static const char *const unitTexts[] = {"PPBv", "PPBw", "Deg  C", "Deg  F", "K e l v i n"};
        const ushort code = last.at(0).unicode();
        if (code >= '1' && code <= '5')
            record.units = QLatin1String(unitTexts[code - '1']);
    }
    if (awaits(Model)) {
        state.modelName = modelAnswer(chunk, last);
        awaited &= ~Model;
        learned.model = true;
    }
    // The simulated analyzer answers no identity query: supply its units and species.
    if (awaits(Units) && state.demoMode) {
        state.unitsCode = QStringLiteral("PPBv");
        record.units = QStringLiteral("PPBv");
        awaited &= ~Units;
        learned.units = true;
    }
    if (awaits(Species) && state.demoMode) {
        state.speciesName = QStringLiteral("H2O");
        record.species = QStringLiteral("H2O");
        awaited &= ~Species;
        learned.species = true;
    }
    if (awaits(Species) && n == 1 && last.size() > 1) {
        state.speciesName = last.toString();
        record.species = state.speciesName;
        awaited &= ~Species;
        learned.species = true;
    }
    if (awaits(Units) && last == QLatin1String("!UNKNOWN") && !chunk.isEmpty()) {
        state.unitsCode = QStringLiteral("-1");
        awaited &= ~Units;
        record.units = QStringLiteral("!UNK");
        learned.units = learned.unknownUnits = true;
    }
    return learned;
}
