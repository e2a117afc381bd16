// A command file sent by the Service Diagnostics tab's sender, whatever the
// file holds: each line must go out exactly as stored (up to a NUL), one a
// period, in order, with nothing after Cancel and one "finished" at the end.
//
// Input: [Cancel after line k, 0 = never] then the file.
#include "fuzz/fuzzcheck.h"
#include "service/commandfilesender.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdint>

namespace {

QCoreApplication *app = nullptr; // kept to the end, as Qt wants

// The lines as stored: each up to and including its line feed.
QList<QByteArray> storedLines(const QByteArray &file)
{
    QList<QByteArray> out;
    int start = 0;
    while (start < file.size()) {
        const int feed = file.indexOf('\n', start);
        const int end = feed < 0 ? file.size() : feed + 1;
        out << file.mid(start, end - start);
        start = end;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    app = new QCoreApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int cancelAfter = data[0];
    QByteArray file(reinterpret_cast<const char *>(data + 1), int(size - 1));
    QBuffer device(&file);
    device.open(QIODevice::ReadOnly);

    CommandFileSender sender;
    QStringList sent;
    int finished = 0;
    QObject::connect(&sender, &CommandFileSender::lineReady, [&](const QString &line) {
        FUZZ_CHECK(finished == 0);
        sent << line;
        if (sent.size() == cancelAfter)
            sender.cancel();
    });
    QObject::connect(&sender, &CommandFileSender::finished, [&] { ++finished; });
    sender.start(&device, 0);
    FUZZ_CHECK(sender.isSending());
    // One line a timer period; the file ends or is cancelled within a few more.
    const QList<QByteArray> lines = storedLines(file);
    for (int spins = 0; sender.isSending(); ++spins) {
        FUZZ_CHECK(spins <= lines.size() + 2);
        QCoreApplication::processEvents();
    }

    const bool cancelled = cancelAfter > 0 && cancelAfter <= lines.size();
    FUZZ_CHECK(sent.size() == (cancelled ? cancelAfter : lines.size()));
    FUZZ_CHECK(finished == (cancelled ? 0 : 1));
    for (int i = 0; i < sent.size(); ++i) {
        QByteArray expected = lines.at(i);
        const int zero = expected.indexOf('\0');
        if (zero >= 0)
            expected.truncate(zero);
        FUZZ_CHECK(sent.at(i) == QString::fromLatin1(expected));
    }
    // The sender closes the device it was given, at the end or on Cancel.
    FUZZ_CHECK(!device.isOpen());
    return 0;
}
