#include "certification/certification.h"

#include "common/dialogs.h"

#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const char *const unchecked = ":/images/Checkbox_unchecked.bmp";
const char *const checked = ":/images/Checkbox_checked.bmp";

const char *const helpText =
    "<html><head/><body><p><br/>Performance verification allows the Quorvane Service "
    "Department to verify that the instrument meets specifications. It requires: "
    "</p><p>-Optimize Laser (15 min)<br/>-Reference Cell Scan (30min)<br/>-Off-Peak Ring-Downs "
    "(12 hours)<br/>-Collecting Settings (15 min)</p><p>During these diagnostic scans no "
    "concentration data will be available.</p></body></html>";

template <typename T> T *named(T *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

} // namespace

Certification::Certification(QWidget *parent)
    : QWidget(parent), run(new CertificationSequence(this)),
      homePath(QStandardPaths::writableLocation(QStandardPaths::HomeLocation))
{
    run->dialogParent = this;

    certifyBox = named(new QGroupBox(tr("Performance Verification"), this), "certifyBox");
    // With a border of its own the box no longer leaves room for its title:
    // the top margin lowers the frame line to the title's middle, and the
    // title's background breaks the line where the text stands.
    certifyBox->setStyleSheet(
        QStringLiteral("QGroupBox { font-weight: bold;font-size: 12px;border-radius: 6px;border: "
                       "2px solid black;margin-top: 9px;}"
                       "QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 "
                       "4px; background-color: palette(window);}"));
    certifyButton =
        named(new QPushButton(tr("Collect Certification Data"), certifyBox), "certifyButton");
    cancelCertifyButton = named(new QPushButton(tr("Cancel"), certifyBox), "cancelCertifyButton");
    cerficationLabel = named(new QLabel(QLatin1String(helpText), certifyBox), "cerficationLabel");
    cerficationLabel->setWordWrap(true);
    auto *certifyLayout = new QVBoxLayout(certifyBox);
    certifyLayout->addWidget(certifyButton);
    certifyLayout->addWidget(cancelCertifyButton);
    certifyLayout->addWidget(cerficationLabel);
    certifyLayout->addStretch();

    auto *statusBox = new QGroupBox(tr("Scan Status"), this);
    statusLineEdit = named(new QLineEdit(tr("Not Running"), statusBox), "statusLineEdit");
    statusLineEdit->setReadOnly(true);
    scanProgressLabel = named(new QLabel(tr("Scan Progress:"), statusBox), "scanProgressLabel");
    scanProgressBar = named(new QProgressBar(statusBox), "scanProgressBar");
    scanProgressBar->reset();
    listWidget = named(new QListWidget(statusBox), "listWidget");
    auto *statusLayout = new QVBoxLayout(statusBox);
    statusLayout->addWidget(statusLineEdit);
    statusLayout->addWidget(scanProgressLabel);
    statusLayout->addWidget(scanProgressBar);
    statusLayout->addWidget(listWidget);

    FileBox = named(new QGroupBox(tr("Send File"), this), "FileBox");
    fileBrowseButton = named(new QPushButton(tr("Browse"), FileBox), "fileBrowseButton");
    fileLineEdit = named(new QLineEdit(tr("No File Selected"), FileBox), "fileLineEdit");
    sendFileButton = named(new QPushButton(tr("Send File"), FileBox), "sendFileButton");
    cancelFileButton = named(new QPushButton(tr("Cancel"), FileBox), "cancelFileButton");
    sendFileLabel = named(new QLabel(QStringLiteral("..."), FileBox), "sendFileLabel");
    auto *fileLayout = new QGridLayout(FileBox);
    fileLayout->addWidget(new QLabel(tr("File to Send:"), FileBox), 0, 0);
    fileLayout->addWidget(fileLineEdit, 0, 1, 1, 2);
    fileLayout->addWidget(fileBrowseButton, 0, 3);
    fileLayout->addWidget(sendFileButton, 1, 1);
    fileLayout->addWidget(cancelFileButton, 1, 2);
    fileLayout->addWidget(sendFileLabel, 1, 3);

    auto *layout = new QGridLayout(this);
    layout->addWidget(certifyBox, 0, 0);
    layout->addWidget(statusBox, 0, 1);
    layout->addWidget(FileBox, 1, 0, 1, 2);

    const QStringList texts = {tr("Optimize Laser"),      tr("Cavity Temperature Scan"),
                               tr("Reference Cell Scan"), tr("On-Peak Ring-Downs"),
                               tr("Off-Peak Ring-Downs"), tr("Collect Settings")};
    for (int i = 0; i < int(scanItems.size()); ++i)
        scanItems[i] = new QListWidgetItem(QIcon(QLatin1String(unchecked)), texts[i]);

    connect(certifyButton, &QPushButton::clicked, this, &Certification::certify);
    connect(cancelCertifyButton, &QPushButton::clicked, this, &Certification::cancel);
    connect(cancelFileButton, &QPushButton::clicked, this, &Certification::cancel);
    connect(fileBrowseButton, &QPushButton::clicked, this, &Certification::selectFile);
    connect(sendFileButton, &QPushButton::clicked, this, &Certification::sendFile);

    connect(run, &CertificationSequence::lineforOrin, this, &Certification::lineforOrin);
    connect(run, &CertificationSequence::lineforConsole, this, &Certification::lineforConsole);
    connect(run, &CertificationSequence::lineforLogger, this, &Certification::lineforLogger);
    connect(run, &CertificationSequence::certifying, this, &Certification::certifying);
    connect(run, &CertificationSequence::certifying, this, [this](bool on) {
        if (!on)
            showSelection(run->scanSelection());
    });
    connect(run, &CertificationSequence::stepChanged, this, &Certification::updateButtons);
    connect(run, &CertificationSequence::statusText, statusLineEdit, &QLineEdit::setText);
    connect(run, &CertificationSequence::progressLabel, scanProgressLabel, &QLabel::setText);
    connect(run, &CertificationSequence::progressRange, scanProgressBar, &QProgressBar::setRange);
    connect(run, &CertificationSequence::progressValue, scanProgressBar, &QProgressBar::setValue);
    connect(run, &CertificationSequence::progressReset, scanProgressBar, &QProgressBar::reset);
    connect(run, &CertificationSequence::itemDone, this, &Certification::markDone);
    connect(run, &CertificationSequence::itemsReset, this, &Certification::resetItems);
    connect(run, &CertificationSequence::sendFileLabel, sendFileLabel, &QLabel::setText);

    updateButtons();
}

