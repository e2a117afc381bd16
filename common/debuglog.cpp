#include "common/debuglog.h"

// Named "telvar": the rule "telvar.debug=true" reads as the debug level of it.
Q_LOGGING_CATEGORY(telvarDebug, "telvar", QtInfoMsg)
