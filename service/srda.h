#pragma once

#include "common/replyowner.h"
#include "service/srdadata.h"
#include "service/srdarows.h"

#include <QFile>
#include <QStringList>
#include <QWidget>

class CommandFileSender;
class PlotWindow;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The "Service Diagnostics" tab: starts and stops the analyzer's single
// ring-down data (SRDA) stream, keeps it in its table (SrdaData), shows it in
// its own plot window and exports it; also sends a file of commands. It never
// holds the link: commands leave on lineforOrin.
//
// A collection owns the analyzer's replies from its start until Stop, and
// reads its rows from them (SrdaRowReader). After a lost link the same
// analyzer gets the start commands again and the collection goes on, rows and
// hours kept.
class SRDA : public QWidget, public ReplyOwner
{
    Q_OBJECT
public:
    explicit SRDA(QWidget *parent = nullptr);
    ~SRDA() override;

    // Set from an on-peak or off-peak start until Stop (or disconnect); while
    // set, every reply is SRDA stream and the window neither polls nor lets
    // the operator leave this tab.
    bool srdaRunning = false;
    bool controls = false; // the analyzer is there and no other run holds it

    SrdaData &data() { return table; }
    const SrdaData &data() const { return table; }
    // Built on first use: most runs never plot.
    PlotWindow *plotWindow();
    void closePlotWindow();

    // The seven buttons that send commands: start, stop, the modes, "Send File".
    void setControlsEnabled(bool on);
    // Says once that the memory limit stopped the storing of rows.
    void showLimitReached(qint64 rowsKept);

    Kind runKind() const override { return Kind::Srda; }
    void reply(const QByteArray &chunk) override;
    void pauseRun() override {}
    void resumeRun() override;
    void abandonRun(const QString &) override;

    QPushButton *onPeakButton;
    QPushButton *offPeakButton;
    QPushButton *stopButton;
    QPushButton *exportButton;
    QPushButton *clearButton;
    QPushButton *serviceButton;
    QPushButton *tuneButton;
    QPushButton *measureButton;
    QPushButton *plotButton;
    QComboBox *xSelector;
    QComboBox *ySelector;
    QLabel *elapsedLabel;
    // "Send Text File"
    QLineEdit *fileLineEdit;
    QPushButton *browseButton;
    QPushButton *sendFileButton;
    QPushButton *cancelFileButton;
    QSpinBox *delaySpinBox;
    QString configFilePath;
    QFile configFile;
    CommandFileSender *sender;

signals:
    void lineforOrin(QString);
    void lineforConsole(QString);
    void lineforLogger(QString);
    // A header row set new columns (the main window's newSRDAColumnsReady).
    void columnsReady();
    // The memory limit stopped the storing of rows, once per collection.
    void limitReached(qint64 rowsKept);

public slots:
    void sendSRDAONCommand();
    void sendSRDAOFFCommand();
    void sendSRDAStopCommand();
    void updateSRDAColumns();
    void updateDataSize();
    // The live point of a row: the time and the values of the table's columns.
    void updatePlotWindow(const double *row);
    void makePlotWindow();
    void saveData();
    void clearData();
    void selectConfigFile();
    void startConfigFile();
    void cancelConfigFile();

private:
    void start(const QString &commands);
    void restartClock();
    void updateButtons();

    SrdaData table;
    SrdaRowReader rowReader{table};
    PlotWindow *plot = nullptr;
    QString startCommands;       // of the collection that runs
    qint64 startMs = 0;          // monotonic start of the collection (or of the last clear)
    qint64 shownHundredths = -1; // what the elapsed label shows, in hundredths of an hour
};
