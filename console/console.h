#pragma once

#include <QByteArray>
#include <QPlainTextEdit>
#include <QString>

class QTimer;

// Terminal pane: shows the conversation with the analyzer and turns key presses
// into signals; it never sends anything itself. Received text is collected and
// inserted in batches, so a busy link costs one repaint per batch, not per chunk.
// Only what stays on screen is laid out: of a batch, the lines that the newest
// maxLines keep; while hidden, nothing, until it is shown again.
class Console : public QPlainTextEdit
{
    Q_OBJECT
public:
    static constexpr int maxLines = 100;
    static constexpr int flushDelayMs = 30;

    explicit Console(QWidget *parent = nullptr);

    // Shows bytes up to the first zero byte as Latin-1 at the cursor, no line break added.
    void appendData(const QByteArray &data);
    // A line of the program's own (not from the analyzer), in order with the traffic.
    void appendText(const QString &text);
    void setLocalEcho(bool on) { localEcho = on; }
    bool localEchoEnabled() const { return localEcho; }

    // Inserts the text still waiting for the next batch now.
    void flush();
    // Clears the screen, including text that has arrived but is not shown yet.
    void clear();

signals:
    void getData(QByteArray data);
    void consoleBackspace();
    void consoleEnter();

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    void echoKey(QKeyEvent *e);
    void dropUnseenLines();

    bool localEcho = false;
    QString pending;
    // The waiting text alone fills the screen: what is shown now goes.
    bool replaceShown = false;
    QTimer *flushTimer;
};
