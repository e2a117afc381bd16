#include "common/dialogs.h"

#include "common/clock.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QTimer>

#include <cstdio>
#include <deque>
#include <utility>

namespace {

class RealDialogs : public Dialogs
{
public:
    int message(const Message &m) override
    {
        QMessageBox box(m.parent);
        switch (m.icon) {
        case Icon::None:
            break;
        case Icon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case Icon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case Icon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case Icon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        }
        if (!m.iconResource.isEmpty())
            box.setIconPixmap(QPixmap(m.iconResource));
        box.setWindowTitle(m.title);
        box.setText(m.text);
        if (!m.informativeText.isEmpty())
            box.setInformativeText(m.informativeText);
        // A box asked for without buttons still gets the OK that QMessageBox adds
        // by itself; without any button it could never be closed.
        if (m.buttons != NoButton)
            box.setStandardButtons(QMessageBox::StandardButtons(m.buttons));
        if (m.defaultButton != NoButton)
            box.setDefaultButton(QMessageBox::StandardButton(m.defaultButton));
        const int result = box.exec();
        return m.buttons == NoButton ? int(NoButton) : result;
    }

    QString saveFileName(const FileRequest &r) override
    {
        QFileDialog::Options options;
        if (!r.confirmOverwrite)
            options |= QFileDialog::DontConfirmOverwrite;
        return QFileDialog::getSaveFileName(r.parent, r.title, r.startPath, r.filter,
                                            r.selectedFilter, options);
    }

    QString openFileName(const FileRequest &r) override
    {
        return QFileDialog::getOpenFileName(r.parent, r.title, r.startPath, r.filter);
    }

    QStringList openFileNames(const FileRequest &r) override
    {
        return QFileDialog::getOpenFileNames(r.parent, r.title, r.startPath, r.filter);
    }
};

class HeadlessDialogs : public Dialogs
{
public:
    int message(const Message &m) override
    {
        const QByteArray line = headlessLine(m).toLocal8Bit() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
        return defaultAnswer(m);
    }
    QString saveFileName(const FileRequest &) override { return QString(); }
    QString openFileName(const FileRequest &) override { return QString(); }
    QStringList openFileNames(const FileRequest &) override { return QStringList(); }
    bool openUrl(const QUrl &) override { return false; }
};

RealDialogs realDialogs;
HeadlessDialogs headlessDialogs;
Dialogs *current = &realDialogs;

struct PostedBox
{
    Dialogs::Message message;
    QPointer<QWidget> parent; // a window closed meanwhile leaves the box on its own
    std::function<void(int)> answered;
};
std::deque<PostedBox> posted;
bool postedOpen = false;
bool postedScheduled = false;

void showPosted()
{
    postedScheduled = false;
    if (postedOpen || posted.empty())
        return;
    postedOpen = true;
    auto next = std::move(posted.front());
    posted.pop_front();
    next.message.parent = next.parent.data();
    const int answer = Dialogs::instance().message(next.message);
    postedOpen = false;
    if (next.answered)
        next.answered(answer);
    if (!posted.empty() && !postedScheduled) {
        postedScheduled = true;
        QTimer::singleShot(0, &showPosted);
    }
}

} // namespace

bool Dialogs::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

int Dialogs::exec(QDialog &dialog)
{
    return dialog.exec();
}

void Dialogs::post(const Message &m, std::function<void(int)> answered)
{
    posted.push_back(PostedBox{m, QPointer<QWidget>(m.parent), std::move(answered)});
    if (!postedOpen && !postedScheduled) {
        postedScheduled = true;
        QTimer::singleShot(0, &showPosted);
    }
}

void Dialogs::post(Icon icon, const QString &title, const QString &text, QWidget *parent)
{
    Message m;
    m.icon = icon;
    m.title = title;
    m.text = text;
    m.parent = parent;
    post(m);
}

void Dialogs::installHeadless()
{
    install(&headlessDialogs);
}

QString Dialogs::headlessLine(const Message &m)
{
    QString text = m.text;
    if (!m.informativeText.isEmpty())
        text += QLatin1Char(' ') + m.informativeText;
    // One line per message, whatever the box's own layout.
    text = text.simplified();
    QString line = Clock::current().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss "));
    if (!m.title.isEmpty())
        line += m.title + QStringLiteral(": ");
    return line + text;
}

int Dialogs::defaultAnswer(const Message &m)
{
    if (m.buttons == NoButton)
        return NoButton;
    if (m.defaultButton != NoButton)
        return m.defaultButton;
    if (m.buttons & Ok)
        return Ok;
    // The lowest button given, as the toolkit orders its standard buttons.
    return m.buttons & -m.buttons;
}

int Dialogs::pendingPosts()
{
    return int(posted.size()) + (postedOpen ? 1 : 0);
}

Dialogs &Dialogs::instance()
{
    return *current;
}

void Dialogs::install(Dialogs *dialogs)
{
    current = dialogs ? dialogs : &realDialogs;
}

int Dialogs::information(const QString &title, const QString &text, QWidget *parent)
{
    Message m;
    m.icon = Icon::Information;
    m.title = title;
    m.text = text;
    m.parent = parent;
    return instance().message(m);
}

int Dialogs::critical(const QString &title, const QString &text, QWidget *parent)
{
    Message m;
    m.icon = Icon::Critical;
    m.title = title;
    m.text = text;
    m.parent = parent;
    return instance().message(m);
}

int Dialogs::question(const QString &title, const QString &text, int buttons, int defaultButton,
                      QWidget *parent)
{
    Message m;
    m.icon = Icon::Question;
    m.title = title;
    m.text = text;
    m.buttons = buttons;
    m.defaultButton = defaultButton;
    m.parent = parent;
    return instance().message(m);
}
