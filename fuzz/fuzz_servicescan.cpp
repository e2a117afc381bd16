// The Service Scans tab's scans without their widgets: start commands from
// whatever the operator typed in the fields, then replies split into words as
// the tab splits them, while the scan owns the replies: scan position
// readings end a scan when the position falls back, downloads of "position
// value" rows fill the points and end at the scan's End. Every start command
// must be well formed, the points finite and bounded, and a saved scan a
// plainly named file in its folder.
//
// Input: [field texts for the starts, separated by 0x1f, ended by 0x1e
// (none: the defaults)] then operations, one byte each (low two bits) with an
// argument byte: 0 n: a reply chunk of n bytes   1 k: start scan k % 3
// 2 k: ask for scan k's download   3 x: cancel
#include "fuzz/fuzzcheck.h"
#include "service/servicescan.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

namespace {

std::unique_ptr<QTemporaryDir> folder;

void checkStartCommand(ServiceScan::Kind kind, const QStringList &texts)
{
    QString error;
    const QString line = ServiceScan::startCommand(kind, texts, &error);
    if (line.isEmpty()) {
        FUZZ_CHECK(error.startsWith(ServiceScan::title(kind) + QLatin1String(": ")));
        return;
    }
    FUZZ_CHECK(error.isEmpty());
    FUZZ_CHECK(line.endsWith(QLatin1String("\r\n")));
    const QStringList parts = line.trimmed().split(QLatin1Char(' '));
    const QVector<ServiceScan::Field> fields = ServiceScan::fields(kind);
    FUZZ_CHECK(parts.size() == fields.size() + 1);
    // Each value is a plain number inside its field's range.
    for (int i = 0; i < fields.size(); ++i) {
        bool ok = false;
        const double v = parts.at(i + 1).toDouble(&ok);
        FUZZ_CHECK(ok && std::isfinite(v));
        FUZZ_CHECK(v >= fields.at(i).min && v <= fields.at(i).max);
        FUZZ_CHECK(!fields.at(i).whole || v == std::floor(v));
    }
    FUZZ_CHECK(parts.at(2).toDouble() > parts.at(1).toDouble());
}

// What the main window hands the Service Scans tab, with the tab's own
// reactions: a fallen position asks for the download, a complete download
// is saved and ends.
class ScanHooks
{
public:
    ServiceScan scan;
    int saved = 0;

    // A reply while the scan owns them, as the tab reads it.
    void reply(const QByteArray &chunk)
    {
        const QStringList tokens = ServiceScan::replyTokens(chunk);
        const bool running = scan.running();
        const bool downloading = scan.downloading();
        if (running && tokens.size() == 1)
            scanReading(tokens.last());
        if (downloading)
            appendDownload(tokens);
    }

    void scanReading(const QString &reading)
    {
        // Readings come during a download too; only a running scan takes them.
        const bool running = scan.running();
        if (scan.takeReading(reading)) {
            FUZZ_CHECK(running);
            FUZZ_CHECK(scan.progress() == 100);
            scan.requestDownload(scan.kind());
        }
        FUZZ_CHECK(scan.progress() >= 0 && scan.progress() <= 100);
    }
    void appendDownload(const QStringList &tokens)
    {
        FUZZ_CHECK(scan.downloading());
        const int before = scan.xs().size();
        const bool complete = scan.addDownload(tokens);
        FUZZ_CHECK(scan.xs().size() >= before);
        FUZZ_CHECK(scan.xs().size() - before <= tokens.size() / 2);
        if (complete) {
            scan.finishDownload();
            save();
        }
    }

    void save()
    {
        const QString path = scan.save(folder->path(), QStringLiteral("../SN 1/x"),
                                       QDateTime(QDate(2025, 1, 31), QTime(12, 0)));
        FUZZ_CHECK(!path.isEmpty());
        const QFileInfo file(path);
        FUZZ_CHECK(file.absolutePath() == QDir(folder->path()).absolutePath());
        FUZZ_CHECK(!file.fileName().contains(QLatin1Char(' ')));
        QFile f(path);
        FUZZ_CHECK(f.open(QIODevice::ReadOnly));
        // Comment lines, the column header, then one row a point.
        const QList<QByteArray> lines = f.readAll().split('\n');
        int rows = 0;
        for (const QByteArray &l : lines)
            rows += !l.isEmpty() && !l.startsWith('#') && !l.startsWith("Position");
        FUZZ_CHECK(rows == scan.xs().size());
        f.remove();
        ++saved;
    }
};

void checkPoints(const ServiceScan &scan)
{
    FUZZ_CHECK(scan.xs().size() == scan.ys().size());
    FUZZ_CHECK(scan.xs().size() <= ServiceScan::maxPoints);
    for (int i = 0; i < scan.xs().size(); ++i)
        FUZZ_CHECK(std::isfinite(scan.xs().at(i)) && std::isfinite(scan.ys().at(i)));
    FUZZ_CHECK(!(scan.running() && scan.downloading()));
    FUZZ_CHECK(scan.progress() >= 0 && scan.progress() <= 100);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    folder = std::make_unique<QTemporaryDir>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *text = reinterpret_cast<const char *>(data);
    const char *end = text + size;
    const char *fieldsEnd = std::find(text, end, '\x1e');
    QStringList texts;
    if (fieldsEnd != end) {
        for (const QByteArray &t : QByteArray(text, int(fieldsEnd - text)).split('\x1f'))
            texts << QString::fromUtf8(t);
        text = fieldsEnd + 1;
    }
    const auto fieldsFor = [&](ServiceScan::Kind kind) {
        if (!texts.isEmpty())
            return texts;
        QStringList defaults;
        for (const ServiceScan::Field &f : ServiceScan::fields(kind))
            defaults << QString::number(f.defaultValue);
        return defaults;
    };

    ScanHooks hooks;
    ServiceScan &scan = hooks.scan;

    while (end - text >= 2) {
        const uint8_t op = uint8_t(text[0]) & 3;
        const uint8_t arg = uint8_t(text[1]);
        text += 2;
        const auto kind = ServiceScan::Kind(arg % ServiceScan::kindCount);
        switch (op) {
        case 0: {
            const int n = int(std::min<ptrdiff_t>(arg, end - text));
            hooks.reply(QByteArray(text, n));
            text += n;
            break;
        }
        case 1: {
            const QStringList fields = fieldsFor(kind);
            checkStartCommand(kind, fields);
            QString error;
            const int stateBefore = scan.state();
            const QString line = scan.start(kind, fields, &error);
            FUZZ_CHECK(line == ServiceScan::startCommand(kind, fields, nullptr));
            FUZZ_CHECK(line.isEmpty() ? scan.state() == stateBefore
                                      : scan.state() == ServiceScan::RefCellRunning + kind);
            break;
        }
        case 2:
            FUZZ_CHECK(scan.requestDownload(kind) == ServiceScan::downloadCommand(kind));
            FUZZ_CHECK(scan.downloading() && scan.xs().isEmpty());
            break;
        default:
            FUZZ_CHECK(scan.cancel() == QLatin1String("opmode 0\r\n"));
            FUZZ_CHECK(scan.state() == ServiceScan::Idle);
            break;
        }
        checkPoints(scan);
    }
    return 0;
}
