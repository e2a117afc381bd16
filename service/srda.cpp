#include "service/srda.h"

#include "common/clock.h"
#include "common/debuglog.h"
#include "common/dialogs.h"
#include "plot/plotwindow.h"
#include "service/commandfilesender.h"

#include <QComboBox>
#include <QDebug>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>

namespace {

void noData(const QString &text)
{
    Dialogs::Message m;
    m.text = text;
    m.buttons = Dialogs::Ok;
    Dialogs::instance().message(m);
}

} // namespace

SRDA::SRDA(QWidget *parent)
    : QWidget(parent), onPeakButton(new QPushButton(tr("On-Peak SRDA"), this)),
      offPeakButton(new QPushButton(tr("Off-Peak SRDA"), this)),
      stopButton(new QPushButton(tr("Stop SRDA"), this)),
      exportButton(new QPushButton(tr("Export Data"), this)),
      clearButton(new QPushButton(tr("Clear Data"), this)),
      serviceButton(new QPushButton(tr("Service"), this)),
      tuneButton(new QPushButton(tr("Tune"), this)),
      measureButton(new QPushButton(tr("Measure"), this)),
      plotButton(new QPushButton(tr("Plot SRDA data"), this)), xSelector(new QComboBox(this)),
      ySelector(new QComboBox(this)), elapsedLabel(new QLabel(tr("-no data-"), this)),
      fileLineEdit(new QLineEdit(this)), browseButton(new QPushButton(tr("Browse"), this)),
      sendFileButton(new QPushButton(tr("Send File"), this)),
      cancelFileButton(new QPushButton(tr("Cancel"), this)), delaySpinBox(new QSpinBox(this)),
      sender(new CommandFileSender(this))
{
    auto *grid = new QGridLayout(this);

    auto *collection = new QGroupBox(tr("SRDA Collection"), this);
    auto *collectionGrid = new QGridLayout(collection);
    auto *icon = new QLabel(collection);
    icon->setPixmap(QPixmap(QStringLiteral(":/images/App_Icon.png")));
    auto *help = new QLabel(
        tr("Use this widget for collecting on-peak or off-peak \nringdowns.  The SRDA data can "
           "either be logged continuously \nto a file using the logging action above, or saved "
           "to a file \nlater using the Export Data button below.  The commands use \nsrda=3 to "
           "save both on and off-peak ringdowns.  After srda \ncollection has begun, the X and "
           "Y values will be \npopulated for plotting.\n"),
        collection);
    collectionGrid->addWidget(onPeakButton, 0, 0);
    collectionGrid->addWidget(offPeakButton, 1, 0);
    collectionGrid->addWidget(stopButton, 2, 0);
    collectionGrid->addWidget(icon, 0, 1, 3, 1);
    collectionGrid->addWidget(help, 3, 0, 1, 2);

    auto *dataBox = new QGroupBox(tr("Data"), this);
    auto *dataLayout = new QHBoxLayout(dataBox);
    dataLayout->addWidget(elapsedLabel, 1);
    dataLayout->addWidget(exportButton);
    dataLayout->addWidget(clearButton);

    auto *sendBox = new QGroupBox(tr("Send Text File"), this);
    auto *sendGrid = new QGridLayout(sendBox);
    delaySpinBox->setRange(1, 3);
    delaySpinBox->setValue(3);
    sendGrid->addWidget(new QLabel(tr("Open:"), sendBox), 0, 0);
    sendGrid->addWidget(fileLineEdit, 0, 1, 1, 2);
    sendGrid->addWidget(browseButton, 0, 3);
    sendGrid->addWidget(new QLabel(tr("Delay in seconds"), sendBox), 1, 0);
    sendGrid->addWidget(delaySpinBox, 1, 1);
    sendGrid->addWidget(sendFileButton, 1, 2);
    sendGrid->addWidget(cancelFileButton, 1, 3);

    auto *commands = new QGroupBox(tr("Commands"), this);
    auto *commandLayout = new QHBoxLayout(commands);
    commandLayout->addWidget(serviceButton);
    commandLayout->addWidget(tuneButton);
    commandLayout->addWidget(measureButton);

    auto *plotBox = new QGroupBox(tr("Plot SRDA data"), this);
    auto *plotGrid = new QGridLayout(plotBox);
    xSelector->setMinimumWidth(100);
    ySelector->setMinimumWidth(100);
    plotGrid->addWidget(new QLabel(tr("X-axis:"), plotBox), 0, 0);
    plotGrid->addWidget(xSelector, 0, 1);
    plotGrid->addWidget(new QLabel(tr("Y-axis:"), plotBox), 1, 0);
    plotGrid->addWidget(ySelector, 1, 1);
    plotGrid->addWidget(plotButton, 2, 0, 1, 2);

    grid->addWidget(collection, 0, 0, 2, 1);
    grid->addWidget(dataBox, 2, 0);
    grid->addWidget(sendBox, 3, 0);
    grid->addWidget(commands, 0, 1);
    grid->addWidget(plotBox, 1, 1, 3, 1);

    connect(onPeakButton, &QPushButton::released, this, &SRDA::sendSRDAONCommand);
    connect(offPeakButton, &QPushButton::released, this, &SRDA::sendSRDAOFFCommand);
    connect(stopButton, &QPushButton::released, this, &SRDA::sendSRDAStopCommand);
    connect(plotButton, &QPushButton::released, this, &SRDA::makePlotWindow);
    connect(exportButton, &QPushButton::released, this, &SRDA::saveData);
    connect(clearButton, &QPushButton::released, this, &SRDA::clearData);
    connect(browseButton, &QPushButton::released, this, &SRDA::selectConfigFile);
    connect(sendFileButton, &QPushButton::released, this, &SRDA::startConfigFile);
    connect(cancelFileButton, &QPushButton::released, this, &SRDA::cancelConfigFile);
    // The line itself goes out as the sender's own (the window sends it for
    // the sender); the tab only echoes it.
    connect(sender, &CommandFileSender::lineReady, this, [this](const QString &line) {
        emit lineforConsole(line);
        emit lineforLogger(line);
    });

    rowReader.columnsSet = [this] { emit columnsReady(); };
    rowReader.rowRead = [this](const double *row) {
        updateDataSize();
        updatePlotWindow(row);
    };
    rowReader.limitReached = [this](qint64 rowsKept) {
        showLimitReached(rowsKept);
        emit limitReached(rowsKept);
    };

    startMs = Clock::monotonic();
    setControlsEnabled(false);
}

