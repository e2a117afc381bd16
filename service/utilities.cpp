#include "service/utilities.h"

#include "common/dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSlider>

#include <cmath>
#include <limits>

namespace {

const char *const filterMask = "0099";

const char *const favoriteDefaults[Utilities::favoriteCount] = {"DTD", "TIME", "LOGINT", "VERSION",
                                                                "OPTIMIZELASER"};

QString favoriteKey(int index)
{
    return QStringLiteral("Favorite_%1").arg(index + 1);
}

QSettings preferences()
{
    return QSettings(QStringLiteral("Quorvane"), QStringLiteral("Telvar"));
}

QPushButton *pictureButton(const QString &name, const QString &image, QWidget *parent)
{
    auto *b = new QPushButton(parent);
    b->setObjectName(name);
    const QPixmap picture(image);
    b->setFlat(true);
    b->setAutoFillBackground(true);
    QPalette palette = b->palette();
    palette.setBrush(QPalette::All, QPalette::Button, QBrush(picture));
    // Disabled, the picture is greyed: while a run has the analyzer these do nothing.
    palette.setBrush(QPalette::Disabled, QPalette::Button,
                     QBrush(QIcon(picture).pixmap(picture.size(), QIcon::Disabled)));
    b->setPalette(palette);
    b->setFixedSize(picture.size());
    return b;
}

QPushButton *button(const QString &name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    return b;
}

QLabel *wrappedLabel(const QString &name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setWordWrap(true);
    return l;
}

int toIntLoose(const QString &text)
{
    bool okInt = false;
    const int i = text.toInt(&okInt, 10);
    if (okInt)
        return i;
    const double d = text.toDouble();
    if (std::isnan(d))
        return 0;
    return int(qBound(double(std::numeric_limits<int>::min()), d,
                      double(std::numeric_limits<int>::max())));
}

} // namespace

QStringList Utilities::gasesIn(const QStringList &tokens)
{
    // Each gas line reads "Gas <number> <name>". Taking the last "Gas"
    // first, the name is the token two places after it once the later "Gas"
    // tokens are gone: the second non-"Gas" token after it. One pass from
    // the end finds them all, so a flood of "Gas" lines cannot stall us.
    // The list comes out in reverse order of appearance.
    QStringList gases;
    QString next, afterNext; // the first two non-"Gas" tokens after i
    for (int i = tokens.size() - 1; i >= 0; --i) {
        const QString &t = tokens.at(i);
        if (t == QLatin1String("Gas")) {
            if (!afterNext.isNull())
                gases.append(afterNext);
        } else {
            afterNext = next;
            next = t;
        }
    }
    return gases;
}

bool Utilities::answer(const QByteArray &chunk)
{
    static const QRegularExpression separators(QStringLiteral("[: ]"));
    const QStringList tokens =
        QString::fromLatin1(chunk).simplified().split(separators, Qt::SkipEmptyParts);
    const int n = tokens.size();
    if (n == 0)
        return false;
    const QString &last = tokens.last();
    bool okInt = false, okNumber = false;
    if (n == 1) {
        last.toInt(&okInt, 10);
        last.toDouble(&okNumber);
    }
    // A lone "!WRONG" is the analyzer's whole answer to a refused change, so
    // a single word that is no number goes on to the checks below.
    if (okInt || okNumber) {
        const int value = toIntLoose(last);
        if (waitingForSpeed)
            updateSpeed(value);
        else if (waitingForFilter)
            updateFilter(value);
    } else if (tokens.contains(QLatin1String("Gas"))) {
        updateGasList(gasesIn(tokens));
    } else if (tokens.contains(QLatin1String("!WRONG"))) {
        // Read on the reply path: shown once it has returned.
        Dialogs::post(Dialogs::Icon::Information, QStringLiteral("Wrong Mode"),
                      QStringLiteral("Wrong mode: Changes must be done in Service Mode.  "
                                     "Concentration readings are only available in Measure Mode"));
    } else if (n != 1) {
        return false;
    }
    waitingForSpeed = false;
    return true;
}

void Utilities::statusReport(const QString &filter, const QString &gasType)
{
    if (!filter.isEmpty())
        updateFilter(filter.toInt(nullptr, 10));
    if (!gasType.isEmpty()) {
        updateGasList(QStringList{gasType});
        setCurrentGas(gasType);
    }
}

