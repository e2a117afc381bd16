#pragma once

#include "app/statusparser.h"

class MainWindow;

// What the reply parser reaches outside the status record: the tabs and the window.
class WindowHooks : public ParserHooks
{
public:
    explicit WindowHooks(MainWindow &w) : w(w) {}

    void statusReady() override;
    void wrongModeBox() override;
    void setModelLabel(const QString &text) override;
    void tempAlarmVisible(bool visible) override;
    void enableControls() override;
    void setCompatibilityMode(bool on) override;

    bool waitingForSpeed() const override;
    bool waitingForFilter() const override;
    void clearWaitingForSpeed() override;
    void updateSpeed(int value) override;
    void updateFilter(int value) override;
    void updateGasList(const QStringList &gases) override;
    void setCurrentGas(const QString &gas) override;

    bool srdaRunning() const override;
    SrdaData *srdaData() override;
    void srdaColumnsReady() override;
    void srdaRowAdded(double timeMs, const QStringList &columns) override;
    void srdaLimitReached(qint64 rowsKept) override;

private:
    MainWindow &w;
};
