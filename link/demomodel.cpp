#include "link/demomodel.h"

#include <QList>
#include <QString>

#include <memory>
#include <random>

DemoModel::DemoModel(std::function<int()> random) : random(std::move(random))
{
    if (!this->random) {
        auto engine = std::make_shared<std::minstd_rand>(std::random_device{}());
        this->random = [engine] {
            return std::uniform_int_distribution<int>(0, randomMax)(*engine);
        };
    }
}

void DemoModel::reset()
{
    mode = 0;
    count = 0;
    laserCurrent = 95.12;
    laserTemp = 20.98;
}

int DemoModel::nextRandom()
{
    // An injected source may stray; the formulas below assume 0..32767.
    return qBound(0, random(), int(randomMax));
}

void DemoModel::takeStartValue(const QByteArray &command)
{
    // "tempscan <start> <end> <step> <delay> ...": the scan begins at its start value.
    const QList<QByteArray> parts = command.split(' ');
    if (parts.size() > 5) {
        bool ok = false;
        const double start = QString::fromLatin1(parts.at(1)).toDouble(&ok);
        if (ok)
            laserTemp = start;
    }
}

void DemoModel::interpret(const QByteArray &command)
{
    if (command.contains("opmode")) {
        // The last matching digit wins, wherever it stands in the written bytes.
        if (command.contains('0'))
            mode = 0;
        if (command.contains('1'))
            mode = 1;
        if (command.contains('2'))
            mode = 2;
    }
    if (command.contains("tempscan")) {
        mode = 4;
        takeStartValue(command);
    }
    if (command.contains("rcs")) {
        mode = 7;
        takeStartValue(command);
    }
    if (command.contains("lt"))
        laserTemp += 1.0;
    if (command.contains("lc"))
        laserCurrent += 1.0;
}

double DemoModel::baseConcentration(int k)
{
    if (k >= 0 && k <= 78)
        return 0.2;
    if (k >= 79 && k <= 83)
        return 20.0 * k - 1579; // 1, 21, 41, 61, 81
    if (k >= 84 && k <= 93)
        return 100;
    if (k >= 94 && k <= 99)
        return 1981 - 20.0 * k; // 101, 81, 61, 41, 21, 1
    return 0.2;
}

QByteArray DemoModel::report()
{
    const int k = count;
    count = k + 1;
    if (k >= 100 || k < 0)
        count = 0;
    const double c = baseConcentration(k);
    const double t = 0.97 * c + (nextRandom() / double(randomMax)) * (0.06 * c + 0.4);

    const auto g6 = [](double v) { return QString::number(v, 'g', 6).toLatin1(); };
    QByteArray out;
    out.reserve(400);
    out += "Filter : 100\r\n";
    out += "Gas Type : N2\r\n";
    out += "OpMode : " + QByteArray::number(mode) + "\r\n";
    out += "TauEmpty : 99.91 us\r\n";
    out += "TauEStd : 0.25\r\n";
    out += "Laser Temp " + g6(laserTemp) + "\r\n";
    out += "Laser Current " + g6(laserCurrent) + "\r\n";
    out += "Cell Pressure : APC Pressure Reading 100.00\r\n";
    if (mode == 2)
        out += "Conc : " + QString::number(t, 'f', 2).toLatin1() + "\r\n";
    else
        out += "Conc : WRONGMODE\r\n";
    out += t > 10 ? "Faults : 16\r\n" : "Faults : 0\r\n";
    if (mode == 0) {
        out += "Tau : ---.-\r\n";
        out += "TauStd : ---\r\n";
        out += "Laser Status : In SERVICE mode\r\n";
        return out;
    }
    const double tau = 1 / (t / 43317.91 + 0.010009008107296567);
    out += "Tau : " + QString::number(tau, 'f', 2).toLatin1() + " us\r\n";
    out += "TauStd : 0.18 \r\n";
    out += nextRandom() % 3 == 0 ? "Laser Status : Waiting for ringdown\r\n"
                                 : "Laser Status : Processing ringdown\r\n";
    if (mode == 7)
        out += g6(laserTemp) + "\r\n";
    return out;
}
