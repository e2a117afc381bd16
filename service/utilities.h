#pragma once

#include <QStringList>
#include <QWidget>

// The "Utilities" tab: filter, gas type, Speed+, mode and favorite commands.
// Until the tab is built it keeps the state the reply parser talks to.
class Utilities : public QWidget
{
    Q_OBJECT
public:
    explicit Utilities(QWidget *parent = nullptr);

    bool waitingForSpeed = false;  // a Speed+ query is out; the next bare number answers it
    bool waitingForFilter = false; // a filter query is out
    QString currentGas;
    int lastSpeed = -1;
    int lastFilter = -1;
    QStringList gasList;

    void setControlsEnabled(bool on) { setEnabled(on); }

signals:
    void lineforOrin(QString);
    void lineforConsole(QString);
    void lineforLogger(QString);

public slots:
    void updateSpeed(int value) { lastSpeed = value; }
    void updateFilter(int value) { lastFilter = value; }
    void updateGasList(QStringList gases) { gasList = gases; }
    void setCurrentGas(const QString &gas) { currentGas = gas; }
};
