#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// What the analysis benches share.

// A field of /proc/self/status ("VmRSS:", "VmHWM:"), in kB; -1 where there is none.
qint64 statusKb(const char *field);
// Starts a new peak of resident memory from what is resident now (Linux).
void resetPeakMemory();
// A trend file of `rows` rows as the trend log writes them, a second apart
// from 2025-01-31 00:00; the concentration text of row i is concentration(i),
// by default 0.2 to 0.3 from a fixed seed.
void writeTrendFile(const QString &path, int rows,
                    std::function<QString(int)> concentration = nullptr);
// The longest time the event loop could not run a zero-interval timer while
// `work` ran inside it, in ms.
double longestGap(const std::function<void()> &work);
