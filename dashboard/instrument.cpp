#include "dashboard/instrument.h"

#include "dashboard/concentrationreadout.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QSpacerItem>

namespace {

const char *const valueStyle = "border:2px solid grey; border-radius: 5px; font-weight: bold;";
const char *const boxStyle =
    "QGroupBox {border-radius: 12px;font-size: 12px;font-weight: bold;border: 6px solid "
    "black;border-bottom-right-radius: 0px;border-right: none;margin-top: "
    "5px;}QGroupBox::title {subcontrol-origin: margin;left: 30px;subcontrol-position: top "
    "left;padding:0 2000 2 2;}";

QLabel *valueLabel(QWidget *parent)
{
    auto *label = new QLabel(QStringLiteral(" "), parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setStyleSheet(QLatin1String(valueStyle));
    return label;
}

void setFace(QPushButton *button, const QString &image, const QString &fallbackText)
{
    const QPixmap face(image);
    if (face.isNull()) {
        // Without its picture the button must still say what it does.
        button->setText(fallbackText);
        button->setMinimumSize(0, 0);
        button->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        return;
    }
    QPalette palette = button->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        palette.setBrush(group, QPalette::Button, QBrush(face));
    // Disabled, the picture is greyed, so a click before connecting is not
    // mistaken for one that did nothing.
    palette.setBrush(QPalette::Disabled, QPalette::Button,
                     QBrush(QIcon(face).pixmap(face.size(), QIcon::Disabled)));
    button->setPalette(palette);
    button->setText(QString());
    button->setFixedSize(face.size());
}

} // namespace

Instrument::Instrument(QWidget *parent)
    : QWidget(parent), measureButton(new QPushButton(this)), serviceButton(new QPushButton(this)),
      tuneButton(new QPushButton(this)), box(new QGroupBox(QStringLiteral(" "), this)),
      conc(new QLabel(QStringLiteral(" "), box)), units(new QLabel(QStringLiteral(" "), box)),
      species(new QLabel(box)), gas(new QLabel(box)), status(new QLabel(QStringLiteral(" "), this)),
      laserCurrent(valueLabel(this)), laserTemp(valueLabel(this)), rdTime(valueLabel(this)),
      tauZero(valueLabel(this)), tempCaption(new QLabel(QStringLiteral("Temp"), this)),
      staleLine(new QLabel(this))
{
    for (int i = 0; i < 3; ++i)
        lampPictures[i] = QPixmap(lampImage(LampColour(i)));

    auto *grid = new QGridLayout(this);
    for (auto *button : {measureButton, serviceButton, tuneButton}) {
        button->setFlat(true);
        button->setAutoFillBackground(true);
        button->setEnabled(false);
    }
    setModeButtonImages(QStringLiteral(":/images/Measure_s.bmp"),
                        QStringLiteral(":/images/Service_s.bmp"),
                        QStringLiteral(":/images/Tune_s.bmp"));
    grid->addWidget(measureButton, 0, 0, 1, 3);
    grid->addWidget(serviceButton, 0, 3, 1, 3);
    grid->addWidget(tuneButton, 0, 6, 1, 3);

    box->setStyleSheet(QLatin1String(boxStyle));
    box->setMinimumHeight(120);
    auto *boxGrid = new QGridLayout(box);
    conc->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont big = conc->font();
    big.setPointSize(64);
    conc->setFont(big);
    units->setAlignment(Qt::AlignCenter);
    units->setStyleSheet(QStringLiteral("font-size: 36px;"));
    species->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    gas->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    boxGrid->addWidget(conc, 0, 0, 2, 2);
    boxGrid->addWidget(units, 0, 2, 1, 2);
    boxGrid->addWidget(species, 1, 2);
    boxGrid->addWidget(gas, 1, 3);
    grid->addWidget(box, 1, 0, 3, 9);

    grid->addItem(new QSpacerItem(10, 10), 4, 9);

    status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    status->setStyleSheet(QStringLiteral("border:2px solid grey; border-radius: 5px;"));
    grid->addWidget(status, 5, 0, 2, 4);

    staleLine->setWordWrap(true);
    staleLine->setStyleSheet(QStringLiteral("color: #a00000; font-weight: bold;"));
    staleLine->hide();
    grid->addWidget(staleLine, 10, 0, 1, 9);

    grid->addWidget(new QLabel(tr("Laser Current"), this), 5, 5, 1, 3);
    grid->addWidget(laserCurrent, 5, 7);
    grid->addWidget(new QLabel(QStringLiteral("mA"), this), 5, 8);
    grid->addWidget(new QLabel(tr("Laser Temp."), this), 6, 5);
    grid->addWidget(laserTemp, 6, 7);
    grid->addWidget(new QLabel(QStringLiteral("\u00B0C"), this), 6, 8);
    grid->addWidget(new QLabel(tr("RD Time"), this), 8, 5, 1, 2);
    grid->addWidget(rdTime, 8, 6, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("\u03BCs"), this), 8, 8);
    grid->addWidget(new QLabel(tr("Tau Zero"), this), 9, 5, 1, 2);
    grid->addWidget(tauZero, 9, 6, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("\u03BCs"), this), 9, 8);

    // Lamps: caption then lamp; Laser, Ringdown, Pressure on the left and
    // Alarm 1, Alarm 2, Temp on the right.
    const struct
    {
        Lamp lamp;
        const char *caption;
        int row, column;
    } places[] = {
        {Lamp::Laser, "Laser", 7, 0},       {Lamp::Alarm1, "Alarm 1", 7, 2},
        {Lamp::Ringdown, "Ringdown", 8, 0}, {Lamp::Alarm2, "Alarm 2", 8, 2},
        {Lamp::Pressure, "Pressure", 9, 0}, {Lamp::Temp, "Temp", 9, 2},
    };
    for (const auto &p : places) {
        QLabel *caption =
            p.lamp == Lamp::Temp ? tempCaption : new QLabel(QLatin1String(p.caption), this);
        auto *lamp = new QLabel(this);
        lampLabels[int(p.lamp)] = lamp;
        grid->addWidget(caption, p.row, p.column);
        grid->addWidget(lamp, p.row, p.column + 1);
        setLamp(p.lamp, LampColour::Grey);
    }
}

