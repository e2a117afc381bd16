#include "plot/trendimport.h"

#include <QIODevice>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\t';
}

// A fixed number of digits; false when any is not a digit.
bool digits(const char *p, int count, int &value)
{
    value = 0;
    for (int i = 0; i < count; ++i) {
        const unsigned d = unsigned(p[i]) - '0';
        if (d > 9)
            return false;
        value = value * 10 + int(d);
    }
    return true;
}

constexpr double powersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Plain decimals such as "0.2034" or "-12.5", the values trend rows hold: with
// at most 15 digits the digits as an integer and the power of ten are both
// exact doubles, so one division gives the correctly rounded value, the same
// as any exact reader. Reads from p up to the first character that cannot
// continue the number and returns where it stopped, or nullptr when what it
// read is no such decimal.
const char *readPlainDecimal(const char *p, const char *end, double &value)
{
    const bool negative = p < end && *p == '-';
    p += negative;
    const char *const start = p;
    const char *point = nullptr;
    std::uint64_t digitsValue = 0;
    for (; p < end; ++p) {
        const unsigned d = unsigned(*p) - '0';
        if (d <= 9) {
            digitsValue = digitsValue * 10 + d;
            continue;
        }
        if (*p != '.' || point)
            break;
        point = p;
    }
    const long digitCount = long(p - start) - (point ? 1 : 0);
    if (digitCount == 0 || digitCount > 15)
        return nullptr;
    value = double(digitsValue) / powersOfTen[point ? p - point - 1 : 0];
    if (negative)
        value = -value;
    return p;
}

// The value field as the toolkit reads numbers (an optional sign, decimal or
// exponent form); only finite values make points.
bool readValue(const char *begin, const char *end, double &value)
{
    while (begin < end && isBlank(*begin))
        ++begin;
    while (end > begin && isBlank(end[-1]))
        --end;
    if (begin < end && *begin == '+' && end - begin > 1 && begin[1] != '-')
        ++begin;
    if (begin == end)
        return false;
    if (readPlainDecimal(begin, end, value) == end)
        return true;
    const auto result = std::from_chars(begin, end, value);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

// The first `length` bytes (8 to 16) of a and b are equal: two 8-byte words,
// overlapping in the middle, without a library call per line.
bool sameHour(const char *a, const char *b, int length)
{
    std::uint64_t a1, a2, b1, b2;
    std::memcpy(&a1, a, 8);
    std::memcpy(&b1, b, 8);
    std::memcpy(&a2, a + length - 8, 8);
    std::memcpy(&b2, b + length - 8, 8);
    return a1 == b1 && a2 == b2;
}

// Where read() puts its points: straight into the caller's vector while the
// room made there lasts, then into chunks joined once at the end. The room is
// made twice: a little for the first lines, then enough for the rest of the
// file at their length, up to 32 MB. So a trend file's points are copied at
// most once, a file that is not what its first lines suggest costs no more
// than that, and nothing is held twice over as a growing vector would.
class PointSink
{
public:
    static constexpr int chunkPoints = 1 << 20;           // 16 MB
    static constexpr qint64 aheadLimit = 2 * 1024 * 1024; // 32 MB of points

    explicit PointSink(QVector<QPointF> &points) : points(points), inVector(points.size()) {}

    // The place for the next point, or nullptr when the room is used up.
    QPointF *place() const { return next != end ? next : nullptr; }
    // Makes more room: `expected` is how many more points the file seems to
    // hold. nullptr once TrendReader::MaxPoints are held.
    QPointF *moreRoom(qint64 expected);
    // The point at place() counts.
    void keep() { ++next; }
    // Leaves exactly the points read in the caller's vector.
    void finish();

private:
    qint64 held() const;
    void makeVectorRoom(qint64 size);

    QVector<QPointF> &points;
    int inVector;
    int vectorRooms = 0;
    std::vector<std::unique_ptr<QPointF[]>> chunks;
    QPointF *next = nullptr;
    QPointF *end = nullptr;
};

qint64 PointSink::held() const
{
    if (chunks.empty())
        return next ? next - points.constData() : inVector;
    return inVector + qint64(chunks.size() - 1) * chunkPoints + (next - chunks.back().get());
}

void PointSink::makeVectorRoom(qint64 size)
{
    // Exactly this much: resize() alone would round the capacity up to a
    // power of two.
    points.reserve(int(size));
    points.resize(int(size));
    next = points.data() + inVector;
    end = points.data() + size;
}

QPointF *PointSink::moreRoom(qint64 expected)
{
    const qint64 now = held();
    if (now >= TrendReader::MaxPoints)
        return nullptr;
    if (chunks.empty()) {
        inVector = int(now);
        if (vectorRooms < 2) {
            const qint64 more =
                vectorRooms++ == 0 ? 1024 : qBound<qint64>(1024, expected, aheadLimit);
            makeVectorRoom(std::min<qint64>(TrendReader::MaxPoints, now + more));
            return next;
        }
    }
    chunks.emplace_back(new QPointF[chunkPoints]);
    next = chunks.back().get();
    end = next + std::min<qint64>(chunkPoints, TrendReader::MaxPoints - now);
    return next;
}

void PointSink::finish()
{
    const qint64 total = held();
    if (chunks.empty()) {
        points.resize(int(total));
        return;
    }
    // Chunk by chunk into one vector of exactly the points, each chunk let go
    // once copied: never much more than the points themselves at once.
    QVector<QPointF> all;
    all.reserve(int(total));
    all.resize(inVector);
    std::copy(points.constData(), points.constData() + inVector, all.data());
    points = QVector<QPointF>();
    for (size_t c = 0; c < chunks.size(); ++c) {
        const int from = all.size();
        const int count = c + 1 < chunks.size() ? chunkPoints : int(next - chunks[c].get());
        all.resize(from + count);
        std::copy(chunks[c].get(), chunks[c].get() + count, all.data() + from);
        chunks[c].reset();
    }
    chunks.clear();
    points = std::move(all);
}

} // namespace

