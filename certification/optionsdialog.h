#pragma once

#include <QDialog>

class QLineEdit;

// Certification options (placeholder): holds the "Switch to ppm at" value.
class OptionsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit OptionsDialog(QWidget *parent = nullptr);

    // The "Switch to ppm at" field read as a number; a text that is not a number reads as 0.
    double ppmThreshold() const;

signals:
    void userScansChanged(bool);

private:
    QLineEdit *ppmEdit;
};
