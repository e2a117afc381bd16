#include "link/settingsdialog.h"

#include "common/clock.h"
#include "common/debuglog.h"
#include "common/dialogs.h"
#include "common/hostport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString defaultIpAddress = QStringLiteral("192.168.1.223");
constexpr int defaultLogInterval = 5;
constexpr int defaultTcpPort = 23;
constexpr int serialIndex = 0;
constexpr int ethernetIndex = 1;

// A stored or listed port that is no TCP port reads as the analyzer's own.
int tcpPortOrDefault(int port)
{
    return port >= 1 && port <= 65535 ? port : defaultTcpPort;
}

QSettings store()
{
    return QSettings(QStringLiteral("Quorvane"), QStringLiteral("Telvar"));
}

QString orNotAvailable(const QString &text)
{
    return text.isEmpty() ? SettingsDialog::tr("N/A") : text;
}

QString idOrNotAvailable(quint16 id)
{
    return id == 0 ? SettingsDialog::tr("N/A") : QString::number(id, 16);
}

template <typename W> W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

SettingsDialog::SettingsDialog(QWidget *parent) : QDialog(parent)
{
    buildForm();
    intValidator = new QIntValidator(0, 4000000, this);
    baudRateBox->setInsertPolicy(QComboBox::NoInsert);

    connect(applyButton, &QPushButton::clicked, this, &SettingsDialog::apply);
    connect(serialPortInfoListBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SettingsDialog::showPortInfo);
    connect(baudRateBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SettingsDialog::checkCustomBaudRatePolicy);
    connect(fileBrowseButton, &QPushButton::clicked, this, &SettingsDialog::selectFile);
    connect(recentConnections, &QListWidget::itemActivated, this,
            &SettingsDialog::recentConnectionSelected);

    fillPortsParameters();

    QCoreApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("quorvane.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Telvar"));

    loadSettings();
    // Every start writes the store back and puts the default connection on top. Asking
    // the system for its serial ports is slow, so that part waits until the window is
    // up, unless the ports are wanted sooner.
    updateSettings();
    QTimer::singleShot(0, this, &SettingsDialog::listPorts);
}

SettingsDialog::Settings SettingsDialog::settings()
{
    listPorts();
    return currentSettings;
}

QStringList SettingsDialog::recentEntries()
{
    listPorts();
    return recent.entries();
}

void SettingsDialog::showEvent(QShowEvent *event)
{
    listPorts();
    QDialog::showEvent(event);
}

void SettingsDialog::listPorts()
{
    if (portsListed)
        return;
    portsListed = true;
    fillPortsInfo();
    // The rest of the start's write: the default connection names the first port.
    updateSettings();
}

