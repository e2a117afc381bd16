#pragma once

#include "link/demomodel.h"
#include "link/orininterface.h"

// The demo link: a simulated analyzer inside the program, needing no port and
// no network. Every write is answered by one full status report.
class DemoInterface : public OrinInterface
{
    Q_OBJECT
public:
    explicit DemoInterface(QObject *parent = nullptr, std::function<int()> random = {});

    DemoModel model;

public slots:
    bool openConnection(ConnectionSettings currentSettings) override;
    void closeConnection() override;
    void writeData(QByteArray data) override;
    QByteArray readData() override;
    bool connectionOpen() override;
};
