#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

class QSettings;

// Connection choices given on the command line.
struct SettingsPresets
{
    std::optional<QString> serialPort; // any device path, listed by the platform or not
    std::optional<int> baudRate;
    std::optional<QString> tcpHost; // HOST[:PORT], an IPv6 address as [ADDRESS]:PORT
    std::optional<int> interval;    // seconds
    bool autoLog = false;
    bool statusLog = false;
    std::optional<QString> logFile; // taken as given
    std::optional<int> maxPause;    // minutes

    bool any() const
    {
        return serialPort || tcpHost || baudRate || interval || maxPause || autoLog || statusLog ||
               logFile;
    }
    // Why the presets cannot be taken (one line), or empty.
    QString problem() const;
};

// The connection settings record. The settings dialog fills it; links and the
// main window take it by value. Known in the program as SettingsDialog::Settings.
struct ConnectionSettings
{
    QString name;  // serial port name
    QString label; // the operator's connection label
    qint32 baudRate = 115200;
    QString stringBaudRate = QStringLiteral("115200");
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QString stringDataBits;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QString stringParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QString stringStopBits;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;
    QString stringFlowControl;
    bool autoLog = false;
    bool statusLog = false;
    bool localEchoEnabled = false;
    QString connectionType = QStringLiteral("Serial"); // the kind's key: "Serial" or "Ethernet"
    qint32 logInterval = 5;                            // poll period in seconds
    QString logFile;
    QString ipAddress = QStringLiteral("192.168.1.223");
    qint32 portNumber = 23;
    bool autoReconnect = true;   // a lost link is reopened by itself until Disconnect
    qint32 maxPauseMinutes = 30; // a run waits this long for its analyzer to come back

    bool isTcp() const { return connectionType == QLatin1String("Ethernet"); }
    // The part the settings store keeps, over the defaults.
    static ConnectionSettings stored(const QSettings &s);
    // Takes valid presets into the record; the problem with them otherwise, and no change.
    QString take(const SettingsPresets &p);
};
