#include "app/mainwindow.h"

#include "certification/certification.h"
#include "common/clock.h"
#include "common/commandsequence.h"
#include "console/console.h"
#include "dashboard/instrument.h"
#include "service/commandfilesender.h"
#include "service/service.h"
#include "service/srda.h"
#include "service/utilities.h"

#include <QPushButton>

// Who speaks to the analyzer. Every command reaches the link through the
// session, naming whose it is: a run's own, the console's or a tab's buttons.
// The session refuses what does not belong to the owner of the conversation,
// and the controls follow its owner changes, so what the operator can press and
// what goes out cannot drift apart.
void MainWindow::wireSpeakers()
{
    connect(talk, &AnalyzerSession::ownerChanged, this, &MainWindow::followOwner);
    connect(talk, &AnalyzerSession::refused, this, &MainWindow::setStatus);

    connect(certificationTab, &Certification::lineforOrin, this,
            [this](const QString &text) { talk->sendFor(certificationTab->sequence(), text); });
    connect(serviceTab, &Service::lineforOrin, this,
            [this](const QString &text) { talk->sendFor(serviceTab, text); });
    connect(srdaTab, &SRDA::lineforOrin, this,
            [this](const QString &text) { talk->sendFor(srdaTab, text); });
    connect(srdaTab->sender, &CommandFileSender::lineReady, this,
            [this](const QString &text) { talk->sendFor(srdaTab->sender, text); });
    // The Utilities tab's commands are questions: what follows each is its
    // own to answer first, whatever tab is in front by then.
    connect(utilitiesTab, &Utilities::lineforOrin, this, [this](const QString &text) {
        talk->ask(text, [this](const QByteArray &chunk) { return utilitiesTab->answer(chunk); });
    });

    const struct
    {
        QPushButton *button;
        int opmode;
    } modes[] = {{instrumentTab->measureButton, 2}, {instrumentTab->serviceButton, 0},
                 {instrumentTab->tuneButton, 1},    {srdaTab->measureButton, 2},
                 {srdaTab->serviceButton, 0},       {srdaTab->tuneButton, 1}};
    for (const auto &m : modes)
        connect(m.button, &QPushButton::released, this,
                [this, opmode = m.opmode] { sendMode(opmode, nullptr); });
    // A scan start also puts the analyzer in service mode, as the scan's own
    // command: refused with the scan when another run has the conversation.
    for (QPushButton *b :
         {serviceTab->rcsButton, serviceTab->tempScanButton, serviceTab->fineScanButton})
        connect(b, &QPushButton::clicked, this, [this] {
            if (talk->currentRun() == serviceTab)
                sendMode(0, serviceTab);
        });
}

void MainWindow::sendMode(int opmode, const ReplyOwner *forRun)
{
    const QString mode = QStringLiteral("opmode %1\r\n").arg(opmode);
    const QString status = QStringLiteral("status\r\n");
    if (forRun) {
        if (talk->sendFor(forRun, mode))
            talk->sendFor(forRun, status);
    } else if (talk->send(mode)) {
        talk->send(status);
    }
}

void MainWindow::setControlsEnabled(bool on)
{
    controlsOn = on;
    followOwner();
}

void MainWindow::followOwner()
{
    // While a run has the conversation, only its own tab's controls are live;
    // the others would only be refused.
    const ReplyOwner *run = talk ? talk->currentRun() : nullptr;
    const bool free = !run;
    // Nothing to press before the session has an analyzer to speak to.
    const bool controlsOn =
        this->controlsOn && talk && talk->owner() != AnalyzerSession::Owner::None;
    for (QPushButton *b :
         {instrumentTab->measureButton, instrumentTab->serviceButton, instrumentTab->tuneButton})
        b->setEnabled(controlsOn && free);
    utilitiesTab->setControlsEnabled(controlsOn && free);
    srdaTab->setControlsEnabled(controlsOn && free);
    serviceTab->setControlsEnabled(controlsOn && (free || run == serviceTab));
    certificationTab->setControlsEnabled(controlsOn &&
                                         (free || run == certificationTab->sequence()));
}

void MainWindow::showReturn(bool runGoesOn)
{
    if (!lostAt.isValid())
        return;
    // The values shown stay those from before the loss until the next status
    // report; a run that goes on holds the analyzer, so none may come for a while.
    const QString at = Clock::current().toString(QStringLiteral("HH:mm:ss"));
    instrumentTab->showStale(
        runGoesOn ? tr("Reconnected at %1; the run goes on. The values shown are from "
                       "before the connection was lost at %2.")
                        .arg(at, lostAt.toString(QStringLiteral("HH:mm:ss")))
                  : tr("Reconnected at %1, waiting for the analyzer.").arg(at));
}

void MainWindow::showLoss(const QString &reason, int nextTrySeconds)
{
    // On the dashboard itself: the values shown are from before the loss.
    QString line =
        tr("Connection lost at %1, reconnecting").arg(lostAt.toString(QStringLiteral("HH:mm:ss")));
    if (nextTrySeconds >= 0)
        line += tr(" (next try in %1 s)").arg(nextTrySeconds);
    line += QStringLiteral(": ") + reason + QLatin1Char('.');
    const qint64 paused = talk->pausedMs();
    if (paused >= 0) {
        // Times of day, not a count of minutes: the line stays true until the next retry.
        const QDateTime now = Clock::current();
        const qint64 longest = qint64(talk->maxPauseMinutes()) * 60 * CommandSequence::secondMs();
        line += tr(" The run has been paused since %1; it is cancelled if its analyzer is not "
                   "back by %2.")
                    .arg(now.addMSecs(-paused).toString(QStringLiteral("HH:mm:ss")),
                         now.addMSecs(longest - paused).toString(QStringLiteral("HH:mm:ss")));
    }
    instrumentTab->showStale(line);
}
