// Start-up time: `telvar --demo` against a bare Qt Widgets window, both
// started the same way on their own Xvfb display with a fresh HOME, from the
// start of the process until its window is mapped (seen as the X server's
// MapNotify on the root window). Alternates the two, prints the median of each
// and their ratio.
//
//     bench_startup [runs]      (default 7)

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/xcb.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// A free display number: no lock file of a running server.
int freeDisplay()
{
    for (int n = 90; n < 200; ++n)
        if (!QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
            return n;
    return -1;
}

xcb_connection_t *connectWithin(const QByteArray &display, int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        xcb_connection_t *c = xcb_connect(display.constData(), nullptr);
        if (!xcb_connection_has_error(c))
            return c;
        xcb_disconnect(c);
        QThread::msleep(20);
    }
    return nullptr;
}

// CPU time (user and system) a process has used so far, in ms.
double cpuMs(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // The fields after the command name, which is in parentheses.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

struct Start
{
    double wallMs = -1; // from start until a top-level window is mapped (-1: never)
    double cpuMs = -1;  // CPU the process used meanwhile: what the machine's load does not add to
};

Start timeToMap(xcb_connection_t *x, const QString &program, const QStringList &args,
                const QByteArray &display, int timeoutMs)
{
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.path() + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("SESSION_MANAGER"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    // Events of earlier runs are not this one's.
    while (xcb_generic_event_t *e = xcb_poll_for_event(x))
        std::free(e);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    Start result;
    double &ms = result.wallMs;
    while (ms < 0 && t.elapsed() < timeoutMs) {
        xcb_generic_event_t *e = xcb_poll_for_event(x);
        if (!e) {
            QThread::usleep(200);
            continue;
        }
        if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY) {
            const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(e);
            if (!map->override_redirect) {
                ms = double(t.nsecsElapsed()) / 1e6;
                result.cpuMs = cpuMs(p.processId());
            }
        }
        std::free(e);
    }
    p.kill();
    p.waitForFinished(5000);
    return result;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const int n = freeDisplay();
    if (n < 0) {
        std::printf("no free X display number\n");
        return 1;
    }
    const QByteArray display = ":" + QByteArray::number(n);
    QProcess xvfb;
    xvfb.setProcessChannelMode(QProcess::MergedChannels);
    xvfb.setStandardOutputFile(QProcess::nullDevice());
    xvfb.start(QStringLiteral("Xvfb"),
               {QString::fromLatin1(display), "-screen", "0", "1920x1080x24", "-nolisten", "tcp"});
    if (!xvfb.waitForStarted(5000)) {
        std::printf("Xvfb did not start (Debian: apt install xvfb)\n");
        return 1;
    }
    xcb_connection_t *x = connectWithin(display, 10000);
    if (!x) {
        std::printf("no connection to Xvfb on %s\n", display.constData());
        return 1;
    }
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);

    const QString bare = QStringLiteral(STARTUP_BARE_BIN);
    const QString telvar = QStringLiteral(TELVAR_BIN);
    // One of each first, unmeasured: the files are then in the page cache for both.
    (void)timeToMap(x, bare, {}, display, 20000);
    (void)timeToMap(x, telvar, {"--demo"}, display, 20000);
    std::vector<double> bareMs, telvarMs, bareCpu, telvarCpu;
    for (int i = 0; i < runs; ++i) {
        const Start b = timeToMap(x, bare, {}, display, 20000);
        const Start t = timeToMap(x, telvar, {"--demo"}, display, 20000);
        bareMs.push_back(b.wallMs);
        telvarMs.push_back(t.wallMs);
        bareCpu.push_back(b.cpuMs);
        telvarCpu.push_back(t.cpuMs);
        std::printf("run %d: bare %.0f ms (CPU %.0f ms), telvar --demo %.0f ms (CPU %.0f ms)\n",
                    i + 1, b.wallMs, b.cpuMs, t.wallMs, t.cpuMs);
    }
    xcb_disconnect(x);
    xvfb.terminate();
    xvfb.waitForFinished(5000);
    const double b = median(bareMs), t = median(telvarMs);
    std::printf("bare Qt window     %.0f ms (median of %d)\n", b, runs);
    std::printf("telvar --demo      %.0f ms (median of %d)\n", t, runs);
    std::printf("ratio              %.2f\n", b > 0 ? t / b : 0.0);
    const double bc = median(bareCpu), tc = median(telvarCpu);
    std::printf("CPU until mapped   bare %.0f ms, telvar --demo %.0f ms, ratio %.2f\n", bc, tc,
                bc > 0 ? tc / bc : 0.0);
    // A run whose window never came counts as -1: say so by the exit code.
    const bool allMapped = *std::min_element(bareMs.begin(), bareMs.end()) >= 0 &&
                           *std::min_element(telvarMs.begin(), telvarMs.end()) >= 0;
    return allMapped ? 0 : 1;
}
