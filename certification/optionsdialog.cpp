#include "certification/optionsdialog.h"

#include <QFormLayout>
#include <QLineEdit>

OptionsDialog::OptionsDialog(QWidget *parent) : QDialog(parent), ppmEdit(new QLineEdit(this))
{
    setWindowTitle(tr("Options"));
    ppmEdit->setText(QStringLiteral("100000"));
    auto *form = new QFormLayout(this);
    form->addRow(tr("Switch to ppm at"), ppmEdit);
}

double OptionsDialog::ppmThreshold() const
{
    return ppmEdit->text().toDouble();
}
