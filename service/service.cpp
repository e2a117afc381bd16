#include "service/service.h"

#include "common/clock.h"
#include "common/dialogs.h"
#include "plot/numbertext.h"
#include "plot/plotwindow.h"

#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace {

int startDelayMs = 1000;

QString positionUnit(ServiceScan::Kind kind)
{
    return kind == ServiceScan::FineSpectrum ? QStringLiteral(" mA") : QStringLiteral(" °C");
}

} // namespace

void Service::setStartDelayMs(int ms)
{
    startDelayMs = ms;
}

Service::Service(QWidget *parent)
    : QWidget(parent), rcsButton(new QPushButton(tr("Reference Cell Scan"), this)),
      tempScanButton(new QPushButton(tr("Temperature Scan"), this)),
      fineScanButton(new QPushButton(tr("Fine Spectrum Scan"), this)),
      rcsDownloadButton(new QPushButton(tr("Download"), this)),
      tempDownloadButton(new QPushButton(tr("Download"), this)),
      fineDownloadButton(new QPushButton(tr("Download"), this)),
      cancelButton(new QPushButton(tr("Cancel"), this)),
      plotButton(new QPushButton(tr("Show Plot"), this)), stateText(new QLabel(this)),
      positionText(new QLabel(this)), progressBar(new QProgressBar(this)),
      resultText(new QLabel(this)),
      dataFolder(QDir::homePath() + QStringLiteral("/QuorvaneData/Scans/"))
{
    startButtons[ServiceScan::RefCell] = rcsButton;
    startButtons[ServiceScan::Temperature] = tempScanButton;
    startButtons[ServiceScan::FineSpectrum] = fineScanButton;
    downloadButtons[ServiceScan::RefCell] = rcsDownloadButton;
    downloadButtons[ServiceScan::Temperature] = tempDownloadButton;
    downloadButtons[ServiceScan::FineSpectrum] = fineDownloadButton;

    auto *grid = new QGridLayout(this);
    for (int k = 0; k < ServiceScan::kindCount; ++k) {
        const auto kind = ServiceScan::Kind(k);
        auto *box = new QGroupBox(ServiceScan::title(kind), this);
        auto *form = new QFormLayout;
        for (const ServiceScan::Field &f : ServiceScan::fields(kind)) {
            auto *edit = new QLineEdit(QString::fromLatin1(numberText(f.defaultValue)), box);
            edit->setMaximumWidth(80);
            auto *row = new QHBoxLayout;
            row->addWidget(edit);
            row->addWidget(new QLabel(f.unit, box));
            row->addStretch();
            form->addRow(f.caption, row);
            fields[k] << edit;
            connect(edit, &QLineEdit::textChanged, this, [this, kind] { validate(kind); });
        }
        refusals[k] = new QLabel(box);
        refusals[k]->setWordWrap(true);
        refusals[k]->setStyleSheet(QStringLiteral("color: rgb(200,0,0);"));
        auto *buttons = new QHBoxLayout;
        buttons->addWidget(startButtons[k]);
        buttons->addWidget(downloadButtons[k]);
        auto *column = new QVBoxLayout(box);
        column->addLayout(form);
        column->addWidget(refusals[k]);
        column->addStretch();
        column->addLayout(buttons);
        grid->addWidget(box, 0, k);
    }

    auto *status = new QGridLayout;
    status->addWidget(new QLabel(tr("Scan:"), this), 0, 0);
    status->addWidget(stateText, 0, 1);
    status->addWidget(new QLabel(tr("Position:"), this), 0, 2);
    status->addWidget(positionText, 0, 3);
    status->addWidget(cancelButton, 0, 4);
    status->addWidget(progressBar, 1, 0, 1, 5);
    status->addWidget(new QLabel(tr("Scan result:"), this), 2, 0);
    status->addWidget(resultText, 2, 1, 1, 3);
    status->addWidget(plotButton, 2, 4);
    status->setColumnStretch(1, 1);
    status->setColumnStretch(3, 1);
    grid->addLayout(status, 1, 0, 1, ServiceScan::kindCount);
    grid->setRowStretch(2, 1);

    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    resultText->setWordWrap(true);
    resultText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    resultText->setText(tr("No scan data to plot"));
    positionText->setText(QStringLiteral("-"));

    pendingStart.setSingleShot(true);
    connect(&pendingStart, &QTimer::timeout, this, [this] {
        send(pendingLine);
        pendingLine.clear();
        updateView();
    });
    connect(fineDownloadButton, &QPushButton::clicked, this,
            [this] { download(ServiceScan::FineSpectrum); });
    connect(cancelButton, &QPushButton::clicked, this, &Service::cancelScan);
    connect(plotButton, &QPushButton::clicked, this, &Service::showPlot);
    updateView();
}

