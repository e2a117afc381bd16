#include "fleet/fleetview.h"
#include "fleet/mqttclient.h"
#include "plot/plotwindow.h"
#include "stationprocess.h"

#include <QJsonArray>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// Stations publishing to a real mosquitto broker, checked by a subscriber of
// the test's own, and the fleet view that shows them.
class TestItFleet : public QObject
{
    Q_OBJECT
private slots:
    void statusRetained_data();
    void statusRetained();
    // "online", "reconnecting" when the analyzer goes, "offline" by the last will.
    void stateTopic();
    // Across a broker restart and a program restart, under consecutive seqs.
    void everyTrendRowArrives();
    void fleetViewGreysStationThatGoesOffline();
    // Subscribed though the connection was made before its signal came.
    void subscribeAfterTheConnectionIsMade();
};

namespace {

// seq → payload of every trend row received (a row sent twice counts once).
QHash<qint64, QJsonObject> rowsBySeq(const TestSubscriber &subscriber)
{
    QHash<qint64, QJsonObject> out;
    for (const TestSubscriber::Message &m : subscriber.received())
        out.insert(qint64(jsonOf(m.payload).value("seq").toDouble()), jsonOf(m.payload));
    return out;
}

} // namespace

void TestItFleet::statusRetained_data()
{
    QTest::addColumn<bool>("tls");
    QTest::addColumn<QByteArray>("password"); // in the station's file; empty: no login
    QTest::newRow("plain") << false << QByteArray();
    QTest::newRow("TLS, test CA") << true << QByteArray();
    QTest::newRow("user and password") << false << QByteArray("right\n");
    // The file is also readable by others.
    QTest::newRow("wrong password") << false << QByteArray("wrong\n");
}

