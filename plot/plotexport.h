#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;
class SampleRing;

// The CSV of the plotted points and the file name of a plot picture.

// "Date&Time," on a date axis, else "X-axis,"; the series name; ", Filtered"
// while the median filter is on; a line end.
QByteArray exportHeader(bool dateAxis, const QString &seriesName, bool filtering);

// Header and one row per point with lo < x < hi, oldest first: the X value
// (on a date axis the local date-time "yyyy-MM-dd hh:mm:ss"), the Y value and,
// while filtering, the filtered value. Numbers are written so that they read
// back as the same doubles. False when the device took not all of it.
bool writePlotCsv(QIODevice &out, const SampleRing &ring, double lo, double hi, bool dateAxis,
                  const QString &seriesName, bool filtering);

// The picture's file name and format for the file chosen and the filter the
// operator selected: a ".jpeg", ".png" or ".bmp" already in the name (the first
// found, in that order) is removed, and the suffix of the selected filter
// appended. format gets "JPEG", "PNG" or "BMP"; empty when the filter names none.
QString pictureFileName(const QString &chosen, const QString &selectedFilter, QByteArray &format);
