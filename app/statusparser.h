#pragma once

#include "dashboard/statusrecord.h"

#include <QString>
#include <QStringList>
#include <QStringRef>
#include <QVector>

// Main-window connection state the parser reads and writes.
struct ParserState
{
    bool compatibilityMode = false, identified = false, demoMode = false;
    // 0 Monitor Analyzer, 1 Performance Verification, 2 Utilities, 3 Service Scans,
    // 4 Service Diagnostics
    int currentTab = 0;
    QString unitsCode, speciesName, modelName, serialNumber;
    bool unitsPending = false, speciesPending = false, modelPending = false;
};

// What parsing reaches outside the record. The main window forwards these to
// its signals and tabs; the defaults do nothing, so tests override only what
// they watch.
class ParserHooks
{
public:
    virtual ~ParserHooks() = default;
    virtual void statusReady() {}                  // emit newStatusReady()
    virtual void wrongModeBox() {}                 // the "Wrong Mode" information box
    virtual void setModelLabel(const QString &) {} // toolbar label text
    virtual void tempAlarmVisible(bool) {}
    virtual void enableControls() {} // setControlsEnabled(true)
    // The dashboard's compatibility flag, set on every poll tick.
    virtual void setCompatibilityMode(bool) {}
    // Service Scans tab
    virtual int scanState() const { return 0; }
    virtual void scanReading(const QString &) {}
    virtual void appendDownload(const QStringList &) {}
    // Utilities tab
    virtual bool waitingForSpeed() const { return false; }
    virtual bool waitingForFilter() const { return false; }
    virtual void clearWaitingForSpeed() {}
    virtual void updateSpeed(int) {}
    virtual void updateFilter(int) {}
    virtual void updateGasList(const QStringList &) {}
    virtual void setCurrentGas(const QString &) {}
};

// Interprets every reply chunk routed to it: status reports, identity answers,
// compatibility-mode concentrations, Utilities answers and scan readings.
// Replies carry no identifier; attribution rests on the pending flags and the
// current tab. (An SRDA collection reads its own stream.)
//
// The tokens are references into the chunk, kept in a reused vector.
class StatusParser
{
public:
    StatusParser(StatusRecord &record, ParserState &state, ParserHooks &hooks);

    void parseData(const QString &chunk);

    // Tokens of a reply: white space simplified, then split on ':' and ' ' with
    // empty parts dropped.
    static void tokenise(const QString &chunk, QVector<QStringRef> &tokens);
    // True when `text` is a concentration as the analyzer writes it: an optional
    // minus, digits, an optional point, digits (all parts optional).
    static bool isPlainDecimal(const QStringRef &text);
    // The mode text shown for an "OpMode" value.
    static QString modeText(const QStringRef &code);

private:
    void compatibilityLine(const QStringRef &last);
    void utilitiesAnswer(const QStringRef &last);
    void keyedValues();
    int indexOf(QLatin1String token, int from = 0) const;
    // The value token after the first `key`, or a null reference.
    QStringRef valueOf(QLatin1String key) const;
    QStringList tokenList() const;
    QString modelAnswer(const QString &chunk, const QStringRef &last) const;

    StatusRecord &record;
    ParserState &state;
    ParserHooks &hooks;

    QVector<QStringRef> tokens;
};
