#include "support/fakeanalyzer.h"

FakeAnalyzer::FakeAnalyzer()
{
    if (pty.isOpen()) {
        notifier = std::make_unique<QSocketNotifier>(pty.masterFd(), QSocketNotifier::Read);
        connect(notifier.get(), &QSocketNotifier::activated, this, &FakeAnalyzer::readable);
    }
}

void FakeAnalyzer::readable()
{
    pending += pty.readAvailable();
    int nl;
    while ((nl = pending.indexOf('\n')) >= 0) {
        QByteArray line = pending.left(nl);
        pending.remove(0, nl + 1);
        while (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        commands << line;
        if (silent)
            continue;
        const QByteArray reply = answerer ? answerer(line) : answers.value(line);
        if (!reply.isEmpty())
            pty.write(reply);
    }
}

QByteArray statusReport(const QByteArray &conc, const QByteArray &faults, const QByteArray &mode)
{
    return "Filter : 100\r\n"
           "Gas Type : N2\r\n"
           "OpMode : " +
           mode +
           "\r\n"
           "TauEmpty : 99.91 us\r\n"
           "TauEStd : 0.25\r\n"
           "Laser Temp 20.98\r\n"
           "Laser Current 95.12\r\n"
           "Cell Pressure : APC Pressure Reading 100.00\r\n"
           "Conc : " +
           conc +
           "\r\n"
           "Faults : " +
           faults +
           "\r\n"
           "Tau : 23.41 us\r\n"
           "TauStd : 0.18 \r\n"
           "Laser Status : Processing ringdown\r\n";
}
