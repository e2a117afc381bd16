#pragma once

#include "link/connectionsettings.h"

#include <QDialog>

// Minimal stand-in until the full connection settings dialog lands: holds the defaults.
class SettingsDialog : public QDialog
{
    Q_OBJECT
public:
    using Settings = ConnectionSettings;

    explicit SettingsDialog(QWidget *parent = nullptr);

    Settings settings() const { return currentSettings; }
    // Applies a record as if the operator had filled the form and pressed "OK".
    void applySettings(const Settings &s) { currentSettings = s; }

signals:
    void fileReselected(bool);

public slots:
    void reselectFile() {}

private:
    Settings currentSettings;
};
