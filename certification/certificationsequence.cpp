#include "certification/certificationsequence.h"

#include "common/clock.h"
#include "common/debuglog.h"
#include "common/dialogs.h"
#include "common/safefilename.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QTextCodec>

namespace {

int pacedSecondMs = 1000;

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
    // Only a stop's restore runs on the pacer while the state is Idle. Its end
    // comes after the pacer's own, so finished() may start the next run.
    connect(&pacer, &CommandSequence::finished, this, [this] {
        if (step == Idle)
            endStop();
    });
    connect(&fileSender, &CommandFileSender::lineReady, this, &CertificationSequence::sendFileLine);
    connect(&fileSender, &CommandFileSender::finished, this, [this] {
        emit sendFileLabel(QStringLiteral("DONE"));
        setStep(Idle);
        releaseReplies();
    });
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

void CertificationSequence::queueBurst(const QStringList &commands, bool logged)
{
    for (int i = 0; i < commands.size(); ++i) {
        if (i > 0)
            pacer.wait(1);
        pacer.then([this, c = commands.at(i), logged] { logged ? sendToAll(c) : send(c); });
    }
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
        sendingFile.close();
        qCDebug(telvarDebug) << "Closed fileToSEnd";
    }
}

void CertificationSequence::certify()
{
    // Refused while a run, a file send or a stop's restore is under way: a
    // start during Send File has no state to continue from.
    if (step != Idle || pacer.isRunning() || !claimReplies())
        return;
    scans = chosen;
    phase = 0;
    collectingSince = -1;
    settingsStartSize = -1;
    lostAt = QDateTime();
    lossNotes.clear();
    lineCount = 0;
    // A second run must not write the first run's downloads ahead of its own.
    tempScanLines.clear();
    refCellLines.clear();
    resetPositions(-1.0);
    archiveMade = false;
    archiveError.clear();
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
    const QString outcome =
        archiveMade ? QFileInfo(certFolder + names.archive).absoluteFilePath() : archiveError;
    tellEnd(archiveMade ? RunOutcome::Completed : RunOutcome::Failed, outcome);
    emit finished(archiveMade, outcome);
}

void CertificationSequence::cancel()
{
    // A second Cancel while the restore is paced out has nothing to add.
    if (isRestoring())
        return;
    // With nothing running, the analyzer is in no state to be put back from.
    stopByCancel = step != Idle;
    stop(QStringLiteral("Performance verification cancelled"), step != Idle);
}

void CertificationSequence::stop(const QString &reason, bool restore)
{
    const bool wasRun = runActive();
    pacer.cancel();
    emit certifying(false);
    closeFiles();
    fileSender.cancel();
    if (step == SendFile)
        emit sendFileLabel(QStringLiteral("Canceled"));
    phase = 0;
    setStep(Idle);
    resetPositions(-1.0);
    progressTimer.stop();
    responseTimer.stop();
    lostAt = QDateTime();
    stopReason = wasRun ? reason : QString();
    // The run keeps the replies until the analyzer has heard the whole restore.
    if (restore && restoreServiceMode()) {
        pacer.start();
        emit stepChanged(step); // no start until the restore is out
    } else {
        endStop();
    }
}

bool CertificationSequence::restoreServiceMode()
{
    static const QStringList commands = {QStringLiteral("opmode 0\r\n"),
                                         QStringLiteral("srda=0\r\n"),
                                         QStringLiteral("tuneringdowns=25\r\n")};
    // While the link is lost there is nobody to tell now: the analyzer hears
    // it all when it is back. A link lost between two of them owes the rest
    // likewise, or the analyzer would come back streaming ring-downs.
    return stopWith(commands.join(QString()), [this](const QString &) {
        for (int i = 0; i < commands.size(); ++i) {
            if (i > 0)
                pacer.wait(1);
            pacer.then([this, c = commands.at(i)] {
                stopWith(c, [this](const QString &text) { send(text); });
            });
        }
    });
}

void CertificationSequence::endStop()
{
    releaseReplies();
    emit progressReset();
    emit progressLabel(QStringLiteral(" "));
    emit statusText(QStringLiteral("Stopped"));
    emit sendFileLabel(QStringLiteral(" "));
    emit stepChanged(step);
    const QString reason = std::exchange(stopReason, QString());
    if (!reason.isEmpty()) {
        tellEnd(std::exchange(stopByCancel, false) ? RunOutcome::Cancelled : RunOutcome::Failed,
                reason);
        emit finished(false, reason);
    }
}

void CertificationSequence::sendFile(const QString &path)
{
    if (step != Idle || pacer.isRunning())
        return;
    setStep(SendFile);
    if (!claimReplies()) {
        setStep(Idle);
        return;
    }
    lostAt = QDateTime();
    lineCount = 0;
    lineTotal = CertFiles::countLines(path);
    emit sendFileLabel(QStringLiteral("Sending line: 0 of ") + QString::number(lineTotal));
    closeFiles();
    sendingFile.setFileName(path);
    // One line every five seconds, the first five seconds from now; a file
    // that does not open is done at once.
    fileSender.start(&sendingFile, 5 * secondMs(),
                     [this] { sendingFile.open(QIODevice::ReadOnly | QIODevice::Text); });
}

