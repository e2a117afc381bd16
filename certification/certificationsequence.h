#pragma once

#include "certification/certfiles.h"
#include "certification/certscans.h"
#include "common/replyowner.h"

#include <QFile>
#include <QObject>
#include <QStringList>
#include <QTextStream>
#include <QTimer>

#include <memory>

class QWidget;

// The unattended performance verification, and the "Send File" function that
// shares its timer and state: states, phases, the 5 s tick, the handling of
// the analyzer's replies and the files. No widgets: the tab shows what the
// signals say and forwards its buttons.
//
// "Now" comes from Clock::current(); waits between commands and the length of
// the ring-down collections are measured on the monotonic clock, so neither
// midnight nor a clock change upsets them.
//
// It owns the analyzer's replies while it runs (ReplyOwner): a lost link pauses
// it, and the same analyzer's return starts the interrupted step again.
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
    // The restore commands of a cancel are still being paced out.
    bool isCancelling() const { return cancelling; }

    void setScans(const CertScans &s) { scans = s; }
    const CertScans &scanSelection() const { return scans; }
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

    // Paused while the link is lost and the analyzer not back.
    bool isPaused() const { return paused; }
    // "Connection lost at 14:02:11; Reference Cell Scan restarted", one a loss.
    QStringList interruptions() const { return lossNotes; }
    // The name of a step as the results list it.
    static QString stepTitle(int step);

    Kind runKind() const override { return step == SendFile ? Kind::FileSend : Kind::Verification; }
    void reply(const QByteArray &chunk) override;
    void pauseRun() override;
    void resumeRun() override;
    void abandonRun(const QString &reason) override;

    // The 5 s tick and the download limit, for the tests that play them by hand.
    QTimer &tickTimer() { return progressTimer; }
    QTimer &downloadTimer() { return responseTimer; }

    // Length of a paced second in ms (default 1000). The tick is five of them,
    // the download limit 600; tests and --pace shorten them all together.
    static int secondMs();
    static void setSecondMs(int ms);

public slots:
    // "Collect Certification Data"; refused unless idle.
    void certify();
    // Either Cancel button.
    void cancel();
    // Sends `path` line by line, one line a tick; refused unless idle.
    void sendFile(const QString &path);
    // A block of whole reply lines while the state is not Idle.
    void linefromOrin(const QString &text);
    // The tick. Not re-entered: a timeout while a tick still waits is dropped.
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
    // Cancel, saying why for those waiting on finished(); with `tell`, the
    // analyzer is put back in service mode first.
    void stop(const QString &reason, bool tell = true);

    void send(const QString &text);
    void sendToAll(const QString &text);
    // One paced second; false when the run was cancelled or restarted meanwhile.
    bool waitStillSame(unsigned run);
    // Back to service mode with SRDA off and the usual ring-down count.
    static QStringList restoreCommands();
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
    void tickSendFile();

    int step = Idle;
    int phase = 0;
    CertScans scans;
    QTimer progressTimer;
    QTimer responseTimer;
    QString serial;
    double currentValue = -1.0;
    double previousValue = -1.0;
    qint64 startMs = 0; // monotonic start of the current ring-down collection
    QString certFolder;
    CertFiles::RunFiles names;
    QString fileToSend;
    QFile settingsFile;
    QFile sendingFile;
    std::unique_ptr<QTextStream> settingsReader;
    std::unique_ptr<QTextStream> sendingReader;
    int lineCount = 0;
    int lineTotal = 0;
    QStringList tempScanLines;
    QStringList refCellLines;
    bool archiveMade = false;
    QString archiveError;

    unsigned runId = 0; // changes on every start and cancel, so a burst knows to stop
    bool ticking = false;
    bool cancelling = false;
    bool paused = false;
    QDateTime lostAt;
    QStringList lossNotes;
    // A collection restarted after a loss keeps its start: its hours run on.
    bool keepStart = false;
    // Size of the settings file when Collect Settings began, so that a
    // restarted collection does not repeat what it already wrote.
    qint64 settingsStartSize = -1;
};