SRDA::~SRDA()
{
    // The plot window has no parent; it lives exactly as long as this tab.
    delete plot;
}

PlotWindow *SRDA::plotWindow()
{
    if (!plot)
        plot = new PlotWindow(nullptr);
    return plot;
}

void SRDA::closePlotWindow()
{
    if (plot)
        plot->close();
}

void SRDA::setControlsEnabled(bool on)
{
    controls = on;
    updateButtons();
}

void SRDA::updateButtons()
{
    for (QPushButton *b : {onPeakButton, offPeakButton, stopButton, serviceButton, tuneButton,
                           measureButton, sendFileButton})
        b->setEnabled(controls);
    // A collection can always be stopped, also while the link is lost or
    // while it holds the analyzer (which takes the other controls away).
    stopButton->setEnabled(controls || srdaRunning);
}

void SRDA::start(const QString &commands)
{
    if (!claimReplies())
        return;
    emit lineforOrin(commands);
    emit lineforConsole(commands);
    srdaRunning = true;
    startCommands = commands;
    restartClock();
    updateButtons();
}

void SRDA::resumeRun()
{
    if (!srdaRunning)
        return;
    // The analyzer starts streaming again with a header of the same columns.
    table.keepRowsOnSameHeader();
    emit lineforOrin(startCommands);
    emit lineforConsole(startCommands);
}

void SRDA::reply(const QByteArray &chunk)
{
    rowReader.read(chunk);
}

void SRDA::abandonRun(const QString &reason)
{
    if (srdaRunning)
        tellEnd(RunOutcome::Failed, reason);
    srdaRunning = false;
    releaseReplies();
    updateButtons();
}

void SRDA::sendSRDAONCommand()
{
    start(QStringLiteral("fact=1\r\nopmode 2\r\nsrda 3\r\n"));
}

void SRDA::sendSRDAOFFCommand()
{
    start(QStringLiteral("fact=1\r\ntuneringdowns -1\r\nopmode 1\r\nsrda 3\r\n"));
}

void SRDA::sendSRDAStopCommand()
{
    const QString commands = QStringLiteral("srda 0\r\ntuneringdowns 25\r\n");
    // Stopped while the link is lost: the collection ends now, and the
    // analyzer hears the stop when it is back.
    stopWith(commands, [this](const QString &c) {
        emit lineforOrin(c);
        emit lineforConsole(c);
    });
    srdaRunning = false;
    releaseReplies();
    updateButtons();
}

void SRDA::restartClock()
{
    startMs = Clock::monotonic();
    shownHundredths = -1;
}

void SRDA::updateSRDAColumns()
{
    xSelector->clear();
    ySelector->clear();
    xSelector->addItems(table.columns());
    ySelector->addItems(table.columns());
}

