#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// Appends bytes to a named file, opening and closing it on every call.
class Logger : public QObject
{
    Q_OBJECT
public:
    explicit Logger(QObject *parent = nullptr) : QObject(parent) {}

public slots:
    bool log(QByteArray bytesToWrite, QString filename);
    bool fileIsValid(QString filename) { return log(QByteArray(), filename); }
    void loggingDataFolder() {}
};
