#include "console/console.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>

namespace {
// Beyond this much waiting text the older lines are dropped from it, so a
// hidden console (or a stalled timer) keeps a bounded backlog.
constexpr int maxPending = 64 * 1024;

// Where the newest `lines` lines of `text` begin (the last one may be empty,
// after a final line break); -1 when it holds no more than that.
int startOfNewest(const QString &text, int lines)
{
    int breaks = 0;
    for (int i = text.size() - 1; i >= 0; --i)
        if (text.at(i) == QLatin1Char('\n') && ++breaks == lines)
            return i + 1;
    return -1;
}
} // namespace

Console::Console(QWidget *parent) : QPlainTextEdit(parent), flushTimer(new QTimer(this))
{
    document()->setMaximumBlockCount(maxLines);
    setAcceptDrops(false);
    flushTimer->setSingleShot(true);
    flushTimer->setInterval(flushDelayMs);
    connect(flushTimer, &QTimer::timeout, this, &Console::flush);
}

void Console::appendData(const QByteArray &data)
{
    const int zero = data.indexOf('\0');
    appendText(QString::fromLatin1(zero < 0 ? data : data.left(zero)));
}

void Console::appendText(const QString &text)
{
    pending += text;
    if (pending.size() >= maxPending)
        dropUnseenLines();
    // Hidden, nothing is laid out: the lines wait until the console is shown.
    if (!pending.isEmpty() && isVisible() && !flushTimer->isActive())
        flushTimer->start();
}

void Console::dropUnseenLines()
{
    // Lines that would be pushed out of the newest maxLines by the lines after
    // them never reach the screen: cut them here, before any layout.
    const int keepFrom = startOfNewest(pending, maxLines);
    if (keepFrom > 0) {
        pending.remove(0, keepFrom);
        replaceShown = true;
    }
}

void Console::flush()
{
    flushTimer->stop();
    dropUnseenLines();
    if (pending.isEmpty())
        return;
    if (replaceShown)
        QPlainTextEdit::clear(); // all of it is older than the newest maxLines
    replaceShown = false;
    insertPlainText(pending);
    pending.clear();
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

void Console::showEvent(QShowEvent *e)
{
    QPlainTextEdit::showEvent(e);
    flush();
}

void Console::clear()
{
    flushTimer->stop();
    pending.clear();
    replaceShown = false;
    QPlainTextEdit::clear();
}

void Console::echoKey(QKeyEvent *e)
{
    if (!localEcho)
        return;
    // Received text that is still waiting goes first, so the echo lands after it.
    flush();
    QPlainTextEdit::keyPressEvent(e);
}

void Console::keyPressEvent(QKeyEvent *e)
{
    switch (e->key()) {
    case Qt::Key_Backspace:
        echoKey(e);
        emit consoleBackspace();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        echoKey(e);
        emit getData(e->text().toLocal8Bit());
        emit consoleEnter();
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        break;
    default:
        echoKey(e);
        emit getData(e->text().toLocal8Bit());
        break;
    }
}

// The mouse only gives focus: the cursor stays where typed and received text go.
void Console::mousePressEvent(QMouseEvent *e)
{
    Q_UNUSED(e)
    setFocus(Qt::MouseFocusReason);
}

// Swallowed too, or a middle-button release would paste the selection.
void Console::mouseReleaseEvent(QMouseEvent *e)
{
    Q_UNUSED(e)
}

void Console::mouseMoveEvent(QMouseEvent *e)
{
    Q_UNUSED(e)
}

void Console::mouseDoubleClickEvent(QMouseEvent *e)
{
    Q_UNUSED(e)
}

void Console::contextMenuEvent(QContextMenuEvent *e)
{
    Q_UNUSED(e)
}
