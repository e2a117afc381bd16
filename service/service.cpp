#include "service/service.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

Service::Service(QWidget *parent)
    : QWidget(parent), rcsButton(new QPushButton(tr("Reference Cell Scan"), this)),
      tempScanButton(new QPushButton(tr("Temperature Scan"), this)),
      fineScanButton(new QPushButton(tr("Fine Spectrum Scan"), this)),
      rcsDownloadButton(new QPushButton(tr("Download"), this)),
      tempDownloadButton(new QPushButton(tr("Download"), this))
{
    auto *grid = new QGridLayout(this);
    grid->addWidget(rcsButton, 0, 0);
    grid->addWidget(rcsDownloadButton, 0, 1);
    grid->addWidget(tempScanButton, 1, 0);
    grid->addWidget(tempDownloadButton, 1, 1);
    grid->addWidget(fineScanButton, 2, 0);
    setControlsEnabled(false);
}

void Service::setControlsEnabled(bool on)
{
    for (auto *b :
         {rcsButton, tempScanButton, fineScanButton, rcsDownloadButton, tempDownloadButton})
        b->setEnabled(on);
}

void Service::clear()
{
    readings.clear();
    downloadList.clear();
}
