// Runs one fuzz target over every file of the folders (or files) named on the
// command line, without libFuzzer. The ordinary build links this with each
// target, so the seed corpus keeps working as a plain test.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
// Only the targets that need a set-up define it.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) __attribute__((weak));

int main(int argc, char **argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);

    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        const QFileInfo info(path);
        if (info.isDir()) {
            const QDir dir(path);
            for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
                files.append(dir.filePath(name));
        } else if (info.isFile()) {
            files.append(path);
        } else {
            std::fprintf(stderr, "no such file or folder: %s\n", argv[i]);
            return 2;
        }
    }
    // An empty corpus would pass without testing anything.
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: %s <corpus folder or file>... (no inputs found)\n", argv[0]);
        return 2;
    }

    for (const QString &name : qAsConst(files)) {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(name));
            return 2;
        }
        const QByteArray input = file.readAll();
        // Each input gets a buffer of exactly its size (no trailing zero), so an
        // overread shows under the sanitizers as it would under libFuzzer.
        const std::unique_ptr<uint8_t[]> exact(new uint8_t[size_t(input.size())]);
        std::memcpy(exact.get(), input.constData(), size_t(input.size()));
        LLVMFuzzerTestOneInput(exact.get(), size_t(input.size()));
    }
    std::printf("%d inputs run\n", int(files.size()));
    return 0;
}
