#pragma once

#include <QByteArray>

// The bytes up to the first zero byte: what goes to the analyzer and the
// console never carries a NUL.
inline QByteArray upToZero(const QByteArray &bytes)
{
    const int zero = bytes.indexOf('\0');
    return zero < 0 ? bytes : bytes.left(zero);
}

// Cuts the received byte stream into chunks of whole lines. A chunk ends at
// the last line feed of what has arrived so far and may hold several lines;
// the rest waits for its line feed. A runaway stream without line feeds is
// dropped once it passes `cap` bytes, so memory stays bounded.
class LineCutter
{
public:
    static constexpr int cap = 550;

    // Returns the chunk up to and including the last '\n', or an empty array.
    QByteArray feed(const QByteArray &bytes);
    QByteArray pending() const { return buffer; }
    void clear() { buffer.clear(); }

private:
    QByteArray buffer;
};
