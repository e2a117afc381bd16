#include "app/linecutter.h"

QByteArray LineCutter::feed(const QByteArray &bytes)
{
    const int lastFeed = bytes.lastIndexOf('\n');
    if (lastFeed < 0) {
        // No line end yet: keep collecting, but never beyond the cap. Checking
        // before the append keeps a flood from growing the buffer first.
        if (buffer.size() + bytes.size() > cap)
            buffer.clear();
        else
            buffer.append(bytes);
        return QByteArray();
    }

    // The usual read holds whole lines only: hand it on shared, without a copy.
    if (buffer.isEmpty() && lastFeed == bytes.size() - 1)
        return bytes;

    QByteArray chunk;
    chunk.reserve(buffer.size() + lastFeed + 1);
    chunk.append(buffer).append(bytes.constData(), lastFeed + 1);
    const int restSize = bytes.size() - lastFeed - 1;
    if (restSize > cap)
        buffer.clear();
    else
        buffer = bytes.right(restSize);
    return chunk;
}
