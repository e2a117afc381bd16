#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

// The service scans of the "Service Scans" tab, without widgets: the parameter
// fields and their start commands, the scan state the poll and the reply
// parser follow, the scan position from the "lt"/"lc" readings, and the
// download of "position value" rows into points and a text file.
class ServiceScan
{
public:
    enum Kind
    {
        RefCell = 0,
        Temperature = 1,
        FineSpectrum = 2
    };
    static constexpr int kindCount = 3;

    // The scan state: 1 and 2 make the poll ask "lt", 3 "lc"; above 3 a
    // download runs and every reply's tokens come here.
    enum State
    {
        Idle = 0,
        RefCellRunning = 1,
        TempRunning = 2,
        FineRunning = 3,
        RefCellDownload = 4,
        TempDownload = 5,
        FineDownload = 6
    };

    // The analyzer's laser-current scan and its download. The reference cell
    // and temperature scans have "rcs"/"drcsd" and "tempscan"/"dtsd"; these two
    // follow the same pattern.
    static const char *const fineScanCommand;     // "fss"
    static const char *const fineDownloadCommand; // "dfssd"

    // Downloads larger than this are cut off: no scan has that many steps.
    static constexpr int maxPoints = 200000;

    struct Field
    {
        QString caption; // "Start:"
        QString unit;    // "°C", "mA", "s" or empty
        double defaultValue;
        double min;
        double max;
        bool whole; // whole numbers only
    };
    // A scan's fields in the order its start command takes them.
    static QVector<Field> fields(Kind kind);
    static QString title(Kind kind); // "Reference Cell Scan", ...
    static QString tag(Kind kind);   // "rcs", "tempscan", "fss": the file name part
    static QString downloadCommand(Kind kind);

    // The start command ("rcs 5 35 0.02 1 10 95\r\n") for the field texts, or
    // an empty text and `error` naming the field that is refused and why.
    static QString startCommand(Kind kind, const QStringList &texts, QString *error);
    // A reply chunk as the scans read it: its words, split at blanks and colons.
    static QStringList replyTokens(const QByteArray &chunk);

    int state() const { return st; }
    // The scan that runs or downloads, or the last one.
    Kind kind() const { return current; }
    bool running() const { return st >= RefCellRunning && st <= FineRunning; }
    bool downloading() const { return st >= RefCellDownload; }

    // Starts a scan: its command, or an empty text (and nothing changes) when
    // a field is refused.
    QString start(Kind kind, const QStringList &texts, QString *error);
    // A single-token reply while a scan runs. True once the position falls
    // back after it has risen: the scan is over.
    bool takeReading(const QString &token);
    bool hasPosition() const { return positionSeen; }
    double position() const { return pos; }
    // 0..100 from Start to End of the running scan.
    int progress() const { return percent; }

    // Asks for a scan's data (ending its scan if it runs): the command to send.
    QString requestDownload(Kind kind);
    // The tokens of one reply during a download. True when the row at the
    // scan's End came in: the download is complete.
    bool addDownload(const QStringList &tokens);
    const QVector<double> &xs() const { return xValues; }
    const QVector<double> &ys() const { return yValues; }
    // Ends the download; the points stay until the next one.
    void finishDownload();
    // Stops whatever runs: the command that puts the analyzer back in service mode.
    QString cancel();
    // After a lost link: the command that starts the interrupted scan (its
    // readings start over) or asks for the interrupted download again (the
    // rows of the cut-off one are dropped). Empty when nothing runs.
    QString restart();
    // What the poll tick asks while a scan runs: "lt\r\n" or "lc\r\n", else empty.
    static QString pollCommand(int state);

    // "<serial>_<tag>_<yyyyMMdd-HHmmss>.txt", the serial kept to safe characters.
    static QString fileName(const QString &serial, Kind kind, const QDateTime &at);
    // Writes the downloaded points to `folder` (made if missing); the path, or
    // an empty text when it cannot be written.
    QString save(const QString &folder, const QString &serial, const QDateTime &at) const;

private:
    void addRun(QVector<double> &run);

    int st = Idle;
    Kind current = RefCell;
    // Per kind: what the last scan started here asked for.
    QString lastCommand[kindCount];
    double lastStart[kindCount] = {};
    double lastEnd[kindCount] = {};
    double lastStep[kindCount] = {};
    bool started[kindCount] = {};

    bool positionSeen = false;
    bool risen = false;
    double pos = 0;
    int percent = 0;
    bool endSeen = false;
    QVector<double> xValues;
    QVector<double> yValues;
};