Utilities::Utilities(QWidget *parent) : QWidget(parent)
{
    auto *grid = new QGridLayout(this);

    dataFilterGroupBox = new QGroupBox(tr("Data Filter"), this);
    dataFilterGroupBox->setObjectName(QStringLiteral("dataFilterGroupBox"));
    dataFilterGroupBox->setMaximumWidth(300);
    auto *filterGrid = new QGridLayout(dataFilterGroupBox);
    auto *fast = new QLabel(tr("Fast"), dataFilterGroupBox);
    fast->setObjectName(QStringLiteral("fastLabel"));
    auto *smooth = new QLabel(tr("Smooth"), dataFilterGroupBox);
    smooth->setObjectName(QStringLiteral("smothLabel"));
    filterSlider = new QSlider(Qt::Horizontal, dataFilterGroupBox);
    filterSlider->setObjectName(QStringLiteral("filterSlider"));
    filterSlider->setRange(10, 1000);
    filterSlider->setValue(200);
    filterLineEdit = new QLineEdit(dataFilterGroupBox);
    filterLineEdit->setObjectName(QStringLiteral("filterLineEdit"));
    filterLineEdit->setInputMask(QLatin1String(filterMask));
    refreshFilterPushButton =
        button(QStringLiteral("refreshFilterPushButton"), tr("Refresh"), dataFilterGroupBox);
    refreshFilterPushButton->setEnabled(false);
    filterPushButton =
        button(QStringLiteral("filterPushButton"), tr("Change Filter"), dataFilterGroupBox);
    filterGrid->addWidget(fast, 0, 0);
    filterGrid->addWidget(filterSlider, 0, 1);
    filterGrid->addWidget(smooth, 0, 2);
    filterGrid->addWidget(filterLineEdit, 1, 0);
    filterGrid->addWidget(refreshFilterPushButton, 1, 1);
    filterGrid->addWidget(filterPushButton, 1, 2);
    filterGrid->addWidget(wrappedLabel(QStringLiteral("datFilterLabel"),
                                       tr("Use the data filter to adjust the concentration "
                                          "filter.  Values can be between 10 and 1000."),
                                       dataFilterGroupBox),
                          2, 0, 1, 3);

    gasTypeGroupBox = new QGroupBox(tr("Gas Type"), this);
    gasTypeGroupBox->setObjectName(QStringLiteral("gasTypeGroupBox"));
    auto *gasGrid = new QGridLayout(gasTypeGroupBox);
    gasTypeComboBox = new QComboBox(gasTypeGroupBox);
    gasTypeComboBox->setObjectName(QStringLiteral("gasTypeComboBox"));
    gasTypeComboBox->setMinimumWidth(70);
    gasTypePushButton = button(QStringLiteral("gasTypePushButton"), tr("Switch"), gasTypeGroupBox);
    refreshGasTypePushButton =
        button(QStringLiteral("refreshGasTypePushButton"), tr("Refresh"), gasTypeGroupBox);
    gasGrid->addWidget(gasTypeComboBox, 0, 0);
    gasGrid->addWidget(gasTypePushButton, 0, 1);
    gasGrid->addWidget(refreshGasTypePushButton, 0, 2);
    gasGrid->addWidget(
        wrappedLabel(QStringLiteral("gasTypeLabel"),
                     tr("Use the refresh button to update the list of available gases from the "
                        "analyzer gas library, then select your gas with the drop-down menu. "
                        "Changes must be made in service mode."),
                     gasTypeGroupBox),
        1, 0, 1, 3);

    groupBox = new QGroupBox(tr("Favorites"), this);
    groupBox->setObjectName(QStringLiteral("groupBox"));
    auto *favGrid = new QGridLayout(groupBox);
    QSettings prefs = preferences();
    for (int i = 0; i < favoriteCount; ++i) {
        favoriteLineEdit[i] = new QLineEdit(groupBox);
        favoriteLineEdit[i]->setObjectName(QStringLiteral("favoriteLineEdit_%1").arg(i + 1));
        favoriteLineEdit[i]->setText(
            prefs.value(favoriteKey(i), QLatin1String(favoriteDefaults[i])).toString());
        favoritePushButton[i] =
            button(QStringLiteral("favoritePushButton_%1").arg(i + 1), tr("Send"), groupBox);
        favGrid->addWidget(favoriteLineEdit[i], i, 0);
        favGrid->addWidget(favoritePushButton[i], i, 1);
    }
    measurePushButton = pictureButton(QStringLiteral("measurePushButton"),
                                      QStringLiteral(":/images/Measure_s.bmp"), groupBox);
    servicePushButton = pictureButton(QStringLiteral("servicePushButton"),
                                      QStringLiteral(":/images/Service_s.bmp"), groupBox);
    tunePushButton = pictureButton(QStringLiteral("tunePushButton"),
                                   QStringLiteral(":/images/Tune_s.bmp"), groupBox);
    auto *modes = new QHBoxLayout;
    modes->addWidget(measurePushButton);
    modes->addWidget(servicePushButton);
    modes->addWidget(tunePushButton);
    favGrid->addLayout(modes, favoriteCount, 0, 1, 2);

    groupBox_2 = new QGroupBox(tr("Speed+"), this);
    groupBox_2->setObjectName(QStringLiteral("groupBox_2"));
    auto *speedGrid = new QGridLayout(groupBox_2);
    speedCheckBox = new QCheckBox(tr("Speed+"), groupBox_2);
    speedCheckBox->setObjectName(QStringLiteral("speedCheckBox"));
    refreshSpeedPushButton =
        button(QStringLiteral("refreshSpeedPushButton"), tr("Refresh"), groupBox_2);
    speedGrid->addWidget(speedCheckBox, 0, 0);
    speedGrid->addWidget(refreshSpeedPushButton, 0, 1);
    speedGrid->addWidget(wrappedLabel(QStringLiteral("label"),
                                      tr("Speed+ adjusts the analyzer's response automatically "
                                         "for optimal performance.  Changes in service mode."),
                                      groupBox_2),
                         1, 0, 1, 2);

    grid->addWidget(dataFilterGroupBox, 0, 0);
    grid->addWidget(gasTypeGroupBox, 1, 0);
    grid->addWidget(groupBox_2, 2, 0);
    grid->addWidget(groupBox, 0, 1, 3, 1);

    connect(refreshFilterPushButton, &QPushButton::released, this, &Utilities::refreshFilter);
    connect(refreshGasTypePushButton, &QPushButton::released, this, &Utilities::refreshGasList);
    connect(refreshSpeedPushButton, &QPushButton::released, this, &Utilities::refreshSpeed);
    connect(filterPushButton, &QPushButton::released, this, &Utilities::setFilter);
    connect(gasTypePushButton, &QPushButton::released, this, &Utilities::switchGasType);
    connect(speedCheckBox, &QCheckBox::stateChanged, this, &Utilities::switchSpeed);
    connect(filterLineEdit, &QLineEdit::textChanged, this, &Utilities::updateSlider);
    connect(filterSlider, &QSlider::sliderMoved, this, &Utilities::updateLineEdit);
    connect(measurePushButton, &QPushButton::released, this, &Utilities::measureCommand);
    connect(tunePushButton, &QPushButton::released, this, &Utilities::tuneCommand);
    connect(servicePushButton, &QPushButton::released, this, &Utilities::serviceCommand);
    void (Utilities::*const favorites[favoriteCount])() = {
        &Utilities::favoriteCommand_1, &Utilities::favoriteCommand_2, &Utilities::favoriteCommand_3,
        &Utilities::favoriteCommand_4, &Utilities::favoriteCommand_5};
    for (int i = 0; i < favoriteCount; ++i)
        connect(favoritePushButton[i], &QPushButton::released, this, favorites[i]);
}

