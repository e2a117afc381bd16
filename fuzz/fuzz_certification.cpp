// The performance verification's reply handling, driven through whole runs on
// a clock the input moves: ticks, replies (acknowledgements, scan positions,
// downloads with or without their end marker, ring-down rows, any text),
// download timeouts, Cancel, new starts and serial numbers, in any order. The
// state must stay one of its codes, every run must end once, and every file
// must be a plainly named file in the run's folder.
//
// Input: [scans: bits 0..5 the six scans, bit 6 no command file]
// [on-peak hours] [off-peak hours] then operations, one byte each (low three
// bits), some followed by their argument:
//   0 tick   1 n bytes: a reply of n bytes   2 k: a reply from the table
//   3 m: m * 5 minutes pass   4 download timeout   5 Cancel
//   6 Collect Certification Data   7 n bytes: a serial number of n bytes
#include "certification/certificationsequence.h"
#include "common/clock.h"
#include "common/commandsequence.h"
#include "common/dialogs.h"
#include "fuzz/fuzzcheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace {

// Time moves only when a burst is played or the input says so.
class FuzzClock : public Clock
{
public:
    QDateTime now() const override { return start.addMSecs(mono); }
    qint64 monotonicMs() const override { return mono; }
    const QDateTime start = QDateTime(QDate(2021, 12, 31), QTime(23, 40));
    qint64 mono = 0;
};

// Nobody to answer: every box takes its default button.
class NoOperator : public Dialogs
{
public:
    int message(const Message &m) override { return defaultAnswer(m); }
    QString saveFileName(const FileRequest &) override { return QString(); }
    QString openFileName(const FileRequest &) override { return QString(); }
    QStringList openFileNames(const FileRequest &) override { return {}; }
};

const char *const cannedReplies[] = {
    "1\r\n",
    "5\r\n",
    "0\r\n",
    "10\r\n",
    "7.5\r\n",
    "35.000\r\n",
    "35.0000\r\n",
    "5.000 0.11\r\n20.000 0.5\r\n35.000 0.13\r\n",
    "5.0000 0.11\r\n35.0000 0.13\r\n",
    "Date/Time\tRingdown\r\n2021-12-28 17:50:00\t1\t99.9\r\n",
    "fact=1\r\n",
    "opmode=5\r\n",
    "\r\n",
    "5.10\r\n",
};
constexpr int cannedCount = int(sizeof(cannedReplies) / sizeof(cannedReplies[0]));

bool validStep(int step)
{
    return (step >= 0 && step <= 8) || step == 12 || step == 13;
}

bool plainName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (QChar c : name) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                           c == QLatin1Char('_') || c == QLatin1Char('-') || c == QLatin1Char('.');
        if (!plain)
            return false;
    }
    return true;
}

