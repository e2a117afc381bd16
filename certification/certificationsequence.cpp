#include "certification/certificationsequence.h"

#include "common/clock.h"
#include "common/debuglog.h"
#include "common/dialogs.h"
#include "common/safefilename.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

int pacedSecondMs = 1000;

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

const char *const missingCommandFile =
    "Missing file for collecting factory settings.  Either put Get_Factory_Settings.txt in the "
    "working directory or uncheck the Collect Settings scan.\n\nThe current working directory "
    "is: ";

} // namespace

CertificationSequence::CertificationSequence(QObject *parent)
    : QObject(parent), certFolder(CertFiles::folder())
{
    QDir().mkpath(certFolder);
    connect(&progressTimer, &QTimer::timeout, this, &CertificationSequence::queryProgress);
    responseTimer.setSingleShot(true);
    connect(&responseTimer, &QTimer::timeout, this, &CertificationSequence::timedOut);
}

CertificationSequence::~CertificationSequence() = default;

int CertificationSequence::secondMs()
{
    return pacedSecondMs;
}

void CertificationSequence::setSecondMs(int ms)
{
    pacedSecondMs = qMax(1, ms);
}

void CertificationSequence::setSSNID(const QString &id)
{
    serial = safeFileNamePart(id);
    // A run keeps the names it started with.
    if (step == Idle)
        names.tempScan = names.refCell = names.onPeak = names.offPeak = names.settings = serial;
}

void CertificationSequence::setFolder(const QString &path)
{
    certFolder = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
    QDir().mkpath(certFolder);
}

void CertificationSequence::setStep(int s)
{
    if (step == s)
        return;
    step = s;
    emit stepChanged(s);
}

void CertificationSequence::send(const QString &text)
{
    emit lineforOrin(text);
    emit lineforConsole(text);
}

void CertificationSequence::sendToAll(const QString &text)
{
    send(text);
    emit lineforLogger(text);
}

bool CertificationSequence::waitStillSame(unsigned run)
{
    // Monotonic: a wait begun just before midnight lasts its full second.
    Clock::instance().pause(secondMs());
    return run == runId;
}

void CertificationSequence::resetPositions(double value)
{
    currentValue = previousValue = value;
}

void CertificationSequence::closeFiles()
{
    if (settingsFile.isOpen()) {
        settingsReader.reset();
        settingsFile.close();
        qCDebug(telvarDebug) << "Closed Get_Factory_Settings.txt file";
    }
    if (sendingFile.isOpen()) {
        sendingReader.reset();
        sendingFile.close();
        qCDebug(telvarDebug) << "Closed fileToSEnd";
    }
}

void CertificationSequence::certify()
{
    // Refused while a run, a file send or a cancel is under way: a start
    // during Send File has no state to continue from.
    if (step != Idle || cancelling || !claimReplies())
        return;
    ++runId;
    phase = 0;
    paused = false;
    keepStart = false;
    settingsStartSize = -1;
    lossNotes.clear();
    lineCount = 0;
    // A second run must not write the first run's downloads ahead of its own.
    tempScanLines.clear();
    refCellLines.clear();
    resetPositions(-1.0);
    archiveMade = false;
    archiveError.clear();
    startMs = Clock::monotonic();
    emit itemsReset();
    nextStep();
    emit certifying(true);
    names = CertFiles::RunFiles();
    names.tempScan = names.refCell = names.onPeak = names.offPeak = names.settings = serial;
    emit statusText(QStringLiteral("Starting..."));

    if (scans.collectSettings && !QFileInfo::exists(settingsCommandFile)) {
        // Shown once the run is stopped: nobody may be there to close it.
        Dialogs::Message m;
        m.icon = Dialogs::Icon::Warning;
        m.text = QLatin1String(missingCommandFile) + QDir::currentPath();
        m.buttons = Dialogs::Ok;
        m.defaultButton = Dialogs::Ok;
        m.parent = dialogParent;
        Dialogs::post(m);
        stop(QStringLiteral("Missing file ") + settingsCommandFile + QStringLiteral(" in ") +
             QDir::currentPath());
        return;
    }
    if (QFileInfo::exists(settingsCommandFile))
        lineTotal = CertFiles::countLines(settingsCommandFile);
    QDir().mkpath(certFolder);
    const QDateTime now = Clock::current();
    names.onPeak += CertFiles::onPeakSuffix(now);
    names.offPeak += CertFiles::offPeakSuffix(now);
    names.settings += CertFiles::settingsSuffix(now);
    progressTimer.start(5 * secondMs());
}

