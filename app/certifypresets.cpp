#include "app/certifypresets.h"

#include "app/mainwindow.h"
#include "certification/certification.h"
#include "certification/optionsdialog.h"
#include "common/commandsequence.h"

#include <QCommandLineParser>
#include <QTabWidget>
#include <QTextStream>
#include <QTimer>

namespace {

const QStringList scanNames = {QStringLiteral("optimize"), QStringLiteral("tempscan"),
                               QStringLiteral("refcell"),  QStringLiteral("onpeak"),
                               QStringLiteral("offpeak"),  QStringLiteral("settings")};

const QCommandLineOption certifyOpt(
    QStringLiteral("certify"),
    QStringLiteral("Start the performance verification as soon as the connected analyzer is "
                   "identified (use with --connect); print the archive's path when it ends."));
const QCommandLineOption
    scansOpt(QStringLiteral("scans"),
             QStringLiteral("The scans of the performance verification, comma-separated: optimize, "
                            "tempscan, refcell, onpeak, offpeak, settings."),
             QStringLiteral("LIST"));
const QCommandLineOption onPeakOpt(QStringLiteral("on-peak-hours"),
                                   QStringLiteral("Hours of on-peak ring-downs, 1 to 24."),
                                   QStringLiteral("N"));
const QCommandLineOption offPeakOpt(QStringLiteral("off-peak-hours"),
                                    QStringLiteral("Hours of off-peak ring-downs, 1 to 24."),
                                    QStringLiteral("N"));
const QCommandLineOption paceOpt = [] {
    QCommandLineOption o(QStringLiteral("pace"),
                         QStringLiteral("Length of a paced second in ms (for tests)."),
                         QStringLiteral("MS"));
    o.setFlags(QCommandLineOption::HiddenFromHelp);
    return o;
}();

} // namespace

QList<QCommandLineOption> CertifyPresets::options()
{
    return {certifyOpt, scansOpt, onPeakOpt, offPeakOpt, paceOpt};
}

QString CertifyPresets::read(const QCommandLineParser &p)
{
    certify = p.isSet(certifyOpt);
    if (p.isSet(scansOpt)) {
        CertScans s;
        bool *flags[] = {&s.optimizeLaser, &s.cavityTempScan, &s.refCellScan,
                         &s.onPeak,        &s.offPeak,        &s.collectSettings};
        for (bool *f : flags)
            *f = false;
        for (const QString &name : p.value(scansOpt).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const int i = scanNames.indexOf(name.trimmed());
            if (i < 0)
                return QStringLiteral("Unknown scan for --scans: ") + name +
                       QStringLiteral(" (choose from ") + scanNames.join(QStringLiteral(", ")) +
                       QStringLiteral(")\n");
            *flags[i] = true;
        }
        scansOnly = s;
    }
    const auto hours = [&](const QCommandLineOption &o, std::optional<int> &out) {
        if (!p.isSet(o))
            return QString();
        bool ok = false;
        const int v = p.value(o).toInt(&ok);
        if (!ok || v < 1 || v > 24)
            return QStringLiteral("--") + o.names().first() +
                   QStringLiteral(" takes 1 to 24 hours, not: ") + p.value(o) + QLatin1Char('\n');
        out = v;
        return QString();
    };
    QString error = hours(onPeakOpt, onPeakHours);
    if (error.isEmpty())
        error = hours(offPeakOpt, offPeakHours);
    if (error.isEmpty() && p.isSet(paceOpt)) {
        bool ok = false;
        paceMs = p.value(paceOpt).toInt(&ok);
        if (!ok || paceMs < 1 || paceMs > 1000)
            error = QStringLiteral("--pace takes 1 to 1000 ms\n");
    }
    return error;
}

CertScans CertifyPresets::appliedTo(CertScans s) const
{
    if (scansOnly) {
        const int on = s.onPeakHours, off = s.offPeakHours;
        s = *scansOnly;
        s.onPeakHours = on;
        s.offPeakHours = off;
    }
    if (onPeakHours)
        s.onPeakHours = *onPeakHours;
    if (offPeakHours)
        s.offPeakHours = *offPeakHours;
    return s;
}

void CertifyPresets::applyPace() const
{
    if (paceMs > 0) {
        CommandSequence::setSecondMs(paceMs);
        CertificationSequence::setSecondMs(paceMs);
    }
}

void CertifyPresets::applyTo(MainWindow &window) const
{
    applyPace();
    if (scansOnly || onPeakHours || offPeakHours)
        window.optionsDialog()->applyScans(appliedTo(window.optionsDialog()->certScans()));
    if (certify) {
        auto *run = new UnattendedRun(*window.station(), *window.certification()->sequence(),
                                      window.tabs());
        run->setParent(&window);
    }
}

UnattendedRun::UnattendedRun(Station &station, CertificationSequence &run, QTabWidget *tabs)
    : session(*station.session()), run(run), tabs(tabs)
{
    connect(&station, &Station::statusReport, this, &UnattendedRun::statusReady);
    connect(&run, &CertificationSequence::finished, this, &UnattendedRun::finished);
}

void UnattendedRun::statusReady()
{
    // Once monitoring has its status report, no identity answer is on its
    // way that could be taken for the run's.
    if (started || session.owner() != AnalyzerSession::Owner::Monitoring)
        return;
    started = true;
    // Not from inside the reply path that brought the answer.
    QTimer::singleShot(0, this, [this] {
        if (tabs)
            tabs->setCurrentIndex(1);
        run.certify();
    });
}

void UnattendedRun::finished(bool archiveMade, const QString &text)
{
    if (archiveMade)
        QTextStream(stdout) << text << '\n';
    else
        QTextStream(stderr) << "Performance verification failed: " << text << '\n';
    // The interruptions the results list, for the journal of an unattended run.
    for (const QString &note : run.interruptions())
        QTextStream(stderr) << note << '\n';
}
