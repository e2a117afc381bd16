#include "fleet/spool.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <cstdio>

namespace {

const QString deliveredName = QStringLiteral("delivered");
const QString runName = QStringLiteral("run");
const QString segmentSuffix = QStringLiteral(".rows");
constexpr int readAhead = 256;

bool parseLine(const QByteArray &line, SpoolRow &row)
{
    const int tab1 = line.indexOf('\t');
    const int tab2 = tab1 < 0 ? -1 : line.indexOf('\t', tab1 + 1);
    if (tab2 < 0)
        return false;
    bool ok = false;
    row.seq = line.left(tab1).toLongLong(&ok);
    row.topic = line.mid(tab1 + 1, tab2 - tab1 - 1);
    row.payload = line.mid(tab2 + 1);
    if (row.payload.endsWith('\n'))
        row.payload.chop(1);
    // Payloads are JSON objects: anything else is damage, not a row.
    return ok && row.seq > 0 && !row.topic.isEmpty() && row.payload.startsWith('{') &&
           row.payload.endsWith('}');
}

int lineCount(const QByteArray &text)
{
    return int(text.count('\n'));
}

} // namespace

QString spoolFolder()
{
    return QDir::homePath() + QStringLiteral("/QuorvaneData/Spool/");
}

Spool::Spool(const QString &folder, qint64 limitBytes) : dir(folder), limit(limitBytes)
{
    open();
}

void Spool::open()
{
    why.clear();
    if (!QDir().mkpath(dir)) {
        why = whyNotWritable();
        return;
    }
    // Two programs appending to one spool would interleave their seqs.
    lock = std::make_unique<QLockFile>(QDir(dir).filePath(QStringLiteral("lock")));
    lock->setStaleLockTime(0);
    if (!lock->tryLock()) {
        qint64 pid = 0;
        QString host, app;
        if (lock->error() == QLockFile::LockFailedError && lock->getLockInfo(&pid, &host, &app))
            why = QStringLiteral("in use by another %1 (process %2)").arg(app).arg(pid);
        else
            why = whyNotWritable();
        lock.reset();
        return;
    }
    load();
}

bool Spool::reopen()
{
    if (!isOpen()) {
        segments.clear();
        ahead.clear();
        buffer.clear();
        bufferPos = 0;
        out.close();
        next = 1;
        deliveredUpTo = persistedUpTo = 0;
        open();
    }
    return isOpen();
}

QString Spool::whyNotWritable() const
{
    // What the system says when a file is made there.
    QFileInfo info(dir);
    while (!info.exists() && info.absolutePath() != info.absoluteFilePath())
        info.setFile(info.absolutePath());
    if (!info.isDir())
        return info.absoluteFilePath() + QStringLiteral(" is not a folder");
    QFile probe(QDir(info.absoluteFilePath()).filePath(QStringLiteral(".telvar-probe")));
    if (!probe.open(QIODevice::WriteOnly))
        return probe.errorString();
    probe.remove();
    return QStringLiteral("cannot be made");
}

qint64 Spool::takeSkipped()
{
    const qint64 n = skipped;
    skipped = 0;
    return n;
}

Spool::~Spool()
{
    if (isOpen() && deliveredUpTo != persistedUpTo)
        persist();
}

QString Spool::segmentPath(qint64 first) const
{
    return QDir(dir).filePath(QStringLiteral("%1").arg(first, 16, 10, QLatin1Char('0')) +
                              segmentSuffix);
}

qint64 Spool::segmentLimit() const
{
    // Small enough that dropping the oldest segment frees a little, large
    // enough that the folder never holds thousands of files.
    return qBound(qint64(16) << 10, limit / 16, qint64(8) << 20);
}