QStringList Service::texts(ServiceScan::Kind kind) const
{
    QStringList out;
    for (const QLineEdit *e : fields[kind])
        out << e->text();
    return out;
}

void Service::send(const QString &text)
{
    emit lineforOrin(text);
    emit lineforConsole(text);
}

void Service::validate(ServiceScan::Kind kind)
{
    // A refused field keeps its scan from starting, and says why.
    QString error;
    valid[kind] = !ServiceScan::startCommand(kind, texts(kind), &error).isEmpty();
    refusals[kind]->setText(error);
    updateView();
}

void Service::startScan(int kind)
{
    if (kind < 0 || kind >= ServiceScan::kindCount || scan.state() != ServiceScan::Idle ||
        pendingStart.isActive())
        return;
    QString error;
    if (ServiceScan::startCommand(ServiceScan::Kind(kind), texts(ServiceScan::Kind(kind)), &error)
            .isEmpty()) {
        Dialogs::post(Dialogs::Icon::Warning, tr("Scan not started"), error, this);
        updateView();
        return;
    }
    if (!claimReplies())
        return;
    const QString line =
        scan.start(ServiceScan::Kind(kind), texts(ServiceScan::Kind(kind)), &error);
    // The start button also puts the analyzer in service mode; the scan's
    // command follows once that has gone out and taken effect.
    pendingLine = line;
    pendingStart.start(startDelayMs);
    updateView();
}

void Service::download(int kind)
{
    if (kind < 0 || kind >= ServiceScan::kindCount || !claimReplies())
        return;
    pendingStart.stop();
    pendingLine.clear();
    const QString line = scan.requestDownload(ServiceScan::Kind(kind));
    emit downloadStarted();
    send(line);
    updateView();
}

void Service::cancelScan()
{
    if (busy())
        tellEnd(RunOutcome::Cancelled, tr("cancelled by the operator"));
    // Cancelled while the link is lost: the scan ends now, and the analyzer
    // is put back in service mode when it is back.
    stopWith(stopScan(), [this](const QString &line) { send(line); });
}

QString Service::stopScan()
{
    pendingStart.stop();
    pendingLine.clear();
    const QString line = scan.cancel();
    progressBar->setValue(0);
    updateView();
    releaseIfIdle();
    return line;
}

void Service::releaseIfIdle()
{
    if (scan.state() == ServiceScan::Idle && !pendingStart.isActive())
        releaseReplies();
}

void Service::reply(const QByteArray &chunk)
{
    const QStringList tokens = ServiceScan::replyTokens(chunk);
    // The state before this reply decides, as a reading may end the scan.
    const bool running = scan.running();
    const bool downloading = scan.downloading();
    if (running && tokens.size() == 1)
        scanReading(tokens.last());
    if (downloading)
        appendDownload(tokens);
}

QString Service::pollCommand() const
{
    // No position is asked while the start command still waits for service mode.
    return pendingStart.isActive() || runPaused() ? QString()
                                                  : ServiceScan::pollCommand(scan.state());
}

void Service::pauseRun()
{
    if (scan.state() == ServiceScan::Idle && !pendingStart.isActive())
        return;
    pendingStart.stop();
    pendingLine.clear();
    updateView();
}

void Service::resumeRun()
{
    const bool running = scan.running();
    const QString line = scan.restart();
    if (line.isEmpty()) {
        releaseIfIdle();
        return;
    }
    if (running) {
        // As at a start: service mode first, the scan's command once it has taken effect.
        send(QStringLiteral("opmode 0\r\n"));
        pendingLine = line;
        pendingStart.start(startDelayMs);
    } else {
        emit downloadStarted();
        send(line);
    }
    updateView();
}