void SRDA::updateDataSize()
{
    // Past the memory limit the label keeps saying so; rows still reach the
    // live plot.
    if (table.limitReached())
        return;
    // Called for every row: the label changes only every 36 s (rounded, as
    // two decimals of the hours would be).
    const qint64 hundredths = (Clock::monotonic() - startMs + 18000) / 36000;
    if (hundredths == shownHundredths)
        return;
    shownHundredths = hundredths;
    elapsedLabel->setText(QString::number(double(hundredths) / 100.0, 'f', 2) +
                          QStringLiteral(" hours"));
}

void SRDA::showLimitReached(qint64 rowsKept)
{
    elapsedLabel->setText(SrdaData::limitText(rowsKept));
    shownHundredths = -1;
}

void SRDA::updatePlotWindow(const double *row)
{
    const int x = xSelector->currentIndex();
    const int y = ySelector->currentIndex();
    // The time column read as text is no number: as a Y it adds no point.
    if (x < 0 || y <= 0 || x >= table.columnCount() || y >= table.columnCount())
        return;
    if (x == 0)
        plotWindow()->addTimeValue(row[0], row[y]);
    else
        plotWindow()->addXYValue(row[x], row[y]);
}

void SRDA::makePlotWindow()
{
    if (table.columnCount() < 2) {
        noData(tr("No SRDA data to plot"));
        return;
    }
    const int x = qMax(0, xSelector->currentIndex());
    const int y = qMax(0, ySelector->currentIndex());
    const QString yName = table.columns().value(y);
    PlotWindow *plot = plotWindow();
    plot->seriesName = yName;
    // Only what the plot keeps: a whole column of a day-long collection
    // would not fit in one vector.
    QVector<double> xs, ys;
    const qint64 before = table.plotTail(x, y, SampleRing::Capacity, xs, ys);
    plot->setSeries(xs, ys, before);
    plot->setDateAxis(x == 0);
    plot->setPlotTitle(QStringLiteral("SRDA Data: ") + yName + QStringLiteral(" vs ") +
                       table.columns().value(x));
    plot->show();
}

void SRDA::saveData()
{
    qCDebug(telvarDebug) << "ExportData";
    if (table.columnCount() < 2) {
        noData(tr("No SRDA data to export"));
        return;
    }
    Dialogs::FileRequest request;
    request.title = tr("Save Data");
    request.filter = tr("Comma Separated Values (*.csv)");
    request.parent = this;
    const QString name = Dialogs::instance().saveFileName(request);
    if (name.isEmpty())
        return;
    QSaveFile file(name);
    if (file.open(QIODevice::WriteOnly) && table.writeCsv(file) && file.commit())
        return;
    file.cancelWriting();
    Dialogs::Message m;
    m.icon = Dialogs::Icon::Warning;
    m.title = tr("Save Data");
    m.text = tr("Could not write %1:\n%2").arg(name, file.errorString());
    m.parent = this;
    Dialogs::instance().message(m);
}

void SRDA::clearData()
{
    Dialogs::Message m;
    m.icon = Dialogs::Icon::Question;
    m.text = tr("This will clear all SRDA data, are you sure?");
    m.buttons = Dialogs::Ok | Dialogs::Cancel;
    m.defaultButton = Dialogs::Cancel;
    if (Dialogs::instance().message(m) != Dialogs::Ok)
        return;
    table.clear();
    xSelector->clear();
    ySelector->clear();
    restartClock();
    updateDataSize();
}

void SRDA::selectConfigFile()
{
    Dialogs::FileRequest request;
    request.title = tr("Open File");
    request.filter = tr("Text Files (*.txt)");
    request.parent = this;
    configFilePath = Dialogs::instance().openFileName(request);
    fileLineEdit->setText(configFilePath);
}

void SRDA::startConfigFile()
{
    // What "Open:" says is the file: chosen with Browse or typed in.
    configFilePath = fileLineEdit->text().trimmed();
    if (!sender->isSending()) {
        QFile probe(configFilePath);
        if (configFilePath.isEmpty() || !probe.open(QIODevice::ReadOnly)) {
            Dialogs::information(tr("Send File"),
                                 configFilePath.isEmpty()
                                     ? tr("Not sent: choose a command file first.")
                                     : tr("Not sent: %1 cannot be read (%2).")
                                           .arg(configFilePath, probe.errorString()),
                                 this);
            return;
        }
    }
    // Pressed again while sending: only the pace restarts, the file goes on.
    // The file is opened only once the send may start, so a refused start
    // leaves nothing open for the next one.
    sender->start(&configFile, delaySpinBox->value() * 1000, [this] {
        if (configFile.isOpen())
            return;
        configFile.setFileName(configFilePath);
        if (configFile.open(QIODevice::ReadOnly))
            qCDebug(telvarDebug) << "success opening file, sending started";
    });
}

void SRDA::cancelConfigFile()
{
    sender->cancelled();
}
