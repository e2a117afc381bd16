#pragma once

#include "certification/certfiles.h"
#include "certification/certscans.h"
#include "common/commandsequence.h"
#include "common/replyowner.h"
#include "service/commandfilesender.h"

#include <QFile>
#include <QObject>
#include <QStringList>
#include <QTextStream>
#include <QTimer>

#include <memory>

class QWidget;

// The unattended performance verification, and the "Send File" function that
// shares its state: states, phases, the 5 s tick, the handling of the
// analyzer's replies and the files. No widgets: the tab shows what the signals
// say and forwards its buttons.
//
// "Now" comes from Clock::current(); the length of the ring-down collections
// is measured on the monotonic clock, so neither midnight nor a clock change
// upsets it. The bursts of commands a second apart are paced on one
// CommandSequence, in its paced seconds: nothing waits in a nested event loop.
//
// It owns the analyzer's replies while it runs (ReplyOwner), also while the
// restore of a stop is paced out: a lost link pauses it, and the same
// analyzer's return starts the interrupted step again.
class CertificationSequence : public QObject, public ReplyOwner
{
    Q_OBJECT
public:
    // Fixed numbers: a download state is its scan state plus 10.
    enum Step
    {
        Idle = 0,
        OptimizeLaser = 1,
        CavityTempScan = 2,
        RefCellScan = 3,
        OnPeakRingDowns = 4,
        OffPeakRingDowns = 5,
        CollectSettings = 6,
        MakeArchive = 7,
        SendFile = 8,
        DownloadTempScan = 12,
        DownloadRefCellScan = 13
    };
    // The scan list's items, in list order.
    enum Item
    {
        OptimizeItem,
        TempScanItem,
        RefCellItem,
        OnPeakItem,
        OffPeakItem,
        SettingsItem
    };

    explicit CertificationSequence(QObject *parent = nullptr);
    ~CertificationSequence() override;

    int currentStep() const { return step; }
    int currentPhase() const { return phase; }
    // A verification is under way (not a file send).
    bool runActive() const { return step != Idle && step != SendFile; }
    // The restore commands of a stop are still being paced out.
    bool isRestoring() const { return step == Idle && pacer.isRunning(); }

    // The selection of the next run; a run keeps the one it started with.
    void setScans(const CertScans &s) { chosen = s; }
    const CertScans &scanSelection() const { return chosen; }
    // The analyzer's serial identifier, kept to safe file-name characters.
    void setSSNID(const QString &id);
    QString ssnid() const { return serial; }
    const CertFiles::RunFiles &files() const { return names; }

    // Where the files go (default: the Certification data folder).
    QString folder() const { return certFolder; }
    void setFolder(const QString &path);
    // The command list of Collect Settings, relative to the working folder.
    QString settingsCommandFile = QStringLiteral("Get_Factory_Settings.txt");
    // Parent of the boxes the sequence shows.
    QWidget *dialogParent = nullptr;

    // "Connection lost at 14:02:11; Reference Cell Scan restarted", one a loss.
    QStringList interruptions() const { return lossNotes; }
    // The name of a step as the results list it.
    static QString stepTitle(int step);

    Kind runKind() const override { return step == SendFile ? Kind::FileSend : Kind::Verification; }
    void reply(const QByteArray &chunk) override;
    void pauseRun() override;
    void resumeRun() override;
    void abandonRun(const QString &reason) override;

    // The 5 s tick, the download limit and the pacer of the bursts, for the
    // tests that play them by hand.
    QTimer &tickTimer() { return progressTimer; }
    QTimer &downloadTimer() { return responseTimer; }
    const CommandSequence &bursts() const { return pacer; }

    // Length of a second of the tick and the download limit in ms (default
    // 1000). The tick is five of them, the download limit 600, and a file
    // send's line period five; --pace shortens them with CommandSequence's.
    static int secondMs();
    static void setSecondMs(int ms);

public slots:
    // "Collect Certification Data"; refused unless idle.
    void certify();
    // Either Cancel button.
    void cancel();
    // Sends `path` line by line, one line every five seconds; refused unless idle.
    void sendFile(const QString &path);
    // A block of whole reply lines while the state is not Idle.
    void linefromOrin(const QString &text);
    // The tick. Dropped while a burst is paced out or the link is lost.
    void queryProgress();
    // A download whose end marker did not come within the limit.
    void timedOut();

signals:
    void lineforOrin(QString text);
    void lineforConsole(QString text);
    void lineforLogger(QString text);
    void certifying(bool on);

    // For the tab.
    void stepChanged(int step);
    void statusText(QString text);
    void progressLabel(QString text);
    void progressRange(int minimum, int maximum);
    void progressValue(int value);
    void progressReset();
    void itemDone(int item);
    void itemsReset();
    void sendFileLabel(QString text);

    // A verification ended: by itself (archiveMade tells whether the archive
    // was written; `text` is its absolute path or what went wrong), or
    // cancelled (archiveMade false).
    void finished(bool archiveMade, QString text);

private:
    void setStep(int s);
    void nextStep();
    void endRun();
    // Ends the step in progress, saying why for those waiting on finished();
    // with `restore`, the analyzer is put back in service mode first.
    void stop(const QString &reason, bool restore = true);
    // What follows a stop once its restore is out.
    void endStop();
    // Back to service mode with SRDA off and the usual ring-down count. False
    // when the link is lost: then the restore is owed whole.
    bool restoreServiceMode();

    void send(const QString &text);
    void sendToAll(const QString &text);
    // Queues `commands` on the pacer, a paced second apart.
    void queueBurst(const QStringList &commands, bool logged = false);
    void showProgress(int hours);
    bool hoursElapsed(int hours) const;
    void scanReply(const QStringList &tokens);
    void downloadReply(const QString &text, const QStringList &tokens);
    void ringDownReply(const QString &text, const QStringList &tokens);
    void saveDownload();
    void makeArchive();
    void resetPositions(double value);
    void closeFiles();
    void tickRingDowns(bool onPeak);
    void tickSettings();
    void openSettingsCommands();
    void sendFileLine(const QString &line);

    int step = Idle;
    int phase = 0;
    CertScans scans;  // of the run under way
    CertScans chosen; // for the next run
    QTimer progressTimer;
    QTimer responseTimer;
    CommandSequence pacer;
    QString serial;
    double currentValue = -1.0;
    double previousValue = -1.0;
    // Monotonic start of the current ring-down collection, -1 until the
    // analyzer acknowledged it; a collection restarted after a loss keeps it,
    // so its hours run on.
    qint64 collectingSince = -1;
    QString certFolder;
    CertFiles::RunFiles names;
    QFile settingsFile;
    std::unique_ptr<QTextStream> settingsReader;
    QFile sendingFile;
    CommandFileSender fileSender;
    int lineCount = 0;
    int lineTotal = 0;
    QStringList tempScanLines;
    QStringList refCellLines;
    bool archiveMade = false;
    QString archiveError;

    // What finished() says once the restore of a stopped run is out; empty
    // when no verification was stopped (a file send, nothing at all).
    QString stopReason;
    bool stopByCancel = false; // the stop under way is the operator's Cancel
    QDateTime lostAt;          // invalid unless the link was lost in this step
    QStringList lossNotes;
    // Size of the settings file when Collect Settings began, so that a
    // restarted collection does not repeat what it already wrote.
    qint64 settingsStartSize = -1;
};
