#include "common/buildinfo.h"

#include "buildcommit.h" // generated at every build

QString BuildInfo::version()
{
    return QStringLiteral(TELVAR_VERSION);
}

QString BuildInfo::commit()
{
    return QStringLiteral(TELVAR_COMMIT);
}

QString BuildInfo::versionLine()
{
    return QStringLiteral("Telvar ") + version() + QStringLiteral(" (commit ") + commit() +
           QLatin1Char(')');
}
