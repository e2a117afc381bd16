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

} // namespace

StatusParser::StatusParser(ParserState &state) : state(state) {}

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

namespace {

// Just past the line that ends a status report ("Laser Status : ..."), from `from` on.
int reportEnd(const QString &chunk, int from)
{
    const int at = chunk.indexOf(QLatin1String("Status"), from);
    const int end = at < 0 ? -1 : chunk.indexOf(QLatin1Char('\n'), at);
    return end < 0 ? -1 : end + 1;
}

} // namespace

QVector<StatusReport> StatusParser::parseData(const QString &chunk, bool unknownIsNotOurs)
{
    reports.clear();
    parseOne(chunk, unknownIsNotOurs);
    return reports;
}

void StatusParser::parseOne(const QString &chunk, bool unknownIsNotOurs)
{
    // Two reports read at once (the window was busy) are two reports, each
    // with its own row: the chunk is cut after every line that ends one.
    const int first = reportEnd(chunk, 0);
    if (first > 0 && reportEnd(chunk, first) > 0) {
        int from = 0;
        for (int end = first; end > 0; from = end, end = reportEnd(chunk, end))
            parseOne(chunk.mid(from, end - from), unknownIsNotOurs);
        if (from < chunk.size())
            parseOne(chunk.mid(from), unknownIsNotOurs);
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
    if (state.compatibilityMode && state.identified && state.statusPolled &&
        last != QLatin1String("0") && last != QLatin1String("1") && last != QLatin1String("2"))
        compatibilityLine(last);

    if (n >= 2)
        keyedValues();

    if (chunk.contains(QLatin1String("!UNKNOWN")) && state.statusPolled && !unknownIsNotOurs) {
        state.compatibilityMode = true;
        qCDebug(telvarDebug) << "Switching to CompatibilityMode";
    }
}

void StatusParser::reportReady()
{
    reports.append(StatusReport{current, state.compatibilityMode});
}

void StatusParser::compatibilityLine(const QStringRef &last)
{
    bool isNumber = false;
    last.toDouble(&isNumber);
    if (isNumber)
        current.conc = last.toString();
    const QString dash = QStringLiteral("-");
    for (QString *field :
         {&current.filter, &current.gasType, &current.tauEmpty, &current.tauEmptyStd, &current.tau,
          &current.tauStd, &current.laserCurrent, &current.laserTemp, &current.pressure,
          &current.faults})
        *field = dash;
    current.modeText = QStringLiteral("Compatibility Mode");
    current.statusText = QStringLiteral("Compatibility Mode");
    reportReady();
}

void StatusParser::keyedValues()
{
    QStringRef v = valueOf(QLatin1String("Filter"));
    if (!v.isNull())
        current.filter = v.toString();
    v = valueOf(QLatin1String("Type"));
    if (!v.isNull())
        current.gasType = v.toString();
    v = valueOf(QLatin1String("OpMode"));
    if (!v.isNull())
        current.modeText = modeText(v);

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
            current.*p.field = v.toString();
    }

    v = valueOf(QLatin1String("Conc"));
    if (!v.isNull())
        current.conc = isPlainDecimal(v) ? v.toString() : QStringLiteral(" ");

    v = valueOf(QLatin1String("Faults"));
    if (!v.isNull()) {
        current.faults = v.toString();
        bool ok = false;
        const int bits = v.toInt(&ok, 10);
        current.setFaultBits(ok ? bits : 0);
    }

    const int status = indexOf(QLatin1String("Status"));
    if (status >= 0 && status + 1 < tokens.size()) {
        QString text;
        for (int i = status + 1; i < tokens.size(); ++i)
            text.append(tokens.at(i)).append(QLatin1Char(' '));
        current.statusText = text;
        reportReady();
    }
}
