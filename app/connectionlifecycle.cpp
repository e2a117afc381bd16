#include "app/connectionlifecycle.h"

#include "common/commandsequence.h"
#include "link/orininterface.h"

#include <QFileInfo>

ConnectionLifecycle::ConnectionLifecycle(LinkFactory factory, QObject *parent)
    : QObject(parent), factory(std::move(factory)), pace(new CommandSequence(this))
{}

ConnectionLifecycle::~ConnectionLifecycle()
{
    pace->cancel();
}

int ConnectionLifecycle::backoffSeconds(int n)
{
    return n >= 5 ? 30 : qMin(30, 1 << qMax(0, n));
}

bool ConnectionLifecycle::connectTo(const ConnectionSettings &wanted)
{
    if (st != State::Disconnected)
        return false;
    settings = wanted;
    attempt = 0;
    reconnected = false;
    QString error;
    if (!openLink(settings, &error)) {
        emit openFailed(error);
        return false;
    }
    if (current->linkKind == OrinInterface::Serial)
        serialId = SerialIdentity::of(settings.name);
    return true;
}

bool ConnectionLifecycle::openLink(const ConnectionSettings &with, QString *error)
{
    OrinInterface *link = factory(with);
    if (!link->openConnection(with)) {
        *error = link->errorText;
        delete link; // no signal of its own has run yet
        return false;
    }
    adopt(link);
    return true;
}

void ConnectionLifecycle::adopt(OrinInterface *link)
{
    current = link;
    // Queued: the loss is handled after the port's or socket's own signal has
    // returned, so the link is never deleted under it.
    connect(link, &OrinInterface::connectionLost, this, &ConnectionLifecycle::linkLost,
            Qt::QueuedConnection);
    st = State::Opening;
    emit linkOpened(link);

    // The analyzer needs a second between the open and each opening command.
    pace->wait(1)
        .then([this] {
            if (current)
                current->writeData("fact=1\r\n");
        })
        .wait(1)
        .then([this] {
            if (!current)
                return;
            current->writeData("ssnid\r\n");
            st = State::Connected;
            emit started();
        })
        .start();
}

void ConnectionLifecycle::disconnectNow(bool goodbye)
{
    switch (st) {
    case State::Disconnected:
    case State::Closing:
        return;
    case State::Waiting:
        pace->cancel();
        dropLink(pending);
        st = State::Disconnected;
        reconnected = false;
        emit closed();
        return;
    case State::Opening:
    case State::Connected:
        break;
    }
    pace->cancel();
    st = State::Closing;
    if (!goodbye) {
        emit linkClosing();
        dropLink(current);
        st = State::Disconnected;
        reconnected = false;
        emit closed();
        return;
    }
    const auto say = [this](const char *command) {
        return [this, command] {
            if (current && current->connectionOpen())
                current->writeData(command);
            emit goodbyeSent(QLatin1String(command));
        };
    };
    pace->then(say("srda 0\r\n"))
        .wait(1)
        .then(say("tuneringdowns 25\r\n"))
        .wait(1)
        .then([this] {
            emit linkClosing();
            dropLink(current);
            st = State::Disconnected;
            reconnected = false;
            emit closed();
        })
        .start();
}

// Closes the link (the open one or one still opening) and lets it go.
void ConnectionLifecycle::dropLink(QPointer<OrinInterface> &which)
{
    if (!which)
        return;
    OrinInterface *link = which;
    which = nullptr;
    disconnect(link, nullptr, this, nullptr);
    link->closeConnection();
    link->deleteLater();
}

void ConnectionLifecycle::linkLost(const QString &reason)
{
    // A loss reported by a link already replaced is old news.
    if (sender() != current)
        return;
    reportLoss(reason);
}

void ConnectionLifecycle::reportLoss(const QString &reason)
{
    if (st == State::Opening || st == State::Connected)
        handleLoss(reason);
}

void ConnectionLifecycle::handleLoss(const QString &reason)
{
    if (!settings.autoReconnect) {
        // Without reconnecting, a serial loss ends the connection as Disconnect
        // does; a TCP peer that went away shows only as silence.
        if (current && current->linkKind == OrinInterface::Serial)
            emit lost(reason, false);
        return;
    }
    pace->cancel();
    emit linkClosing();
    dropLink(current);
    st = State::Waiting;
    // A link that opened but never brought the analyzer back goes on with the
    // back-off where it was, instead of trying every second or two for ever.
    attempt = reconnected ? attempt + 1 : 0;
    reconnected = true;
    emit lost(reason, true);
    scheduleRetry();
}

void ConnectionLifecycle::scheduleRetry()
{
    pace->wait(backoffSeconds(attempt)).then([this] { retry(); }).start();
}

void ConnectionLifecycle::retry()
{
    if (st != State::Waiting || pending)
        return;
    ConnectionSettings with = settings;
    if (!serialId.portName.isEmpty()) {
        with.name = chooseReconnectPort(serialId, availableSerialPorts(),
                                        QFileInfo::exists(serialId.byIdPath));
        if (with.name.isEmpty()) {
            ++attempt;
            emit retryFailed(tr("the device is not back yet"), backoffSeconds(attempt));
            scheduleRetry();
            return;
        }
    }
    // Unattended, an analyzer that is switched off must not hold up the window
    // for the length of a connect timeout every half minute.
    pending = factory(with);
    const int id = ++pendingId;
    connect(
        pending, &OrinInterface::openFinished, this,
        [this, id](bool opened) { reopened(id, opened); }, Qt::QueuedConnection);
    pending->openInBackground(with);
}

// Queued after the link's own signal has returned, so the link may go here.
void ConnectionLifecycle::reopened(int attemptId, bool opened)
{
    if (attemptId != pendingId || !pending || st != State::Waiting)
        return; // given up meanwhile
    OrinInterface *link = pending;
    pending = nullptr;
    disconnect(link, &OrinInterface::openFinished, this, nullptr);
    if (opened) {
        adopt(link);
        return;
    }
    const QString failure = link->errorText;
    link->deleteLater();
    ++attempt;
    emit retryFailed(failure, backoffSeconds(attempt));
    scheduleRetry();
}
