#include "app/statusparser.h"

#include "common/debuglog.h"

#include <QDebug>

#include <cmath>
#include <limits>

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

int toIntLoose(const QStringRef &text)
{
    bool okInt = false;
    const int i = text.toInt(&okInt, 10);
    if (okInt)
        return i;
    const double d = text.toDouble();
    if (std::isnan(d))
        return 0;
    return int(qBound(double(std::numeric_limits<int>::min()), d,
                      double(std::numeric_limits<int>::max())));
}

} // namespace

StatusParser::StatusParser(StatusRecord &record, ParserState &state, ParserHooks &hooks)
    : record(record), state(state), hooks(hooks)
{}

void StatusParser::tokenise(const QString &chunk, QVector<QStringRef> &tokens)
{
    tokens.clear();
    const int size = chunk.size();
    const QChar *d = chunk.constData();
    int start = -1;
    for (int i = 0; i <= size; ++i) {
        const bool separator = i == size || d[i] == QLatin1Char(':') || d[i].isSpace();
        if (separator) {
            if (start >= 0)
                tokens.append(chunk.midRef(start, i - start));
            start = -1;
        } else if (start < 0) {
            start = i;
        }
    }
}

bool StatusParser::isPlainDecimal(const QStringRef &text)
{
    int i = 0;
    const int size = text.size();
    if (i < size && text.at(i) == QLatin1Char('-'))
        ++i;
    while (i < size && isAsciiDigit(text.at(i)))
        ++i;
    if (i < size && text.at(i) == QLatin1Char('.'))
        ++i;
    while (i < size && isAsciiDigit(text.at(i)))
        ++i;
    return i == size;
}

QString StatusParser::modeText(const QStringRef &code)
{
    if (code.size() == 1) {
        switch (code.at(0).unicode()) {
        case '0':
            return QStringLiteral("SERVICE MODE");
        case '1':
            return QStringLiteral("TUNE MODE");
        case '2':
            return QStringLiteral("MEASURE MODE");
        case '3':
            return QStringLiteral("Shutdown");
        case '4':
            return QStringLiteral("TEMP SCAN");
        case '5':
            return QStringLiteral("Laser Optimization");
        case '7':
            return QStringLiteral("Reference Cell Scan");
        default:
            break;
        }
    }
    return QStringLiteral("NA");
}

int StatusParser::indexOf(QLatin1String token, int from) const
{
    for (int i = from; i < tokens.size(); ++i)
        if (tokens.at(i) == token)
            return i;
    return -1;
}

QStringRef StatusParser::valueOf(QLatin1String key) const
{
    const int i = indexOf(key);
    return i >= 0 && i + 1 < tokens.size() ? tokens.at(i + 1) : QStringRef();
}

QStringList StatusParser::tokenList() const
{
    QStringList out;
    out.reserve(tokens.size());
    for (const QStringRef &t : tokens)
        out.append(t.toString());
    return out;
}

namespace {

// Just past the line that ends a status report ("Laser Status : ..."), from `from` on.
int reportEnd(const QString &chunk, int from)
{
    const int at = chunk.indexOf(QLatin1String("Status"), from);
    const int end = at < 0 ? -1 : chunk.indexOf(QLatin1Char('\n'), at);
    return end < 0 ? -1 : end + 1;
}

} // namespace

void StatusParser::parseData(const QString &chunk)
{
    // Two reports read at once (the window was busy) are two reports, each
    // with its own row: the chunk is cut after every line that ends one.
    const int first = reportEnd(chunk, 0);
    if (first > 0 && reportEnd(chunk, first) > 0) {
        int from = 0;
        for (int end = first; end > 0; from = end, end = reportEnd(chunk, end))
            parseData(chunk.mid(from, end - from));
        if (from < chunk.size())
            parseData(chunk.mid(from));
        return;
    }
    if (chunk.isEmpty()) {
        qCDebug(telvarDebug) << "Empty line! leaving parseData()";
        return;
    }
    tokenise(chunk, tokens);
    const int n = tokens.size();
    if (n == 0) {
        qCDebug(telvarDebug) << "Empty list! leaving parseData()";
        return;
    }
    const QStringRef last = tokens.last();

    // An old analyzer in compatibility mode answers "conc" with a bare number.
    // 0, 1 and 2 are answers to other commands, not concentrations.
    if (state.compatibilityMode && state.identified && state.currentTab == 0 &&
        last != QLatin1String("0") && last != QLatin1String("1") && last != QLatin1String("2"))
        compatibilityLine(last);

    // Service Scans tab.
    const int scan = hooks.scanState();
    if (scan > 0 && n == 1)
        hooks.scanReading(last.toString());
    if (scan > 3)
        hooks.appendDownload(tokenList());

    if (state.currentTab == 2)
        utilitiesAnswer(last);

    if (state.unitsPending && last.size() == 1) {
        state.unitsCode = last.toString();
        state.unitsPending = false;
        qCDebug(telvarDebug) << "unitDisp " + state.unitsCode;
        static const char *const unitTexts[] = {"PPBv", "PPBw", "Deg  C", "Deg  F", "K e l v i n"};
        const ushort code = last.at(0).unicode();
        if (code >= '1' && code <= '5')
            record.units = QLatin1String(unitTexts[code - '1']);
    }

    if (state.modelPending) {
        state.modelName = modelAnswer(chunk, last);
        state.modelPending = false;
        if (!state.demoMode)
            hooks.setModelLabel(state.modelName + QLatin1String(": ") + state.serialNumber);
        hooks.tempAlarmVisible(state.modelName == QLatin1String("ORIN OK"));
    }

    // The simulated analyzer answers no identity query: supply its units and species.
    if (state.unitsPending && state.demoMode) {
        state.unitsCode = QStringLiteral("PPBv");
        record.units = QStringLiteral("PPBv");
        state.unitsPending = false;
    }
    if (state.speciesPending && state.demoMode) {
        state.speciesName = QStringLiteral("H2O");
        record.species = QStringLiteral("H2O");
        state.speciesPending = false;
        hooks.enableControls();
    }

    if (state.speciesPending && n == 1 && last.size() > 1) {
        state.speciesName = last.toString();
        record.species = state.speciesName;
        state.speciesPending = false;
        hooks.enableControls();
    }

    if (n >= 2)
        keyedValues();

    if (chunk.contains(QLatin1String("!UNKNOWN")) && state.currentTab == 0 && !state.unitsPending) {
        state.compatibilityMode = true;
        qCDebug(telvarDebug) << "Switching to CompatibilityMode";
    } else if (state.unitsPending && last == QLatin1String("!UNKNOWN")) {
        state.unitsCode = QStringLiteral("-1");
        state.unitsPending = false;
        record.units = QStringLiteral("!UNK");
    }
}

