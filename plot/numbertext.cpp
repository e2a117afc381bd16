#include "plot/numbertext.h"

#include <charconv>
#include <cmath>

void appendNumberText(QByteArray &out, double value)
{
    // As a text stream writes it, and as the exports promise.
    if (std::isnan(value)) {
        out.append("nan", 3);
        return;
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, int(result.ptr - buffer));
}

QByteArray numberText(double value)
{
    QByteArray out;
    appendNumberText(out, value);
    return out;
}
