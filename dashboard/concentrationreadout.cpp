#include "dashboard/concentrationreadout.h"

ConcReadout concentrationReadout(const QString &conc, const QString &units, double ppmThreshold)
{
    ConcReadout out;
    bool isNumber = false;
    const double value = conc.toDouble(&isNumber);
    out.concDisplay = conc;

    if (isNumber) {
        if (value < ppmThreshold) {
            out.setUnitsText = true;
            out.unitsText = units;
            // Keep the big read-out to about five characters.
            QString &shown = out.concDisplay;
            if (value >= 10000)
                shown.truncate(5);
            else if (conc.contains(QLatin1Char('-')))
                shown.truncate(6);
            else if (shown.size() > 6)
                shown.truncate(4);
            else if (shown.size() == 6)
                shown.truncate(5);
            out.setConcText = true;
            out.concText = shown;
        } else {
            // From the switch point on the read-out is in ppm; only the ppb units
            // have a ppm name, any other units text stays as it was.
            if (units == QLatin1String("PPBv")) {
                out.setUnitsText = true;
                out.unitsText = QStringLiteral("PPMv");
            } else if (units == QLatin1String("PPBw")) {
                out.setUnitsText = true;
                out.unitsText = QStringLiteral("PPMw");
            }
            out.setConcText = true;
            out.concText = QString::number(value / 1000, 'f', 1);
        }
    }

    const QString message = QStringLiteral("font-size: 36px;");
    if (conc.contains(QLatin1String("!WRONG"))) {
        out.concStyle = message;
        out.setConcText = true;
        out.concText = QStringLiteral("Not in Measure Mode");
    } else if (conc.contains(QLatin1String("Unknown")) ||
               conc.contains(QLatin1String("!UNKNOWN"))) {
        out.concStyle = message;
        out.setConcText = true;
        out.concText = QStringLiteral("Unknown");
    } else if (conc.contains(QLatin1String("Please")) || conc.contains(QLatin1String("Password")) ||
               conc.contains(QLatin1String("Access"))) {
        out.concStyle = message;
        out.setConcText = true;
        out.concText = QStringLiteral("Connecting...");
    } else {
        out.concStyle = QStringLiteral("font-size: 72px;");
    }
    return out;
}
