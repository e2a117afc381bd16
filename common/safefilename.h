#pragma once

#include <QString>

// Letters, digits, '-' and '_' stay; anything else (path separators, dots,
// control characters) becomes '_', so a name built from it stays in its folder.
// For what the analyzer sends that ends up in file names (its serial number).
QString safeFileNamePart(const QString &text);
