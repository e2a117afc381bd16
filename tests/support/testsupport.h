#pragma once

#include "common/clock.h"
#include "common/dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QtTest>

// Answers every box and file chooser from a script and records what was asked.
// Unscripted boxes get their default button (or Ok), so no test ever blocks.
class ScriptedDialogs : public Dialogs
{
public:
    ScriptedDialogs() { Dialogs::install(this); }
    ~ScriptedDialogs() override { Dialogs::install(nullptr); }

    QList<Message> messages;     // every box shown, in order
    QList<FileRequest> fileAsks; // every file chooser opened, in order
    QList<int> answers;          // next answers to boxes, taken from the front
    QStringList fileAnswers;     // next file names, taken from the front ("" = cancel)
    QStringList filterAnswers;   // filters "chosen" in save dialogs that ask, from the front
    // Plays the operator in dialogs the program built (fill fields, press a
    // button): returns the dialog's result. Unset: every such dialog is cancelled.
    std::function<int(QDialog &)> onDialog;
    QStringList dialogTitles; // titles of those dialogs, in order
    // Called while a box is "open", to let a test act as the world goes on meanwhile.
    std::function<void(const Message &)> whileOpen;

    int message(const Message &m) override;
    QString saveFileName(const FileRequest &r) override;
    QString openFileName(const FileRequest &r) override;
    QStringList openFileNames(const FileRequest &r) override;
    QList<QUrl> openedUrls; // folders and documents handed to the desktop
    bool openUrl(const QUrl &url) override
    {
        openedUrls.append(url);
        return true;
    }

    int exec(QDialog &dialog) override;

    int count(const QString &title) const;
    QStringList titles() const;
};

// A clock the test sets by hand. Its monotonic time moves only with advance(),
// so hours pass in no time at all.
class FakeClock : public Clock
{
public:
    FakeClock() { Clock::install(this); }
    ~FakeClock() override { Clock::install(nullptr); }
    QDateTime now() const override { return t; }
    qint64 monotonicMs() const override { return mono; }
    void advance(qint64 ms) const
    {
        mono += ms;
        t = t.addMSecs(ms);
    }
    mutable QDateTime t = QDateTime(QDate(2025, 1, 31), QTime(12, 0, 0));
    mutable qint64 mono = 1000;
};

// Runs the event loop until `done` holds or timeoutMs passes; true when it held.
bool waitFor(const std::function<bool()> &done, int timeoutMs = 5000);

// The home folder of this test run (each CTest case has its own).
QString testHome();
