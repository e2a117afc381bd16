#pragma once

#include <QString>

// What this build of the program is, as --version and the About box say it.
namespace BuildInfo {
// "1.3.1"
QString version();
// The short hash of the commit built from, with "-dirty" for uncommitted
// changes, or "unknown" for a source without its history.
QString commit();
// "Telvar 1.3.1 (commit 0123456789ab)"
QString versionLine();
} // namespace BuildInfo
