#pragma once

#include <QLoggingCategory>

// The program's diagnostic traces. Off by default, so that a station's journal
// holds only what the operator is told; QT_LOGGING_RULES="telvar.debug=true"
// turns them on.
Q_DECLARE_LOGGING_CATEGORY(telvarDebug)