QString Instrument::lampImage(LampColour colour)
{
    switch (colour) {
    case LampColour::Green:
        return QStringLiteral(":/images/green.png");
    case LampColour::Red:
        return QStringLiteral(":/images/red.png");
    case LampColour::Grey:
        break;
    }
    return QStringLiteral(":/images/grey.png");
}

void Instrument::setLamp(Lamp lamp, LampColour colour)
{
    lamps[int(lamp)] = colour;
    lampLabels[int(lamp)]->setPixmap(lampPictures[int(colour)]);
}

void Instrument::setModeButtonImages(const QString &measure, const QString &service,
                                     const QString &tune)
{
    setFace(measureButton, measure, tr("Measure"));
    setFace(serviceButton, service, tr("Service"));
    setFace(tuneButton, tune, tr("Tune"));
}

void Instrument::setLabelStyle(const QString &style)
{
    setStyleSheet(style);
}

void Instrument::paintReadouts()
{
    // Old values stay readable, but nobody takes them for live ones.
    const QString grey = stale ? QStringLiteral(" color: grey;") : QString();
    conc->setStyleSheet(concStyle + grey);
    units->setStyleSheet(QStringLiteral("font-size: 36px;") + grey);
    for (QLabel *label : {gas, species})
        label->setStyleSheet(QStringLiteral("font-size: 18px;") + grey);
    for (QLabel *label : {status, laserCurrent, laserTemp, rdTime, tauZero})
        label->setStyleSheet(QLatin1String(valueStyle) + grey);
}

void Instrument::showStale(const QString &line)
{
    stale = true;
    staleLine->setText(line);
    staleLine->show();
    for (int i = 0; i < lampCount; ++i)
        setLamp(Lamp(i), LampColour::Grey);
    paintReadouts();
}

void Instrument::setTextSize(int size)
{
    static const struct
    {
        const char *style;
        const char *measure;
        const char *service;
        const char *tune;
    } sets[] = {
        {"QLabel { font-size: 14px }", ":/images/Measure_s.bmp", ":/images/Service_s.bmp",
         ":/images/Tune_s.bmp"},
        {"QLabel { font-size: 16px }", ":/images/Measure_m.bmp", ":/images/Service_m.bmp",
         ":/images/Tune_m.bmp"},
        {"QLabel { font-size: 22px }", ":/images/Measure.bmp", ":/images/Service.bmp",
         ":/images/Tune.bmp"},
    };
    const auto &set = sets[qBound(0, size, 2)];
    setStyleSheet(QLatin1String(set.style));
    setModeButtonImages(QLatin1String(set.measure), QLatin1String(set.service),
                        QLatin1String(set.tune));
}

void Instrument::showReport(const StatusReport &report)
{
    record = report.record;
    compatibilityMode = report.compatibilityMode;
    updateInstrumentWindow();
}

void Instrument::updateInstrumentWindow()
{
    const ConcReadout readout = concentrationReadout(record.conc, record.units, ppmThreshold);
    record.concDisplay = readout.concDisplay;
    if (readout.setUnitsText)
        units->setText(readout.unitsText);
    if (readout.setConcText)
        conc->setText(readout.concText);
    concStyle = readout.concStyle;
    stale = false;
    staleLine->hide();
    paintReadouts();

    box->setTitle(record.modeText);
    status->setText(record.statusText);

    gas->setText(QLatin1String("in ") + record.gasType);
    species->setText(record.species);

    laserCurrent->setText(record.laserCurrent);
    laserTemp->setText(record.laserTemp);
    rdTime->setText(record.tau + QChar(0x00B1) + record.tauStd);
    tauZero->setText(record.tauEmpty + QChar(0x00B1) + record.tauEmptyStd);

    const bool flags[lampCount] = {record.laserFault, record.ringdownFault, record.pressureFault,
                                   record.alarm1,     record.alarm2,        record.tempAlarm};
    for (int i = 0; i < lampCount; ++i) {
        const LampColour colour = compatibilityMode ? LampColour::Grey
                                  : flags[i]        ? LampColour::Red
                                                    : LampColour::Green;
        setLamp(Lamp(i), colour);
    }
}

void Instrument::tempAlarmVisible(bool visible)
{
    lampLabels[int(Lamp::Temp)]->setVisible(visible);
    tempCaption->setVisible(visible);
}

void Instrument::clearDisplay()
{
    const QString blank = QStringLiteral(" ");
    for (QString *field : {&record.filter, &record.gasType, &record.species, &record.modeText,
                           &record.tauEmpty, &record.tauEmptyStd, &record.tau, &record.tauStd,
                           &record.laserCurrent, &record.laserTemp, &record.pressure, &record.conc,
                           &record.concDisplay, &record.units, &record.faults, &record.statusText})
        *field = blank;
    box->setTitle(blank);
    for (QLabel *label : {species, conc, units, gas, status, laserCurrent, laserTemp})
        label->setText(blank);
    rdTime->setText(QStringLiteral(" \u00B1 "));
    tauZero->setText(QStringLiteral(" \u00B1 "));
    for (int i = 0; i < lampCount; ++i)
        setLamp(Lamp(i), LampColour::Grey);
    stale = false;
    staleLine->hide();
    paintReadouts();
}
