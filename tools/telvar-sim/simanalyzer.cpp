#include "tools/telvar-sim/simanalyzer.h"

#include <QString>

const QByteArray SimAnalyzer::accessCode = QByteArrayLiteral("8264");

namespace {

// The value after "key : " in a status report, up to the next blank or line end.
QByteArray fieldOf(const QByteArray &report, const QByteArray &key)
{
    const QByteArray tag = key + " : ";
    int at = report.startsWith(tag) ? 0 : report.indexOf("\n" + tag);
    if (at < 0)
        return QByteArray();
    at = report.indexOf(tag, at) + tag.size();
    int end = at;
    while (end < report.size() && report.at(end) != ' ' && report.at(end) != '\r' &&
           report.at(end) != '\n')
        ++end;
    return report.mid(at, end - at);
}

bool isNumber(const QByteArray &text)
{
    bool ok = false;
    text.toDouble(&ok);
    return ok;
}

QByteArray g6(double v)
{
    return QString::number(v, 'g', 6).toLatin1();
}

// The report with `bits` ORed into its "Faults : N" line.
QByteArray withFaults(QByteArray report, int bits)
{
    const QByteArray tag = "\nFaults : ";
    const int at = report.indexOf(tag) + tag.size();
    const int end = report.indexOf('\r', at);
    if (at < tag.size() || end < 0)
        return report;
    const int own = report.mid(at, end - at).toInt();
    return report.replace(at, end - at, QByteArray::number(own | bits));
}

} // namespace

SimAnalyzer::SimAnalyzer(const Options &options)
    : options(options), engine(options.seed),
      model([this] { return std::uniform_int_distribution<int>(0, DemoModel::randomMax)(engine); })
{
    reset();
}

void SimAnalyzer::reset()
{
    model.reset();
    model.mode = options.startMode;
    scans.reset();
    pendingLine.clear();
    discarding = false;
    commands = 0;
    granted = !options.needAccessCode;
    dropping = false;
    runawaySent = false;
    srda = false;
    srdaRows = 0;
    settings.reset();
    certification.reset();
}

void SimAnalyzer::cameBack()
{
    pendingLine.clear();
    discarding = false;
    granted = !options.needAccessCode;
    dropping = false;
    if (!options.returnSerial.isEmpty())
        options.serial = options.returnSerial;
}

QByteArray SimAnalyzer::receive(const QByteArray &bytes)
{
    QByteArray out;
    for (const char c : bytes) {
        if (dropping)
            break;
        if (c == '\r' || c == '\n') {
            // "cmd\r\n", "cmd\r\n\n" (TCP) and "cmd\r" (console) all end here;
            // the empty lines between them are no commands.
            const QByteArray line = pendingLine.trimmed();
            pendingLine.clear();
            if (!discarding && !line.isEmpty())
                out += handleLine(line);
            discarding = false;
            continue;
        }
        if (discarding)
            continue;
        pendingLine += c;
        if (pendingLine.size() > maxLineBytes) {
            // No command is this long: drop it, and its tail up to the line end.
            pendingLine.clear();
            discarding = true;
        }
    }
    return out;
}

QByteArray SimAnalyzer::handleLine(const QByteArray &line)
{
    if (onCommand)
        onCommand(line);
    if (!granted) {
        // The TCP service ignores everything until the access code.
        granted = line == accessCode;
        return QByteArray();
    }
    ++commands;
    bool drop = options.dropAfter >= 0 && commands > options.dropAfter;
    if (!options.dropOn.isEmpty() &&
        line.toLower().split(' ').first().split('=').first() == options.dropOn &&
        ++dropOnSeen == options.dropOnCount) {
        drop = droppedOnCommand = true;
        options.dropOn.clear();
    }
    QByteArray reply = silent() ? QByteArray() : answer(line);
    if (!reply.isEmpty()) {
        const QByteArray name = line.toLower().split(' ').first().split('=').first();
        if (options.noLineFeed && !runawaySent && (name == "status" || name == "conc")) {
            runawaySent = true;
            reply = runaway();
        }
        // The serial number, and the "fact=1" acknowledgement just before it,
        // always come through, so that a session gets going.
        if (name != "ssnid" && name != "fact" && chance(options.garbage))
            reply = randomBytes(reply.size());
    }
    if (drop) {
        // The link goes down halfway through the reply, as a pulled cable does.
        dropping = true;
        reply.truncate(reply.size() / 2);
    }
    return reply;
}

