#pragma once

class QWidget;

// The Help menu's boxes: About, Firmware Compatibility and the quick-start guide.
void showAboutBox(QWidget *parent);
void showFirmwareBox(QWidget *parent);
void openQuickStart(QWidget *parent);
