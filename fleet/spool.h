#pragma once

#include <QByteArray>
#include <QFile>
#include <QLockFile>
#include <QString>
#include <QVector>

#include <memory>
#include <set>
#include <utility>

// One trend row on its way to the broker.
struct SpoolRow
{
    qint64 seq = 0;
    QByteArray topic;
    QByteArray payload;
};

// home + "/QuorvaneData/Spool/"
QString spoolFolder();

// Trend rows on disk until the broker has acknowledged them, oldest first.
//
// Every row is written here before it is published, so neither a broker that
// is away nor a restart of the program loses one: a new run hands out again
// every row not yet delivered. Rows are lines "seq<TAB>topic<TAB>payload" in
// segment files named by their first seq; each row is one write, so a kill
// leaves at most the row being written torn, and that is cut off at the next
// start. A damaged line is skipped and counted, the rows around it kept. The
// file "delivered" holds the seq up to which every row has been delivered (or
// dropped); when it is damaged, only the newest segment goes again. The
// newest segment is kept even when delivered, so its rows carry the seq
// counter to the next run. The file "run" names the counter: a new one is made
// whenever seq starts again at 1. Past the size limit the oldest segment is
// dropped.
class Spool
{
public:
    // Opens the spool in `folder` (made when missing) and takes up what an
    // earlier run left there. `limitBytes` bounds the segment files together.
    Spool(const QString &folder, qint64 limitBytes);
    ~Spool();

    // False when another program holds the folder, or it cannot be made.
    bool isOpen() const { return lock && lock->isLocked(); }
    // Tries again to take up the folder; true once it is open.
    bool reopen();
    QString folder() const { return dir; }
    // Why the folder could not be taken up, or the last row not written.
    QString error() const { return why; }
    // The id of this seq counter.
    QString run() const { return runId; }
    // Damaged lines passed over while reading since the last call.
    qint64 takeSkipped();

    // The seq the next row must have.
    qint64 nextSeq() const { return next; }
    // Appends `row` (its seq must be nextSeq()) in one write. Returns how many
    // rows not yet delivered were dropped to stay within the limit; `ok` says
    // whether the row itself was written (error() says why not).
    qint64 append(const SpoolRow &row, bool *ok = nullptr);

    // The oldest row not yet handed out (false when there is none); handedOut()
    // moves past it.
    bool peek(SpoolRow &row);
    void handedOut();
    // The broker has the row: once every row of a segment is delivered, the
    // segment file goes (unless it is the newest).
    void delivered(qint64 seq);
    // Hands out again, from the oldest, every row not yet delivered (for a
    // new broker connection that lost what the old one had in flight).
    void rewind();

    // Rows not yet delivered.
    qint64 pending() const { return next - 1 - deliveredUpTo - qint64(ahead.size()); }
    qint64 bytes() const;
    void setLimit(qint64 limitBytes) { limit = limitBytes; }

private:
    struct Segment
    {
        qint64 first = 0; // seq of its first row
        qint64 size = 0;
    };

    QString segmentPath(qint64 first) const;
    void open();
    QString whyNotWritable() const;
    void load();
    void loadRun();
    qint64 makeRoom(qint64 bytesNeeded);
    void dropFront();
    void removeDelivered();
    void refill();
    void persist();
    qint64 segmentLimit() const;

    QString dir;
    qint64 limit;
    QString why;
    QString runId;
    qint64 skipped = 0;
    std::set<std::pair<qint64, qint64>> damaged; // segment and offset of each damaged line
    std::unique_ptr<QLockFile> lock;
    QVector<Segment> segments;
    QFile out; // the last segment, open for appending
    qint64 next = 1;
    qint64 deliveredUpTo = 0;
    qint64 persistedUpTo = 0;
    std::set<qint64> ahead; // delivered, past a row still on its way
    // Reading: the segment (by first seq) and offset of the next unread line,
    // and the rows read from there but not yet handed out.
    qint64 readSegment = 1;
    qint64 readOffset = 0;
    QVector<SpoolRow> buffer;
    int bufferPos = 0;
};
