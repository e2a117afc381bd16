#pragma once

#include "certification/certscans.h"

#include <QDialog>

class CertificationSequence;
class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// The "Options" dialog: which scans a performance verification runs and for
// how long, whether the Service Scans tab is offered, and the concentration
// at which the dashboard switches from ppb to ppm.
class OptionsDialog : public QDialog
{
    Q_OBJECT
public:
    using CertScans = ::CertScans;

    explicit OptionsDialog(QWidget *parent = nullptr);

    // The last accepted selection.
    CertScans certScans() const { return scans; }
    // Shows `s` and takes it as OK would (a preset from the command line).
    void applyScans(const CertScans &s);
    // The "Switch to ppm at" field read as a number; a text that is not a number reads as 0.
    double ppmThreshold() const;
    bool userScansEnabled() const { return userScansOn; }
    // While `run` has a verification under way, a line says that changes are
    // for the next run (the run keeps the selection it started with).
    void followRun(const CertificationSequence *run);

    QCheckBox *OptimizecheckBox;
    QCheckBox *TempScancheckBox;
    QCheckBox *RefCellcheckBox;
    QCheckBox *OnPeakcheckBox;
    QSpinBox *OnPeakspinBox;
    QCheckBox *OffPeakcheckBox;
    QSpinBox *OffPeakspinBox;
    QCheckBox *SettingscheckBox;
    QLabel *optionsLabel;
    QLabel *runNote;
    QCheckBox *userScansCheckBox;
    QLineEdit *ppmSwitchLineEdit;

signals:
    void scansChanged(OptionsDialog::CertScans scans);
    void userScansChanged(bool on);

public slots:
    // OK: read the widgets into the selection and pass it on.
    void change();
    // Cancel: show the last accepted selection again.
    void restore();
    void userScans(bool on);

private:
    CertScans readWidgets() const;
    void showScans(const CertScans &s);

    CertScans scans;
    bool userScansOn = false;
};