Certification::~Certification()
{
    // The items out of the list belong to the tab.
    while (listWidget->count() > 0)
        listWidget->takeItem(0);
    for (QListWidgetItem *item : scanItems)
        delete item;
}

void Certification::setControlsEnabled(bool on)
{
    controls = on;
    updateButtons();
}

void Certification::updateButtons()
{
    const int step = run->currentStep();
    const bool idle = step == CertificationSequence::Idle && !run->isRestoring();
    const bool verifying = run->runActive() || run->isRestoring();
    // Start only from idle: a start while a file is being sent is refused.
    certifyButton->setEnabled(controls && idle);
    // Cancel stays in reach all through a run, also while the link is lost.
    cancelCertifyButton->setEnabled(controls || run->runActive());
    sendFileButton->setEnabled(controls && !verifying);
    cancelFileButton->setEnabled((controls && !verifying) ||
                                 step == CertificationSequence::SendFile);
}

void Certification::markDone(int item)
{
    if (item >= 0 && item < int(scanItems.size()))
        scanItems[item]->setIcon(QIcon(QLatin1String(checked)));
}

void Certification::resetItems()
{
    for (QListWidgetItem *item : scanItems)
        item->setIcon(QIcon(QLatin1String(unchecked)));
}

void Certification::linefromOrin(QString text)
{
    run->linefromOrin(text);
}

void Certification::changeScans(CertScans scans)
{
    run->setScans(scans);
    // The list shows what the run under way does, the new selection once it has ended.
    if (!run->runActive())
        showSelection(scans);
}

void Certification::showSelection(const CertScans &scans)
{
    while (listWidget->count() > 0)
        listWidget->takeItem(0);
    scanItems[CertificationSequence::OnPeakItem]->setText(
        tr("On-Peak Ring-Downs (") + QString::number(scans.onPeakHours) + tr(" hours)"));
    scanItems[CertificationSequence::OffPeakItem]->setText(
        tr("Off-Peak Ring-Downs (") + QString::number(scans.offPeakHours) + tr(" hours)"));
    const bool shown[] = {scans.optimizeLaser, scans.cavityTempScan, scans.refCellScan,
                          scans.onPeak,        scans.offPeak,        scans.collectSettings};
    for (int i = 0; i < int(scanItems.size()); ++i)
        if (shown[i])
            listWidget->addItem(scanItems[i]);
}

void Certification::certDataFolder()
{
    QDir().mkpath(run->folder());
    Dialogs::instance().openUrl(QUrl::fromLocalFile(run->folder()));
}

void Certification::setSSNID(const QString &id)
{
    run->setSSNID(id);
}

void Certification::cancel()
{
    run->cancel();
}

void Certification::certify()
{
    run->certify();
}

void Certification::selectFile()
{
    Dialogs::FileRequest r;
    r.title = tr("Choose File");
    r.startPath = homePath;
    r.filter = tr("Text Files (*.txt);;All Files (*.*)");
    r.parent = this;
    fileLineEdit->setText(Dialogs::instance().openFileName(r));
}

void Certification::sendFile()
{
    if (!QFile::exists(fileLineEdit->text()))
        selectFile();
    run->sendFile(fileLineEdit->text());
}
