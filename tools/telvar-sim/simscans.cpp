#include "tools/telvar-sim/simscans.h"

#include <QList>
#include <QString>

#include <cmath>

namespace {

const char *const starts[] = {"rcs", "tempscan", "fss"};
const char *const downloads[] = {"drcsd", "dtsd", "dfssd"};
const int decimals[] = {4, 3, 3};
constexpr int maxSteps = 100000;

int indexOf(const char *const (&names)[3], const QByteArray &name)
{
    for (int i = 0; i < 3; ++i)
        if (name == names[i])
            return i;
    return -1;
}

} // namespace

void SimScans::reset()
{
    for (Scan &s : scans)
        s = Scan();
    active = -1;
}

double SimScans::value(int kind, double x)
{
    const double empty = 99.91; // the empty cavity's ring-down time
    switch (kind) {
    case 0: // the reference cell's line, and a weak neighbour
        return empty * (1 - 0.45 * std::exp(-std::pow((x - 20.5) / 0.6, 2)) -
                        0.12 * std::exp(-std::pow((x - 27.3) / 0.8, 2)));
    case 1: // a slow drift with the etalon's ripple
        return empty - 0.05 * (x - 20) + 0.4 * std::sin(1.3 * x);
    default: // one line across the laser current
        return empty * (1 - 0.6 / (1 + std::pow((x - 95.12) / 0.4, 2)));
    }
}

double SimScans::positionOf(const Scan &s, int i) const
{
    return i >= s.steps ? s.end : s.start + i * s.step;
}

void SimScans::setPosition(DemoModel &model, int kind, double position)
{
    if (kind == 2)
        model.laserCurrent = position;
    else
        model.laserTemp = position;
}

void SimScans::stop(DemoModel &model)
{
    if (active < 0)
        return;
    setPosition(model, active, scans[active].start);
    model.mode = 0; // back in service mode
    active = -1;
}

std::optional<QByteArray> SimScans::answer(const QByteArray &name, const QByteArray &line,
                                           DemoModel &model)
{
    const int start = indexOf(starts, name);
    if (start >= 0) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        double v[3] = {};
        for (int i = 0; i < 3; ++i) {
            bool ok = false;
            v[i] = parts.size() > i + 1 ? QString::fromLatin1(parts.at(i + 1)).toDouble(&ok) : 0;
            if (!ok || !std::isfinite(v[i]))
                return std::nullopt;
        }
        if (v[1] <= v[0] || v[2] <= 0 || (v[1] - v[0]) / v[2] > maxSteps)
            return std::nullopt;
        stop(model);
        if (start < 2)
            model.interpret(line); // the scan's mode in the status report
        Scan &s = scans[start];
        s.valid = true;
        s.start = v[0];
        s.end = v[1];
        s.step = v[2];
        s.steps = int(std::ceil((v[1] - v[0]) / v[2] - 1e-9));
        s.reached = 0;
        active = start;
        setPosition(model, start, s.start);
        return QByteArray(); // acknowledged by nothing
    }

    if (active >= 0 && ((name == "lt" && active < 2) || (name == "lc" && active == 2))) {
        Scan &s = scans[active];
        if (s.reached >= s.steps) {
            const int kind = active;
            stop(model);
            return QByteArray::number(scans[kind].start, 'g', 6) + "\r\n";
        }
        s.reached = qMin(s.steps, s.reached + qMax(1, s.steps / pollsPerScan));
        const double at = positionOf(s, s.reached);
        setPosition(model, active, at);
        return QByteArray::number(at, 'g', 6) + "\r\n";
    }

    const int download = indexOf(downloads, name);
    if (download >= 0) {
        if (active == download)
            stop(model);
        const Scan &s = scans[download];
        QByteArray rows;
        if (!s.valid)
            return rows;
        const int last = endlessDownload ? qMin(s.reached, s.steps - 1) : s.reached;
        for (int i = 0; i <= last; ++i) {
            const double x = positionOf(s, i);
            rows += QByteArray::number(x, 'f', decimals[download]) + ' ' +
                    QByteArray::number(value(download, x), 'f', 3) + "\r\n";
        }
        return rows;
    }

    if (name == "opmode" && line.size() > name.size())
        stop(model);
    return std::nullopt;
}
