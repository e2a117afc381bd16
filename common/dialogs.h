#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QDialog;
class QUrl;
class QWidget;

// The one way the program asks the operator anything: message boxes and file
// choosers. The program runs with the real dialogs; tests install a scripted
// answerer, so no test ever waits on a modal box.
class Dialogs
{
public:
    // Values match QMessageBox::StandardButton, so the real dialogs pass them through.
    enum Button : int
    {
        NoButton = 0x00000000,
        Ok = 0x00000400,
        Yes = 0x00004000,
        No = 0x00010000,
        Cancel = 0x00400000,
        Close = 0x00200000,
    };
    enum class Icon
    {
        None,
        Information,
        Warning,
        Critical,
        Question
    };

    struct Message
    {
        Icon icon = Icon::None;
        QString title;
        QString text;
        QString informativeText;
        int buttons = Ok; // OR of Button values; NoButton leaves only the OK the toolkit adds
        int defaultButton = NoButton;
        QString iconResource;      // a picture in place of the standard icon, e.g. ":/images/..."
        QWidget *parent = nullptr; // none: a box of its own
    };

    struct FileRequest
    {
        QString title;
        QString startPath;
        QString filter;
        bool confirmOverwrite = true;
        QWidget *parent = nullptr;
        // Gets the filter the operator chose, where the caller needs it.
        QString *selectedFilter = nullptr;
    };

    virtual ~Dialogs() = default;

    // Shows the box modally and returns the button pressed (NoButton when closed otherwise).
    virtual int message(const Message &m) = 0;
    // Return an empty text when the operator cancels.
    virtual QString saveFileName(const FileRequest &r) = 0;
    virtual QString openFileName(const FileRequest &r) = 0;
    virtual QStringList openFileNames(const FileRequest &r) = 0;
    // Hands a folder or document to the desktop (file browser, PDF viewer).
    virtual bool openUrl(const QUrl &url);
    // Runs a dialog the program built itself (axis ranges, level lines)
    // modally; returns QDialog::Accepted or QDialog::Rejected.
    virtual int exec(QDialog &dialog);

    static Dialogs &instance();
    // Replaces the dialogs in use (not owned); nullptr restores the real ones.
    static void install(Dialogs *dialogs);
    // For a run with no window: every box becomes one time-stamped line on
    // standard error and is answered with its default button; file choosers
    // are cancelled.
    static void installHeadless();
    // The line a box becomes without a window (without the line end).
    static QString headlessLine(const Message &m);
    // The button a box is answered with when nobody can press one.
    static int defaultAnswer(const Message &m);

    // Shows the box once the code that asked for it has returned to the event
    // loop. For whatever reading, parsing or routing replies, or a link's or a
    // file's signal, wants to say: a modal box there would run its own event
    // loop and handle the next reply before this one is done. Posted boxes
    // appear one at a time, in order; `answered` gets the button pressed.
    static void post(const Message &m, std::function<void(int)> answered = nullptr);
    // The same for a box that only tells something, with OK.
    static void post(Icon icon, const QString &title, const QString &text,
                     QWidget *parent = nullptr);
    // Boxes posted and not yet shown or still open.
    static int pendingPosts();

    // Shorthands for the common boxes.
    static int information(const QString &title, const QString &text, QWidget *parent = nullptr);
    static int critical(const QString &title, const QString &text, QWidget *parent = nullptr);
    static int question(const QString &title, const QString &text, int buttons, int defaultButton,
                        QWidget *parent = nullptr);
};
