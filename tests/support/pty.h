#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal that plays the analyzer: the program opens slavePath()
// as its serial port, the test reads and writes the master side.
class Pty
{
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool isOpen() const { return master >= 0; }
    QString slavePath() const { return path; }
    int masterFd() const { return master; }

    void write(const QByteArray &bytes);
    // Whatever the program has written so far (non-blocking).
    QByteArray readAvailable();
    // Reads until `needle` has arrived or timeoutMs passes, processing Qt events meanwhile.
    QByteArray readUntil(const QByteArray &needle, int timeoutMs);
    // Closes the master side, as a pulled cable does to the port.
    void closeMaster();

private:
    int master = -1;
    int slave = -1;
    QString path;
};
