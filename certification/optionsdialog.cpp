#include "certification/optionsdialog.h"

#include "certification/certificationsequence.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QCheckBox *checkBox(const char *name, const QString &text, QWidget *parent)
{
    auto *b = new QCheckBox(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QSpinBox *hoursBox(const char *name, QWidget *parent)
{
    auto *s = new QSpinBox(parent);
    s->setObjectName(QLatin1String(name));
    s->setRange(1, 24);
    s->setSuffix(QStringLiteral(" hours"));
    return s;
}

} // namespace

OptionsDialog::OptionsDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("Options"));

    auto *certBox = new QGroupBox(tr("Certification Data Collection"), this);
    auto *grid = new QGridLayout(certBox);
    OptimizecheckBox = checkBox("OptimizecheckBox", tr("Optimize Laser"), certBox);
    TempScancheckBox = checkBox("TempScancheckBox", tr("Cavity Temp Scan"), certBox);
    RefCellcheckBox = checkBox("RefCellcheckBox", tr("Reference Cell Scan"), certBox);
    OnPeakcheckBox = checkBox("OnPeakcheckBox", tr("On-Peak Ring-Downs"), certBox);
    OnPeakspinBox = hoursBox("OnPeakspinBox", certBox);
    OffPeakcheckBox = checkBox("OffPeakcheckBox", tr("Off-Peak Ring-Downs"), certBox);
    OffPeakspinBox = hoursBox("OffPeakspinBox", certBox);
    SettingscheckBox = checkBox("SettingscheckBox", tr("Collect Settings"), certBox);
    optionsLabel = new QLabel(certBox);
    optionsLabel->setObjectName(QStringLiteral("optionsLabel"));
    optionsLabel->setPixmap(QPixmap(QStringLiteral(":/images/approval.png"))
                                .scaled(50, 50, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    grid->addWidget(OptimizecheckBox, 0, 0);
    grid->addWidget(optionsLabel, 0, 1, 3, 1, Qt::AlignRight | Qt::AlignTop);
    grid->addWidget(TempScancheckBox, 1, 0);
    grid->addWidget(RefCellcheckBox, 2, 0);
    grid->addWidget(OnPeakcheckBox, 3, 0);
    grid->addWidget(OnPeakspinBox, 3, 1);
    grid->addWidget(OffPeakcheckBox, 5, 0);
    grid->addWidget(OffPeakspinBox, 5, 1);
    grid->addWidget(SettingscheckBox, 6, 0);
    runNote = new QLabel(tr("A verification is running: changes apply to the next run."), certBox);
    runNote->setObjectName(QStringLiteral("runNote"));
    runNote->setWordWrap(true);
    runNote->hide();
    grid->addWidget(runNote, 7, 0, 1, 2);

    auto *scansBox = new QGroupBox(tr("Scans"), this);
    auto *scansLayout = new QVBoxLayout(scansBox);
    userScansCheckBox = checkBox("userScansCheckBox", tr("Enable Scans"), scansBox);
    scansLayout->addWidget(userScansCheckBox);

    auto *displayBox = new QGroupBox(tr("Display"), this);
    auto *displayLayout = new QHBoxLayout(displayBox);
    ppmSwitchLineEdit = new QLineEdit(displayBox);
    ppmSwitchLineEdit->setObjectName(QStringLiteral("ppmSwitchLineEdit"));
    ppmSwitchLineEdit->setInputMask(QStringLiteral("999999"));
    ppmSwitchLineEdit->setText(QStringLiteral("100000"));
    ppmSwitchLineEdit->setMaximumWidth(80);
    displayLayout->addWidget(new QLabel(tr("Switch to ppm at"), displayBox));
    displayLayout->addWidget(ppmSwitchLineEdit);
    displayLayout->addWidget(new QLabel(tr("ppb"), displayBox));
    displayLayout->addStretch();

    auto *buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(certBox);
    layout->addWidget(scansBox);
    layout->addWidget(displayBox);
    layout->addWidget(buttons);

    showScans(scans); // the defaults of CertScans
    userScansOn = QSettings().value(QStringLiteral("userScans"), false).toBool();
    userScansCheckBox->setChecked(userScansOn);

    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::change);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsDialog::restore);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(userScansCheckBox, &QCheckBox::clicked, this, &OptionsDialog::userScans);
}

OptionsDialog::CertScans OptionsDialog::readWidgets() const
{
    CertScans s;
    s.optimizeLaser = OptimizecheckBox->isChecked();
    s.cavityTempScan = TempScancheckBox->isChecked();
    s.refCellScan = RefCellcheckBox->isChecked();
    s.onPeak = OnPeakcheckBox->isChecked();
    s.onPeakHours = OnPeakspinBox->value();
    s.offPeak = OffPeakcheckBox->isChecked();
    s.offPeakHours = OffPeakspinBox->value();
    s.collectSettings = SettingscheckBox->isChecked();
    return s;
}

void OptionsDialog::showScans(const CertScans &s)
{
    OptimizecheckBox->setChecked(s.optimizeLaser);
    TempScancheckBox->setChecked(s.cavityTempScan);
    RefCellcheckBox->setChecked(s.refCellScan);
    OnPeakcheckBox->setChecked(s.onPeak);
    OnPeakspinBox->setValue(s.onPeakHours);
    OffPeakcheckBox->setChecked(s.offPeak);
    OffPeakspinBox->setValue(s.offPeakHours);
    SettingscheckBox->setChecked(s.collectSettings);
}

void OptionsDialog::applyScans(const CertScans &s)
{
    showScans(s);
    change();
}

void OptionsDialog::followRun(const CertificationSequence *run)
{
    connect(run, &CertificationSequence::certifying, runNote, &QLabel::setVisible);
    runNote->setVisible(run->runActive());
}

void OptionsDialog::change()
{
    scans = readWidgets();
    emit scansChanged(scans);
}

void OptionsDialog::restore()
{
    showScans(scans);
}

void OptionsDialog::userScans(bool on)
{
    userScansOn = on;
    emit userScansChanged(on);
}

double OptionsDialog::ppmThreshold() const
{
    return ppmSwitchLineEdit->text().toDouble();
}