void CertificationSequence::nextStep()
{
    const int n = step > 10 ? step - 10 : step;
    const bool applies[] = {
        false,        scans.optimizeLaser, scans.cavityTempScan,  scans.refCellScan,
        scans.onPeak, scans.offPeak,       scans.collectSettings, true};
    for (int next = n + 1; next <= MakeArchive; ++next) {
        if (applies[next]) {
            setStep(next);
            return;
        }
    }
    endRun();
}

void CertificationSequence::endRun()
{
    setStep(Idle);
    phase = 0;
    resetPositions(-1.0);
    progressTimer.stop();
    responseTimer.stop();
    emit progressLabel(QStringLiteral("Progress:"));
    emit statusText(QStringLiteral("Finished"));
    emit progressRange(0, 100);
    emit progressValue(100);
    emit certifying(false);
    releaseReplies();

    // The box waits until the code that ended the run has returned.
    Dialogs::Message m;
    m.title = QStringLiteral("Results");
    m.text = CertFiles::resultsText(certFolder, names, scans, archiveMade, archiveError, lossNotes);
    m.buttons = Dialogs::Ok;
    m.defaultButton = Dialogs::Ok;
    m.parent = dialogParent;
    Dialogs::post(m);
    emit finished(archiveMade, archiveMade
                                   ? QFileInfo(certFolder + names.archive).absoluteFilePath()
                                   : archiveError);
}

void CertificationSequence::cancel()
{
    // While the link is lost there is nobody to put back in service mode now:
    // the analyzer is told when it is back.
    if (paused && step != Idle && !cancelling)
        stopWith(restoreCommands().join(QString()), [](const QString &) {});
    stop(QStringLiteral("Performance verification cancelled"), !paused);
}

void CertificationSequence::stop(const QString &reason, bool tell)
{
    if (cancelling)
        return;
    cancelling = true;
    paused = false;
    const bool wasRun = runActive();
    emit certifying(false);
    closeFiles();
    if (step == SendFile)
        emit sendFileLabel(QStringLiteral("Canceled"));
    phase = 0;
    setStep(Idle);
    resetPositions(-1.0);
    ++runId;
    progressTimer.stop();
    responseTimer.stop();
    // A Disconnect in a paced second cuts the rest short (abandonRun).
    if (tell) {
        const unsigned run = runId;
        const QStringList restore = restoreCommands();
        for (int i = 0; i < restore.size(); ++i) {
            if (i > 0 && !waitStillSame(run))
                break;
            send(restore[i]);
        }
    }
    releaseReplies();
    emit progressReset();
    emit progressLabel(QStringLiteral(" "));
    emit statusText(QStringLiteral("Stopped"));
    emit sendFileLabel(QStringLiteral(" "));
    cancelling = false;
    emit stepChanged(step);
    if (wasRun)
        emit finished(false, reason);
}

void CertificationSequence::sendFile(const QString &path)
{
    if (step != Idle || cancelling)
        return;
    fileToSend = path;
    setStep(SendFile);
    if (!claimReplies()) {
        setStep(Idle);
        return;
    }
    paused = false;
    progressTimer.start(5 * secondMs());
    lineCount = 0;
    lineTotal = CertFiles::countLines(path);
    emit sendFileLabel(QStringLiteral("Sending line: 0 of ") + QString::number(lineTotal));
    closeFiles();
    sendingFile.setFileName(path);
    if (sendingFile.open(QIODevice::ReadOnly | QIODevice::Text))
        sendingReader = std::make_unique<QTextStream>(&sendingFile);
}

void CertificationSequence::queryProgress()
{
    // The tick waits while events go on; its own timer must not start a
    // second tick inside it.
    if (ticking || paused)
        return; // nothing goes out while the link is lost
    ticking = true;
    struct Done
    {
        bool &flag;
        ~Done() { flag = false; }
    } done{ticking};

    switch (step) {
    case Idle:
        phase = 0;
        resetPositions(-1.0);
        progressTimer.stop();
        break;
    case OptimizeLaser:
        if (phase == 0) {
            send(QStringLiteral("opmode 5\r\n"));
            emit progressLabel(QStringLiteral(" "));
        } else {
            send(QStringLiteral("opmode\r\n"));
        }
        break;
    case CavityTempScan:
    case RefCellScan: {
        const bool temp = step == CavityTempScan;
        if (phase == 0) {
            send(QStringLiteral("fact=1\r\n"));
            emit statusText(temp ? QStringLiteral("Starting Temp Scan")
                                 : QStringLiteral("Starting Ref Cell Scan"));
        } else {
            send(QStringLiteral("lt\r\n"));
            emit statusText(temp ? QStringLiteral("Temp Scan Running")
                                 : QStringLiteral("Ref Cell Scan Running"));
        }
        break;
    }
    case OnPeakRingDowns:
        tickRingDowns(true);
        break;
    case OffPeakRingDowns:
        tickRingDowns(false);
        break;
    case CollectSettings:
        tickSettings();
        break;
    case MakeArchive:
        makeArchive();
        nextStep();
        break;
    case SendFile:
        tickSendFile();
        break;
    default: // the downloads wait for their replies
        break;
    }
}