void Spool::load()
{
    QFile mark(QDir(dir).filePath(deliveredName));
    bool markDamaged = false;
    if (mark.open(QIODevice::ReadOnly)) {
        bool ok = false;
        deliveredUpTo = mark.readAll().trimmed().toLongLong(&ok);
        markDamaged = !ok || deliveredUpTo < 0;
        if (markDamaged)
            deliveredUpTo = 0;
    }

    const QStringList names = QDir(dir).entryList({QLatin1Char('*') + segmentSuffix}, QDir::Files);
    for (const QString &name : names) {
        bool ok = false;
        const qint64 first = name.left(name.size() - segmentSuffix.size()).toLongLong(&ok);
        if (ok && first > 0)
            segments.append({first, QFileInfo(segmentPath(first)).size()});
    }
    std::sort(segments.begin(), segments.end(),
              [](const Segment &a, const Segment &b) { return a.first < b.first; });

    // The newest segment may end in a row torn by a kill: cut it off. Rows of
    // a segment have consecutive seqs from its first, so its whole lines count
    // up to the last seq written, damaged or not.
    qint64 lastSeq = 0;
    if (!segments.isEmpty()) {
        Segment &last = segments.last();
        QFile f(segmentPath(last.first));
        QByteArray all;
        if (f.open(QIODevice::ReadWrite))
            all = f.readAll();
        const int end = all.lastIndexOf('\n') + 1;
        if (end < all.size())
            f.resize(end);
        last.size = end;
        lastSeq = last.first + lineCount(all.left(end)) - 1;
        if (markDamaged)
            deliveredUpTo = qMin(qMax(deliveredUpTo, last.first - 1), lastSeq);
    }
    if (markDamaged)
        persist();
    persistedUpTo = deliveredUpTo;
    next = qMax(lastSeq, deliveredUpTo) + 1;
    loadRun();
    removeDelivered();
    rewind();
}

void Spool::loadRun()
{
    QFile f(QDir(dir).filePath(runName));
    if (next > 1 && f.open(QIODevice::ReadOnly)) {
        runId = QString::fromLatin1(f.readAll().trimmed());
        f.close();
    }
    if (!runId.isEmpty())
        return;
    // A new counter (or one whose name was lost): a new name, so that no
    // subscriber takes its rows for ones it has seen.
    runId = QUuid::createUuid().toString(QUuid::WithoutBraces).left(13);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(runId.toLatin1() + '\n');
}

qint64 Spool::bytes() const
{
    qint64 sum = 0;
    for (const Segment &s : segments)
        sum += s.size;
    return sum;
}

qint64 Spool::append(const SpoolRow &row, bool *ok)
{
    if (ok)
        *ok = false;
    if (!isOpen() || row.seq != next)
        return 0;
    QByteArray line = QByteArray::number(row.seq);
    line += '\t';
    line += row.topic;
    line += '\t';
    line += row.payload;
    line += '\n';
    const qint64 dropped = makeRoom(line.size());

    if (segments.isEmpty() || segments.last().size >= segmentLimit()) {
        out.close();
        segments.append({row.seq, 0});
    }
    Segment &last = segments.last();
    if (!out.isOpen()) {
        out.setFileName(segmentPath(last.first));
        if (!out.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            why = out.errorString();
            if (last.size == 0)
                segments.removeLast();
            return dropped;
        }
    }
    // One write per row: a kill leaves whole rows and at most one torn at the end.
    if (out.write(line) != line.size()) {
        why = out.errorString();
        out.resize(last.size);
        out.close();
        if (last.size == 0) {
            out.remove();
            segments.removeLast();
        }
        return dropped;
    }
    last.size += line.size();
    ++next;
    why.clear();
    if (ok)
        *ok = true;
    return dropped;
}

qint64 Spool::makeRoom(qint64 bytesNeeded)
{
    qint64 dropped = 0;
    qint64 total = bytes();
    while (total + bytesNeeded > limit && segments.size() > 1) {
        const qint64 pendingBefore = pending();
        total -= segments.first().size;
        dropFront();
        dropped += pendingBefore - pending();
    }
    if (dropped > 0)
        persist();
    return dropped;
}

