#pragma once

#include "dashboard/statusrecord.h"

#include <QDateTime>
#include <QString>

// One trend row as the station hands it out: its time, its text as written to
// the trend file, and the record it was made of.
struct TrendRow
{
    QDateTime time;
    QString text;
    StatusRecord record;
};
