#pragma once

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>

// Appends bytes to a named file: the traffic log and the trend files. Every call
// opens, writes once and closes, so the file is whole after each call and other
// programs can read it meanwhile.
class Logger : public QObject
{
    Q_OBJECT
public:
    explicit Logger(QObject *parent = nullptr);

    // The file last used by log(), whether or not the write succeeded.
    QString lastFileName() const { return file.fileName(); }
    // The folder loggingDataFolder() opens: that of the last file, else the home folder.
    QString loggingFolder() const;

public slots:
    bool log(QByteArray bytesToWrite, QString filename);
    // Whether the file can be written; creates it empty if missing.
    bool fileIsValid(QString filename);
    void loggingDataFolder();

private:
    void reportFailure();
    bool lastFileExists() const;

    QFile file;
    bool boxOpen = false;
    bool failureReported = false;
};
