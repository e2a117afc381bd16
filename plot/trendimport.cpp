#include "plot/trendimport.h"

#include <QIODevice>

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

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
    const auto result = std::from_chars(begin, end, value);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

} // namespace

bool TrendReader::parseDateTime(const char *p, const char *end, qint64 &ms)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    const char *time = nullptr;
    const long length = long(end - p);
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
    return epoch.localToEpochMs(date, ((hour * 60 + minute) * 60 + second) * 1000, ms);
}

bool TrendReader::parseLine(const char *begin, const char *end, QPointF &point)
{
    const char *first = begin;
    while (first < end && *first != ',' && *first != '\t')
        ++first;
    if (first == end)
        return false; // a single field: no value
    const char *second = first + 1;
    while (second < end && *second != ',' && *second != '\t')
        ++second;
    double value = 0;
    qint64 ms = 0;
    if (!readValue(first + 1, second, value) || !parseDateTime(begin, first, ms))
        return false;
    point = QPointF(double(ms), value);
    return true;
}

bool TrendReader::read(QIODevice &device, QVector<QPointF> &points, const Progress &progress)
{
    constexpr qint64 blockSize = 1 << 20;
    std::vector<char> buffer;
    size_t kept = 0; // the start of a line not yet ended, carried to the next block
    qint64 lineNumber = 1;
    int untilProgress = ProgressLines - 1;
    QPointF point;
    const auto line = [&](const char *begin, const char *end) {
        if (end > begin && end[-1] == '\r')
            --end;
        if (parseLine(begin, end, point))
            points.append(point);
    };
    for (;;) {
        buffer.resize(kept + size_t(blockSize));
        const qint64 got = device.read(buffer.data() + kept, blockSize);
        if (got <= 0)
            break;
        const char *p = buffer.data();
        const char *end = p + kept + size_t(got);
        for (;;) {
            const auto *newline = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
            if (!newline)
                break;
            ++lineNumber;
            if (--untilProgress < 0) {
                untilProgress = ProgressLines - 1;
                if (progress && !progress(lineNumber))
                    return false;
            }
            line(p, newline);
            p = newline + 1;
        }
        kept = size_t(end - p);
        std::memmove(buffer.data(), p, kept);
    }
    if (kept > 0) {
        ++lineNumber;
        if (progress && !progress(lineNumber))
            return false;
        line(buffer.data(), buffer.data() + kept);
    }
    return true;
}
