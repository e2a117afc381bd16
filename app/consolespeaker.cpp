#include "app/consolespeaker.h"

#include "app/analyzersession.h"
#include "app/linecutter.h"

ConsoleSpeaker::ConsoleSpeaker(AnalyzerSession &session, QObject *parent)
    : QObject(parent), session(session)
{}

bool ConsoleSpeaker::maySend()
{
    const QString why = session.whyNot(AnalyzerSession::Speaker::Console);
    if (why.isEmpty())
        return true;
    emit refused(tr("Not sent: %1.").arg(why));
    return false;
}

void ConsoleSpeaker::enter()
{
    const QByteArray text = std::exchange(typed, QByteArray());
    if (!maySend())
        return;
    // An empty line writes nothing, but the (empty) line is still logged.
    if (!text.isEmpty())
        session.send(text, AnalyzerSession::Speaker::Console);
    emit logged(QString::fromLatin1(upToZero(text)));
}

void ConsoleSpeaker::line(const QString &text)
{
    const QString command = text + QStringLiteral("\r\n");
    if (!maySend())
        return;
    session.send(command, AnalyzerSession::Speaker::Console);
    emit echo(command);
    emit logged(command);
}