void Utilities::setCommandButtonsEnabled(bool on)
{
    controls = on;
    // The box shows only what the analyzer was told: no click on it while
    // nothing could be sent.
    speedCheckBox->setEnabled(on);
    for (QPushButton *b : {gasTypePushButton, refreshGasTypePushButton, refreshSpeedPushButton,
                           measurePushButton, tunePushButton, servicePushButton})
        b->setEnabled(on);
    for (QPushButton *b : favoritePushButton)
        b->setEnabled(on);
    // While Speed+ is on the filter is the analyzer's to set.
    refreshFilterPushButton->setEnabled(on && !speedOn);
    filterPushButton->setEnabled(on && !speedOn);
}

void Utilities::showFilterText(const QString &text)
{
    bool number = false;
    text.toInt(&number);
    filterLineEdit->setInputMask(number ? QLatin1String(filterMask) : QString());
    filterLineEdit->setText(text);
}

void Utilities::showSpeed(bool on)
{
    // Whichever way Speed+ changed (the box or a Refresh), the filter field
    // follows: locked while the analyzer sets the filter, back to two to four
    // digits (the value shown before) once it is off, so "Change Filter"
    // never sends text. The blank shown meanwhile moves the slider to 10.
    speedOn = on;
    filterSlider->setEnabled(!on);
    filterLineEdit->setEnabled(!on);
    refreshFilterPushButton->setEnabled(controls && !on);
    filterPushButton->setEnabled(controls && !on);
    const bool showingNumber = !filterLineEdit->inputMask().isEmpty();
    if (on && showingNumber) {
        filterBeforeSpeed = filterSlider->value();
        showFilterText(QStringLiteral(" "));
    } else if (!on && !showingNumber) {
        showFilterText(QString::number(filterBeforeSpeed));
    }
}

