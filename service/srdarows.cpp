#include "service/srdarows.h"

#include "common/debuglog.h"
#include "service/srdadata.h"

#include <QDebug>
#include <QStringList>

#include <limits>

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Reads `count` digits at `pos` (at least `min`, at most `max`); advances pos.
bool readNumber(const QStringRef &s, int &pos, int min, int max, int &value)
{
    value = 0;
    int digits = 0;
    while (pos < s.size() && digits < max && isAsciiDigit(s.at(pos))) {
        value = value * 10 + (s.at(pos).unicode() - '0');
        ++pos;
        ++digits;
    }
    // A digit right after the widest field means the field is too long.
    return digits >= min && !(pos < s.size() && isAsciiDigit(s.at(pos)));
}

bool expect(const QStringRef &s, int &pos, char c)
{
    if (pos >= s.size() || s.at(pos) != QLatin1Char(c))
        return false;
    ++pos;
    return true;
}

bool isSeparator(QChar c)
{
    // The stream is split on the character class "[\t|\r|\n]", which holds '|' as well.
    return c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n') ||
           c == QLatin1Char('|');
}

} // namespace

bool SrdaRowReader::readRowTime(const QStringRef &s, QDate &date, QTime &time)
{
    int pos = 0, y, mo, d, h, mi, sec;
    if (!readNumber(s, pos, 4, 4, y) || !expect(s, pos, '-') || !readNumber(s, pos, 1, 2, mo) ||
        !expect(s, pos, '-') || !readNumber(s, pos, 1, 2, d) || !expect(s, pos, ' ') ||
        !readNumber(s, pos, 1, 2, h) || !expect(s, pos, ':') || !readNumber(s, pos, 2, 2, mi) ||
        !expect(s, pos, ':') || !readNumber(s, pos, 2, 2, sec) || pos != s.size())
        return false;
    if (!QDate::isValid(y, mo, d) || !QTime::isValid(h, mi, sec))
        return false;
    date = QDate(y, mo, d);
    time = QTime(h, mi, sec);
    return true;
}

void SrdaRowReader::read(const QByteArray &chunk)
{
    // One conversion per chunk; the cells are references into it.
    text = QString::fromLatin1(chunk);
    const int size = text.size();
    int start = 0;
    while (start < size) {
        const int feed = text.indexOf(QLatin1Char('\n'), start);
        const int end = feed < 0 ? size : feed + 1;
        readLine(text.midRef(start, end - start));
        start = end;
    }
}

void SrdaRowReader::readLine(const QStringRef &line)
{
    // The line end closes the row; it is no empty last column.
    QStringRef row = line;
    while (!row.isEmpty() && (row.endsWith(QLatin1Char('\n')) || row.endsWith(QLatin1Char('\r'))))
        row.chop(1);
    cells.clear();
    int start = 0;
    for (int i = 0; i < row.size(); ++i) {
        if (isSeparator(row.at(i))) {
            cells.append(row.mid(start, i - start));
            start = i + 1;
        }
    }
    cells.append(row.mid(start));

    int dateColumn = -1;
    for (int i = 0; i < cells.size(); ++i) {
        if (cells.at(i) == QLatin1String("Date/Time")) {
            dateColumn = i;
            break;
        }
    }

    if (dateColumn >= 0) {
        QStringList columns;
        for (int i = dateColumn; i < cells.size(); ++i)
            columns.append(cells.at(i).toString());
        if (!table.setColumns(columns))
            return; // the same collection again, after a lost link
        qCDebug(telvarDebug) << "Got columns, they are:" << table.columns()
                             << "and there are " + QString::number(table.columnCount()) +
                                    " of them";
        if (columnsSet)
            columnsSet();
        return;
    }

    if (cells.size() != table.columnCount())
        return;
    QDate date;
    QTime time;
    qint64 ms = 0;
    if (!readRowTime(cells.at(0), date, time) ||
        !epoch.localToEpochMs(date, time.msecsSinceStartOfDay(), ms))
        return;
    values.resize(cells.size());
    values[0] = double(ms);
    for (int i = 1; i < cells.size(); ++i) {
        bool ok = false;
        const double value = cells.at(i).toDouble(&ok);
        values[i] = ok ? value : std::numeric_limits<double>::quiet_NaN();
    }
    // Past the memory limit rows are no longer stored, but the live plot,
    // which keeps its own points, goes on.
    if (!table.appendRow(values.constData()) && table.takeLimitNotice() && limitReached)
        limitReached(table.rowCount());
    if (rowRead)
        rowRead(values.constData());
}
