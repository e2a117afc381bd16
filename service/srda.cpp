#include "service/srda.h"

#include <QHBoxLayout>
#include <QPushButton>

SRDA::SRDA(QWidget *parent)
    : QWidget(parent), serviceButton(new QPushButton(tr("Service"), this)),
      tuneButton(new QPushButton(tr("Tune"), this)),
      measureButton(new QPushButton(tr("Measure"), this))
{
    auto *l = new QHBoxLayout(this);
    l->addWidget(serviceButton);
    l->addWidget(tuneButton);
    l->addWidget(measureButton);
    setControlsEnabled(false);
}

SRDA::~SRDA() = default;

void SRDA::setControlsEnabled(bool on)
{
    for (auto *b : {serviceButton, tuneButton, measureButton})
        b->setEnabled(on);
}
