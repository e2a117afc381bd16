#pragma once

// Which diagnostics a performance verification runs and how long the two
// ring-down collections last. Chosen in the options dialog, copied by the
// certification sequence; passed by value.
struct CertScans
{
    bool optimizeLaser = true;
    bool cavityTempScan = false;
    bool refCellScan = true;
    bool onPeak = false;
    int onPeakHours = 12;
    bool offPeak = true;
    int offPeakHours = 12;
    bool collectSettings = true;

    bool operator==(const CertScans &o) const
    {
        return optimizeLaser == o.optimizeLaser && cavityTempScan == o.cavityTempScan &&
               refCellScan == o.refCellScan && onPeak == o.onPeak && onPeakHours == o.onPeakHours &&
               offPeak == o.offPeak && offPeakHours == o.offPeakHours &&
               collectSettings == o.collectSettings;
    }
    bool operator!=(const CertScans &o) const { return !(*this == o); }
};