bool TrendReader::parseDateTime(const char *p, const char *end, qint64 &ms)
{
    const long length = long(end - p);
    // Rows come a second or so apart: a line of the same date and hour as the
    // one before needs only its minutes and seconds read.
    const long hourEnd = length - 6;
    int minute = 0, second = 0;
    if (hourValid && length == hourKeyLength && sameHour(p, hourKey, int(hourEnd))) {
        const char *time = end - 6;
        if (time[0] != ':' || time[3] != ':' || !digits(time + 1, 2, minute) ||
            !digits(time + 4, 2, second) || minute > 59 || second > 59)
            return false;
        ms = hourEpoch + (minute * 60 + second) * 1000;
        return true;
    }

    int year = 0, month = 0, day = 0, hour = 0;
    const char *time = nullptr;
    if (length == 19 && p[4] == '-' && p[7] == '-' && p[10] == ' ') {
        // yyyy-MM-dd hh:mm:ss
        if (!digits(p, 4, year) || !digits(p + 5, 2, month) || !digits(p + 8, 2, day))
            return false;
        time = p + 11;
    } else if (length == 17 && p[2] == '-' && p[5] == '-' && p[8] == ' ') {
        // MM-dd-yy hh:mm:ss: files of this century
        if (!digits(p, 2, month) || !digits(p + 3, 2, day) || !digits(p + 6, 2, year))
            return false;
        year += 2000;
        time = p + 9;
    } else {
        return false;
    }
    if (time[2] != ':' || time[5] != ':' || !digits(time, 2, hour) ||
        !digits(time + 3, 2, minute) || !digits(time + 6, 2, second))
        return false;
    if (hour > 23 || minute > 59 || second > 59)
        return false;
    const QDate date(year, month, day);
    if (!date.isValid())
        return false;
    const int msOfDay = ((hour * 60 + minute) * 60 + second) * 1000;
    if (!epoch.localToEpochMs(date, msOfDay, ms))
        return false;
    // Within an hour without a daylight-saving switch near it, every minute and
    // second is the hour's start plus that much.
    hourValid = epoch.steadyHour();
    if (hourValid) {
        std::memcpy(hourKey, p, size_t(hourEnd));
        hourKeyLength = int(length);
        hourEpoch = ms - (minute * 60 + second) * 1000;
    }
    return true;
}

bool TrendReader::parseLine(const char *begin, const char *end, QPointF &point)
{
    if (valueField != 1 || !timed)
        return parseFields(begin, end, point);
    // The date-time has a fixed length; where a separator follows it, the
    // field needs no search (a valid date-time holds no separator).
    for (const long length : {19L, 17L}) {
        if (end - begin > length && (begin[length] == ',' || begin[length] == '\t')) {
            double value = 0;
            qint64 ms = 0;
            if (parseDateTime(begin, begin + length, ms)) {
                // The value as the program writes it, read while the field is
                // looked for; anything else goes the general way.
                const char *second = begin + length + 1;
                while (second < end && *second == ' ')
                    ++second;
                second = readPlainDecimal(second, end, value);
                while (second && second < end && *second == ' ')
                    ++second;
                if (second && (second == end || *second == ',' || *second == '\t')) {
                    point = QPointF(double(ms), value);
                    return true;
                }
                second = begin + length + 1;
                while (second < end && *second != ',' && *second != '\t')
                    ++second;
                if (!readValue(begin + length + 1, second, value))
                    return false;
                point = QPointF(double(ms), value);
                return true;
            }
        }
    }
    return parseFields(begin, end, point);
}