void SettingsDialog::buildForm()
{
    setWindowTitle(tr("Settings"));
    setModal(false);

    connectionTypeBox = named(new QComboBox, "connectionTypeBox");
    connectionTypeBox->setEditable(false);
    labelLineEdit = named(new QLineEdit(tr("Connection Label")), "labelLineEdit");
    labelLineEdit->setMaxLength(100);
    auto *top = new QGridLayout;
    top->addWidget(new QLabel(tr("Connection Type:")), 0, 0);
    top->addWidget(connectionTypeBox, 0, 1);
    top->addWidget(new QLabel(tr("Label:")), 1, 0);
    top->addWidget(labelLineEdit, 1, 1);

    selectBox = named(new QGroupBox(tr("Select Serial Port")), "selectBox");
    serialPortInfoListBox = named(new QComboBox, "serialPortInfoListBox");
    descriptionLabel = named(new QLabel(tr("Description:")), "descriptionLabel");
    baudRateBox = named(new QComboBox, "baudRateBox");
    auto *serial = new QGridLayout(selectBox);
    serial->addWidget(serialPortInfoListBox, 0, 0, 1, 2);
    serial->addWidget(descriptionLabel, 1, 0, 1, 2);
    serial->addWidget(new QLabel(tr("BaudRate:")), 2, 0);
    serial->addWidget(baudRateBox, 2, 1);

    parametersBox = named(new QGroupBox(tr("Select Ethernet Parameters")), "parametersBox");
    ipAddressBox = named(new QLineEdit(defaultIpAddress), "ipAddressBox");
    ipAddressBox->setMinimumWidth(100);
    portNumBox = named(new QSpinBox, "portNumBox");
    portNumBox->setRange(1, 65535);
    portNumBox->setValue(defaultTcpPort);
    portNumBox->setToolTip(tr("23 for the analyzer's own TCP service; a serial-to-Ethernet "
                              "converter often listens on another, such as 4001"));
    auto *ethernet = new QGridLayout(parametersBox);
    ethernet->addWidget(new QLabel(tr("IP Address")), 0, 0);
    ethernet->addWidget(ipAddressBox, 0, 1);
    ethernet->addWidget(new QLabel(tr("Port Number:")), 1, 0);
    ethernet->addWidget(portNumBox, 1, 1);

    fileOptionsBox = named(new QGroupBox(tr("File for Logging")), "fileOptionsBox");
    fileNameBox = named(new QLineEdit, "fileNameBox");
    fileBrowseButton = named(new QPushButton(tr("Browse")), "fileBrowseButton");
    auto *file = new QHBoxLayout(fileOptionsBox);
    file->addWidget(new QLabel(tr("Save to:")));
    file->addWidget(fileNameBox, 1);
    file->addWidget(fileBrowseButton);

    additionalOptionsGroupBox =
        named(new QGroupBox(tr("Additional options")), "additionalOptionsGroupBox");
    localEchoCheckBox = named(new QCheckBox(tr("Local echo")), "localEchoCheckBox");
    LogInterval = named(new QSpinBox, "LogInterval");
    LogInterval->setRange(1, 1000);
    LogInterval->setValue(defaultLogInterval);
    LogInterval->setToolTip(
        tr("<html><head/><body><p>Interval at which new readings will be obtained.</p></body>"
           "</html>"));
    autoLogCheckBox = named(new QCheckBox(tr("Auto Log Concentration Data")), "autoLogCheckBox");
    autoLogCheckBox->setToolTip(tr("Automatically log all concentration data"));
    statusLogCheckBox = named(new QCheckBox(tr("Log Complete Status")), "statusLogCheckBox");
    reconnectCheckBox = named(new QCheckBox(tr("Reconnect automatically")), "reconnectCheckBox");
    reconnectCheckBox->setToolTip(
        tr("When the cable is pulled, the analyzer restarts or the network drops, try again "
           "until Disconnect"));
    reconnectCheckBox->setChecked(true);
    maxPauseBox = named(new QSpinBox, "maxPauseBox");
    maxPauseBox->setRange(1, 24 * 60);
    maxPauseBox->setValue(30);
    maxPauseBox->setToolTip(tr("A run waits this long for its analyzer to come back after the "
                               "connection is lost, then it is cancelled"));
    auto *pause = new QHBoxLayout;
    pause->addWidget(new QLabel(tr("Longest pause of a run:")));
    pause->addWidget(maxPauseBox);
    pause->addWidget(new QLabel(tr("min")));
    pause->addStretch();
    auto *interval = new QHBoxLayout;
    interval->addWidget(new QLabel(tr("Acquisition Interval:")));
    interval->addWidget(LogInterval);
    interval->addWidget(new QLabel(tr("sec")));
    interval->addStretch();
    auto *options = new QVBoxLayout(additionalOptionsGroupBox);
    options->addWidget(localEchoCheckBox);
    options->addLayout(interval);
    options->addWidget(autoLogCheckBox);
    options->addWidget(new QLabel(tr("Baud rate of 115200 recommended for intervals shorter "
                                     "than 5 sec.")));
    options->addWidget(statusLogCheckBox);
    options->addWidget(reconnectCheckBox);
    options->addLayout(pause);

    recentConnectionsBox = named(new QGroupBox(tr("Recent Connections")), "recentConnectionsBox");
    recentConnections = named(new QListWidget, "recentConnections");
    recentConnections->setToolTip(tr("Double click to load recent connection parameters"));
    auto *recentLayout = new QVBoxLayout(recentConnectionsBox);
    recentLayout->addWidget(recentConnections);

    applyButton = named(new QPushButton(tr("OK")), "applyButton");
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(applyButton);

    auto *connectionPage = new QWidget;
    auto *grid = new QGridLayout(connectionPage);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addLayout(top, 0, 0, 1, 2);
    grid->addWidget(selectBox, 1, 0);
    grid->addWidget(parametersBox, 1, 1);
    grid->addWidget(fileOptionsBox, 2, 0, 1, 2);
    grid->addWidget(additionalOptionsGroupBox, 3, 0);
    grid->addWidget(recentConnectionsBox, 3, 1);
    grid->addWidget(buildFleetBox(), 4, 0, 1, 2);
    pages = named(new QTabWidget, "settingsPages");
    pages->addTab(connectionPage, tr("Connection"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pages);
    layout->addLayout(buttons);
}

void SettingsDialog::addPage(QWidget *page, const QString &title)
{
    pages->addTab(page, title);
}

QGroupBox *SettingsDialog::buildFleetBox()
{
    fleetBox = named(new QGroupBox(tr("Fleet")), "fleetBox");
    fleetBox->setCheckable(true);
    fleetBox->setToolTip(tr("Publish status, trend rows and events to the fleet's MQTT broker"));
    brokerEdit = named(new QLineEdit, "brokerEdit");
    brokerEdit->setPlaceholderText(tr("host or host:port"));
    topicPrefixEdit = named(new QLineEdit, "topicPrefixEdit");
    brokerUserEdit = named(new QLineEdit, "brokerUserEdit");
    passwordFileEdit = named(new QLineEdit, "passwordFileEdit");
    passwordFileEdit->setToolTip(tr("A file whose first line is the password (chmod 600)"));
    caFileEdit = named(new QLineEdit, "caFileEdit");
    caFileEdit->setToolTip(tr("Certificate authority of the broker: connect with TLS"));
    spoolSpin = named(new QSpinBox, "spoolSpin");
    spoolSpin->setRange(1, 1000000);
    spoolSpin->setSuffix(tr(" MiB"));
    spoolSpin->setToolTip(tr("Disk space for trend rows kept while the broker is away"));
    discoveryCheck = named(new QCheckBox(tr("Announce to Home Assistant")), "discoveryCheck");
    discoveryCheck->setToolTip(tr("Publish MQTT discovery configs under \"homeassistant/\""));
    auto *form = new QFormLayout(fleetBox);
    form->addRow(tr("Broker:"), brokerEdit);
    form->addRow(tr("Topic prefix:"), topicPrefixEdit);
    form->addRow(tr("User:"), brokerUserEdit);
    form->addRow(tr("Password file:"), passwordFileEdit);
    form->addRow(tr("CA file (TLS):"), caFileEdit);
    form->addRow(tr("Spool limit:"), spoolSpin);
    form->addRow(discoveryCheck);
    return fleetBox;
}

void SettingsDialog::showFleet(const FleetSettings &f)
{
    fleetBox->setChecked(f.enabled);
    brokerEdit->setText(f.broker);
    topicPrefixEdit->setText(f.topicPrefix);
    brokerUserEdit->setText(f.user);
    passwordFileEdit->setText(f.passwordFile);
    caFileEdit->setText(f.caFile);
    spoolSpin->setValue(f.spoolMb);
    discoveryCheck->setChecked(f.discovery);
}

void SettingsDialog::updateFleet(QSettings &s)
{
    FleetSettings f;
    f.enabled = fleetBox->isChecked();
    f.broker = brokerEdit->text().trimmed();
    f.topicPrefix = topicPrefixEdit->text().trimmed();
    f.user = brokerUserEdit->text();
    // Absolute, so a start from another folder finds the files.
    const auto absolute = [](const QLineEdit *edit) {
        const QString path = edit->text().trimmed();
        return path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
    };
    f.passwordFile = absolute(passwordFileEdit);
    f.caFile = absolute(caFileEdit);
    f.spoolMb = spoolSpin->value();
    f.discovery = discoveryCheck->isChecked();
    f.save(s);
    if (f == fleet)
        return;
    fleet = f;
    emit fleetChanged(fleet);
}

void SettingsDialog::setFleetSettings(const FleetSettings &f)
{
    listPorts();
    showFleet(f);
    apply();
}

void SettingsDialog::fillPortsParameters()
{
    for (int rate : {9600, 19200, 38400, 57600, 115200})
        baudRateBox->addItem(QString::number(rate), rate);
    baudRateBox->setCurrentIndex(4);

    connectionTypeBox->addItem(tr("Serial"), QStringLiteral("Serial"));
    connectionTypeBox->addItem(tr("Ethernet"), QStringLiteral("Ethernet"));
}

void SettingsDialog::fillPortsInfo()
{
    serialPortInfoListBox->clear();
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        const QStringList texts{info.portName(),
                                orNotAvailable(info.description()),
                                orNotAvailable(info.manufacturer()),
                                orNotAvailable(info.serialNumber()),
                                info.systemLocation(),
                                idOrNotAvailable(info.vendorIdentifier()),
                                idOrNotAvailable(info.productIdentifier())};
        serialPortInfoListBox->addItem(texts.first(), texts);
    }
}

