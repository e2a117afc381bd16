#include "plot/axisdialogs.h"

#include <QComboBox>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLayout *okCancel(QDialog *dialog)
{
    auto *buttons = new QHBoxLayout;
    auto *ok = new QPushButton(QStringLiteral("OK"), dialog);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
    ok->setObjectName(QStringLiteral("ok"));
    cancel->setObjectName(QStringLiteral("cancel"));
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    return buttons;
}

QComboBox *selector(QDialog *dialog, const QStringList &items)
{
    auto *box = new QComboBox(dialog);
    box->addItems(items);
    return box;
}

QStringList numbers(int from, int to, int width)
{
    QStringList out;
    for (int i = from; i <= to; ++i)
        out << QStringLiteral("%1").arg(i, width, 10, QLatin1Char('0'));
    return out;
}

} // namespace

RangeDialog::RangeDialog(Kind kind, QWidget *parent) : QDialog(parent)
{
    upperField = new QLineEdit(this);
    lowerField = new QLineEdit(this);
    upperField->setObjectName(QStringLiteral("upper"));
    lowerField->setObjectName(QStringLiteral("lower"));
    for (QLineEdit *field : {upperField, lowerField}) {
        if (kind == XAxis)
            field->setValidator(new QIntValidator(-1000, 1000000, field));
        else
            field->setValidator(new QDoubleValidator(-1000, 1000000, 2, field));
    }
    if (kind == XAxis) {
        setWindowTitle(QStringLiteral("Axis Adjust"));
        auto *grid = new QGridLayout(this);
        grid->addWidget(new QLabel(QStringLiteral("Enter new X Axis range:"), this), 0, 0, 1, 4);
        grid->addWidget(new QLabel(QStringLiteral("Max:"), this), 1, 0);
        grid->addWidget(upperField, 1, 1);
        grid->addWidget(new QLabel(QStringLiteral("Min:"), this), 2, 0);
        grid->addWidget(lowerField, 2, 1);
        grid->addLayout(okCancel(this), 3, 0, 1, 3);
        return;
    }
    const bool levels = kind == LevelLines;
    setWindowTitle(levels ? QStringLiteral("Add upper and lower level lines")
                          : QStringLiteral("Axis Adjust"));
    auto *form = new QFormLayout(this);
    form->addRow(new QLabel(
        levels ? QStringLiteral("Enter upper and lower levels to draw horizontal lines to plot:")
               : QStringLiteral("Enter new Y Axis range:"),
        this));
    form->addRow(levels ? QStringLiteral("Upper Level:") : QStringLiteral("Max:"), upperField);
    form->addRow(levels ? QStringLiteral("Lower Level:") : QStringLiteral("Min:"), lowerField);
    form->addRow(okCancel(this));
}

double RangeDialog::fieldValue(const QLineEdit *field, double fallback)
{
    const QString text = field->text();
    return text.isEmpty() ? fallback : text.toDouble();
}

DateRangeDialog::DateRangeDialog(const QDateTime &lower, const QDateTime &upper,
                                 const QDateTime &now, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Axis Adjust"));
    auto *grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Enter new X Axis range:"), this), 0, 0, 1, 4);
    QStringList months;
    const QLocale locale;
    for (int m = 1; m <= 12; ++m)
        months << locale.toString(QDate(2000, m, 1), QStringLiteral("MMM"));
    const auto addRow = [&](Row &row, int at, const QString &dateLabel, const QString &timeLabel,
                            const QDateTime &shown) {
        row.day = selector(this, numbers(1, 31, 1));
        row.month = selector(this, months);
        row.year = selector(this, numbers(FirstYear, LastYear, 4));
        row.hour = selector(this, numbers(0, 23, 2));
        row.minute = selector(this, numbers(0, 59, 2));
        grid->addWidget(new QLabel(dateLabel, this), at, 0);
        grid->addWidget(row.day, at, 1);
        grid->addWidget(row.month, at, 2);
        grid->addWidget(row.year, at, 3);
        grid->addWidget(new QLabel(timeLabel, this), at, 4);
        grid->addWidget(row.hour, at, 5);
        grid->addWidget(new QLabel(QStringLiteral(":"), this), at, 6);
        grid->addWidget(row.minute, at, 7);
        row.day->setCurrentIndex(shown.date().day() - 1);
        row.month->setCurrentIndex(shown.date().month() - 1);
        row.year->setCurrentIndex(shown.date().year() - FirstYear);
        row.hour->setCurrentIndex(shown.time().hour());
        row.minute->setCurrentIndex(shown.time().minute());
    };
    const auto showable = [](const QDateTime &t) {
        return t.isValid() && t.date().year() >= FirstYear && t.date().year() <= LastYear;
    };
    addRow(maxRow, 1, QStringLiteral("Max Date:"), QStringLiteral("Max time: "),
           showable(upper) ? upper : now.addSecs(3600));
    addRow(minRow, 2, QStringLiteral("Min Date:"), QStringLiteral("Min time: "),
           showable(lower) ? lower : now);
    grid->addLayout(okCancel(this), 3, 4, 1, 4);
}

QDateTime DateRangeDialog::selected(const Row &row)
{
    const QDate date(FirstYear + row.year->currentIndex(), row.month->currentIndex() + 1,
                     row.day->currentIndex() + 1);
    return QDateTime(date, QTime(row.hour->currentIndex(), row.minute->currentIndex()));
}

SeriesDialog::SeriesDialog(const QStringList &names, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Allan Deviation"));
    seriesBox = selector(this, names);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Series:"), seriesBox);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(okCancel(this));
}
