#pragma once

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

// Appends bytes to a named file: the traffic log and the trend files. Every call
// opens, writes once and closes, so the file is whole after each call and other
// programs can read it meanwhile.
//
// The traffic log goes through append() instead: a fast stream brings
// thousands of lines a second, so they are gathered and written a block at a
// time, at the latest a second after they came, and at the end.
class Logger : public QObject
{
    Q_OBJECT
public:
    static constexpr int blockBytes = 64 * 1024;
    static constexpr int blockDelayMs = 1000;

    explicit Logger(QObject *parent = nullptr);
    ~Logger() override;

    // Appends `bytes` to `filename` with the next block; a block goes out when
    // it is full, when the file changes, a second after its first bytes, on
    // flush() and when the logger goes.
    void append(const QByteArray &bytes, const QString &filename);
    // Writes the gathered block now; false when that write failed.
    bool flush();

    // The file last used by log(), whether or not the write succeeded.
    QString lastFileName() const { return file.fileName(); }
    // The folder loggingDataFolder() opens: that of the last file, else the home folder.
    QString loggingFolder() const;

signals:
    // A run of failed writes begins (once), and ends with the next write that
    // succeeds: the rows (log) and the blocks (append) each have their own.
    void writeFailed(const QString &filename);
    void writeRecovered(const QString &filename);

public slots:
    bool log(QByteArray bytesToWrite, QString filename);
    // Whether the file can be written; creates it empty if missing.
    bool fileIsValid(QString filename);
    void loggingDataFolder();

private:
    bool writeReported(const QByteArray &bytes, const QString &filename, bool &reported,
                       bool &failing);
    void reportFailure(bool &reported);
    bool lastFileExists() const;

    QFile file;
    QByteArray block;
    QString blockFile;
    QTimer blockTimer;
    bool boxOpen = false;
    bool failureReported = false;
    bool blockFailureReported = false;
    bool rowFailing = false, blockFailing = false;
};