int SettingsDialog::addPortItem(const QString &path)
{
    const QString na = tr("N/A");
    serialPortInfoListBox->addItem(path, QStringList{path, na, na, na, path, na, na});
    return serialPortInfoListBox->count() - 1;
}

void SettingsDialog::loadSettings()
{
    const QSettings s = store();
    ipAddressBox->setText(s.value(QStringLiteral("ipAddress"), defaultIpAddress).toString());
    portNumBox->setValue(tcpPortOrDefault(s.value(QStringLiteral("portNumber")).toInt()));
    const int type = s.value(QStringLiteral("ConnectionType"), serialIndex).toInt();
    connectionTypeBox->setCurrentIndex(type == ethernetIndex ? ethernetIndex : serialIndex);
    LogInterval->setValue(s.value(QStringLiteral("LogInterval"), defaultLogInterval).toInt());
    statusLogCheckBox->setChecked(s.value(QStringLiteral("statusLog"), false).toBool());
    reconnectCheckBox->setChecked(s.value(QStringLiteral("autoReconnect"), true).toBool());
    maxPauseBox->setValue(s.value(QStringLiteral("maxPauseMinutes"), 30).toInt());
    FleetSettings f;
    f.load(s);
    showFleet(f);
    recent.load(s);
    showRecentConnections();
}

