#pragma once

#include "common/replyowner.h"
#include "service/servicescan.h"

#include <QStringList>
#include <QTimer>
#include <QVector>
#include <QWidget>

class PlotWindow;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// The "Service Scans" tab: reference cell, temperature and fine spectrum
// scans. It shows a ServiceScan and sends what that decides; the main window
// feeds it the scan readings and downloads the reply parser finds.
//
// A scan or download owns the analyzer's replies from its start until it is
// over; a lost link pauses it, and the same analyzer's return starts it again.
class Service : public QWidget, public ReplyOwner
{
    Q_OBJECT
public:
    explicit Service(QWidget *parent = nullptr);

    // 0 no scan, 1 or 2 the poll asks "lt", 3 asks "lc", above 3 a download runs.
    int scanState() const { return scan.state(); }
    const ServiceScan &scans() const { return scan; }

    // Start buttons, each wired by the main window to its scan slot and, while
    // connected, to the link's service mode command.
    QPushButton *rcsButton;
    QPushButton *tempScanButton;
    QPushButton *fineScanButton;
    QPushButton *rcsDownloadButton;
    QPushButton *tempDownloadButton;
    QPushButton *fineDownloadButton;
    QPushButton *cancelButton;
    QPushButton *plotButton;

    QLineEdit *field(ServiceScan::Kind kind, int index) const { return fields[kind].at(index); }
    QLabel *refusalLabel(ServiceScan::Kind kind) const { return refusals[kind]; }
    QLabel *stateLabel() const { return stateText; }
    QLabel *positionLabel() const { return positionText; }
    QProgressBar *scanProgress() const { return progressBar; }
    QLabel *resultLabel() const { return resultText; }
    // Built on first use: most sessions never show a scan.
    PlotWindow *plotWindow();
    QString lastFile() const { return savedFile; }

    void setControlsEnabled(bool on);
    // The "Clear" action: the position, progress and result view.
    void clear();
    void setSerialNumber(const QString &serial) { serialNumber = serial; }
    // Where downloads are kept; home + "/QuorvaneData/Scans/" by default.
    void setDataFolder(const QString &folder) { dataFolder = folder; }
    // The pause between the service mode command and a scan's start command.
    static void setStartDelayMs(int ms);

    Kind runKind() const override { return Kind::ServiceScan; }
    // Single-token replies are positions while a scan runs; during a download
    // every reply's tokens are rows.
    void reply(const QByteArray &chunk) override;
    void pauseRun() override;
    void resumeRun() override;
    void abandonRun(const QString &reason) override
    {
        if (busy())
            tellEnd(RunOutcome::Failed, reason);
        stopScan();
    }
    QString pollCommand() const override;
    void quiet() override { downloadDone(); }

signals:
    void lineforOrin(QString text);
    void lineforConsole(QString text);
    // A download was asked for: its replies should get a fresh wait.
    void downloadStarted();
    // The download's last row came in.
    void downloadComplete();

public slots:
    void startScan(int kind);
    void download(int kind);
    void cancelScan();

private:
    // A scan runs, or is about to start.
    bool busy() const { return scan.state() != ServiceScan::Idle || pendingStart.isActive(); }

public slots:
    // The download is over (its last row, or the analyzer went quiet).
    void downloadDone();
    void scanReading(const QString &value);
    void appendDownload(const QStringList &tokens);
    void showPlot();

private:
    // Stops what runs or is about to start; the command that tells the analyzer.
    QString stopScan();
    void releaseIfIdle();
    void send(const QString &text);
    void validate(ServiceScan::Kind kind);
    void updateView();
    QStringList texts(ServiceScan::Kind kind) const;

    ServiceScan scan;
    QVector<QLineEdit *> fields[ServiceScan::kindCount];
    QLabel *refusals[ServiceScan::kindCount];
    bool valid[ServiceScan::kindCount] = {true, true, true};
    QPushButton *startButtons[ServiceScan::kindCount];
    QPushButton *downloadButtons[ServiceScan::kindCount];
    QLabel *stateText;
    QLabel *positionText;
    QProgressBar *progressBar;
    QLabel *resultText;
    PlotWindow *plot = nullptr;
    QTimer pendingStart; // the start command waits for service mode
    QString pendingLine; // the start command while it waits
    bool controlsOn = false;
    QString serialNumber;
    QString dataFolder;
    QString savedFile;
};
