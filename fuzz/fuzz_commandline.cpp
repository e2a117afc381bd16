// The command line, whatever a station's start script passes: every result
// must be consistent (one link kind, limits in range, a message for every
// error), and a command line that runs must mean the same when written out
// again in the program's own option names and parsed anew.
//
// Input: the arguments after the program name, separated by NUL bytes.
#include "app/commandline.h"
#include "fuzz/fuzzcheck.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdint>
#include <limits>

namespace {

QCoreApplication *app = nullptr; // kept to the end, as Qt wants

const char *const scanNames[] = {"optimize", "tempscan", "refcell",
                                 "onpeak",   "offpeak",  "settings"};

QStringList canonical(const CommandLine &cl)
{
    QStringList out{QStringLiteral("telvar")};
    const auto flag = [&](bool on, const char *name) {
        if (on)
            out << QLatin1String(name);
    };
    const auto text = [&](const std::optional<QString> &v, const char *name) {
        if (v)
            out << QLatin1String(name) + QLatin1Char('=') + *v;
    };
    const auto number = [&](const std::optional<int> &v, const char *name) {
        if (v)
            out << QLatin1String(name) + QLatin1Char('=') + QString::number(*v);
    };
    flag(cl.demo, "--demo");
    flag(cl.connect, "--connect");
    flag(cl.noReconnect, "--no-reconnect");
    flag(cl.headless, "--headless");
    text(cl.presets.serialPort, "--serial");
    text(cl.presets.tcpHost, "--tcp");
    number(cl.presets.baudRate, "--baud");
    number(cl.presets.interval, "--interval");
    flag(cl.presets.autoLog, "--autolog");
    flag(cl.presets.statusLog, "--status-log");
    text(cl.presets.logFile, "--log");
    number(cl.srdaLimitMb, "--srda-limit-mb");
    const CertifyPresets &c = cl.certification;
    flag(c.certify, "--certify");
    if (c.scansOnly) {
        const bool on[] = {c.scansOnly->optimizeLaser, c.scansOnly->cavityTempScan,
                           c.scansOnly->refCellScan,   c.scansOnly->onPeak,
                           c.scansOnly->offPeak,       c.scansOnly->collectSettings};
        QStringList names;
        for (int i = 0; i < 6; ++i)
            if (on[i])
                names << QLatin1String(scanNames[i]);
        out << QStringLiteral("--scans=") + names.join(QLatin1Char(','));
    }
    number(c.onPeakHours, "--on-peak-hours");
    number(c.offPeakHours, "--off-peak-hours");
    if (c.paceMs > 0)
        out << QStringLiteral("--pace=") + QString::number(c.paceMs);
    text(cl.allan.file, "--allan");
    if (cl.allan.file && !cl.allan.column.isEmpty())
        out << QStringLiteral("--column=") + cl.allan.column;
    const char *const spacings[] = {"octave", "decade", "many"};
    if (cl.allan.file)
        out << QStringLiteral("--taus=") + QLatin1String(spacings[int(cl.allan.spacing)]);
    return out;
}

bool sameMeaning(const CommandLine &a, const CommandLine &b)
{
    const SettingsPresets &p = a.presets, &q = b.presets;
    const CertifyPresets &c = a.certification, &d = b.certification;
    return a.demo == b.demo && a.connect == b.connect && a.noReconnect == b.noReconnect &&
           a.headless == b.headless && p.serialPort == q.serialPort && p.tcpHost == q.tcpHost &&
           p.baudRate == q.baudRate && p.interval == q.interval && p.autoLog == q.autoLog &&
           p.statusLog == q.statusLog && p.logFile == q.logFile && a.srdaLimitMb == b.srdaLimitMb &&
           c.certify == d.certify && c.scansOnly == d.scansOnly && c.onPeakHours == d.onPeakHours &&
           c.offPeakHours == d.offPeakHours && c.paceMs == d.paceMs &&
           a.allan.file == b.allan.file && a.allan.column == b.allan.column &&
           a.allan.spacing == b.allan.spacing;
}

bool inRange(const std::optional<int> &v, int low, int high)
{
    return !v || (*v >= low && *v <= high);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    app = new QCoreApplication(*argc, *argv);
    QCoreApplication::setApplicationName(QStringLiteral("Telvar"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QStringList arguments{QStringLiteral("telvar")};
    if (size > 0) {
        const QByteArray all(reinterpret_cast<const char *>(data), int(size));
        for (const QByteArray &a : all.split('\0'))
            arguments << QString::fromUtf8(a);
    }
    CommandLine cl;
    const CommandLine::Result result = cl.parse(arguments);
    if (result != CommandLine::Run) {
        // Help, version and every refusal say something, a whole line.
        FUZZ_CHECK(cl.message().endsWith(QLatin1Char('\n')) && cl.message().size() > 1);
        return 0;
    }
    FUZZ_CHECK(cl.message().isEmpty());
    FUZZ_CHECK(!(cl.presets.serialPort && cl.presets.tcpHost));
    FUZZ_CHECK(inRange(cl.srdaLimitMb, 1, std::numeric_limits<int>::max()));
    FUZZ_CHECK(inRange(cl.certification.onPeakHours, 1, 24));
    FUZZ_CHECK(inRange(cl.certification.offPeakHours, 1, 24));
    FUZZ_CHECK(cl.certification.paceMs >= 0 && cl.certification.paceMs <= 1000);

    CommandLine again;
    FUZZ_CHECK(again.parse(canonical(cl)) == CommandLine::Run);
    FUZZ_CHECK(sameMeaning(cl, again));
    return 0;
}
