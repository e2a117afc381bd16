#include "console/console.h"

Console::Console(QWidget *parent) : QPlainTextEdit(parent)
{
    document()->setMaximumBlockCount(100);
}

void Console::appendData(const QByteArray &data)
{
    const int zero = data.indexOf('\0');
    insertPlainText(QString::fromLatin1(zero < 0 ? data : data.left(zero)));
}
