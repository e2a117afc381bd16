#pragma once

#include "fleet/fleetsettings.h"
#include "link/connectionsettings.h"
#include "link/recentconnections.h"

#include <QDialog>
#include <QString>

#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QIntValidator;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSettings;
class QSpinBox;
class QTabWidget;

// The non-modal "Settings" window: how to reach the analyzer, the connection label,
// the traffic log file and the acquisition options. Keeps the current record and
// the recent-connection list; part of it lives in the settings store.
class SettingsDialog : public QDialog
{
    Q_OBJECT
public:
    using Settings = ConnectionSettings;

    explicit SettingsDialog(QWidget *parent = nullptr);

    // Both list the serial ports first if that is still to be done.
    Settings settings();
    QStringList recentEntries();

    // Fills the form from the presets and applies it as "OK" would. Returns an error
    // text for an invalid preset, and then changes nothing; else an empty text.
    QString applyPresets(const SettingsPresets &p);

    // The "Fleet" group: publishing to an MQTT broker.
    FleetSettings fleetSettings() const { return fleet; }
    // A tab of settings of another part (the alarms), after "Connection".
    void addPage(QWidget *page, const QString &title);
    // Fills the group and applies it as "OK" would.
    void setFleetSettings(const FleetSettings &f);

signals:
    void fileReselected(bool);
    // "OK" changed the "Fleet" group.
    void fleetChanged(const FleetSettings &settings);
    // "OK" (or the command line's presets): the pages added take their fields.
    void applied();

public slots:
    void apply();
    void showPortInfo(int idx);
    void checkCustomBaudRatePolicy(int idx);
    void selectFile();
    void reselectFile();
    void recentConnectionSelected(QListWidgetItem *item);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildForm();
    void fillPortsParameters();
    void fillPortsInfo();
    void listPorts();
    void loadSettings();
    void updateSettings();
    void showRecentConnections();
    int addPortItem(const QString &path);
    QGroupBox *buildFleetBox();
    void showFleet(const FleetSettings &f);
    void updateFleet(QSettings &s);

    Settings currentSettings;
    RecentConnections recent;
    QIntValidator *intValidator = nullptr;
    bool fileChoiceCancelled = false;
    bool portsListed = false;

    QComboBox *connectionTypeBox = nullptr;
    QLineEdit *labelLineEdit = nullptr;
    QPushButton *applyButton = nullptr;
    QGroupBox *fileOptionsBox = nullptr;
    QLineEdit *fileNameBox = nullptr;
    QPushButton *fileBrowseButton = nullptr;
    QGroupBox *additionalOptionsGroupBox = nullptr;
    QCheckBox *localEchoCheckBox = nullptr;
    QSpinBox *LogInterval = nullptr;
    QCheckBox *autoLogCheckBox = nullptr;
    QCheckBox *statusLogCheckBox = nullptr;
    QCheckBox *reconnectCheckBox = nullptr;
    QSpinBox *maxPauseBox = nullptr;
    QGroupBox *parametersBox = nullptr;
    QLineEdit *ipAddressBox = nullptr;
    QSpinBox *portNumBox = nullptr;
    QGroupBox *selectBox = nullptr;
    QComboBox *serialPortInfoListBox = nullptr;
    QLabel *descriptionLabel = nullptr;
    QComboBox *baudRateBox = nullptr;
    QGroupBox *recentConnectionsBox = nullptr;
    QListWidget *recentConnections = nullptr;

    FleetSettings fleet;
    QGroupBox *fleetBox = nullptr;
    QTabWidget *pages = nullptr;
    QCheckBox *discoveryCheck = nullptr;
    QLineEdit *brokerEdit = nullptr;
    QLineEdit *topicPrefixEdit = nullptr;
    QLineEdit *brokerUserEdit = nullptr;
    QLineEdit *passwordFileEdit = nullptr;
    QLineEdit *caFileEdit = nullptr;
    QSpinBox *spoolSpin = nullptr;
};