bool CertificationSequence::hoursElapsed(int hours) const
{
    return Clock::monotonic() - startMs > qint64(hours) * 3600000;
}

void CertificationSequence::showProgress(int hours)
{
    const qint64 seconds = (Clock::monotonic() - startMs) / 1000;
    emit progressRange(0, 100);
    emit progressValue(int(seconds * 100 / (qint64(qMax(1, hours)) * 3600)));
}

void CertificationSequence::tickRingDowns(bool onPeak)
{
    const unsigned run = runId;
    const int hours = onPeak ? scans.onPeakHours : scans.offPeakHours;
    if (phase == 0) {
        emit statusText(onPeak ? QStringLiteral("Running On-Peak SRDA")
                               : QStringLiteral("Running Off-Peak SRDA"));
        send(QStringLiteral("fact=1\r\n"));
        if (!waitStillSame(run))
            return;
        send(QStringLiteral("fact=1\r\n"));
        if (!waitStillSame(run))
            return;
        if (!onPeak) {
            send(QStringLiteral("tuneringdowns=-1\r\n"));
            if (!waitStillSame(run))
                return;
        }
        send(onPeak ? QStringLiteral("opmode=2\r\n") : QStringLiteral("opmode=1\r\n"));
        if (!waitStillSame(run))
            return;
        send(QStringLiteral("srda=3\r\n"));
    } else if (hoursElapsed(hours)) {
        emit statusText(onPeak ? QStringLiteral("Finished On-Peak SRDA")
                               : QStringLiteral("Finished Off-Peak SRDA"));
        send(QStringLiteral("srda=0\r\n"));
        if (!onPeak) {
            if (!waitStillSame(run))
                return;
            send(QStringLiteral("tuneringdowns=25\r\n"));
        }
        phase = 0;
        startMs = Clock::monotonic();
        emit itemDone(onPeak ? OnPeakItem : OffPeakItem);
        nextStep();
    }
    showProgress(hours);
}

void CertificationSequence::tickSettings()
{
    const unsigned run = runId;
    if (phase == 0) {
        emit statusText(QStringLiteral("Starting Collect Settings"));
        lineCount = 0;
        emit progressLabel(QStringLiteral("Get Settings Progress"));
        emit progressRange(0, lineTotal);
        if (settingsStartSize < 0)
            settingsStartSize = QFileInfo(certFolder + names.settings).size();
        sendToAll(QStringLiteral("fact=1\r\n"));
        if (!waitStillSame(run))
            return;
        sendToAll(QStringLiteral("srda=0\r\n"));
        if (!waitStillSame(run))
            return;
        sendToAll(QStringLiteral("opmode 0\r\n"));
        if (settingsFile.isOpen()) {
            settingsReader.reset();
            settingsFile.close();
        }
        settingsFile.setFileName(settingsCommandFile);
        if (settingsFile.open(QIODevice::ReadOnly | QIODevice::Text)) {
            settingsReader = std::make_unique<QTextStream>(&settingsFile);
            qCDebug(telvarDebug) << "Opened Get Settings File";
        } else {
            qCDebug(telvarDebug) << "Failed to open Get Settings File";
        }
        return;
    }
    if (!settingsReader || settingsReader->atEnd()) {
        emit statusText(QStringLiteral("Finished Collect Settings"));
        emit itemDone(SettingsItem);
        emit progressValue(100);
        settingsReader.reset();
        settingsFile.close();
        nextStep();
        return;
    }
    emit statusText(QStringLiteral("Collecting Settings"));
    ++lineCount;
    emit progressValue(lineCount);
    const QString line = settingsReader->readLine() + QStringLiteral("\r\n");
    sendToAll(line);
    CertFiles::append(certFolder + names.settings, line);
}

