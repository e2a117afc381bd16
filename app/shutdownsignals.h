#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM and SIGINT (a service manager stopping the program, Ctrl+C) become a
// signal of the event loop, so the program can end as Disconnect ends a
// connection. The handler itself only writes a byte into a pipe.
class ShutdownSignals : public QObject
{
    Q_OBJECT
public:
    explicit ShutdownSignals(QObject *parent = nullptr);
    ~ShutdownSignals() override;

    bool isWatching() const { return notifier != nullptr; }

signals:
    // `count` is 1 for the first signal, 2 for the second and so on.
    void requested(int count);

private:
    void readable();

    QSocketNotifier *notifier = nullptr;
    int count = 0;
};
