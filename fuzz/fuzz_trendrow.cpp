// A trend row from whatever texts the status record holds, and the trend file
// name from whatever serial number the analyzer sent. The row must keep its
// shape, and the file must stay inside the trend folder.
//
// Input: [flags] [8 bytes time] then the sixteen record texts and the serial
// number as UTF-8, separated by 0x1f. Flags: bit 0 compatibility mode, bit 1
// statusLog, bits 2..7 the six lamp flags.
#include "app/trendlog.h"
#include "fuzz/fuzzcheck.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QVector>

#include <cstdint>
#include <cstring>

namespace {

QString StatusRecord::*const textFields[] = {
    &StatusRecord::filter,      &StatusRecord::gasType,  &StatusRecord::species,
    &StatusRecord::modeText,    &StatusRecord::tauEmpty, &StatusRecord::tauEmptyStd,
    &StatusRecord::tau,         &StatusRecord::tauStd,   &StatusRecord::laserCurrent,
    &StatusRecord::laserTemp,   &StatusRecord::pressure, &StatusRecord::conc,
    &StatusRecord::concDisplay, &StatusRecord::units,    &StatusRecord::faults,
    &StatusRecord::statusText,
};
constexpr int textFieldCount = int(sizeof(textFields) / sizeof(textFields[0]));

bool holdsSeparator(const QString &text)
{
    return text.contains(QLatin1String(", ")) || text.contains(QLatin1Char('\r')) ||
           text.contains(QLatin1Char('\n'));
}

void checkRow(const StatusRecord &record, const QDateTime &now, bool compat, bool statusLog)
{
    const QString row = trendRow(record, now, compat, statusLog);
    FUZZ_CHECK(row.endsWith(QLatin1String("\r\n")));
    const QString time = now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    FUZZ_CHECK(time.size() == 19);
    FUZZ_CHECK(row.startsWith(time + QLatin1String(", ")));

    bool numeric = false;
    record.conc.toDouble(&numeric);
    const QString conc = numeric ? record.conc : QStringLiteral("No concentration data");
    FUZZ_CHECK(row.midRef(time.size() + 2).startsWith(conc));
    if (compat) {
        FUZZ_CHECK(row == time + QLatin1String(", ") + conc + QLatin1String("\r\n"));
        return;
    }
    FUZZ_CHECK(row.endsWith(QLatin1String(record.alarm2 ? ", Alarm2\r\n" : "\r\n")));

    // With no separator inside the texts, the row splits back into its fields.
    const QVector<const QString *> used = {
        &record.conc,        &record.gasType,      &record.faults,
        &record.tau,         &record.tauStd,       &record.tauEmpty,
        &record.tauEmptyStd, &record.laserCurrent, &record.laserTemp};
    for (const QString *text : used)
        if (holdsSeparator(*text))
            return;
    const QStringList fields = row.chopped(2).split(QStringLiteral(", "));
    const int expected = 4 + (statusLog ? 6 : 0) + int(record.alarm1) + int(record.alarm2);
    FUZZ_CHECK(fields.size() == expected);
    FUZZ_CHECK(fields.at(2) == record.gasType);
    FUZZ_CHECK(fields.at(3) ==
               (record.faults == QLatin1String("0") ? QStringLiteral("No Faults") : record.faults));
    if (statusLog)
        FUZZ_CHECK(fields.at(4) == record.tau && fields.at(9) == record.laserTemp);
    if (record.alarm1)
        FUZZ_CHECK(fields.at(expected - 1 - int(record.alarm2)) == QLatin1String("Alarm1"));
}

void checkFileName(const QString &serial, const QDate &date)
{
    const QString name = trendFileName(serial, date);
    FUZZ_CHECK(!name.isEmpty() && name != QLatin1String(".") && name != QLatin1String(".."));
    FUZZ_CHECK(!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')));
    for (QChar c : name)
        FUZZ_CHECK(c.unicode() >= 0x20 && c.unicode() < 0x7f);
    FUZZ_CHECK(name.startsWith(QLatin1String("SN-")) && name.endsWith(QLatin1String(".csv")));
    // Whatever the serial, the file lands in the trend folder itself.
    const QString folder = QStringLiteral("/trendhome/QuorvaneData/Trend/");
    const QFileInfo file(folder + name);
    FUZZ_CHECK(QDir::cleanPath(file.absolutePath()) + QLatin1Char('/') == folder);
    FUZZ_CHECK(file.fileName() == name);
    // A serial of plain characters is kept as it came.
    if (date.isValid() && safeFileNamePart(serial) == serial)
        FUZZ_CHECK(name == QLatin1String("SN-") + serial + QLatin1Char('-') +
                               date.toString(QStringLiteral("yyyyMMdd")) + QLatin1String(".csv"));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 9)
        return 0;
    const uint8_t flags = data[0];
    uint64_t raw = 0;
    std::memcpy(&raw, data + 1, sizeof raw);
    // The clock is the computer's: somewhere between 1970 and 2100.
    const qint64 ms = qint64(raw % 4102444800000ull);
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(ms);

    const QList<QByteArray> parts =
        QByteArray(reinterpret_cast<const char *>(data + 9), int(size - 9)).split('\x1f');
    StatusRecord record;
    for (int i = 0; i < textFieldCount && i < parts.size(); ++i)
        record.*textFields[i] = QString::fromUtf8(parts.at(i));
    record.setFaultBits(flags >> 2);
    const bool compat = flags & 0x01;
    const bool statusLog = flags & 0x02;
    checkRow(record, now, compat, statusLog);

    const QString serial =
        parts.size() > textFieldCount ? QString::fromUtf8(parts.at(textFieldCount)) : QString();
    checkFileName(serial, now.date());
    return 0;
}
