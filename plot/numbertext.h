#pragma once

#include <QByteArray>

// The shortest decimal text that reads back as exactly the same double
// ("0.1", "1e-07", "12345.678"), for every CSV the program exports. NaN is
// written as "nan", infinities as "inf" and "-inf".
QByteArray numberText(double value);
// The same, appended to `out` without a temporary array.
void appendNumberText(QByteArray &out, double value);