void CertificationSequence::sendFileLine(const QString &line)
{
    ++lineCount;
    emit sendFileLabel(QStringLiteral("Sending line: %1 of %2").arg(lineCount).arg(lineTotal));
    // The line as a text stream reads it (the file's own end dropped, in the
    // locale's encoding), and the analyzer's console takes a line ended by a
    // carriage return alone.
    QByteArray bytes = line.toLatin1();
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    sendToAll(QTextCodec::codecForLocale()->toUnicode(bytes) + QLatin1Char('\r'));
}

void CertificationSequence::queryProgress()
{
    // A burst still being paced out has the analyzer; nothing goes out while
    // the link is lost.
    if (pacer.isRunning() || runPaused())
        return;
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
    default: // the downloads wait for their replies, a file send has its own pace
        break;
    }
}

bool CertificationSequence::hoursElapsed(int hours) const
{
    return collectingSince >= 0 && Clock::monotonic() - collectingSince > qint64(hours) * 3600000;
}

void CertificationSequence::showProgress(int hours)
{
    const qint64 seconds = collectingSince < 0 ? 0 : (Clock::monotonic() - collectingSince) / 1000;
    emit progressRange(0, 100);
    emit progressValue(int(seconds * 100 / (qint64(qMax(1, hours)) * 3600)));
}

void CertificationSequence::tickRingDowns(bool onPeak)
{
    const int hours = onPeak ? scans.onPeakHours : scans.offPeakHours;
    if (phase == 0) {
        emit statusText(onPeak ? QStringLiteral("Running On-Peak SRDA")
                               : QStringLiteral("Running Off-Peak SRDA"));
        QStringList burst{QStringLiteral("fact=1\r\n"), QStringLiteral("fact=1\r\n")};
        if (!onPeak)
            burst << QStringLiteral("tuneringdowns=-1\r\n");
        burst << (onPeak ? QStringLiteral("opmode=2\r\n") : QStringLiteral("opmode=1\r\n"))
              << QStringLiteral("srda=3\r\n");
        queueBurst(burst);
        pacer.then([this, hours] { showProgress(hours); });
        pacer.start();
        return;
    }
    if (!hoursElapsed(hours)) {
        showProgress(hours);
        return;
    }
    emit statusText(onPeak ? QStringLiteral("Finished On-Peak SRDA")
                           : QStringLiteral("Finished Off-Peak SRDA"));
    queueBurst(
        onPeak ? QStringList{QStringLiteral("srda=0\r\n")}
               : QStringList{QStringLiteral("srda=0\r\n"), QStringLiteral("tuneringdowns=25\r\n")});
    pacer.then([this, onPeak, hours] {
        phase = 0;
        collectingSince = -1;
        emit itemDone(onPeak ? OnPeakItem : OffPeakItem);
        nextStep();
        showProgress(hours);
    });
    pacer.start();
}

void CertificationSequence::tickSettings()
{
    if (phase == 0) {
        emit statusText(QStringLiteral("Starting Collect Settings"));
        lineCount = 0;
        emit progressLabel(QStringLiteral("Get Settings Progress"));
        emit progressRange(0, lineTotal);
        if (settingsStartSize < 0)
            settingsStartSize = QFileInfo(certFolder + names.settings).size();
        queueBurst({QStringLiteral("fact=1\r\n"), QStringLiteral("srda=0\r\n"),
                    QStringLiteral("opmode 0\r\n")},
                   true);
        pacer.then([this] { openSettingsCommands(); });
        pacer.start();
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

void CertificationSequence::openSettingsCommands()
{
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
    // A stop's restore goes on: what is left of it is owed (stopWith).
    if (step == Idle)
        return;
    pacer.cancel(); // a burst cut off is sent again from its start
    progressTimer.stop();
    responseTimer.stop();
    fileSender.pauseRun();
    if (!lostAt.isValid())
        lostAt = Clock::current();
    emit statusText(QStringLiteral("Connection lost; waiting for the analyzer"));
}

void CertificationSequence::resumeRun()
{
    if (step == Idle || !lostAt.isValid())
        return;
    if (step == SendFile) {
        lostAt = QDateTime();
        fileSender.resumeRun();
        return;
    }
    lossNotes << QStringLiteral("Connection lost at %1; %2 restarted")
                     .arg(lostAt.toString(QStringLiteral("hh:mm:ss")), stepTitle(step));
    lostAt = QDateTime();
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

void CertificationSequence::abandonRun(const QString &reason)
{
    // Not a word more to the analyzer, not even the rest of a restore.
    if (isRestoring()) {
        pacer.cancel();
        endStop();
        return;
    }
    stop(reason, false);
}
