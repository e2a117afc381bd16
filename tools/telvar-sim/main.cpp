// telvar-sim: a stand-alone Orin analyzer on a pseudo-terminal or a local TCP
// port, for practising with Telvar and for the integration tests. The analyzer
// itself lives in SimAnalyzer; this file only wires the transports.

#include "tools/telvar-sim/simanalyzer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <pty.h>
#include <random>
#include <termios.h>
#include <unistd.h>

namespace {

// Bytes the program has not taken yet are kept up to this much; beyond it the
// simulator drops output rather than grow without end.
constexpr int maxBacklog = 1 << 20;
constexpr int slowByteMs = 2;
// SRDA rows are made only while less than this waits to be taken, and at most
// this much at a time: the stream waits for the program instead of piling up.
constexpr int srdaRoom = 64 * 1024;

// Milliseconds on the system's monotonic clock, the same in every process.
qint64 monotonicMs()
{
    QElapsedTimer t;
    t.start();
    return t.msecsSinceReference();
}

void printLine(FILE *to, const QByteArray &text)
{
    std::fputs(text.constData(), to);
    std::fputc('\n', to);
    std::fflush(to);
}

// One way out to the program, byte by byte when --slow.
class Wire : public QObject
{
public:
    Wire(bool slow, std::function<void(const QByteArray &)> write)
        : slow(slow), writeNow(std::move(write))
    {
        timer.setInterval(slowByteMs);
        connect(&timer, &QTimer::timeout, this, &Wire::sendOne);
    }

    void send(const QByteArray &bytes)
    {
        if (bytes.isEmpty())
            return;
        if (!slow) {
            writeNow(bytes);
            return;
        }
        if (queue.size() + bytes.size() <= maxBacklog)
            queue += bytes;
        if (!timer.isActive())
            timer.start();
    }

    // Runs `close` once everything queued has gone out.
    void closeWhenSent(std::function<void()> close)
    {
        closer = std::move(close);
        if (queue.isEmpty())
            runCloser();
    }

    void clear()
    {
        queue.clear();
        timer.stop();
        closer = nullptr;
    }

    int waiting() const { return queue.size(); }

private:
    void sendOne()
    {
        if (!queue.isEmpty()) {
            writeNow(queue.left(1));
            queue.remove(0, 1);
        }
        if (queue.isEmpty()) {
            timer.stop();
            runCloser();
        }
    }

    void runCloser()
    {
        auto close = std::move(closer);
        closer = nullptr;
        if (close)
            close();
    }

    bool slow;
    std::function<void(const QByteArray &)> writeNow;
    std::function<void()> closer;
    QByteArray queue;
    QTimer timer;
};

// The analyzer end of a pseudo-terminal; the program opens the other end as its port.
class PtyTransport : public QObject
{
public:
    bool open()
    {
        char name[256] = {};
        struct termios tio;
        cfmakeraw(&tio);
        if (openpty(&master, &slave, name, &tio, nullptr) != 0)
            return false;
        // Holding the slave side open keeps the pty alive while the program
        // opens and closes its port.
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        path = name;
        readNotifier = std::make_unique<QSocketNotifier>(master, QSocketNotifier::Read);
        connect(readNotifier.get(), &QSocketNotifier::activated, this, &PtyTransport::readable);
        writeNotifier = std::make_unique<QSocketNotifier>(master, QSocketNotifier::Write);
        writeNotifier->setEnabled(false);
        connect(writeNotifier.get(), &QSocketNotifier::activated, this, &PtyTransport::flush);
        return true;
    }

    void write(const QByteArray &bytes)
    {
        if (master < 0)
            return;
        if (backlog.size() + bytes.size() <= maxBacklog)
            backlog += bytes;
        flush();
    }

    void close()
    {
        readNotifier.reset();
        writeNotifier.reset();
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
        master = slave = -1;
    }

    // Bytes written but not yet taken by the pty.
    int waiting() const { return backlog.size(); }

    QByteArray path;
    std::function<void(const QByteArray &)> received;

private:
    void readable()
    {
        char buf[4096];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n > 0 && received)
            received(QByteArray(buf, int(n)));
    }

    void flush()
    {
        while (!backlog.isEmpty()) {
            const ssize_t n = ::write(master, backlog.constData(), size_t(backlog.size()));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break; // the pty is full: wait until the program reads
            backlog.remove(0, int(n));
        }
        if (writeNotifier)
            writeNotifier->setEnabled(!backlog.isEmpty());
    }

