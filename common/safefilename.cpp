#include "common/safefilename.h"

QString safeFileNamePart(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        const ushort u = c.unicode();
        const bool safe = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                          (u >= '0' && u <= '9') || u == '-' || u == '_';
        if (!safe)
            c = QLatin1Char('_');
    }
    return out;
}
