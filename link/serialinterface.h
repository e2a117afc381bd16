#pragma once

#include "link/orininterface.h"

class QSerialPort;

// The analyzer link over a serial port (8N1, no flow control).
class SerialInterface : public OrinInterface
{
    Q_OBJECT
public:
    // More bytes than this without a line feed are a runaway line, not a reply.
    static constexpr qint64 runawayBytes = 550;

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
