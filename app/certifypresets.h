#pragma once

#include "certification/certscans.h"

#include <QCommandLineOption>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class AnalyzerSession;
class CertificationSequence;
class MainWindow;
class Station;
class QCommandLineParser;
class QTabWidget;

// The command line's performance verification presets, for verifications
// started on a lab PC and left to run: --certify, --scans, --on-peak-hours,
// --off-peak-hours (and a shortened pace for the end-to-end tests).
struct CertifyPresets
{
    bool certify = false;
    std::optional<CertScans> scansOnly; // --scans: which scans, all others off
    std::optional<int> onPeakHours, offPeakHours;
    int paceMs = 0; // length of a paced second; 0 leaves it at 1000

    static QList<QCommandLineOption> options();
    // Reads the options after parsing; an error text, or empty.
    QString read(const QCommandLineParser &parser);
    // The selection `s` with the presets applied.
    CertScans appliedTo(CertScans s) const;
    // Shows the presets in the options dialog (as OK would) and arms --certify.
    void applyTo(MainWindow &window) const;
    // The shortened pace of the end-to-end tests, if given.
    void applyPace() const;
};

// Starts the verification once the connected analyzer is identified and its
// first status report is in (the last reply monitoring waited for), as if
// "Collect Certification Data" had been pressed. When the run ends, the archive's
// absolute path goes to standard output, or what went wrong to standard error.
class UnattendedRun : public QObject
{
    Q_OBJECT
public:
    // `tabs`, when there is a window: the verification's tab comes to the front.
    UnattendedRun(Station &station, CertificationSequence &run, QTabWidget *tabs);

private:
    void statusReady();
    void finished(bool archiveMade, const QString &text);

    AnalyzerSession &session;
    CertificationSequence &run;
    QTabWidget *tabs;
    bool started = false;
};
