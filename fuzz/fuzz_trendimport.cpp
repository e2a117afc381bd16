// A trend file as "Add Data to Plot" reads it: whatever the operator picked,
// handed over by the device in uneven pieces, and Abort pressed at some
// progress call or never. The points must be exactly those of its lines read
// one by one (a prefix of them after Abort), lines longer than the limit must
// give none, and progress must come with every block read.
//
// Input: [abort at progress call, 0 = never] [split seed] then the file. In
// the file, 0x00 followed by a byte n stands for (n + 1) * 256 copies of the
// byte before it, so that long lines fit in a small input.
#include "common/clock.h"
#include "fuzz/fuzzcheck.h"
#include "plot/trendimport.h"

#include <QIODevice>
#include <QLoggingCategory>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr int blockSize = 1 << 20;
// Past two blocks and many times the longest line, small enough to run fast.
constexpr int expandedLimit = 3 << 20;
// Reads of a few bytes are tried on small files only: on megabytes they take
// the fuzzer's time without reaching anything new.
constexpr int tinyReadsUpTo = 64 << 10;

QByteArray expand(const char *data, int size)
{
    QByteArray out;
    for (int i = 0; i < size; ++i) {
        if (data[i] != '\0' || i + 1 >= size) {
            out += data[i];
            continue;
        }
        const char repeated = out.isEmpty() ? ' ' : out.back();
        const int count = (int(uint8_t(data[i + 1])) + 1) * 256;
        if (out.size() + count > expandedLimit)
            break;
        out += QByteArray(count, repeated);
        ++i;
    }
    return out;
}

// A device that hands over fewer bytes than asked, as a pipe or a slow disk may.
class UnevenDevice : public QIODevice
{
public:
    UnevenDevice(const QByteArray &content, uint8_t seed)
        : content(content), style(seed & 3), rng(0x9e3779b9u * (seed + 1u))
    {
        // Unbuffered: the reader gets what each call hands over, nothing read ahead.
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    qint64 handedOver() const { return at; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        rng = rng * 1664525u + 1013904223u;
        const qint64 r = rng >> 8;
        qint64 piece = maxSize;
        if (style == 1)
            piece = content.size() <= tinyReadsUpTo ? 1 + r % 7 : 1 + r % 70000;
        else if (style == 2)
            piece = 1 + r % 70000;
        else if (style == 3)
            piece = (r & 1) ? maxSize : 1 + r % 4096;
        piece = std::min({piece, maxSize, qint64(content.size()) - at});
        if (piece <= 0)
            return -1; // the end
        std::memcpy(data, content.constData() + at, size_t(piece));
        at += piece;
        return piece;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    const QByteArray content;
    qint64 at = 0;
    int style;
    uint32_t rng;
};

// The points of the lines one by one, through a reader of their own.
QVector<QPointF> expectedPoints(const QByteArray &content)
{
    QVector<QPointF> out;
    TrendReader reader;
    int start = 0;
    while (start < content.size()) {
        int end = content.indexOf('\n', start);
        const int next = end < 0 ? content.size() : end + 1;
        if (end < 0)
            end = content.size();
        int stop = end;
        if (stop > start && content.at(stop - 1) == '\r')
            --stop;
        QPointF p;
        if (stop - start <= TrendReader::MaxLineLength &&
            reader.parseLine(content.constData() + start, content.constData() + stop, p))
            out.append(p);
        start = next;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    readLocalTimeZoneOnce(); // as the program does
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int abortAt = data[0];
    const QByteArray content = expand(reinterpret_cast<const char *>(data + 2), int(size - 2));
    UnevenDevice device(content, data[1]);

    QVector<QPointF> points;
    int calls = 0;
    qint64 lastLine = 0;
    qint64 readAtLastCall = 0;
    bool aborted = false;
    const bool done = TrendReader().read(device, points, [&](qint64 line) {
        ++calls;
        // Line numbers only go forward, and at most to the line after the last.
        FUZZ_CHECK(line >= lastLine && line >= 2);
        FUZZ_CHECK(line <= content.count('\n') + 2);
        lastLine = line;
        // Never more than a block read between two calls.
        FUZZ_CHECK(device.handedOver() - readAtLastCall <= blockSize);
        readAtLastCall = device.handedOver();
        aborted = calls == abortAt;
        return !aborted;
    });
    FUZZ_CHECK(done == !aborted);
    if (done)
        FUZZ_CHECK(content.size() - readAtLastCall <= blockSize || calls == 0);

    const QVector<QPointF> expected = expectedPoints(content);
    FUZZ_CHECK(points.size() <= expected.size());
    FUZZ_CHECK(done ? points.size() == expected.size() : true);
    for (int i = 0; i < points.size(); ++i) {
        FUZZ_CHECK(std::isfinite(points[i].x()) && std::isfinite(points[i].y()));
        FUZZ_CHECK(points[i] == expected[i]);
    }
    // No more than 32 MB of room (and the first lines' 1024 points) is left
    // behind the points.
    FUZZ_CHECK(points.capacity() - points.size() <= 2 * 1024 * 1024 + 1024);
    return 0;
}
