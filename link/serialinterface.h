#pragma once

#include "link/orininterface.h"

class QSerialPort;

// The analyzer link over a serial port (8N1, no flow control).
class SerialInterface : public OrinInterface
{
    Q_OBJECT
public:
    explicit SerialInterface(QObject *parent = nullptr);
    ~SerialInterface() override;

public slots:
    bool openConnection(ConnectionSettings currentSettings) override;
    void closeConnection() override;
    void writeData(QByteArray data) override;
    QByteArray readData() override;
    bool connectionOpen() override;

private:
    void portError();

    QSerialPort *port;
    bool lostReported = false;
};
