#pragma once

#include <QByteArray>
#include <QPlainTextEdit>

// Terminal pane: shows the conversation and turns key presses into signals.
class Console : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit Console(QWidget *parent = nullptr);

    void appendData(const QByteArray &data);
    void setLocalEcho(bool on) { localEcho = on; }

signals:
    void getData(QByteArray data);
    void consoleBackspace();
    void consoleEnter();

private:
    bool localEcho = false;
};
