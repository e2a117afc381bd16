#pragma once

#include "link/orininterface.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMetaObject>

// An analyzer played by a table: what it hears, in order, and what it answers.
struct Analyzer
{
    QMap<QByteArray, QByteArray> answers;
    QList<QByteArray> heard;
    bool silent = false;
};

// A link to that analyzer, answering on the next turn of the event loop.
class ScriptLink : public OrinInterface
{
public:
    explicit ScriptLink(Analyzer &a) : a(a) { linkKind = Simulated; }
    bool openConnection(ConnectionSettings) override { return open = true; }
    void closeConnection() override { open = false; }
    bool connectionOpen() override { return open; }
    QByteArray readData() override { return std::exchange(in, QByteArray()); }
    void writeData(QByteArray data) override
    {
        for (const QByteArray &line : data.split('\n')) {
            const QByteArray command = line.trimmed();
            if (command.isEmpty())
                continue;
            a.heard << command;
            if (a.silent || !a.answers.contains(command))
                continue;
            in += a.answers.value(command);
            QMetaObject::invokeMethod(
                this, [this] { emit readyRead(); }, Qt::QueuedConnection);
        }
    }

private:
    Analyzer &a;
    QByteArray in;
};
