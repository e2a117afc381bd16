#pragma once

#include "support/pty.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

// A scripted analyzer on the master side of a pty: answers each command line
// it receives from a table, and records the commands in order.
class FakeAnalyzer : public QObject
{
    Q_OBJECT
public:
    FakeAnalyzer();

    Pty pty;
    QList<QByteArray> commands;           // every command line received, without "\r\n"
    QMap<QByteArray, QByteArray> answers; // command → reply bytes
    std::function<QByteArray(const QByteArray &)> answerer; // overrides the table when set
    bool silent = false;

    int count(const QByteArray &command) const { return commands.count(command); }

private:
    void readable();

    std::unique_ptr<QSocketNotifier> notifier;
    QByteArray pending;
};

// A status report as an analyzer sends it.
QByteArray statusReport(const QByteArray &conc = "12.345", const QByteArray &faults = "0",
                        const QByteArray &mode = "2");
