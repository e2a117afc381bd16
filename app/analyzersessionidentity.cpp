#include "app/analyzersession.h"

#include "app/identity.h"
#include "app/pollcycle.h"
#include "common/clock.h"
#include "common/commandsequence.h"

// The identity step of the conversation: who answers after an open or a
// return, and the units, species and model name asked once a connection.

namespace {

// The serial reply among the lines of a chunk (two replies may arrive in one read).
QString serialIn(const QByteArray &chunk)
{
    int from = 0;
    while (from < chunk.size()) {
        int end = chunk.indexOf('\n', from);
        end = end < 0 ? chunk.size() : end + 1;
        const QString serial = serialFromReply(chunk.mid(from, end - from));
        if (!serial.isNull())
            return serial;
        from = end;
    }
    return QString();
}

} // namespace

void AnalyzerSession::identify(const QByteArray &chunk)
{
    if (demo) {
        st.identified = true;
        emit controlsEnabled(true);
        ownerMayHaveChanged();
        return;
    }
    // Anything before "ssnid" went out is not its answer, whatever it looks like.
    if (!ssnidSent)
        return;
    const QString answer = serialIn(chunk);
    if (answer.isNull())
        return; // dropped unseen
    const bool first = serial.isNull();
    if (!first && answer != serial) {
        giveUpOnReturn(otherAnalyzerText(serial, answer, run != nullptr));
        return;
    }
    serial = answer;
    st.serialNumber = answer;
    st.identified = true;
    connection->answered();
    noteReply();
    emit identified(answer, first);
    // What a run stopped during the loss still owes this analyzer.
    if (!owed.isEmpty())
        write(std::exchange(owed, QString()));
    if (run) {
        // The same analyzer is back: the run goes on from the step it was in.
        pausedAt = -1;
        emit controlsEnabled(true);
        run->resumeRun();
    } else if (!first && (!st.unitsCode.isEmpty() && !st.speciesName.isEmpty())) {
        emit controlsEnabled(true);
    }
    ownerMayHaveChanged();
}

QString AnalyzerSession::otherAnalyzerText(const QString &expected, const QString &answered,
                                           bool runCancelled)
{
    return (runCancelled ? tr("Another analyzer answered when the connection came back: serial "
                              "number %1, not %2.  The run was cancelled and Telvar has "
                              "disconnected; nothing was written to the files of analyzer %2.")
                         : tr("Another analyzer answered when the connection came back: serial "
                              "number %1, not %2.  Telvar has disconnected."))
        .arg(answered, expected);
}

QString AnalyzerSession::noAnalyzerText(const QString &expected, int minutes)
{
    return tr("No analyzer answered for %2 minutes after the connection was lost (serial number "
              "%1 was expected).  The run was cancelled; Telvar keeps trying to reconnect.")
        .arg(expected)
        .arg(minutes);
}

void AnalyzerSession::giveUpOnReturn(const QString &text)
{
    // Nothing more goes to this analyzer, not even the goodbye: it is not ours.
    abandonRun(text);
    owed.clear();
    emit notOurAnalyzer(tr("Another analyzer"), text);
    identityPace->cancel();
    poll.stop();
    progressTimer.stop();
    emit closing();
    connection->disconnectNow(false);
}

void AnalyzerSession::askIdentity()
{
    // An answer is awaited for one whole poll period: the tick right after the
    // last query may come a moment after it. Not come by the tick after that,
    // it is not waited for any longer, and the question is asked again.
    if (answers.awaitsAny() && identityJustAsked) {
        identityJustAsked = false;
        sendPoll();
        return;
    }
    identityJustAsked = false;
    answers.forget();
    // Identity queries, each once per connection, a second or two apart.
    for (const PollCycle::IdentityQuery &q : PollCycle::identityQueries(st)) {
        identityPace->wait(q.waitSeconds).then([this, q] {
            if (!current || run || !(st.*q.answer).isEmpty())
                return;
            write(q.command);
            answers.ask(q.question);
            identityJustAsked = true;
            emit statusText(q.statusText);
        });
    }
    identityPace->then([this] { sendPoll(); }).start();
    ownerMayHaveChanged();
}
