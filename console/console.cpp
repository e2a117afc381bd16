#include "console/console.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>

namespace {
// Beyond this much waiting text a batch goes out at once, so a stalled timer
// cannot let the backlog grow without bound.
constexpr int maxPending = 64 * 1024;
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
    pending += QString::fromLatin1(zero < 0 ? data : data.left(zero));
    if (pending.size() >= maxPending)
        flush();
    else if (!pending.isEmpty() && !flushTimer->isActive())
        flushTimer->start();
}

void Console::appendText(const QString &text)
{
    pending += text;
    if (pending.size() >= maxPending)
        flush();
    else if (!pending.isEmpty() && !flushTimer->isActive())
        flushTimer->start();
}

void Console::flush()
{
    flushTimer->stop();
    if (pending.isEmpty())
        return;
    insertPlainText(pending);
    pending.clear();
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

void Console::clear()
{
    flushTimer->stop();
    pending.clear();
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
