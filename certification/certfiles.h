#pragma once

#include "certification/certscans.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// Names, writes and the zip archive of a performance verification: plain
// functions, so tests call them with a temporary folder and a fixed date.
namespace CertFiles {

// home + "/QuorvaneData/Certification/"
QString folder();

// Date parts in the default locale's month abbreviations: "_2021-Dec-28" and
// "_2021-Dec-28-17-53" (hour without a leading zero).
QString dayPart(const QDateTime &at);
QString minutePart(const QDateTime &at);

// Suffixes appended to the serial number (already made safe by the caller).
QString onPeakSuffix(const QDateTime &at);   // "_yyyy-MMM-dd_SRDA_ON-peak.txt"
QString offPeakSuffix(const QDateTime &at);  // "_yyyy-MMM-dd_SRDA_OFF-peak.txt"
QString settingsSuffix(const QDateTime &at); // "_yyyy-MMM-dd_Settings.txt"
QString tempScanSuffix(const QDateTime &at); // "_tempscan_yyyy-MMM-dd-h-mm.txt"
QString refCellSuffix(const QDateTime &at);  // "_rcs_yyyy-MMM-dd-h-mm.txt"
QString archiveName(const QString &ssnid, const QDateTime &at);

// Appends text to the file (created when missing) and closes it at once, so
// a file of the same name from an earlier run of the day grows. False when it
// cannot be opened or written.
bool append(const QString &path, const QString &text);

// The names that exist in `folder` as regular files, in the order given,
// with the folder in front.
QStringList existingMembers(const QString &folder, const QStringList &names);

// Writes the zip of `members` (flat, by file name). On failure the half-made
// archive is gone and `error` says why.
bool writeArchive(const QString &zipPath, const QStringList &members, QString *error);

// Number of text lines of a file (0 when it cannot be read).
int countLines(const QString &path);

// The data files of one run, without folder, in archive and results order:
// temperature scan, reference cell, on-peak, off-peak, settings.
struct RunFiles
{
    QString tempScan, refCell, onPeak, offPeak, settings, archive;
    QStringList dataFiles() const { return {tempScan, refCell, onPeak, offPeak, settings}; }
};

// The rich text of the "Results" box: the files of the selected scans that
// exist, then the archive, or the reason it could not be written, then each
// interruption of the run by a lost connection.
QString resultsText(const QString &folder, const RunFiles &files, const CertScans &scans,
                    bool archiveMade, const QString &archiveError,
                    const QStringList &interruptions = QStringList());

} // namespace CertFiles