void Utilities::updateFilter(int value)
{
    if (speedOn) {
        showFilterText(QStringLiteral("S+"));
        filterSlider->setEnabled(false);
        waitingForFilter = false;
        return;
    }
    // Every status report passes its filter here too; only an answer to
    // "Refresh" changes what is shown.
    if (value < 10 || value > 1000 || !waitingForFilter) {
        waitingForFilter = false;
        return;
    }
    filterValue = value;
    filterSlider->setEnabled(true);
    showFilterText(QString::number(value));
    filterSlider->setValue(value);
    waitingForFilter = false;
}

void Utilities::updateSpeed(int value)
{
    speedCheckBox->setEnabled(controls);
    {
        // Showing the analyzer's state is no order to change it: without the
        // blocker the box would send "DYNAMICFILTER_ENABLED 1" back, which
        // outside service mode only earns a "Wrong Mode" box.
        const QSignalBlocker block(speedCheckBox);
        speedCheckBox->setChecked(value == 1);
    }
    showSpeed(value == 1);
    waitingForSpeed = false;
}

void Utilities::updateGasList(QStringList gases)
{
    for (int i = gases.size() - 1; i >= 0; --i) {
        if (gasTypeComboBox->findText(gases.at(i), Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
            gasTypeComboBox->addItem(gases.at(i));
    }
    if (!currentGas.isEmpty())
        gasTypeComboBox->setCurrentIndex(
            gasTypeComboBox->findText(currentGas, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void Utilities::refreshFilter()
{
    emit lineforOrin(QStringLiteral("filter\r\n"));
    waitingForFilter = true;
}

void Utilities::refreshGasList()
{
    while (gasTypeComboBox->count() > 0)
        gasTypeComboBox->removeItem(0);
    emit lineforOrin(QStringLiteral("sagd\r\n"));
}

void Utilities::refreshSpeed()
{
    emit lineforOrin(QStringLiteral("DYNAMICFILTER_ENABLED\r\n"));
    waitingForSpeed = true;
}

void Utilities::setFilter()
{
    emit lineforOrin(QStringLiteral("filter ") + filterLineEdit->text() + QStringLiteral("\r\n"));
}

void Utilities::switchGasType()
{
    emit lineforOrin(QStringLiteral("gastype ") + gasTypeComboBox->currentText() +
                     QStringLiteral("\r\n"));
}

void Utilities::switchSpeed(int state)
{
    const bool on = state >= 1;
    showSpeed(on);
    emit lineforOrin(QStringLiteral("DYNAMICFILTER_ENABLED ") + QLatin1Char(on ? '1' : '0') +
                     QStringLiteral("\r\n"));
}

void Utilities::updateSlider(QString text)
{
    filterSlider->setValue(text.toInt());
}

void Utilities::updateLineEdit(int value)
{
    showFilterText(QString::number(value));
}

void Utilities::measureCommand()
{
    emit lineforOrin(QStringLiteral("opmode 2\r\n"));
}

void Utilities::tuneCommand()
{
    emit lineforOrin(QStringLiteral("opmode 1\r\n"));
}

void Utilities::serviceCommand()
{
    emit lineforOrin(QStringLiteral("opmode 0\r\n"));
}

void Utilities::favoriteCommand(int index)
{
    const QString text = favoriteLineEdit[index]->text();
    if (!text.isEmpty()) {
        const QString line = text + QStringLiteral("\r\n");
        emit lineforOrin(line);
        emit lineforConsole(line);
        emit lineforLogger(line);
    }
    preferences().setValue(favoriteKey(index), text);
}