void SettingsDialog::updateSettings()
{
    currentSettings.name = serialPortInfoListBox->currentText();
    currentSettings.label = labelLineEdit->text();
    const QVariant rate = baudRateBox->currentData();
    currentSettings.baudRate = rate.isValid() ? rate.toInt() : baudRateBox->currentText().toInt();
    currentSettings.stringBaudRate = QString::number(currentSettings.baudRate);
    currentSettings.dataBits = QSerialPort::Data8;
    currentSettings.parity = QSerialPort::NoParity;
    currentSettings.stopBits = QSerialPort::OneStop;
    currentSettings.flowControl = QSerialPort::NoFlowControl;
    currentSettings.autoLog = autoLogCheckBox->isChecked();
    currentSettings.statusLog = statusLogCheckBox->isChecked();
    currentSettings.autoReconnect = reconnectCheckBox->isChecked();
    currentSettings.maxPauseMinutes = maxPauseBox->value();
    currentSettings.localEchoEnabled = localEchoCheckBox->isChecked();
    // The kind's key, not its (translatable) name on screen.
    currentSettings.connectionType = connectionTypeBox->currentData().toString();
    currentSettings.logInterval = LogInterval->value();
    currentSettings.logFile = fileNameBox->text();
    currentSettings.ipAddress = ipAddressBox->text();
    currentSettings.portNumber = portNumBox->value();

    QSettings s = store();
    s.setValue(QStringLiteral("ipAddress"), ipAddressBox->text());
    s.setValue(QStringLiteral("portNumber"), portNumBox->value());
    s.setValue(QStringLiteral("ConnectionType"), connectionTypeBox->currentIndex());
    s.setValue(QStringLiteral("LogInterval"), LogInterval->value());
    s.setValue(QStringLiteral("statusLog"), statusLogCheckBox->isChecked());
    s.setValue(QStringLiteral("autoReconnect"), reconnectCheckBox->isChecked());
    s.setValue(QStringLiteral("maxPauseMinutes"), maxPauseBox->value());
    updateFleet(s);

    // The entry names the port, so it waits for the list.
    if (!portsListed)
        return;
    if (recent.add(
            RecentConnections::entryFor(currentSettings, serialPortInfoListBox->currentText())))
        showRecentConnections();
    recent.save(s);
}

void SettingsDialog::showRecentConnections()
{
    recentConnections->clear();
    recentConnections->addItems(recent.entries());
}

void SettingsDialog::apply()
{
    listPorts();
    updateSettings();
    emit applied();
    hide();
}

void SettingsDialog::showPortInfo(int idx)
{
    if (idx == -1)
        return;
    const QStringList texts = serialPortInfoListBox->itemData(idx).toStringList();
    descriptionLabel->setText(tr("Description: %1").arg(texts.value(1)));
}