void StatusParser::compatibilityLine(const QStringRef &last)
{
    bool isNumber = false;
    last.toDouble(&isNumber);
    if (isNumber)
        record.conc = last.toString();
    const QString dash = QStringLiteral("-");
    for (QString *field : {&record.filter, &record.gasType, &record.tauEmpty, &record.tauEmptyStd,
                           &record.tau, &record.tauStd, &record.laserCurrent, &record.laserTemp,
                           &record.pressure, &record.faults})
        *field = dash;
    record.modeText = QStringLiteral("Compatibility Mode");
    record.statusText = QStringLiteral("Compatibility Mode");
    hooks.statusReady();
}

void StatusParser::utilitiesAnswer(const QStringRef &last)
{
    const int n = tokens.size();
    bool okInt = false, okNumber = false;
    if (n == 1) {
        last.toInt(&okInt, 10);
        last.toDouble(&okNumber);
    }
    // A lone "!WRONG" is the analyzer's whole answer to a refused change, so
    // a single word that is no number goes on to the checks below.
    if (okInt || okNumber) {
        const int value = toIntLoose(last);
        if (hooks.waitingForSpeed())
            hooks.updateSpeed(value);
        else if (hooks.waitingForFilter())
            hooks.updateFilter(value);
    } else if (indexOf(QLatin1String("Gas")) >= 0) {
        // Each gas line reads "Gas <number> <name>". Taking the last "Gas"
        // first, the name is the token two places after it once the later "Gas"
        // tokens are gone: the second non-"Gas" token after it. One pass from
        // the end finds them all, so a flood of "Gas" lines cannot stall us.
        // The list comes out in reverse order of appearance.
        QStringList gases;
        QStringRef next, afterNext; // the first two non-"Gas" tokens after i
        for (int i = n - 1; i >= 0; --i) {
            const QStringRef &t = tokens.at(i);
            if (t == QLatin1String("Gas")) {
                if (!afterNext.isNull())
                    gases.append(afterNext.toString());
            } else {
                afterNext = next;
                next = t;
            }
        }
        hooks.updateGasList(gases);
    } else if (indexOf(QLatin1String("!WRONG")) >= 0) {
        hooks.wrongModeBox();
    } else if (n != 1) {
        return;
    }
    hooks.clearWaitingForSpeed();
}

void StatusParser::keyedValues()
{
    QStringRef v = valueOf(QLatin1String("Filter"));
    if (!v.isNull()) {
        record.filter = v.toString();
        hooks.updateFilter(v.toInt(nullptr, 10));
    }
    v = valueOf(QLatin1String("Type"));
    if (!v.isNull()) {
        record.gasType = v.toString();
        hooks.updateGasList(QStringList{record.gasType});
        hooks.setCurrentGas(record.gasType);
    }
    v = valueOf(QLatin1String("OpMode"));
    if (!v.isNull())
        record.modeText = modeText(v);

    const struct
    {
        const char *key;
        QString StatusRecord::*field;
    } plain[] = {
        {"TauEmpty", &StatusRecord::tauEmpty}, {"TauEStd", &StatusRecord::tauEmptyStd},
        {"Tau", &StatusRecord::tau},           {"TauStd", &StatusRecord::tauStd},
        {"Temp", &StatusRecord::laserTemp},    {"Current", &StatusRecord::laserCurrent},
        {"Reading", &StatusRecord::pressure},
    };
    for (const auto &p : plain) {
        v = valueOf(QLatin1String(p.key));
        if (!v.isNull())
            record.*p.field = v.toString();
    }

    v = valueOf(QLatin1String("Conc"));
    if (!v.isNull())
        record.conc = isPlainDecimal(v) ? v.toString() : QStringLiteral(" ");

    v = valueOf(QLatin1String("Faults"));
    if (!v.isNull()) {
        record.faults = v.toString();
        bool ok = false;
        const int bits = v.toInt(&ok, 10);
        record.setFaultBits(ok ? bits : 0);
    }

    const int status = indexOf(QLatin1String("Status"));
    if (status >= 0 && status + 1 < tokens.size()) {
        QString text;
        for (int i = status + 1; i < tokens.size(); ++i)
            text.append(tokens.at(i)).append(QLatin1Char(' '));
        record.statusText = text;
        hooks.statusReady();
    }
}

QString StatusParser::modelAnswer(const QString &chunk, const QStringRef &last) const
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