void CertificationSequence::tickSendFile()
{
    if (!sendingReader || sendingReader->atEnd()) {
        emit sendFileLabel(QStringLiteral("DONE"));
        sendingReader.reset();
        sendingFile.close();
        setStep(Idle);
        releaseReplies();
        return;
    }
    ++lineCount;
    emit sendFileLabel(QStringLiteral("Sending line: %1 of %2").arg(lineCount).arg(lineTotal));
    // The analyzer's console takes a line ended by a carriage return alone.
    sendToAll(sendingReader->readLine() + QLatin1Char('\r'));
}

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
        if (!keepStart)
            startMs = Clock::monotonic();
        keepStart = false;
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

void CertificationSequence::makeArchive()
{
    emit statusText(QStringLiteral("Making compressed file"));
    emit progressLabel(QStringLiteral(" "));
    emit progressReset();
    names.archive = CertFiles::archiveName(serial, Clock::current());
    QDir().mkpath(certFolder);
    const QStringList members = CertFiles::existingMembers(certFolder, names.dataFiles());
    qCDebug(telvarDebug) << members;
    archiveError.clear();
    archiveMade = CertFiles::writeArchive(certFolder + names.archive, members, &archiveError);
    emit statusText(archiveMade ? QStringLiteral("Finished making .zip file")
                                : QStringLiteral("Failed to make .zip file: ") + archiveError);
}

void CertificationSequence::reply(const QByteArray &chunk)
{
    const int zero = chunk.indexOf('\0');
    linefromOrin(QString::fromLatin1(zero < 0 ? chunk : chunk.left(zero)));
}

QString CertificationSequence::stepTitle(int s)
{
    switch (s) {
    case OptimizeLaser:
        return QStringLiteral("Optimize Laser");
    case CavityTempScan:
        return QStringLiteral("Cavity Temperature Scan");
    case RefCellScan:
        return QStringLiteral("Reference Cell Scan");
    case DownloadTempScan:
        return QStringLiteral("Cavity Temperature Scan download");
    case DownloadRefCellScan:
        return QStringLiteral("Reference Cell Scan download");
    case OnPeakRingDowns:
        return QStringLiteral("On-Peak Ring-Downs");
    case OffPeakRingDowns:
        return QStringLiteral("Off-Peak Ring-Downs");
    case CollectSettings:
        return QStringLiteral("Collect Settings");
    case MakeArchive:
        return QStringLiteral("Making the archive");
    case SendFile:
        return QStringLiteral("Send File");
    default:
        return QString();
    }
}

void CertificationSequence::pauseRun()
{
    if (step == Idle || cancelling || paused)
        return;
    paused = true;
    ++runId; // a burst waiting for its paced second stops there
    progressTimer.stop();
    responseTimer.stop();
    lostAt = Clock::current();
    emit statusText(QStringLiteral("Connection lost; waiting for the analyzer"));
}

void CertificationSequence::resumeRun()
{
    if (!paused || step == Idle)
        return;
    paused = false;
    if (step != SendFile)
        lossNotes << QStringLiteral("Connection lost at %1; %2 restarted")
                         .arg(lostAt.toString(QStringLiteral("hh:mm:ss")), stepTitle(step));
    switch (step) {
    case OptimizeLaser:
    case CavityTempScan:
    case RefCellScan:
        // From the step's own start command; the positions read so far are void.
        phase = 0;
        resetPositions(-1.0);
        break;
    case DownloadTempScan:
    case DownloadRefCellScan: {
        // The cut-off download is asked for again, whole.
        const bool temp = step == DownloadTempScan;
        (temp ? tempScanLines : refCellLines).clear();
        send(temp ? QStringLiteral("dtsd\r\n") : QStringLiteral("drcsd\r\n"));
        responseTimer.start(600 * secondMs());
        break;
    }
    case OnPeakRingDowns:
    case OffPeakRingDowns:
        // What was collected stays, and the hours run on from the first start.
        keepStart = phase != 0 || keepStart;
        phase = 0;
        break;
    case CollectSettings:
        // Again from its first command, over what this run had written.
        phase = 0;
        lineCount = 0;
        settingsReader.reset();
        settingsFile.close();
        if (settingsStartSize >= 0) {
            QFile written(certFolder + names.settings);
            if (written.exists())
                written.resize(settingsStartSize);
        }
        break;
    default:
        break;
    }
    progressTimer.start(5 * secondMs());
}

QStringList CertificationSequence::restoreCommands()
{
    return {QStringLiteral("opmode 0\r\n"), QStringLiteral("srda=0\r\n"),
            QStringLiteral("tuneringdowns=25\r\n")};
}

void CertificationSequence::abandonRun(const QString &reason)
{
    if (cancelling)
        ++runId; // the restore after a Cancel stops where it is
    stop(reason, false);
}