std::unique_ptr<QTemporaryDir> home;
QCoreApplication *app = nullptr; // kept to the end, as Qt wants
FuzzClock *fuzzClock = nullptr;
NoOperator *noOperator = nullptr;
QString runFolder;
QString commandFile;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    // Month names in file names as the program's default locale writes them.
    QLocale::setDefault(QLocale::c());
    // The sequence makes its data folder under HOME: one of our own.
    home = std::make_unique<QTemporaryDir>();
    qputenv("HOME", home->path().toLocal8Bit());
    app = new QCoreApplication(*argc, *argv);
    // A burst's paced seconds take a millisecond each; the clock counts them as seconds.
    CommandSequence::setSecondMs(1);
    fuzzClock = new FuzzClock;
    Clock::install(fuzzClock);
    noOperator = new NoOperator;
    Dialogs::install(noOperator);
    runFolder = home->filePath(QStringLiteral("runs"));
    commandFile = home->filePath(QStringLiteral("Get_Factory_Settings.txt"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    QDir(runFolder).removeRecursively();
    QFile::remove(commandFile);
    if (!(data[0] & 0x40)) {
        QFile f(commandFile);
        if (f.open(QIODevice::WriteOnly))
            f.write("sver\ncalfactor\n");
    }
    fuzzClock->mono = 0;

    CertScans scans;
    scans.optimizeLaser = data[0] & 0x01;
    scans.cavityTempScan = data[0] & 0x02;
    scans.refCellScan = data[0] & 0x04;
    scans.onPeak = data[0] & 0x08;
    scans.offPeak = data[0] & 0x10;
    scans.collectSettings = data[0] & 0x20;
    scans.onPeakHours = 1 + data[1] % 24;
    scans.offPeakHours = 1 + data[2] % 24;

    CertificationSequence seq;
    seq.setFolder(runFolder);
    seq.settingsCommandFile = commandFile;
    seq.setScans(scans);

    int sent = 0;
    // Each paced second of a burst ends in a command: one second passes per command.
    const auto playBursts = [&] {
        while (seq.bursts().isRunning()) {
            const int before = sent;
            fuzzClock->mono += 1000;
            while (seq.bursts().isRunning() && sent == before)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    };
    bool runOpen = false;
    QObject::connect(&seq, &CertificationSequence::certifying, [&](bool on) {
        if (on)
            runOpen = true;
    });
    QObject::connect(&seq, &CertificationSequence::finished, [&](bool, const QString &) {
        // Once per run, and only for a run that started.
        FUZZ_CHECK(runOpen);
        runOpen = false;
    });
    QObject::connect(&seq, &CertificationSequence::lineforOrin, [&](const QString &text) {
        FUZZ_CHECK(text.endsWith(QLatin1String("\r\n")));
        ++sent;
    });
    QObject::connect(&seq, &CertificationSequence::stepChanged,
                     [](int step) { FUZZ_CHECK(validStep(step)); });

    size_t at = 3;
    const auto text = [&](size_t length) {
        length = std::min(length, size - at);
        const QString t =
            QString::fromLatin1(reinterpret_cast<const char *>(data + at), int(length));
        at += length;
        return t;
    };
    while (at < size) {
        const uint8_t op = data[at++] & 7;
        const uint8_t arg = at < size ? data[at] : 0;
        switch (op) {
        case 0:
            seq.queryProgress();
            break;
        case 1:
            ++at;
            seq.linefromOrin(text(arg));
            break;
        case 2:
            ++at;
            seq.linefromOrin(QLatin1String(cannedReplies[arg % cannedCount]));
            break;
        case 3:
            ++at;
            fuzzClock->mono += qint64(arg) * 5 * 60 * 1000;
            break;
        case 4:
            seq.timedOut();
            break;
        case 5:
            seq.cancel();
            break;
        case 6:
            seq.certify();
            seq.tickTimer().stop(); // ticks come from the input
            break;
        default:
            ++at;
            seq.setSSNID(text(arg));
            FUZZ_CHECK(plainName(seq.ssnid()) || seq.ssnid().isEmpty());
            break;
        }
        playBursts();
        QCoreApplication::processEvents();
        FUZZ_CHECK(validStep(seq.currentStep()));
        const int phase = seq.currentPhase();
        FUZZ_CHECK(phase == 0 || phase == 1 || phase == 5);
        FUZZ_CHECK(phase != 5 || seq.currentStep() == CertificationSequence::OptimizeLaser);
        FUZZ_CHECK(seq.runActive() == (seq.currentStep() != 0 && seq.currentStep() != 8));
    }

    // Whatever arrived, the run's files are plainly named files of its folder.
    const QFileInfoList entries =
        QDir(runFolder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        FUZZ_CHECK(entry.isFile() && !entry.isSymLink());
        FUZZ_CHECK(plainName(entry.fileName()));
    }
    seq.cancel();
    playBursts();
    FUZZ_CHECK(seq.currentStep() == 0 && !runOpen);
    return 0;
}
