#pragma once

#include <QByteArray>

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
