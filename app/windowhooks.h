#pragma once

#include "app/statusparser.h"

class MainWindow;

// What the replies reach outside the session: through the parser, the tabs
// and the window; from an SRDA collection's stream, the console and the
// window's signals.
class WindowHooks : public ParserHooks
{
public:
    explicit WindowHooks(MainWindow &w);

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

private:
    MainWindow &w;
};
