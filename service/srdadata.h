#pragma once

#include <QStringList>
#include <QVector>

// The data of one SRDA collection: the column names from the header line and
// one series per column (series 0 holds the row times in ms since the epoch).
// Plain, so the reply parser fills it without knowing the tab.
struct SrdaData
{
    QStringList columns;
    int columnCount = 0;
    QVector<QVector<double>> series;
};