bool TrendReader::parseFields(const char *begin, const char *end, QPointF &point)
{
    const auto fieldEnd = [end](const char *p) {
        while (p < end && *p != ',' && *p != '\t')
            ++p;
        return p;
    };
    const char *const first = fieldEnd(begin);
    const char *before = first; // the separator before the value
    for (int f = 1; f < valueField && before < end; ++f)
        before = fieldEnd(before + 1);
    if (before >= end)
        return false; // too few fields: no value
    double value = 0;
    qint64 ms = 0;
    if (!readValue(before + 1, fieldEnd(before + 1), value) ||
        (timed && !parseDateTime(begin, first, ms)))
        return false;
    point = QPointF(double(ms), value);
    return true;
}

bool TrendReader::timedGap(const char *begin, const char *end, QPointF &point)
{
    const char *first = begin;
    while (first < end && *first != ',' && *first != '\t')
        ++first;
    qint64 ms = 0;
    const bool stamped = timed && parseDateTime(begin, first, ms);
    point = QPointF(stamped ? double(ms) : qQNaN(), qQNaN());
    return stamped;
}

bool TrendReader::read(QIODevice &device, QVector<QPointF> &points, const Progress &progress)
{
    constexpr qint64 blockSize = 1 << 20;
    // Room for the unended start of a line (at most a longest line and its
    // '\r') ahead of a block; the buffer never grows.
    constexpr size_t keepMax = size_t(MaxLineLength) + 1;
    const std::unique_ptr<char[]> buffer(new char[keepMax + size_t(blockSize)]);
    size_t kept = 0;       // the start of a line not yet ended, carried to the next block
    bool skipping = false; // inside a line too long to keep: read on to its end
    qint64 lineNumber = 1;
    int untilProgress = ProgressLines - 1;
    qint64 bufferStart = 0; // the file offset of buffer[0]
    PointSink sink(points);
    // The lines still to come, at the length of those read before `lineStart`.
    const auto linesToCome = [&](const char *lineStart) -> qint64 {
        const qint64 linesBefore = lineNumber - 2;
        const qint64 offset = bufferStart + (lineStart - buffer.get());
        if (device.isSequential() || linesBefore <= 0 || offset <= 0)
            return 0;
        return qint64(double(device.size() - offset) * double(linesBefore) / double(offset) *
                      1.02) +
               16;
    };
    bool full = false;
    bool afterGap = true; // a gap only between points
    const auto line = [&](const char *begin, const char *end) {
        if (end > begin && end[-1] == '\r')
            --end;
        if (end - begin > MaxLineLength)
            return;
        QPointF *point = sink.place();
        if (!point && !(point = sink.moreRoom(linesToCome(begin)))) {
            full = true;
            return;
        }
        if (parseLine(begin, end, *point)) {
            sink.keep();
            afterGap = false;
        } else if (keepGaps && (timedGap(begin, end, *point) || !afterGap)) {
            sink.keep();
            afterGap = true;
        }
    };
    const auto finish = [&](bool done) {
        sink.finish();
        return done;
    };
    for (;;) {
        const qint64 got = device.read(buffer.get() + kept, blockSize);
        if (got <= 0)
            break;
        const char *p = buffer.get();
        const char *end = p + kept + size_t(got);
        for (;;) {
            const auto *newline = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
            if (!newline)
                break;
            ++lineNumber;
            if (--untilProgress < 0) {
                untilProgress = ProgressLines - 1;
                if (progress && !progress(lineNumber))
                    return finish(false);
            }
            if (!skipping)
                line(p, newline);
            skipping = false;
            p = newline + 1;
        }
        if (full)
            return finish(true);
        kept = size_t(end - p);
        if (skipping || kept > keepMax) {
            skipping = true;
            kept = 0;
            p = end;
        } else {
            std::memmove(buffer.get(), p, kept);
        }
        bufferStart += p - buffer.get();
        // A block without a line feed still answers Abort.
        if (progress && !progress(lineNumber + 1))
            return finish(false);
    }
    if (kept > 0) {
        ++lineNumber;
        if (progress && !progress(lineNumber))
            return finish(false);
        line(buffer.get(), buffer.get() + kept);
    }
    return finish(true);
}