    int master = -1;
    int slave = -1;
    QByteArray backlog;
    std::unique_ptr<QSocketNotifier> readNotifier;
    std::unique_ptr<QSocketNotifier> writeNotifier;
};

QString helpText()
{
    return QStringLiteral(
        "Plays an Orin cavity ring-down analyzer for Telvar, on a pseudo-terminal or a TCP\n"
        "port of 127.0.0.1, so the program can be practised and tested without hardware.\n"
        "\n"
        "It answers the analyzer's line commands (\"cmd\\r\\n\"; over TCP \"cmd\\r\\n\\n\"):\n"
        "  ssnid       the serial number (--serial)\n"
        "  unitdisp    1 (PPBv)          species    H2O\n"
        "  modelname   ORIN OK           filter     100 (filter N: 10..1000)\n"
        "  status      a full status report; the concentration follows the demo\n"
        "              profile: 0.2, rising to about 100 and back every 101 reports\n"
        "  conc        the concentration value alone\n"
        "  opmode N    0 service, 1 tune, 2 measure; acknowledged by nothing\n"
        "  lt, lc      the laser temperature or current, each call one step up\n"
        "  sagd        the gas library, one \"Gas N NAME\" line each\n"
        "  gastype NAME, DYNAMICFILTER_ENABLED [0|1]   gas type and Speed+ (query or set)\n"
        "              settings change in service mode only; otherwise: !WRONG\n"
        "  srda 3      (or srda=3) a tab-separated header with \"Date/Time\", then\n"
        "              rows \"yyyy-M-d H:mm:ss<TAB>...\" at --srda-rate a second until srda 0\n"
        "  tuneringdowns N   taken silently\n"
        "  rcs|tempscan|fss START END STEP ...   a service scan, taken silently; each\n"
        "              lt (lc for fss) then moves it a tenth of the way, and past END\n"
        "              the position falls back to START\n"
        "  drcsd, dtsd, dfssd   the rows \"position value\" of that scan so far\n"
        "Performance verification:\n"
        "  fact=1      1                 opmode 5   5 (laser optimization; opmode\n"
        "              queries answer 5, then 0 once it is over)\n"
        "  sver, calfactor, lasersetpoint, alarmlevels, zerooffset   one settings line\n"
        "  anything else: !UNKNOWN\n"
        "Over TCP the analyzer ignores everything until the access code 8264, and serves\n"
        "one client at a time.\n"
        "\n"
        "Faults on demand: --garbage, --silent-after, --drop-after, --slow, --no-lf,\n"
        "--no-ack, --endless-download. Lamps on demand: --faults-at FROM:COUNT:BITS\n"
        "(20:10:1 lights the Ringdown lamp in the 20th to the 29th status report).\n"
        "A restarting analyzer: --restart-after (with --link for a pty that comes back\n"
        "under the same name). A cable pulled in the middle of a run: --drop-on CMD[:N],\n"
        "and --return-serial SN for another analyzer coming back on the link.");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("telvar-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TELVAR_VERSION));

    QCommandLineParser p;
    p.setApplicationDescription(helpText());
    p.addHelpOption();
    p.addVersionOption();
    const QCommandLineOption ptyOpt(
        QStringLiteral("pty"),
        QStringLiteral("Create a pseudo-terminal and print the device to open as the serial "
                       "port (one line, e.g. /dev/pts/7)."));
    const QCommandLineOption tcpOpt(
        QStringLiteral("tcp"),
        QStringLiteral("Listen on 127.0.0.1 at PORT (default 23, which needs root; 0 picks a "
                       "free port) and print \"127.0.0.1:PORT\" once listening."));
    const QCommandLineOption serialOpt(QStringLiteral("serial"),
                                       QStringLiteral("Serial number to report (default 0001)."),
                                       QStringLiteral("SN"), QStringLiteral("0001"));
    const QCommandLineOption modeOpt(
        QStringLiteral("mode"),
        QStringLiteral("Operating mode at start: 0 service, 1 tune, 2 measure (default 2)."),
        QStringLiteral("N"), QStringLiteral("2"));
    const QCommandLineOption rateOpt(
        QStringList{QStringLiteral("srda-rate"), QStringLiteral("rate")},
        QStringLiteral("SRDA rows per second, 1 to 100000 (default 10)."), QStringLiteral("N"),
        QStringLiteral("10"));
    const QCommandLineOption srdaCountOpt(
        QStringLiteral("srda-count"),
        QStringLiteral("End each SRDA stream after N rows; once the last has been handed to "
                       "the socket or pty, print \"srda end ROWS MS\" on stdout, MS on the "
                       "system's monotonic clock."),
        QStringLiteral("N"));
    const QCommandLineOption srdaCopyOpt(
        QStringLiteral("srda-copy"), QStringLiteral("Also write every SRDA row sent into FILE."),
        QStringLiteral("FILE"));
    const QCommandLineOption garbageOpt(
        QStringLiteral("garbage"),
        QStringLiteral("Replace a fraction P (0..1) of the replies by random bytes. The serial "
                       "number reply and the fact=1 acknowledgement are spared, so a session "
                       "always gets going."),
        QStringLiteral("P"), QStringLiteral("0"));
    const QCommandLineOption silentOpt(
        QStringLiteral("silent-after"),
        QStringLiteral("Answer N commands, then nothing more (0: silent from the start)."),
        QStringLiteral("N"));
    const QCommandLineOption dropOpt(
        QStringLiteral("drop-after"),
        QStringLiteral("Answer N commands; on the next one send half its reply and close the "
                       "pty (the simulator then exits) or the TCP client."),
        QStringLiteral("N"));
    const QCommandLineOption restartOpt(
        QStringLiteral("restart-after"),
        QStringLiteral("Like --drop-after, but the analyzer comes back --restart-delay ms later: "
                       "a new pty (re-pointed by --link, its device printed again) or the same "
                       "TCP port listening again. Repeats for every connection."),
        QStringLiteral("N"));
    const QCommandLineOption dropOnOpt(
        QStringLiteral("drop-on"),
        QStringLiteral("Drop the link once, in the middle of the reply to the N-th command CMD "
                       "(default the first), or after the N-th SRDA row with row:N, and come "
                       "back --restart-delay ms later as --restart-after does; the analyzer "
                       "carries on meanwhile, as with a pulled cable."),
        QStringLiteral("CMD[:N]"));
    const QCommandLineOption returnSerialOpt(
        QStringLiteral("return-serial"),
        QStringLiteral("After --drop-on, come back as another analyzer with this serial number."),
        QStringLiteral("SN"));
    const QCommandLineOption restartDelayOpt(
        QStringLiteral("restart-delay"),
        QStringLiteral("Milliseconds the analyzer stays away on a restart (default 2000)."),
        QStringLiteral("MS"), QStringLiteral("2000"));
    const QCommandLineOption linkOpt(
        QStringLiteral("link"),
        QStringLiteral("Also make the pty reachable as PATH, a symbolic link kept pointing at "
                       "the current device across restarts."),
        QStringLiteral("PATH"));
    const QCommandLineOption slowOpt(QStringLiteral("slow"),
                                     QStringLiteral("Send byte by byte, 2 ms apart."));
    const QCommandLineOption noLfOpt(
        QStringLiteral("no-lf"),
        QStringLiteral("Answer the first status or conc poll with a runaway line of 4096 "
                       "bytes and no line feed, then carry on normally."));
    const QCommandLineOption noAckOpt(
        QStringLiteral("no-ack"),
        QStringLiteral("Never acknowledge a verification step: \"optimize\" (no answer to "
                       "opmode 5) or \"fact\" (no answer to fact=1)."),
        QStringLiteral("STEP"));
    const QCommandLineOption endlessOpt(
        QStringLiteral("endless-download"),
        QStringLiteral("Scan downloads (dtsd, drcsd) never reach their end marker."));
    const QCommandLineOption faultsAtOpt(
        QStringLiteral("faults-at"),
        QStringLiteral("Status reports number FROM to FROM+COUNT-1, counted from 1 since the "
                       "simulator started, carry the Faults bits BITS (1 to 255: 1 Ringdown, 2 "
                       "Laser, 4 Pressure, 8 Alarm 1, 16 Alarm 2, 32 Temperature) ORed into "
                       "their own value."),
        QStringLiteral("FROM:COUNT:BITS"));
    const QCommandLineOption seedOpt(QStringLiteral("seed"),
                                     QStringLiteral("Seed of the random numbers, for repeatable "
                                                    "runs."),
                                     QStringLiteral("N"));
    const QCommandLineOption verboseOpt(QStringLiteral("verbose"),
                                        QStringLiteral("Print every command line received to "
                                                       "stderr, as \"> command\"."));
    for (const auto &o :
         {ptyOpt,      tcpOpt,     serialOpt,       modeOpt,    rateOpt,    srdaCountOpt,
          srdaCopyOpt, garbageOpt, silentOpt,       dropOpt,    restartOpt, restartDelayOpt,
          linkOpt,     slowOpt,    noLfOpt,         seedOpt,    verboseOpt, noAckOpt,
          endlessOpt,  dropOnOpt,  returnSerialOpt, faultsAtOpt})
        p.addOption(o);
    p.addPositionalArgument(QStringLiteral("PORT"), QStringLiteral("The port for --tcp."),
                            QStringLiteral("[PORT]"));
    p.process(app);

    const auto fail = [](const QString &text) {
        printLine(stderr, "telvar-sim: " + text.toLocal8Bit());
        return 2;
    };
    const auto number = [&](const QCommandLineOption &o, double low, double high, double &out) {
        bool ok = false;
        const double v = p.value(o).toDouble(&ok);
        if (!ok || !(v >= low && v <= high))
            return false;
        out = v;
        return true;
    };

    if (p.isSet(ptyOpt) == p.isSet(tcpOpt))
        return fail(QStringLiteral("choose one of --pty and --tcp"));
    SimAnalyzer::Options options;
    double value = 0;
    const QByteArray serial = p.value(serialOpt).toLatin1();
    for (const char c : serial)
        if (c < '!' || c > '~')
            return fail(QStringLiteral("--serial takes printable characters without blanks"));
    if (serial.isEmpty() || serial.size() > 32)
        return fail(QStringLiteral("--serial takes 1 to 32 characters"));
    options.serial = serial;
    if (!number(modeOpt, 0, 7, value) || value != int(value))
        return fail(QStringLiteral("--mode takes 0 to 7"));
    options.startMode = int(value);
    if (!number(garbageOpt, 0, 1, options.garbage))
        return fail(QStringLiteral("--garbage takes a fraction from 0 to 1"));
    if (p.isSet(silentOpt)) {
        if (!number(silentOpt, 0, 1e9, value) || value != int(value))
            return fail(QStringLiteral("--silent-after takes a count"));
        options.silentAfter = int(value);
    }
    if (p.isSet(dropOpt)) {
        if (!number(dropOpt, 0, 1e9, value) || value != int(value))
            return fail(QStringLiteral("--drop-after takes a count"));
        options.dropAfter = int(value);
    }
    if (p.isSet(restartOpt)) {
        if (p.isSet(dropOpt) || !number(restartOpt, 0, 1e9, value) || value != int(value))
            return fail(QStringLiteral("--restart-after takes a count, without --drop-after"));
        options.dropAfter = int(value);
    }
    qint64 dropAtRow = 0; // with --drop-on row:N
    if (p.isSet(dropOnOpt)) {
        const QStringList parts = p.value(dropOnOpt).split(QLatin1Char(':'));
        bool ok = parts.size() <= 2 && !parts.first().isEmpty();
        if (ok && parts.size() == 2)
            options.dropOnCount = parts.last().toInt(&ok);
        if (!ok || options.dropOnCount < 1 || p.isSet(restartOpt) || p.isSet(dropOpt))
            return fail(QStringLiteral("--drop-on takes CMD or CMD:N, without --drop-after or "
                                       "--restart-after"));
        options.dropOn = parts.first().toLower().toLatin1();
        if (options.dropOn == "row") {
            dropAtRow = options.dropOnCount;
            options.dropOn.clear();
        }
    }
    if (p.isSet(returnSerialOpt)) {
        options.returnSerial = p.value(returnSerialOpt).toLatin1();
        if (options.returnSerial.isEmpty() || options.returnSerial.size() > 32 ||
            options.returnSerial.contains(' ') || !p.isSet(dropOnOpt))
            return fail(QStringLiteral("--return-serial takes a serial number, with --drop-on"));
    }
    if (p.isSet(faultsAtOpt)) {
        const QStringList parts = p.value(faultsAtOpt).split(QLatin1Char(':'));
        bool ok = parts.size() == 3;
        qint64 numbers[3] = {};
        for (int i = 0; ok && i < 3; ++i)
            numbers[i] = parts.at(i).toLongLong(&ok);
        if (!ok || numbers[0] < 1 || numbers[1] < 1 || numbers[0] > qint64(1e12) ||
            numbers[1] > qint64(1e12) || numbers[2] < 1 || numbers[2] > 255)
            return fail(QStringLiteral("--faults-at takes FROM:COUNT:BITS, two counts and bits "
                                       "from 1 to 255"));
        options.faultsFrom = numbers[0];
        options.faultsCount = numbers[1];
        options.faultsBits = int(numbers[2]);
    }
    const bool restart = p.isSet(restartOpt) || p.isSet(dropOnOpt);
    if (!number(restartDelayOpt, 0, 600000, value) || value != int(value))
        return fail(QStringLiteral("--restart-delay takes 0 to 600000 ms"));
    const int restartDelay = int(value);
    const QString linkPath = p.value(linkOpt);
    if (!linkPath.isEmpty() && !p.isSet(ptyOpt))
        return fail(QStringLiteral("--link goes with --pty"));
    if (!number(rateOpt, 1, 100000, value) || value != int(value))
        return fail(QStringLiteral("--srda-rate takes 1 to 100000"));
    const int rate = int(value);
    qint64 srdaCount = -1;
    if (p.isSet(srdaCountOpt)) {
        if (!number(srdaCountOpt, 1, 1e12, value) || value != qint64(value))
            return fail(QStringLiteral("--srda-count takes a count"));
        srdaCount = qint64(value);
    }
    QFile srdaCopy(p.value(srdaCopyOpt));
    if (p.isSet(srdaCopyOpt) && !srdaCopy.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write ") + srdaCopy.fileName());
    options.noLineFeed = p.isSet(noLfOpt);
    if (p.isSet(seedOpt)) {
        bool ok = false;
        options.seed = p.value(seedOpt).toUInt(&ok);
        if (!ok)
            return fail(QStringLiteral("--seed takes a whole number"));
    } else {
        options.seed = std::random_device{}();
    }
    int tcpPort = 23;
    const QStringList rest = p.positionalArguments();
    if (rest.size() > 1 || (!rest.isEmpty() && !p.isSet(tcpOpt)))
        return fail(QStringLiteral("unexpected argument: ") + rest.last());
    if (!rest.isEmpty()) {
        bool ok = false;
        tcpPort = rest.first().toInt(&ok);
        if (!ok || tcpPort < 0 || tcpPort > 65535)
            return fail(QStringLiteral("not a TCP port: ") + rest.first());
    }
    options.needAccessCode = p.isSet(tcpOpt);

    SimAnalyzer sim(options);
    if (p.isSet(noAckOpt)) {
        const QByteArray step = p.value(noAckOpt).toLatin1();
        if (step != "optimize" && step != "fact")
            return fail(QStringLiteral("--no-ack takes optimize or fact"));
        sim.certification.options.noAck = step;
    }
    sim.scans.endlessDownload = p.isSet(endlessOpt);
    if (p.isSet(verboseOpt)) {
        sim.onCommand = [](const QByteArray &line) {
            QByteArray shown = line;
            for (char &c : shown)
                if (c < ' ' || c > '~')
                    c = '.';
            printLine(stderr, "> " + shown);
        };
    }

    std::unique_ptr<Wire> wire;
    std::function<void()> dropLink;
    std::function<void()> closePty; // not inside the pty's own read notifier
    PtyTransport pty;
    QTcpServer server;
    QTcpSocket *client = nullptr;

    const auto received = [&](const QByteArray &bytes) {
        wire->send(sim.receive(bytes));
        if (sim.dropRequested())
            wire->closeWhenSent(dropLink);
    };

    // A link name that always leads to the current pty, as a udev rule gives a
    // re-plugged adapter the same /dev/serial/by-id name.
    const auto relink = [&] {
        if (linkPath.isEmpty())
            return true;
        QFile::remove(linkPath);
        return QFile::link(QString::fromLocal8Bit(pty.path), linkPath);
    };
    quint16 listenPort = 0;

    if (p.isSet(ptyOpt)) {
        if (!pty.open())
            return fail(QStringLiteral("cannot create a pseudo-terminal: ") +
                        QString::fromLocal8Bit(std::strerror(errno)));
        if (!relink())
            return fail(QStringLiteral("cannot make the link ") + linkPath);
        wire = std::make_unique<Wire>(p.isSet(slowOpt), [&](const QByteArray &b) { pty.write(b); });
        pty.received = received;
        dropLink = [&] { QTimer::singleShot(0, [&] { closePty(); }); };
        closePty = [&] {
            pty.close();
            if (!restart) {
                QCoreApplication::quit();
                return;
            }
            if (!linkPath.isEmpty())
                QFile::remove(linkPath); // gone while unplugged
            QTimer::singleShot(restartDelay, [&] {
                wire->clear();
                if (sim.keepsStateOnReturn())
                    sim.cameBack();
                else
                    sim.reset();
                if (!pty.open() || !relink()) {
                    printLine(stderr, "telvar-sim: cannot come back on a new pty");
                    QCoreApplication::exit(1);
                    return;
                }
                printLine(stdout, pty.path);
            });
        };
        printLine(stdout, pty.path);
    } else {
        wire = std::make_unique<Wire>(p.isSet(slowOpt), [&](const QByteArray &b) {
            if (client)
                client->write(b);
        });
        dropLink = [&] {
            if (client) {
                QTcpSocket *gone = client;
                client = nullptr;
                // Goes once the reply's first half is out; deleted on its disconnected().
                gone->disconnectFromHost();
            }
            if (!restart)
                return;
            // Away for a while: connections are refused until it is back.
            server.close();
            QTimer::singleShot(restartDelay, [&] {
                if (!server.listen(QHostAddress::LocalHost, listenPort)) {
                    printLine(stderr, "telvar-sim: cannot listen again on the same port");
                    QCoreApplication::exit(1);
                }
            });
        };
        QObject::connect(&server, &QTcpServer::newConnection, [&] {
            while (QTcpSocket *s = server.nextPendingConnection()) {
                if (client) {
                    s->close(); // one client at a time
                    s->deleteLater();
                    continue;
                }
                client = s;
                if (sim.keepsStateOnReturn())
                    sim.cameBack();
                else
                    sim.reset();
                wire->clear();
                QObject::connect(s, &QTcpSocket::readyRead, s, [&, s] {
                    if (s == client)
                        received(s->readAll());
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, [&, s] {
                    if (s == client) {
                        client = nullptr;
                        wire->clear();
                    }
                    s->deleteLater();
                });
            }
        });
        if (!server.listen(QHostAddress::LocalHost, quint16(tcpPort)))
            return fail(QStringLiteral("cannot listen on 127.0.0.1:") + QString::number(tcpPort) +
                        QStringLiteral(": ") + server.errorString());
        listenPort = server.serverPort();
        printLine(stdout, "127.0.0.1:" + QByteArray::number(listenPort));
    }

    // What the program has not been handed yet: the socket's or pty's own kernel
    // buffer has taken everything else.
    const auto waiting = [&] {
        const qint64 transport = p.isSet(ptyOpt) ? pty.waiting()
                                 : client        ? client->bytesToWrite()
                                                 : 0;
        return transport + wire->waiting();
    };
    SrdaStream stream(sim, rate, srdaCount);
    // A row is about 60 bytes; the rows of one turn fill the room at most.
    const qint64 rowsPerTurn = srdaRoom / 64;
    bool endTold = false;
    QTimer srdaTimer;
    srdaTimer.setTimerType(Qt::PreciseTimer);
    srdaTimer.setInterval(qBound(1, 1000 / rate, 10));
    QObject::connect(&srdaTimer, &QTimer::timeout, [&] {
        if (sim.dropRequested())
            return;
        if (waiting() >= srdaRoom)
            return;
        const QByteArray rows =
            stream.rowsDue(monotonicMs(), QDateTime::currentDateTime(), rowsPerTurn);
        wire->send(rows);
        if (dropAtRow > 0 && stream.sent() >= dropAtRow) {
            dropAtRow = 0;
            sim.dropNow();
            wire->closeWhenSent(dropLink);
        }
        if (srdaCopy.isOpen() && !rows.isEmpty()) {
            srdaCopy.write(rows);
            srdaCopy.flush();
        }
        // Ended once the last row is in the socket's or pty's hands.
        const bool ended = stream.ended() && waiting() == 0;
        if (ended != endTold) {
            endTold = ended;
            if (endTold)
                printLine(stdout, "srda end " + QByteArray::number(stream.sent()) + " " +
                                      QByteArray::number(monotonicMs()));
        }
    });
    srdaTimer.start();

    return app.exec();
}
