// Start-up time: `telvar --demo` against a bare Qt Widgets window, each
// started the same way on their own Xvfb display with a fresh HOME, from the
// start of the process until its window is mapped (seen as the X server's
// MapNotify on the root window). The bare window runs twice: as Qt starts it
// by default, with an OpenGL surface, and without one, as telvar starts. Takes
// turns, prints the median of each and the ratios.
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
    // One of each first, unmeasured: the files are then in the page cache for all.
    struct Subject
    {
        const char *name;
        QString program;
        QStringList args;
        std::vector<double> wall, cpu;
    };
    std::vector<Subject> subjects = {{"bare Qt window", bare, {}, {}, {}},
                                     {"bare, no OpenGL", bare, {"--no-gl"}, {}, {}},
                                     {"telvar --demo", telvar, {"--demo"}, {}, {}}};
    for (const Subject &s : subjects)
        (void)timeToMap(x, s.program, s.args, display, 20000);
    for (int i = 0; i < runs; ++i) {
        std::printf("run %d:", i + 1);
        for (Subject &s : subjects) {
            const Start r = timeToMap(x, s.program, s.args, display, 20000);
            s.wall.push_back(r.wallMs);
            s.cpu.push_back(r.cpuMs);
            std::printf("  %s %.0f ms (CPU %.0f)", s.name, r.wallMs, r.cpuMs);
        }
        std::printf("\n");
    }
    xcb_disconnect(x);
    xvfb.terminate();
    xvfb.waitForFinished(5000);
    const double t = median(subjects[2].wall), tc = median(subjects[2].cpu);
    bool allMapped = true;
    for (const Subject &s : subjects) {
        std::printf("%-18s %4.0f ms, CPU %4.0f ms (median of %d)\n", s.name, median(s.wall),
                    median(s.cpu), runs);
        // A run whose window never came counts as -1: say so by the exit code.
        allMapped = allMapped && *std::min_element(s.wall.begin(), s.wall.end()) >= 0;
    }
    for (int i = 0; i < 2; ++i) {
        const double b = median(subjects[i].wall), bc = median(subjects[i].cpu);
        std::printf("ratio to %-16s %.2f (CPU %.2f)\n", subjects[i].name, b > 0 ? t / b : 0.0,
                    bc > 0 ? tc / bc : 0.0);
    }
    return allMapped ? 0 : 1;
}
