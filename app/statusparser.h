#pragma once

#include "dashboard/statusrecord.h"

#include <QString>
#include <QStringList>
#include <QStringRef>
#include <QVector>

// What the session knows of the analyzer it speaks to, read and written by
// the parser and the identity answers.
struct ParserState
{
    bool compatibilityMode = false, identified = false, demoMode = false;
    // Monitoring's own poll is out ("status", or "conc" in compatibility mode):
    // a bare number or "!UNKNOWN" answers it.
    bool statusPolled = true;
    QString unitsCode, speciesName, modelName, serialNumber;
};

// Interprets the reply chunks monitoring gets: status reports, and in
// compatibility mode bare concentrations. Each completed report comes back as
// a value, once; the identity and Utilities answers are read by those who
// asked for them, not here. (An SRDA collection reads its own stream.)
//
// The tokens are references into the chunk, kept in a reused vector.
class StatusParser
{
public:
    explicit StatusParser(ParserState &state);

    // The reports `chunk` completes, in order. With `unknownIsNotOurs`, an
    // "!UNKNOWN" in it answers an identity question, not the status poll.
    QVector<StatusReport> parseData(const QString &chunk, bool unknownIsNotOurs = false);
    // The analyzer's picture so far: every report adds to it.
    StatusRecord &record() { return current; }

    // Tokens of a reply: white space simplified, then split on ':' and ' ' with
    // empty parts dropped.
    static void tokenise(const QString &chunk, QVector<QStringRef> &tokens);
    // True when `text` is a concentration as the analyzer writes it: an optional
    // minus, digits, an optional point, digits (all parts optional).
    static bool isPlainDecimal(const QStringRef &text);
    // The mode text shown for an "OpMode" value.
    static QString modeText(const QStringRef &code);

private:
    void parseOne(const QString &chunk, bool unknownIsNotOurs);
    void compatibilityLine(const QStringRef &last);
    void keyedValues();
    void reportReady();
    int indexOf(QLatin1String token, int from = 0) const;
    // The value token after the first `key`, or a null reference.
    QStringRef valueOf(QLatin1String key) const;

    StatusRecord current;
    ParserState &state;
    QVector<StatusReport> reports;

    QVector<QStringRef> tokens;
};
