#include "support/testsupport.h"

#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <unistd.h>

namespace {
// Tests run under CTest get a HOME of their own. Run by hand, a test must not
// touch the real home folder or settings store either: give it a fresh one
// before anything reads the environment, and no session bus: nothing a test
// does may show on the desktop.
const bool homeIsolated = [] {
    if (!qEnvironmentVariableIsSet("TELVAR_TEST_HOME")) {
        const QByteArray home =
            QDir::tempPath().toLocal8Bit() + "/telvar-test-home-" + QByteArray::number(getpid());
        qputenv("HOME", home);
        qputenv("XDG_CONFIG_HOME", home + "/.config");
        qputenv("XDG_DATA_HOME", home + "/.local/share");
        qputenv("XDG_RUNTIME_DIR", home + "/run");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home + "/no-bus");
    }
    // Qt expects a private runtime folder.
    const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    QDir().mkpath(runtime);
    return QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
}();
} // namespace

int ScriptedDialogs::message(const Message &m)
{
    messages.append(m);
    if (whileOpen)
        whileOpen(m);
    if (!answers.isEmpty())
        return answers.takeFirst();
    return defaultAnswer(m);
}

QString ScriptedDialogs::saveFileName(const FileRequest &r)
{
    fileAsks.append(r);
    if (r.selectedFilter && !filterAnswers.isEmpty())
        *r.selectedFilter = filterAnswers.takeFirst();
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

QString ScriptedDialogs::openFileName(const FileRequest &r)
{
    return saveFileName(r);
}

QStringList ScriptedDialogs::openFileNames(const FileRequest &r)
{
    fileAsks.append(r);
    QStringList out;
    while (!fileAnswers.isEmpty())
        out << fileAnswers.takeFirst();
    return out;
}

int ScriptedDialogs::exec(QDialog &dialog)
{
    dialogTitles.append(dialog.windowTitle());
    return onDialog ? onDialog(dialog) : int(QDialog::Rejected);
}

int ScriptedDialogs::count(const QString &title) const
{
    int n = 0;
    for (const auto &m : messages)
        n += m.title == title;
    return n;
}

QStringList ScriptedDialogs::titles() const
{
    QStringList out;
    for (const auto &m : messages)
        out << m.title;
    return out;
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qSleep(1);
    }
    return true;
}

QString testHome()
{
    const QString home = QDir::homePath();
    QDir().mkpath(home);
    return home;
}