void TestItFleet::statusRetained()
{
    QFETCH(bool, tls);
    QFETCH(QByteArray, password);
    QTemporaryDir tmp;
    TestBroker::Options options;
    options.tls = tls;
    if (!password.isEmpty()) {
        options.user = QStringLiteral("station");
        options.password = QStringLiteral("right");
    }
    TestBroker broker(tmp.path(), options);
    QVERIFY(broker.start());
    QStringList arguments{"--mqtt", broker.address()};
    if (tls)
        arguments << "--mqtt-cafile" << broker.caFile;
    if (!password.isEmpty()) {
        QFile file(tmp.filePath(QStringLiteral("password")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(password);
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner |
                            (password == "wrong\n" ? QFile::ReadOther : QFile::Permissions()));
        arguments << "--mqtt-user" << options.user << "--mqtt-password-file" << file.fileName();
    }
    StationProcess station(tmp.filePath(QStringLiteral("home")), QStringLiteral("4321"), arguments);
    QVERIFY(waitFor([&] { return station.trendRows().size() >= 10; }, 30000));

    if (password == "wrong\n") {
        // Said plainly, and monitoring goes on as before.
        QVERIFY(waitFor([&] { return station.said().contains("user name or password refused"); },
                        10000));
        QVERIFY(station.said().contains("can be read by other users"));
        const int rows = station.trendRows().size();
        QVERIFY(waitFor([&] { return station.trendRows().size() >= rows + 10; }, 10000));
        return;
    }
    // A subscriber that comes later gets the latest status and state from the broker.
    TestSubscriber late(broker, "telvar/4321/+");
    const auto first = [&](const QByteArray &topic) { return late.received(topic).value(0); };
    QVERIFY(waitFor(
        [&] { return first("telvar/4321/state").retained && first("telvar/4321/status").retained; },
        10000));
    QCOMPARE(first("telvar/4321/state").payload, QByteArray("online"));
    const QJsonObject s = jsonOf(first("telvar/4321/status").payload);
    QCOMPARE(s.value("serial").toString() + s.value("gas").toString(), QStringLiteral("4321N2"));
    for (const char *text : {"model", "units", "mode"})
        QVERIFY2(!s.value(QLatin1String(text)).toString().isEmpty(), text);
    QVERIFY(QRegularExpression(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$)"))
                .match(s.value("time").toString())
                .hasMatch());
    for (const char *number :
         {"concentration", "alarms", "laserCurrent", "laserTemp", "tau", "tauZero", "pressure"})
        QVERIFY2(s.value(QLatin1String(number)).isDouble(), number);
    QVERIFY(s.value("alarmTexts").isArray());
}

void TestItFleet::stateTopic()
{
    QTemporaryDir tmp;
    TestBroker broker(tmp.path(), {});
    QVERIFY(broker.start());
    TestSubscriber watcher(broker, "telvar/4321/+");
    StationProcess station(tmp.filePath(QStringLiteral("home")), QStringLiteral("4321"),
                           {"--mqtt", broker.address()});
    const auto state = [&] { return watcher.last("telvar/4321/state"); };
    QVERIFY(waitFor([&] { return state() == "online"; }, 20000));
    // The analyzer goes: the station says so and keeps trying.
    station.sim.stop();
    QVERIFY(waitFor([&] { return state() == "reconnecting"; }));
    QCOMPARE(jsonOf(watcher.last("telvar/4321/event")).value("event").toString(),
             QStringLiteral("connectionLost"));
    // The station dies: its last will speaks for it. (SIGTERM: see the fleet view.)
    ::kill(pid_t(station.telvar.processId()), SIGKILL);
    QVERIFY(waitFor([&] { return state() == "offline"; }, 10000));
}

void TestItFleet::everyTrendRowArrives()
{
    QTemporaryDir tmp;
    TestBroker broker(tmp.path(), {false, {}, {}, true}); // the checker's session outlives restarts
    QVERIFY(broker.start());
    TestSubscriber checker(broker, "telvar/4321/trend", "fleet-checker");
    const QString home = tmp.filePath(QStringLiteral("home"));
    const QStringList mqtt{"--mqtt", broker.address()};
    auto station = std::make_unique<StationProcess>(home, QStringLiteral("4321"), mqtt);
    QVERIFY(waitFor([&] { return checker.received().size() >= 5; }, 20000));
    // The broker goes away while rows keep coming, and comes back; then the
    // program is started again before it has sent them all.
    broker.stop();
    const int before = station->trendRows().size();
    QVERIFY(waitFor([&] { return station->trendRows().size() >= before + 20; }, 10000));
    QVERIFY(broker.start());
    QVERIFY(station->stop());
    const int firstRun = station->trendRows().size();
    station = std::make_unique<StationProcess>(home, QStringLiteral("4321"), mqtt);
    QVERIFY(waitFor([&] { return station->trendRows().size() >= firstRun + 5; }, 20000));
    const QStringList rows = station->trendRows();
    QHash<qint64, QJsonObject> got;
    QVERIFY(waitFor(
        [&] {
            got = rowsBySeq(checker);
            for (int k = 1; k <= rows.size(); ++k)
                if (!got.contains(k))
                    return false;
            return true;
        },
        40000));

    // Row k on disk is seq k: same time and concentration.
    for (int k = 1; k <= rows.size(); ++k) {
        const QStringList fields = rows.at(k - 1).split(QStringLiteral(", "));
        const QJsonObject o = got.value(k);
        QCOMPARE(o.value("time").toString().left(19).replace(QLatin1Char('T'), QLatin1Char(' ')),
                 fields.at(0));
        QCOMPARE(o.value("concentration").toDouble(), fields.at(1).toDouble());
    }
}

void TestItFleet::fleetViewGreysStationThatGoesOffline()
{
    QTemporaryDir tmp;
    TestBroker broker(tmp.path(), {});
    QVERIFY(broker.start());
    StationProcess one(tmp.filePath(QStringLiteral("one")), QStringLiteral("1111"),
                       {"--mqtt", broker.address()});
    StationProcess two(tmp.filePath(QStringLiteral("two")), QStringLiteral("2222"),
                       {"--mqtt", broker.address()});
    FleetSettings settings;
    settings.broker = broker.address();
    FleetView view(settings);
    view.setAttribute(Qt::WA_DeleteOnClose, false);
    QTableWidget *table = view.table();
    const auto cell = [table](int row, int column) {
        const QTableWidgetItem *item = table->item(row, column);
        return item ? item->text() : QString();
    };
    const auto greyed = [table](int row) {
        return table->item(row, FleetView::SerialColumn)->foreground().color() ==
               QColor(150, 150, 150);
    };
    // Each station's state and status may come in either order.
    QVERIFY(waitFor(
        [&] {
            return table->rowCount() == 2 && cell(0, FleetView::StateColumn) == "online" &&
                   cell(1, FleetView::StateColumn) == "online" && !greyed(0) && !greyed(1);
        },
        20000));
    QCOMPARE(cell(0, FleetView::SerialColumn), QStringLiteral("1111"));
    QCOMPARE(cell(1, FleetView::SerialColumn), QStringLiteral("2222"));
    QCOMPARE(cell(1, FleetView::GasColumn), QStringLiteral("N2"));

    // The live plot of a station, from its trend rows.
    view.openPlot(0);
    QVERIFY(view.plotOf("1111"));
    QVERIFY(waitFor([&] { return view.plotOf("1111")->sampleCount() >= 5; }, 10000));

    // Silent for more than three poll periods (of 1 s): greyed, though still "online".
    ::kill(pid_t(two.telvar.processId()), SIGSTOP);
    QVERIFY(waitFor([&] { return greyed(1); }, 10000));
    QCOMPARE(cell(1, FleetView::StateColumn), QStringLiteral("online"));
    ::kill(pid_t(two.telvar.processId()), SIGCONT);
    QVERIFY(waitFor([&] { return !greyed(1); }, 10000));
    // Stopped: "offline", greyed at once.
    QVERIFY(two.stop());
    QVERIFY(waitFor([&] { return cell(1, FleetView::StateColumn) == "offline"; }, 10000));
    QVERIFY(greyed(1) && !greyed(0));
}

void TestItFleet::subscribeAfterTheConnectionIsMade()
{
    QTemporaryDir tmp;
    TestBroker broker(tmp.path(), {});
    QVERIFY(broker.start());
    BrokerConfig config;
    config.host = QStringLiteral("127.0.0.1");
    config.port = broker.port;
    MqttClient publisher;
    QSignalSpy up(&publisher, &MqttClient::connected);
    QVERIFY(publisher.start(config).isEmpty());
    QVERIFY(up.wait(10000));
    QVERIFY(publisher.publish("telvar/1111/state", "online", 1, true) >= 0);

    MqttClient viewer;
    QSignalSpy got(&viewer, &MqttClient::messageReceived);
    QVERIFY(viewer.start(config).isEmpty());
    QThread::msleep(1000); // its thread connects meanwhile, as on a busy machine
    viewer.subscribe("telvar/+/state");
    QVERIFY(got.wait(10000));
    QCOMPARE(got.first().at(1).toByteArray(), QByteArray("online"));
}

QTEST_MAIN(TestItFleet)
#include "test_it_fleet.moc"
