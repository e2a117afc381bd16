#pragma once

#include "link/demomodel.h"

#include <QByteArray>

#include <optional>

// The analyzer's service scans as the simulator plays them. A scan started
// with "rcs", "tempscan" or "fss" moves on a tenth of its range with every
// position poll ("lt", or "lc" for the laser-current scan), and once past its
// End the position falls back to its Start. "drcsd", "dtsd" and "dfssd" return
// the rows "position value" reached so far, the position with 4 decimals for
// the reference cell and 3 for the others; asking ends a running scan.
class SimScans
{
public:
    static constexpr int pollsPerScan = 10;

    // A fault: downloads stop one row short of the scan's End, so the end
    // marker a performance verification waits for never comes.
    bool endlessDownload = false;

    // The reply to a scan command line (whose lowercase first word is `name`),
    // or nothing when the line is none of them: "lt" and "lc" while no scan
    // of theirs runs, a start without a usable Start, End and Step. A mode
    // change ends a running scan and is left to the caller as well.
    std::optional<QByteArray> answer(const QByteArray &name, const QByteArray &line,
                                     DemoModel &model);
    void reset();

    // The scan value at `position`: a ring-down time in microseconds.
    static double value(int kind, double position);

private:
    struct Scan
    {
        bool valid = false;
        double start = 0;
        double end = 0;
        double step = 0;
        int steps = 0;   // Start to End
        int reached = 0; // steps done so far
    };

    double positionOf(const Scan &s, int i) const;
    void setPosition(DemoModel &model, int kind, double position);
    void stop(DemoModel &model);

    Scan scans[3];
    int active = -1;
};
