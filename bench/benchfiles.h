#pragma once

#include <QString>
#include <QtGlobal>

// What the analysis benches share.

// A field of /proc/self/status ("VmRSS:", "VmHWM:"), in kB; -1 where there is none.
qint64 statusKb(const char *field);
// Starts a new peak of resident memory from what is resident now (Linux).
void resetPeakMemory();
// A trend file of `rows` rows as the trend log writes them, a second apart
// from 2025-01-31 00:00, the concentration 0.2 to 0.3 from a fixed seed.
void writeTrendFile(const QString &path, int rows);
