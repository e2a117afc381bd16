#include "plot/preferencesform.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>

#include <memory>
#include <vector>

namespace {

// Shared by every plot window of the program.
const char *const organisation = "Quorvane";
const char *const application = "Telvar";

enum ColourId
{
    Orange = 1,
    Blue = 2,
    Black = 3,
    Green = 4,
    Custom = 5,
    Transparent = 6
};

// The colour behind a button id; invalid for "Custom RGB:" and for no button.
QColor markerOrLineColour(int id)
{
    switch (id) {
    case Orange:
        return QColor(237, 139, 0);
    case Blue:
        return QColor(0, 75, 150);
    case Black:
        return QColor(0, 0, 0);
    case Green:
        return QColor(86, 133, 78);
    default:
        return QColor();
    }
}

QColor fillColour(int id)
{
    switch (id) {
    case Orange:
        return QColor(243, 190, 120);
    case Blue:
        return QColor(94, 138, 180);
    case Black: // shown as "Grey" in the fill group
        return QColor(166, 166, 166);
    case Green:
        return QColor(136, 163, 138);
    case Transparent:
        return QColor(0, 0, 0, 0);
    default:
        return QColor();
    }
}

QSpinBox *rgbBox(const QString &tip, QWidget *parent)
{
    auto *box = new QSpinBox(parent);
    box->setRange(0, 255);
    box->setSingleStep(10);
    box->setToolTip(tip);
    return box;
}

QSpinBox *sizeBox(QWidget *parent)
{
    auto *box = new QSpinBox(parent);
    box->setRange(0, 10);
    return box;
}

// One colour group: the radio buttons with ids 1.., a custom row with its R, G,
// B boxes, optionally a size box.
QGroupBox *colourGroup(const QString &title, const QStringList &names, QButtonGroup *buttons,
                       QSpinBox *r, QSpinBox *g, QSpinBox *b, QSpinBox *size, QWidget *parent)
{
    auto *box = new QGroupBox(title, parent);
    auto *grid = new QGridLayout(box);
    int row = 0;
    for (int i = 0; i < names.size(); ++i) {
        auto *radio = new QRadioButton(names[i], box);
        const int id = i + 1;
        buttons->addButton(radio, id);
        if (id == Custom) {
            grid->addWidget(radio, row, 0);
            grid->addWidget(r, row, 1);
            grid->addWidget(g, row, 2);
            grid->addWidget(b, row, 3);
        } else {
            grid->addWidget(radio, row, 0, 1, 4);
        }
        ++row;
    }
    if (size) {
        grid->addWidget(new QLabel(QStringLiteral("Size"), box), row, 0);
        grid->addWidget(size, row, 1);
    }
    return box;
}

} // namespace

