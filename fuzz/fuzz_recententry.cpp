// Loading a recent-connection entry: the text comes from the settings store,
// where anything may stand. The entry parser must split any text into safe
// parts, and the settings dialog must load any entry into its form.
//
// Input: the entry text as UTF-8.
#include "fuzz/fuzzcheck.h"
#include "link/recentconnections.h"
#include "link/settingsdialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidgetItem>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>

namespace {

std::unique_ptr<QTemporaryDir> home;
// Kept to the end on purpose: tearing down a QApplication from an exit handler
// crashes inside Qt.
QApplication *app = nullptr;
SettingsDialog *dialog = nullptr;
QComboBox *typeBox = nullptr;
QComboBox *baudBox = nullptr;
QLineEdit *ipBox = nullptr;

bool isSeparator(QChar c)
{
    return c == QLatin1Char(',') || c.isSpace();
}

bool isPart(const QString &part)
{
    if (part.isEmpty())
        return false;
    for (QChar c : part)
        if (isSeparator(c))
            return false;
    return true;
}

void checkParsed(const QString &text, const RecentConnections::ParsedEntry &entry)
{
    if (!entry.valid) {
        FUZZ_CHECK(entry.type.isEmpty() && entry.portOrIp.isEmpty() && entry.baud.isEmpty());
        return;
    }
    FUZZ_CHECK(isPart(entry.type) && isPart(entry.portOrIp));
    FUZZ_CHECK(entry.baud.isEmpty() || isPart(entry.baud));
    // The parts are pieces of the entry, in order.
    const int typeAt = text.indexOf(entry.type);
    FUZZ_CHECK(typeAt >= 0);
    FUZZ_CHECK(text.indexOf(entry.portOrIp, typeAt + entry.type.size()) >= 0);
}

// An entry the dialog writes reads back as what it was made from.
void checkRoundTrip(const QString &text)
{
    int half = text.size() / 2;
    // Not inside a surrogate pair: a lone half is no text the store could hold.
    if (half > 0 && text.at(half - 1).isHighSurrogate())
        ++half;
    const QString first = text.left(half), second = text.mid(half);
    if (!isPart(first) || !isPart(second))
        return;
    ConnectionSettings serial;
    serial.connectionType = QStringLiteral("Serial");
    serial.stringBaudRate = second;
    const auto s = RecentConnections::parse(RecentConnections::entryFor(serial, first));
    FUZZ_CHECK(s.valid && s.type == QLatin1String("Serial") && s.portOrIp == first &&
               s.baud == second);
    ConnectionSettings ethernet;
    ethernet.connectionType = QStringLiteral("Ethernet");
    ethernet.ipAddress = text;
    const auto e = RecentConnections::parse(RecentConnections::entryFor(ethernet, first));
    FUZZ_CHECK(e.valid && e.type == QLatin1String("Ethernet") && e.portOrIp == text &&
               e.baud.isEmpty());
}

void checkDialog(const QString &text, const RecentConnections::ParsedEntry &entry)
{
    const int typeBefore = typeBox->currentIndex();
    const QString ipBefore = ipBox->text();
    const QString baudBefore = baudBox->currentText();
    QListWidgetItem item(text);
    dialog->recentConnectionSelected(&item);

    if (entry.valid && entry.type == QLatin1String("Ethernet")) {
        FUZZ_CHECK(typeBox->currentIndex() == 1);
        FUZZ_CHECK(ipBox->text() == entry.portOrIp.left(ipBox->maxLength()));
        FUZZ_CHECK(baudBox->currentText() == baudBefore);
    } else if (entry.valid && entry.type == QLatin1String("Serial")) {
        FUZZ_CHECK(typeBox->currentIndex() == 0);
        FUZZ_CHECK(ipBox->text() == ipBefore);
        const bool listedRate =
            baudBox->findText(entry.baud, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0;
        FUZZ_CHECK(baudBox->currentText() == (listedRate ? entry.baud : baudBefore));
    } else {
        FUZZ_CHECK(typeBox->currentIndex() == typeBefore);
        FUZZ_CHECK(ipBox->text() == ipBefore);
        FUZZ_CHECK(baudBox->currentText() == baudBefore);
    }
    // The baud list is fixed whatever the entry says.
    FUZZ_CHECK(baudBox->count() == 5 && !baudBox->isEditable());
}

} // namespace

// Font set-up in the platform library keeps a few bytes to the end of the run.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig\n";
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    // The dialog writes the settings store: keep it in a folder of our own.
    home = std::make_unique<QTemporaryDir>();
    qputenv("HOME", home->path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home->path() + QStringLiteral("/.config")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", (home->path() + QStringLiteral("/run")).toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app = new QApplication(*argc, *argv);
    dialog = new SettingsDialog;
    typeBox = dialog->findChild<QComboBox *>(QStringLiteral("connectionTypeBox"));
    baudBox = dialog->findChild<QComboBox *>(QStringLiteral("baudRateBox"));
    ipBox = dialog->findChild<QLineEdit *>(QStringLiteral("ipAddressBox"));
    FUZZ_CHECK(typeBox && baudBox && ipBox);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const RecentConnections::ParsedEntry entry = RecentConnections::parse(text);
    checkParsed(text, entry);
    checkRoundTrip(text);
    checkDialog(text, entry);
    return 0;
}