QByteArray SimAnalyzer::answer(const QByteArray &line)
{
    const QByteArray lower = line.toLower();
    int sep = 0;
    while (sep < lower.size() && lower.at(sep) != ' ' && lower.at(sep) != '=')
        ++sep;
    const QByteArray name = lower.left(sep);
    const QByteArray arg = line.mid(sep + 1).trimmed();
    if (const auto reply = certification.answer(name, arg, model.mode))
        return *reply;
    if (const std::optional<QByteArray> scanReply = scans.answer(name, line, model))
        return *scanReply;

    if (const auto reply = settings.answer(name, arg, model.mode))
        return *reply;
    if (name == "ssnid")
        return options.serial + "\r\n";
    if (name == "unitdisp")
        return "1\r\n";
    if (name == "species")
        return "H2O\r\n";
    if (name == "modelname")
        return "ORIN OK\r\n";
    if (name == "status") {
        const qint64 number = ++statusReports;
        const QByteArray report = settings.patchReport(model.report());
        if (number >= options.faultsFrom && number < options.faultsFrom + options.faultsCount)
            return withFaults(report, options.faultsBits);
        return report;
    }
    if (name == "conc")
        return fieldOf(model.report(), "Conc") + "\r\n";
    if (name == "lt" || name == "lc") {
        model.interpret(name);
        return g6(name == "lt" ? model.laserTemp : model.laserCurrent) + "\r\n";
    }
    if (name == "opmode") {
        if (arg.isEmpty())
            return QByteArray::number(model.mode) + "\r\n";
        // A mode change is acknowledged by nothing: a bare "OK" would be taken
        // for the answer of a pending model or species query.
        model.interpret(line);
        return QByteArray();
    }
    if (name == "tempscan" || name == "rcs") {
        model.interpret(line);
        return QByteArray();
    }
    if (name == "srda") {
        if (arg.isEmpty())
            return QByteArray(srda ? "3\r\n" : "0\r\n");
        bool ok = false;
        const int value = arg.toInt(&ok);
        if (!ok)
            return "!UNKNOWN\r\n";
        srda = value != 0;
        srdaRows = 0;
        return srda ? QByteArray("Date/Time\tRingdown\tTau\tAmplitude\tPeak\r\n") : QByteArray();
    }
    if (name == "fact" || name == "tuneringdowns")
        return QByteArray(); // settings the analyzer takes silently
    return "!UNKNOWN\r\n";
}

QByteArray SimAnalyzer::srdaRow(const QDateTime &now)
{
    if (!streaming())
        return QByteArray();
    const int ringdown = srdaRows++;
    QByteArray tau = fieldOf(model.report(), "Tau");
    if (!isNumber(tau))
        tau = "99.91"; // the empty cavity's ring-down time
    const int amplitude = 1500 + std::uniform_int_distribution<int>(0, 1000)(engine);
    QByteArray row = now.toString(QStringLiteral("yyyy-M-d H:mm:ss")).toLatin1();
    row += '\t' + QByteArray::number(ringdown) + '\t' + tau + '\t' + QByteArray::number(amplitude) +
           '\t' + (ringdown % 2 == 0 ? "1" : "0") + "\r\n";
    return row;
}

bool SimAnalyzer::chance(double p)
{
    if (p <= 0)
        return false;
    if (p >= 1)
        return true;
    return std::uniform_real_distribution<double>(0, 1)(engine) < p;
}

QByteArray SimAnalyzer::randomBytes(int size)
{
    QByteArray out(size, '\0');
    std::uniform_int_distribution<int> byte(0, 255);
    for (char &c : out)
        c = char(byte(engine));
    return out;
}

QByteArray SimAnalyzer::runaway()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz ";
    std::uniform_int_distribution<int> pick(0, int(sizeof letters) - 2);
    QByteArray out(runawayBytes, ' ');
    for (char &c : out)
        c = letters[pick(engine)];
    return out;
}
