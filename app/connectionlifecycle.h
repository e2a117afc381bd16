#pragma once

#include "link/connectionsettings.h"
#include "link/orininterface.h"
#include "link/serialidentity.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class CommandSequence;

// The life of the one analyzer connection: open, the paced opening and
// closing commands, a lost link, and reconnecting with back-off until the
// operator disconnects. No widgets: the main window wires the link it hands
// out and shows what it says.
class ConnectionLifecycle : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Disconnected,
        Opening,   // link open, opening commands being paced out
        Connected, // opening commands sent; polling runs
        Closing,   // goodbye commands being paced out
        Waiting    // link lost; the next attempt is due after the back-off
    };

    // Makes the link of the kind the settings ask for (not yet open).
    using LinkFactory = std::function<OrinInterface *(const ConnectionSettings &)>;

    explicit ConnectionLifecycle(LinkFactory factory, QObject *parent = nullptr);
    ~ConnectionLifecycle() override;

    // Opens a link with `settings`; false (and openFailed) when it does not open.
    bool connectTo(const ConnectionSettings &settings);
    // Sends the goodbye commands, then closes; from Waiting it just stops trying.
    // Without `goodbye` the link closes at once (another analyzer answered).
    void disconnectNow(bool goodbye = true);
    // The link is as good as lost (the analyzer stopped answering after a
    // reconnect). Not for a link's own signals, which arrive queued.
    void reportLoss(const QString &reason);

    OrinInterface *link() const { return current; }
    State state() const { return st; }
    bool isBusy() const { return st == State::Opening || st == State::Closing; }
    // True between a loss and the next successful open (and after it, until
    // the analyzer answers again: see answered()).
    bool isReconnect() const { return reconnected; }
    int attempts() const { return attempt; }
    // The analyzer has identified itself on this link: the next loss starts
    // the back-off from its beginning again.
    void answered()
    {
        reconnected = false;
        attempt = 0;
    }

    // Seconds before attempt `n` (0-based) after a loss: 1, 2, 4 ... 30.
    static int backoffSeconds(int n);

signals:
    // A link is open; wire it (its readyRead, console, buttons).
    void linkOpened(OrinInterface *link);
    // The opening commands are out: start polling.
    void started();
    void openFailed(const QString &errorText);
    // A goodbye command went to the analyzer (for the console).
    void goodbyeSent(const QString &command);
    // The link is about to go: undo the wiring, stop polling.
    void linkClosing();
    // Disconnect has finished; nothing is open or pending.
    void closed();
    // The link was lost; with `retrying` the next attempt follows by itself.
    void lost(const QString &reason, bool retrying);
    // An attempt to reopen failed; the next follows after `waitSeconds`.
    void retryFailed(const QString &reason, int waitSeconds);

private:
    void linkLost(const QString &reason);
    bool openLink(const ConnectionSettings &settings, QString *error);
    void adopt(OrinInterface *link);
    void reopened(int attemptId, bool opened);
    void dropLink(QPointer<OrinInterface> &which);
    void handleLoss(const QString &reason);
    void scheduleRetry();
    void retry();

    LinkFactory factory;
    ConnectionSettings settings;
    SerialIdentity serialId;
    QPointer<OrinInterface> current;
    // A link reopening in the background after a loss, and which attempt it is.
    QPointer<OrinInterface> pending;
    int pendingId = 0;
    CommandSequence *pace;
    State st = State::Disconnected;
    int attempt = 0;
    bool reconnected = false;
    bool lossQueued = false;
};
