#include "dashboard/instrument.h"

#include <QHBoxLayout>
#include <QPushButton>

Instrument::Instrument(QWidget *parent)
    : QWidget(parent), measureButton(new QPushButton(tr("Measure"), this)),
      serviceButton(new QPushButton(tr("Service"), this)), tuneButton(new QPushButton(tr("Tune"), this))
{
    auto *l = new QHBoxLayout(this);
    l->addWidget(measureButton);
    l->addWidget(serviceButton);
    l->addWidget(tuneButton);
    measureButton->setEnabled(false);
    serviceButton->setEnabled(false);
    tuneButton->setEnabled(false);
}