void Spool::dropFront()
{
    const qint64 last = segments.size() > 1 ? segments.at(1).first - 1 : next - 1;
    QFile::remove(segmentPath(segments.first().first));
    segments.removeFirst();
    if (last > deliveredUpTo)
        deliveredUpTo = last;
    ahead.erase(ahead.begin(), ahead.upper_bound(deliveredUpTo));
    while (ahead.count(deliveredUpTo + 1)) {
        ahead.erase(++deliveredUpTo);
    }
    // Rows read ahead from the dropped segment are gone with it.
    if (readSegment <= last) {
        readSegment = segments.isEmpty() ? next : segments.first().first;
        readOffset = 0;
        buffer.clear();
        bufferPos = 0;
    }
}

bool Spool::peek(SpoolRow &row)
{
    while (true) {
        if (bufferPos >= buffer.size())
            refill();
        if (bufferPos >= buffer.size())
            return false;
        const SpoolRow &r = buffer.at(bufferPos);
        if (r.seq > deliveredUpTo && !ahead.count(r.seq)) {
            row = r;
            return true;
        }
        ++bufferPos;
    }
}

void Spool::handedOut()
{
    if (bufferPos < buffer.size())
        ++bufferPos;
}

void Spool::refill()
{
    buffer.clear();
    bufferPos = 0;
    while (buffer.isEmpty()) {
        int i = 0;
        while (i < segments.size() && segments.at(i).first < readSegment)
            ++i;
        if (i == segments.size())
            return;
        if (segments.at(i).first != readSegment) {
            readSegment = segments.at(i).first;
            readOffset = 0;
        }
        QFile f(segmentPath(readSegment));
        // A segment that cannot be read any more (removed by hand) is passed over.
        bool more = f.open(QIODevice::ReadOnly) && f.seek(readOffset);
        while (more && buffer.size() < readAhead && readOffset < segments.at(i).size) {
            const QByteArray line = f.readLine();
            more = line.endsWith('\n');
            if (!more)
                break;
            SpoolRow row;
            if (!parseLine(line, row)) {
                // Counted once, though a rewind reads it again.
                if (damaged.insert({readSegment, readOffset}).second)
                    ++skipped;
            } else if (row.seq > deliveredUpTo)
                buffer.append(row);
            readOffset += line.size();
        }
        if (!buffer.isEmpty())
            return;
        if (more && readOffset < segments.at(i).size)
            continue;
        if (i + 1 == segments.size())
            return;
        readSegment = segments.at(i + 1).first;
        readOffset = 0;
    }
}

void Spool::delivered(qint64 seq)
{
    if (seq <= deliveredUpTo || seq >= next)
        return;
    ahead.insert(seq);
    while (ahead.count(deliveredUpTo + 1))
        ahead.erase(++deliveredUpTo);
    if (deliveredUpTo - persistedUpTo >= 64 || pending() == 0)
        persist();
    removeDelivered();
}

void Spool::removeDelivered()
{
    // The newest segment stays, delivered or not: its last row carries the seq
    // counter to the next run. The mark goes to disk before rows do.
    while (segments.size() > 1 && segments.at(1).first - 1 <= deliveredUpTo) {
        if (persistedUpTo != deliveredUpTo)
            persist();
        dropFront();
    }
}

void Spool::rewind()
{
    readSegment = segments.isEmpty() ? next : segments.first().first;
    readOffset = 0;
    buffer.clear();
    bufferPos = 0;
}

void Spool::persist()
{
    // Written aside and renamed over the old mark: a kill leaves one or the
    // other. No fsync: this runs for every row, on the GUI thread, and a mark
    // lost with the power only means rows sent twice.
    const QString mark = QDir(dir).filePath(deliveredName);
    QFile f(mark + QStringLiteral(".new"));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
        f.write(QByteArray::number(deliveredUpTo) + '\n') > 0) {
        f.close();
        if (std::rename(QFile::encodeName(f.fileName()).constData(),
                        QFile::encodeName(mark).constData()) == 0)
            persistedUpTo = deliveredUpTo;
    }
}
