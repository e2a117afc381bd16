#pragma once

#include <functional>

class QIODevice;
class QWidget;

// "Export Data" and "Export Plot Image" of every plot window: the file
// chooser (through Dialogs), the file, and the warning that names it and
// why when it was not written.

// Asks where to save the CSV and writes it with write(file); write returns
// false when the file took not all of it.
void exportCsvAs(QWidget *parent, const std::function<bool(QIODevice &)> &write);
// A picture of the window as it is now, saved as PNG, JPEG or BMP.
void exportPictureAs(QWidget *window);