void Service::downloadDone()
{
    if (!scan.downloading() || runPaused())
        return;
    scan.finishDownload();
    releaseIfIdle();
    const ServiceScan::Kind kind = scan.kind();
    const int n = scan.xs().size();
    savedFile.clear();
    if (n == 0) {
        resultText->setText(tr("No scan data to plot"));
        updateView();
        return;
    }
    const QDateTime now = Clock::current();
    savedFile = scan.save(dataFolder, serialNumber, now);
    PlotWindow *plot = plotWindow();
    plot->seriesName = QStringLiteral("Scan");
    plot->setSeries(scan.xs(), scan.ys());
    plot->setDateAxis(false);
    plot->setPlotTitle(
        tr("Scan result: %1, %2")
            .arg(ServiceScan::title(kind), now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))));
    plot->show();
    QString text = tr("%1, %2 points").arg(ServiceScan::title(kind)).arg(n);
    if (!savedFile.isEmpty()) {
        text += tr(", kept in %1").arg(QDir::toNativeSeparators(savedFile));
    } else {
        text += tr(", not saved");
        // Reached from the reply path: the box waits until it has returned.
        Dialogs::post(
            Dialogs::Icon::Warning, tr("Scan not saved"),
            tr("The scan could not be written to %1").arg(QDir::toNativeSeparators(dataFolder)),
            this);
    }
    resultText->setText(text);
    progressBar->setValue(100);
    updateView();
}

void Service::scanReading(const QString &value)
{
    if (scan.takeReading(value)) {
        // The position fell back: the scan is over, fetch what it found.
        download(scan.kind());
        return;
    }
    updateView();
}

void Service::appendDownload(const QStringList &tokens)
{
    if (scan.addDownload(tokens)) {
        emit downloadComplete();
        return;
    }
    updateView();
}

PlotWindow *Service::plotWindow()
{
    if (!plot)
        plot = new PlotWindow(this);
    return plot;
}

void Service::showPlot()
{
    if (!plot || plot->sampleCount() == 0) {
        Dialogs::information(tr("Scan result"), tr("No scan data to plot"), this);
        return;
    }
    plot->show();
    plot->raise();
}

void Service::setControlsEnabled(bool on)
{
    controlsOn = on;
    updateView();
}

void Service::clear()
{
    if (plot)
        plot->setSeries({}, {});
    savedFile.clear();
    resultText->setText(tr("No scan data to plot"));
    if (!scan.running())
        progressBar->setValue(0);
    if (scan.state() == ServiceScan::Idle)
        positionText->setText(QStringLiteral("-"));
}

void Service::updateView()
{
    const int st = scan.state();
    const bool idle = st == ServiceScan::Idle && !pendingStart.isActive();
    const QString name = ServiceScan::title(scan.kind());
    if (runPaused())
        stateText->setText(tr("%1: connection lost, waiting for the analyzer").arg(name));
    else if (pendingStart.isActive())
        stateText->setText(tr("Starting %1...").arg(name));
    else if (scan.running())
        stateText->setText(tr("%1 running").arg(name));
    else if (scan.downloading())
        stateText->setText(tr("Downloading %1: %2 points").arg(name).arg(scan.xs().size()));
    else
        stateText->setText(tr("Idle"));
    if (scan.running()) {
        positionText->setText(scan.hasPosition()
                                  ? QString::fromLatin1(numberText(scan.position())) +
                                        positionUnit(scan.kind())
                                  : QStringLiteral("-"));
        progressBar->setValue(scan.progress());
    }
    for (int k = 0; k < ServiceScan::kindCount; ++k) {
        startButtons[k]->setEnabled(controlsOn && idle && valid[k]);
        // Download also ends the scan of its own kind.
        downloadButtons[k]->setEnabled(controlsOn && (idle || (scan.running() && scan.kind() == k &&
                                                               !pendingStart.isActive())));
    }
    cancelButton->setEnabled(!idle);
}
