#pragma once

#include <QString>
#include <QWidget>

// The "Performance Verification" tab (placeholder until the sequence lands).
class Certification : public QWidget
{
    Q_OBJECT
public:
    explicit Certification(QWidget *parent = nullptr);

    bool inProgress() const { return running; }
    QString ssnid;

    void setControlsEnabled(bool on) { setEnabled(on); }

signals:
    void certifying(bool);
    void lineforOrin(QString);
    void lineforConsole(QString);
    void lineforLogger(QString);

public slots:
    void linefromOrin(QString) {}
    void setSSNID(const QString &serial) { ssnid = serial; }
    void certDataFolder() {}

private:
    bool running = false;
};
