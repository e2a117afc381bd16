#include "support/testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

namespace {
// Each test run has its own HOME; give it the private runtime folder Qt expects.
const bool runtimeDirReady = [] {
    const QByteArray dir = qgetenv("XDG_RUNTIME_DIR");
    if (dir.isEmpty())
        return false;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    return QFile::setPermissions(QString::fromLocal8Bit(dir), QFileDevice::ReadOwner |
                                                                  QFileDevice::WriteOwner |
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
    if (m.buttons == NoButton)
        return NoButton;
    if (m.defaultButton != NoButton)
        return m.defaultButton;
    return m.buttons & Ok ? int(Ok) : m.buttons;
}

QString ScriptedDialogs::saveFileName(const FileRequest &r)
{
    fileAsks.append(r);
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
