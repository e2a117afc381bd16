#include "plot/numbertext.h"

#include <charconv>
#include <cmath>

void appendNumberText(QByteArray &out, double value)
{
    if (std::isnan(value))
        return;
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
