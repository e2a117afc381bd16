#pragma once

#include <QStringList>
#include <QWidget>

class QPushButton;

// The "Service Scans" tab: reference cell, temperature and fine spectrum scans.
// scanState: 0 no scan, 1 or 2 the poll asks "lt", 3 asks "lc", above 3 a download runs.
class Service : public QWidget
{
    Q_OBJECT
public:
    explicit Service(QWidget *parent = nullptr);

    int scanState = 0;
    QStringList readings;     // single-token replies seen while a scan runs
    QStringList downloadList; // tokens collected while a download runs

    QPushButton *rcsButton;
    QPushButton *tempScanButton;
    QPushButton *fineScanButton;
    QPushButton *rcsDownloadButton;
    QPushButton *tempDownloadButton;

    void setControlsEnabled(bool on);
    void clear();

public slots:
    void scanReading(const QString &value) { readings << value; }
    void appendDownload(const QStringList &tokens) { downloadList << tokens; }
};