void SettingsDialog::checkCustomBaudRatePolicy(int idx)
{
    const bool custom = idx >= 0 && !baudRateBox->itemData(idx).isValid();
    baudRateBox->setEditable(custom);
    if (custom) {
        baudRateBox->clearEditText();
        baudRateBox->lineEdit()->setValidator(intValidator);
    }
}

void SettingsDialog::selectFile()
{
    const QString suggested = QDir::homePath() + QLatin1Char('/') +
                              Clock::current().toString(QStringLiteral("yyyy_MM-dd_HHmm")) +
                              QStringLiteral(".txt");
    Dialogs::FileRequest request;
    request.title = tr("Choose File");
    request.startPath = fileNameBox->text().isEmpty() ? suggested : fileNameBox->text();
    request.filter = tr("Text Files (*.txt)");
    request.confirmOverwrite = false;
    request.parent = this;
    QString name = Dialogs::instance().saveFileName(request);
    if (name.isEmpty()) {
        fileChoiceCancelled = true;
        return;
    }
    if (!name.endsWith(QLatin1String(".txt")))
        name += QStringLiteral(".txt");
    fileNameBox->setText(name);
    fileChoiceCancelled = false;
}

void SettingsDialog::reselectFile()
{
    selectFile();
    if (fileNameBox->text().isEmpty() || fileChoiceCancelled)
        return;
    currentSettings.logFile = fileNameBox->text();
    emit fileReselected(true);
}

void SettingsDialog::recentConnectionSelected(QListWidgetItem *item)
{
    if (!item)
        return;
    listPorts();
    qCDebug(telvarDebug) << item->text();
    const RecentConnections::ParsedEntry entry = RecentConnections::parse(item->text());
    if (!entry.valid)
        return;
    if (entry.type == QLatin1String("Serial")) {
        connectionTypeBox->setCurrentIndex(serialIndex);
        const int port = serialPortInfoListBox->findText(entry.portOrIp,
                                                         Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (port >= 0) {
            qCDebug(telvarDebug) << "Found match at " << port;
            serialPortInfoListBox->setCurrentIndex(port);
        }
        if (!entry.baud.isEmpty()) {
            const int baud =
                baudRateBox->findText(entry.baud, Qt::MatchExactly | Qt::MatchCaseSensitive);
            if (baud >= 0) {
                qCDebug(telvarDebug) << "Found match at " << baud;
                baudRateBox->setCurrentIndex(baud);
            }
        }
    } else if (entry.type == QLatin1String("Ethernet")) {
        connectionTypeBox->setCurrentIndex(ethernetIndex);
        ipAddressBox->setText(entry.portOrIp);
        portNumBox->setValue(tcpPortOrDefault(entry.baud.toInt()));
    }
}

QString SettingsDialog::applyPresets(const SettingsPresets &p)
{
    listPorts();
    const QString why = p.problem();
    if (!why.isEmpty())
        return why;
    const HostPort tcp = HostPort::parse(p.tcpHost.value_or(QString()), defaultTcpPort);
    const int baudIndex = p.baudRate ? baudRateBox->findData(*p.baudRate) : -1;
    if (p.serialPort) {
        const QString &path = *p.serialPort;
        int port = serialPortInfoListBox->findText(path, Qt::MatchExactly | Qt::MatchCaseSensitive);
        for (int i = 0; port < 0 && i < serialPortInfoListBox->count(); ++i) {
            if (serialPortInfoListBox->itemData(i).toStringList().value(4) == path)
                port = i;
        }
        if (port < 0)
            port = addPortItem(path);
        serialPortInfoListBox->setCurrentIndex(port);
        connectionTypeBox->setCurrentIndex(serialIndex);
    }
    if (p.tcpHost) {
        connectionTypeBox->setCurrentIndex(ethernetIndex);
        ipAddressBox->setText(tcp.host);
        portNumBox->setValue(tcp.port);
    }
    if (baudIndex >= 0)
        baudRateBox->setCurrentIndex(baudIndex);
    if (p.interval)
        LogInterval->setValue(*p.interval);
    if (p.maxPause)
        maxPauseBox->setValue(*p.maxPause);
    if (p.autoLog)
        autoLogCheckBox->setChecked(true);
    if (p.statusLog)
        statusLogCheckBox->setChecked(true);
    if (p.logFile)
        fileNameBox->setText(*p.logFile);
    apply();
    return QString();
}
