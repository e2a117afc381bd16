#include "console/logger.h"

#include <QFile>

bool Logger::log(QByteArray bytesToWrite, QString filename)
{
    QFile f(filename);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return f.write(bytesToWrite) == bytesToWrite.size();
}