preferencesForm::preferencesForm(QWidget *parent) : QDialog(parent)
{
    qRegisterMetaType<preferencesForm::plotPreferences>();
    setWindowTitle(QStringLiteral("Plotting Preferences"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    linesCheckBox = new QCheckBox(QStringLiteral("Turn on lines and fill"), this);
    markerSpinBox = sizeBox(this);
    lineSpinBox = sizeBox(this);
    markerRspinBox = rgbBox(QStringLiteral("R"), this);
    markerGspinBox = rgbBox(QStringLiteral("G"), this);
    markerBspinBox = rgbBox(QStringLiteral("B"), this);
    lineRspinBox = rgbBox(QStringLiteral("R"), this);
    lineGspinBox = rgbBox(QStringLiteral("G"), this);
    lineBspinBox = rgbBox(QStringLiteral("B"), this);
    fillRspinBox = rgbBox(QStringLiteral("R"), this);
    fillGspinBox = rgbBox(QStringLiteral("G"), this);
    fillBspinBox = rgbBox(QStringLiteral("B"), this);
    markerGroup = new QButtonGroup(this);
    lineGroup = new QButtonGroup(this);
    fillGroup = new QButtonGroup(this);

    const QStringList markerNames = {QStringLiteral("Orange"), QStringLiteral("Blue"),
                                     QStringLiteral("Black"), QStringLiteral("Green"),
                                     QStringLiteral("Custom RGB:")};
    const QStringList fillNames = {QStringLiteral("Orange"),      QStringLiteral("Blue"),
                                   QStringLiteral("Grey"),        QStringLiteral("Green"),
                                   QStringLiteral("Custom RGB:"), QStringLiteral("Transparent")};

    auto *background = new QGroupBox(QStringLiteral("Background"), this);
    auto *backgroundRow = new QHBoxLayout(background);
    horizontalSlider = new QSlider(Qt::Horizontal, background);
    horizontalSlider->setRange(0, 250);
    horizontalSlider->setSingleStep(10);
    horizontalSlider->setPageStep(50);
    backgroundRow->addWidget(new QLabel(QStringLiteral("Dark"), background));
    backgroundRow->addWidget(horizontalSlider);
    backgroundRow->addWidget(new QLabel(QStringLiteral("Light"), background));

    acceptButton = new QPushButton(QStringLiteral("Accept"), this);
    acceptButton->setToolTip(QStringLiteral("Store these preferences and close window"));
    revertButton = new QPushButton(QStringLiteral("Revert"), this);
    revertButton->setToolTip(QStringLiteral("Undo changes"));
    revertButton->setFocusPolicy(Qt::NoFocus);

    auto *layout = new QGridLayout(this);
    layout->addWidget(linesCheckBox, 0, 0, 1, 3);
    layout->addWidget(colourGroup(QStringLiteral("Marker"), markerNames, markerGroup,
                                  markerRspinBox, markerGspinBox, markerBspinBox, markerSpinBox,
                                  this),
                      1, 0);
    layout->addWidget(colourGroup(QStringLiteral("Line"), markerNames, lineGroup, lineRspinBox,
                                  lineGspinBox, lineBspinBox, lineSpinBox, this),
                      1, 1);
    layout->addWidget(colourGroup(QStringLiteral("Fill"), fillNames, fillGroup, fillRspinBox,
                                  fillGspinBox, fillBspinBox, nullptr, this),
                      1, 2);
    layout->addWidget(background, 2, 0, 1, 3);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(acceptButton);
    buttons->addWidget(revertButton);
    layout->addLayout(buttons, 3, 0, 1, 3);

    setPreferences();

    for (QButtonGroup *group : {markerGroup, lineGroup, fillGroup})
        connect(group, &QButtonGroup::idClicked, this, &preferencesForm::preferencesChanged);
    connect(linesCheckBox, &QCheckBox::clicked, this, &preferencesForm::preferencesChanged);
    for (QSpinBox *box :
         {markerSpinBox, lineSpinBox, markerRspinBox, markerGspinBox, markerBspinBox, lineRspinBox,
          lineGspinBox, lineBspinBox, fillRspinBox, fillGspinBox, fillBspinBox})
        connect(box, qOverload<int>(&QSpinBox::valueChanged), this,
                &preferencesForm::preferencesChanged);
    connect(horizontalSlider, &QSlider::valueChanged, this, &preferencesForm::preferencesChanged);
    connect(acceptButton, &QPushButton::clicked, this, &preferencesForm::acceptChanges);
    connect(revertButton, &QPushButton::clicked, this, &preferencesForm::cancel);
}

void preferencesForm::setPreferences()
{
    QSettings s{QLatin1String(organisation), QLatin1String(application)};
    {
        // One record is sent at the end, not one per widget touched.
        const QList<QObject *> quiet = {
            linesCheckBox,  markerSpinBox, lineSpinBox,     markerRspinBox, markerGspinBox,
            markerBspinBox, lineRspinBox,  lineGspinBox,    lineBspinBox,   fillRspinBox,
            fillGspinBox,   fillBspinBox,  horizontalSlider};
        std::vector<std::unique_ptr<QSignalBlocker>> blockers;
        for (QObject *o : quiet)
            blockers.push_back(std::make_unique<QSignalBlocker>(o));

        linesCheckBox->setChecked(s.value(QStringLiteral("uselines"), true).toBool());
        markerSpinBox->setValue(s.value(QStringLiteral("markerSize"), 4).toInt());
        lineSpinBox->setValue(s.value(QStringLiteral("lineSize"), 2).toInt());
        const auto check = [](QButtonGroup *group, int id) {
            if (QAbstractButton *b = group->button(id))
                b->setChecked(true);
        };
        check(markerGroup, s.value(QStringLiteral("markerColor"), 1).toInt());
        check(lineGroup, s.value(QStringLiteral("lineColor"), 1).toInt());
        check(fillGroup, s.value(QStringLiteral("fillColor"), 6).toInt());
        markerRspinBox->setValue(s.value(QStringLiteral("markerR"), 227).toInt());
        markerGspinBox->setValue(s.value(QStringLiteral("markerG"), 50).toInt());
        markerBspinBox->setValue(s.value(QStringLiteral("markerB"), 50).toInt());
        lineRspinBox->setValue(s.value(QStringLiteral("lineR"), 241).toInt());
        lineGspinBox->setValue(s.value(QStringLiteral("lineG"), 223).toInt());
        lineBspinBox->setValue(s.value(QStringLiteral("lineB"), 79).toInt());
        fillRspinBox->setValue(s.value(QStringLiteral("fillR"), 94).toInt());
        fillGspinBox->setValue(s.value(QStringLiteral("fillG"), 58).toInt());
        fillBspinBox->setValue(s.value(QStringLiteral("fillB"), 122).toInt());
        horizontalSlider->setValue(s.value(QStringLiteral("backgroundColor"), 100).toInt());
    }
    preferencesChanged();
}

void preferencesForm::preferencesChanged()
{
    const auto pick = [](QButtonGroup *group, QColor (*table)(int), QSpinBox *r, QSpinBox *g,
                         QSpinBox *b, const QColor &previous) {
        const int id = group->checkedId();
        if (id == Custom)
            return QColor(r->value(), g->value(), b->value());
        const QColor c = table(id);
        return c.isValid() ? c : previous;
    };
    prefs.markerColor = pick(markerGroup, markerOrLineColour, markerRspinBox, markerGspinBox,
                             markerBspinBox, prefs.markerColor);
    prefs.lineColor = pick(lineGroup, markerOrLineColour, lineRspinBox, lineGspinBox, lineBspinBox,
                           prefs.lineColor);
    prefs.fillColor =
        pick(fillGroup, fillColour, fillRspinBox, fillGspinBox, fillBspinBox, prefs.fillColor);
    prefs.useLines = linesCheckBox->isChecked();
    prefs.lineSize = lineSpinBox->value();
    prefs.markerSize = markerSpinBox->value();
    const int grey = horizontalSlider->value();
    prefs.backgroundColor = QColor(grey, grey, grey);
    emit newPreferences(prefs);
}

void preferencesForm::acceptChanges()
{
    QSettings s{QLatin1String(organisation), QLatin1String(application)};
    s.setValue(QStringLiteral("uselines"), linesCheckBox->isChecked());
    s.setValue(QStringLiteral("markerSize"), markerSpinBox->value());
    s.setValue(QStringLiteral("lineSize"), lineSpinBox->value());
    s.setValue(QStringLiteral("markerColor"), markerGroup->checkedId());
    s.setValue(QStringLiteral("lineColor"), lineGroup->checkedId());
    s.setValue(QStringLiteral("fillColor"), fillGroup->checkedId());
    s.setValue(QStringLiteral("markerR"), markerRspinBox->value());
    s.setValue(QStringLiteral("markerG"), markerGspinBox->value());
    s.setValue(QStringLiteral("markerB"), markerBspinBox->value());
    s.setValue(QStringLiteral("lineR"), lineRspinBox->value());
    s.setValue(QStringLiteral("lineG"), lineGspinBox->value());
    s.setValue(QStringLiteral("lineB"), lineBspinBox->value());
    s.setValue(QStringLiteral("fillR"), fillRspinBox->value());
    s.setValue(QStringLiteral("fillG"), fillGspinBox->value());
    s.setValue(QStringLiteral("fillB"), fillBspinBox->value());
    s.setValue(QStringLiteral("backgroundColor"), horizontalSlider->value());
    hide();
}

void preferencesForm::cancel()
{
    setPreferences();
    preferencesChanged();
}
