#include "support/pty.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

Pty::Pty()
{
    char name[256] = {};
    struct termios tio;
    cfmakeraw(&tio);
    if (openpty(&master, &slave, name, &tio, nullptr) != 0) {
        master = slave = -1;
        return;
    }
    path = QString::fromLocal8Bit(name);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty()
{
    closeMaster();
    if (slave >= 0)
        ::close(slave);
}

void Pty::write(const QByteArray &bytes)
{
    if (master < 0)
        return;
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(master, p, size_t(left));
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                QThread::msleep(1);
                continue;
            }
            return;
        }
        p += n;
        left -= n;
    }
}

QByteArray Pty::readAvailable()
{
    QByteArray out;
    if (master < 0)
        return out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, int(n));
    }
    return out;
}

QByteArray Pty::readUntil(const QByteArray &needle, int timeoutMs)
{
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        out += readAvailable();
        if (out.contains(needle))
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return out;
}

void Pty::closeMaster()
{
    if (master >= 0) {
        ::close(master);
        master = -1;
    }
}
