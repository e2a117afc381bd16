// The analyzer's replies to the verification's steps: acknowledgements, scan
// positions, downloads and their end markers, ring-down rows and settings.
#include "certification/certificationsequence.h"

#include "common/clock.h"
#include "common/debuglog.h"

#include <QDebug>
#include <QRegularExpression>

namespace {

// Reply tokens: white space simplified, then split at every '=' and blank.
QStringList tokensOf(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[= ]"));
    return text.simplified().split(separators, Qt::SkipEmptyParts);
}

// A position or bar value from the analyzer, kept inside the bar's range
// whatever number arrived.
int barValue(double v, int minimum, int maximum)
{
    return int(qBound(double(minimum), v, double(maximum)));
}

} // namespace

void CertificationSequence::linefromOrin(const QString &text)
{
    const QStringList tokens = tokensOf(text);
    switch (step) {
    case OptimizeLaser:
        if (phase == 0 && tokens.contains(QStringLiteral("5"))) {
            phase = 5;
            emit statusText(QStringLiteral("Optimize Laser Running"));
        } else if (phase == 5 && tokens.contains(QStringLiteral("0"))) {
            phase = 0;
            emit statusText(QStringLiteral("Optimize Finished"));
            emit itemDone(OptimizeItem);
            nextStep();
        }
        break;
    case CavityTempScan:
    case RefCellScan:
        scanReply(tokens);
        break;
    case OnPeakRingDowns:
    case OffPeakRingDowns:
        ringDownReply(text, tokens);
        break;
    case CollectSettings:
        if (phase == 0 && tokens.contains(QStringLiteral("1"))) {
            phase = 1;
            emit progressLabel(QStringLiteral("Settings Progress:"));
            emit progressValue(0);
        }
        if (CertFiles::append(certFolder + names.settings, text))
            emit statusText(QStringLiteral("Collecting Settings"));
        break;
    case DownloadTempScan:
    case DownloadRefCellScan:
        downloadReply(text, tokens);
        break;
    default:
        break;
    }
}

void CertificationSequence::scanReply(const QStringList &tokens)
{
    const bool temp = step == CavityTempScan;
    if (phase == 0 && tokens.contains(QStringLiteral("1"))) {
        phase = 1;
        send(temp ? QStringLiteral("tempscan 5 35 0.5 20 15\r\n")
                  : QStringLiteral("rcs 5 35 0.02 1 10 95\r\n"));
        emit statusText(temp ? QStringLiteral("Starting TempScan")
                             : QStringLiteral("Starting Ref Cell Scan"));
        emit progressLabel(temp ? QStringLiteral("Temp Scan Progress")
                                : QStringLiteral("Ref Cell Progress"));
        return;
    }
    // An empty line carries no position.
    if (tokens.isEmpty())
        return;
    previousValue = currentValue;
    bool number = false;
    currentValue = tokens.first().toDouble(&number);
    if (!number)
        currentValue = 0.0;
    if (number) {
        const int minimum = temp ? 50 : 500;
        const int maximum = temp ? 350 : 3500;
        emit statusText(temp ? QStringLiteral("Temp Scan Running")
                             : QStringLiteral("Ref Cell Scan Running"));
        emit progressRange(minimum, maximum);
        emit progressValue(barValue(currentValue * (temp ? 10 : 100), minimum, maximum));
    }
    // The position falls back once the scan has passed its end.
    if (currentValue < previousValue) {
        setStep(temp ? DownloadTempScan : DownloadRefCellScan);
        emit statusText(temp ? QStringLiteral("Downloading Temp Scan")
                             : QStringLiteral("Downloading Ref Cell Scan"));
        emit progressValue(100);
        send(temp ? QStringLiteral("dtsd\r\n") : QStringLiteral("drcsd\r\n"));
        responseTimer.start(600 * secondMs());
    }
}

void CertificationSequence::downloadReply(const QString &text, const QStringList &tokens)
{
    const bool temp = step == DownloadTempScan;
    (temp ? tempScanLines : refCellLines) << text;
    // The last position, 35, with three decimals ends the temperature
    // download and with four the reference cell's; whole tokens only.
    if (!tokens.contains(temp ? QStringLiteral("35.000") : QStringLiteral("35.0000")))
        return;
    responseTimer.stop();
    saveDownload();
    emit statusText(temp ? QStringLiteral("Temp Scan Finished")
                         : QStringLiteral("Ref Cell Scan Finished"));
    if (temp)
        emit progressValue(100);
    emit itemDone(temp ? TempScanItem : RefCellItem);
    nextStep();
    phase = 0;
    resetPositions(temp ? 0.0 : -1.0);
}

void CertificationSequence::ringDownReply(const QString &text, const QStringList &tokens)
{
    const bool onPeak = step == OnPeakRingDowns;
    if (phase == 0 && tokens.contains(QStringLiteral("1"))) {
        phase = 1;
        if (collectingSince < 0)
            collectingSince = Clock::monotonic();
        emit progressLabel(onPeak ? QStringLiteral("On-Peak SRDA Progress:")
                                  : QStringLiteral("Off-Peak SRDA Progress:"));
        emit progressValue(0);
    }
    if (CertFiles::append(certFolder + (onPeak ? names.onPeak : names.offPeak), text))
        emit statusText(onPeak ? QStringLiteral("Collecting On-Peak SRDA")
                               : QStringLiteral("Collecting Off-Peak SRDA"));
}

void CertificationSequence::saveDownload()
{
    if (step != DownloadTempScan && step != DownloadRefCellScan)
        return;
    const QDateTime now = Clock::current();
    const bool temp = step == DownloadTempScan;
    QString &name = temp ? names.tempScan : names.refCell;
    name += temp ? CertFiles::tempScanSuffix(now) : CertFiles::refCellSuffix(now);
    CertFiles::append(certFolder + name, (temp ? tempScanLines : refCellLines).join(QString()));
}

void CertificationSequence::timedOut()
{
    if (step != DownloadTempScan && step != DownloadRefCellScan)
        return;
    saveDownload();
    emit statusText(QStringLiteral("Response timed out"));
    nextStep();
    phase = 0;
    resetPositions(-1.0);
    qCDebug(telvarDebug) << "TIMED OUT!";
}

void CertificationSequence::reply(const QByteArray &chunk)
{
    const int zero = chunk.indexOf('\0');
    linefromOrin(QString::fromLatin1(zero < 0 ? chunk : chunk.left(zero)));
}
