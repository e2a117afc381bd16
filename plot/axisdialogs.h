#pragma once

#include <QDateTime>
#include <QDialog>

class QComboBox;
class QLineEdit;

// The small modal dialogs of the plot window, built in code: the number ranges
// of the axes and the level lines, and the date-time range of a date axis.
// They only collect the entries; the window decides what to do with them.

// Two number fields, upper and lower, with OK and Cancel.
class RangeDialog : public QDialog
{
public:
    enum Kind
    {
        YAxis,     // "Max:"/"Min:", decimals
        XAxis,     // "Max:"/"Min:", whole numbers
        LevelLines // "Upper Level:"/"Lower Level:", decimals
    };
    RangeDialog(Kind kind, QWidget *parent);

    QLineEdit *upperField = nullptr;
    QLineEdit *lowerField = nullptr;

    // The number in a field, fallback when the field is empty; text that is no
    // number counts as 0.
    static double fieldValue(const QLineEdit *field, double fallback);
};

// "Axis Adjust" of a date axis: day, month, year, hour and minute selectors for
// each end of the range.
class DateRangeDialog : public QDialog
{
public:
    struct Row
    {
        QComboBox *day = nullptr;
        QComboBox *month = nullptr;
        QComboBox *year = nullptr;
        QComboBox *hour = nullptr;
        QComboBox *minute = nullptr;
    };
    static constexpr int FirstYear = 1979;
    static constexpr int LastYear = 2179;

    // lower and upper: the range shown now. An end whose year the selectors
    // cannot show starts at now instead (the upper end an hour later).
    DateRangeDialog(const QDateTime &lower, const QDateTime &upper, const QDateTime &now,
                    QWidget *parent);

    Row maxRow;
    Row minRow;

    // The local date-time a row selects (seconds 0); invalid for a day the month
    // does not have.
    static QDateTime selected(const Row &row);
};

// Data → Allan Deviation… of a plot with files added: which series.
class SeriesDialog : public QDialog
{
public:
    SeriesDialog(const QStringList &names, QWidget *parent);

    QComboBox *seriesBox = nullptr;
};
