#pragma once

#include <QByteArray>
#include <QString>

// The analyzer identifies itself by its serial number: a reply of exactly four
// characters and "\r\n", or the bare "0\r\n" of an analyzer without one.
// Returns the serial (read as ASCII up to a zero byte), or a null string for
// any other chunk, which is dropped before identification.
inline QString serialFromReply(const QByteArray &chunk)
{
    if (chunk == "0\r\n")
        return QStringLiteral("0");
    if (chunk.size() != 6)
        return QString();
    const QByteArray serial = chunk.left(4);
    const int zero = serial.indexOf('\0');
    const QString text = QString::fromLatin1(zero < 0 ? serial : serial.left(zero));
    return text.isNull() ? QStringLiteral("") : text; // a serial of zero bytes still identifies
}
