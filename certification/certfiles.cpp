#include "certification/certfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTextStream>

#include <JlCompress.h>

namespace CertFiles {

QString folder()
{
    return QDir::homePath() + QStringLiteral("/QuorvaneData/Certification/");
}

QString dayPart(const QDateTime &at)
{
    return QLocale().toString(at, QStringLiteral("_yyyy-MMM-dd"));
}

QString minutePart(const QDateTime &at)
{
    return QLocale().toString(at, QStringLiteral("_yyyy-MMM-dd-h-mm"));
}

QString onPeakSuffix(const QDateTime &at)
{
    return dayPart(at) + QStringLiteral("_SRDA_ON-peak.txt");
}

QString offPeakSuffix(const QDateTime &at)
{
    return dayPart(at) + QStringLiteral("_SRDA_OFF-peak.txt");
}

QString settingsSuffix(const QDateTime &at)
{
    return dayPart(at) + QStringLiteral("_Settings.txt");
}

QString tempScanSuffix(const QDateTime &at)
{
    return QStringLiteral("_tempscan") + minutePart(at) + QStringLiteral(".txt");
}

QString refCellSuffix(const QDateTime &at)
{
    return QStringLiteral("_rcs") + minutePart(at) + QStringLiteral(".txt");
}

QString archiveName(const QString &ssnid, const QDateTime &at)
{
    return QStringLiteral("CertificationData_") + ssnid + minutePart(at) + QStringLiteral(".zip");
}

bool append(const QString &path, const QString &text)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite | QIODevice::Append))
        return false;
    QTextStream out(&f);
    out << text;
    out.flush();
    return out.status() == QTextStream::Ok;
}

QStringList existingMembers(const QString &folder, const QStringList &names)
{
    QStringList out;
    for (const QString &name : names) {
        if (name.isEmpty())
            continue;
        const QString path = folder + name;
        if (QFileInfo(path).isFile())
            out << path;
    }
    return out;
}

bool writeArchive(const QString &zipPath, const QStringList &members, QString *error)
{
    // Say which member stopped the archive rather than only that it failed.
    for (const QString &m : members) {
        QFile f(m);
        if (!f.open(QIODevice::ReadOnly)) {
            if (error)
                *error = QStringLiteral("cannot read ") + QFileInfo(m).fileName();
            return false;
        }
    }
    if (!JlCompress::compressFiles(zipPath, members) || !QFileInfo(zipPath).isFile()) {
        QFile::remove(zipPath);
        if (error)
            *error = QStringLiteral("cannot write ") + zipPath;
        return false;
    }
    return true;
}

int countLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    QTextStream in(&f);
    int n = 0;
    while (!in.atEnd()) {
        in.readLine();
        ++n;
    }
    return n;
}

QString resultsText(const QString &folder, const RunFiles &files, const CertScans &scans,
                    bool archiveMade, const QString &archiveError, const QStringList &interruptions)
{
    QString text = QStringLiteral("<p>Certification data collection has completed.  The following "
                                  "files were generated:</p>");
    const bool selected[] = {scans.cavityTempScan, scans.refCellScan, scans.onPeak, scans.offPeak,
                             scans.collectSettings};
    const QStringList names = files.dataFiles();
    for (int i = 0; i < names.size(); ++i) {
        if (selected[i] && !names[i].isEmpty() && QFileInfo(folder + names[i]).isFile())
            text += names[i].toHtmlEscaped() + QStringLiteral("<br>");
    }
    const QString archivePath = QFileInfo(folder + files.archive).absoluteFilePath();
    if (archiveMade) {
        text += QStringLiteral("<p>A compressed archive of those files was created:</p>") +
                archivePath.toHtmlEscaped();
        text += QStringLiteral("<p>Please email this compressed file to "
                               "<a href=\"mailto:service@quorvane.com?subject=Certifcation%20Data"
                               "\">service@quorvane.com</a>.</p>");
    } else {
        text += QStringLiteral("<p><b>The compressed archive could not be made:</b></p>") +
                archivePath.toHtmlEscaped() + QStringLiteral("<br>(") +
                archiveError.toHtmlEscaped() +
                QStringLiteral(")<p>The files above are in the Certification folder; please "
                               "send them to service@quorvane.com.</p>");
    }
    if (!interruptions.isEmpty()) {
        text += QStringLiteral("<p>The run was interrupted:</p>");
        for (const QString &note : interruptions)
            text += note.toHtmlEscaped() + QStringLiteral("<br>");
    }
    return text;
}

} // namespace CertFiles
