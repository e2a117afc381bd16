#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class AnalyzerSession;

// What the operator types, on its way to the analyzer through the session like
// any other speaker's command: the console's keys gathered into a line, and
// the entry field's lines. A line the session refuses goes nowhere and is said
// with its reason.
class ConsoleSpeaker : public QObject
{
    Q_OBJECT
public:
    ConsoleSpeaker(AnalyzerSession &session, QObject *parent = nullptr);

    void key(const QByteArray &bytes) { typed += bytes; }
    void backspace() { typed.chop(1); }
    // The console's Enter: the keys since the last one go out as they are.
    void enter();
    // A line of the entry field, "\r\n" added.
    void line(const QString &text);

signals:
    // "Not sent: <why>." for the console.
    void refused(const QString &text);
    // A line sent from the entry field, for the console's local echo.
    void echo(const QString &text);
    // A line for the traffic log.
    void logged(const QString &text);

private:
    bool maySend();

    AnalyzerSession &session;
    QByteArray typed; // console keys since the last Enter
};
