#include "fleet/fleetdiscovery.h"
#include "fleet/fleetmessages.h"
#include "fleet/fleetpublisher.h"
#include "fleet/fleetview.h"
#include "fleet/mqttclient.h"
#include "plot/plotwindow.h"
#include "stationprocess.h"

#include <QJsonArray>
#include <QLockFile>
#include <QTableWidget>
#include <QTcpServer>
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
    // Each failure said once, soon; monitoring and, where a broker is, publishing go on.
    void failuresAreSaid_data();
    void failuresAreSaid();
    // Rows and events kept while the broker was away outlive a restart, and go
    // out under the prefix of the day.
    void backlogGoesUnderTheNewPrefix();
    // Serials that look alike keep their own topics, and each station shows up in
    // Home Assistant until it is retired.
    void stationsApartAndInHomeAssistant();
    // What the fleet view reads from the broker cannot hide a column, pass for
    // fresh, or stop a plot.
    void fleetViewTrustsNothing();
    // A publisher in this process, told by the test: where its station's topics
    // are, its rows' times one after the other, its alarms as events and in the
    // status, its Home Assistant entities, and that a retired station leaves
    // nothing retained.
    void publisherAsTold_data();
    void publisherAsTold();
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

BrokerConfig brokerAt(const TestBroker &broker)
{
    BrokerConfig config;
    config.host = QStringLiteral("127.0.0.1");
    config.port = broker.port;
    return config;
}

// A client of the test's own, connected to `broker`.
bool connected(MqttClient &client, const TestBroker &broker)
{
    QSignalSpy up(&client, &MqttClient::connected);
    return client.start(brokerAt(broker)).isEmpty() && up.wait(10000);
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
    QVERIFY(QRegularExpression(
                QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)"))
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
    MqttClient publisher;
    QVERIFY(connected(publisher, broker));
    QVERIFY(publisher.publish("telvar/1111/state", "online", 1, true) >= 0);

    MqttClient viewer;
    QSignalSpy got(&viewer, &MqttClient::messageReceived);
    QVERIFY(viewer.start(brokerAt(broker)).isEmpty());
    QThread::msleep(1000); // its thread connects meanwhile, as on a busy machine
    viewer.subscribe("telvar/+/state");
    QVERIFY(got.wait(10000));
    QCOMPARE(got.first().at(1).toByteArray(), QByteArray("online"));
}

void TestItFleet::failuresAreSaid_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("said");  // on standard error, once
    QTest::addColumn<QString>("event"); // then at the broker, with the rows; empty: no broker
    const char *const rows[][4] = {
        {"name does not resolve", "resolve", "the name no-such-host.invalid does not resolve", ""},
        {"CA file is no certificate", "ca", "holds no usable certificate", ""},
        {"broker does not answer", "hang", "did not answer within 5 s", ""},
        {"broker not up yet", "late", "Connection refused", "brokerUnreachable"},
        // Lost, then refused at every attempt: one outage.
        {"broker goes away", "away", "The connection was lost", "brokerUnreachable"},
        {"spool folder is a file", "file", "is not a folder", "spoolOff"},
        {"spool held by another Telvar", "lock", "in use by another", "spoolOff"},
        {"damaged spool", "damaged", "damaged lines; 1 skipped", "spoolDamaged"}};
    for (const auto &row : rows)
        QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]) << QString(row[3]);
}

void TestItFleet::failuresAreSaid()
{
    QFETCH(QString, fault);
    QFETCH(QString, said);
    QFETCH(QString, event);
    QTemporaryDir tmp;
    TestBroker broker(tmp.path(), {false, {}, {}, true}); // the watcher's session outlives a stop
    QVERIFY(broker.start());
    TestSubscriber watcher(broker, "telvar/4321/+", "fleet-watcher");
    if (fault == "late") {
        waitFor([] { return false; }, 1000); // subscribed
        broker.stop();                       // its port stays its own
    }
    QTcpServer hanging; // takes connections, never answers
    QVERIFY(hanging.listen(QHostAddress::LocalHost));
    const QString home = tmp.filePath(QStringLiteral("home"));
    const QString spool = home + QStringLiteral("/QuorvaneData/Spool");
    QStringList arguments{"--mqtt", broker.address()};
    QLockFile otherTelvar(spool + QStringLiteral("/lock"));
    if (fault == "resolve") {
        arguments = QStringList{"--mqtt", "no-such-host.invalid"};
    } else if (fault == "hang") {
        arguments = QStringList{"--mqtt", QStringLiteral("127.0.0.1:%1").arg(hanging.serverPort())};
    } else if (fault == "ca") {
        QFile ca(tmp.filePath(QStringLiteral("ca.pem")));
        QVERIFY(ca.open(QIODevice::WriteOnly) && ca.write("not a certificate\n") > 0);
        arguments << "--mqtt-cafile" << ca.fileName();
    } else if (fault == "file") {
        QVERIFY(QDir().mkpath(home + QStringLiteral("/QuorvaneData")));
        QFile f(spool);
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else if (fault == "lock") {
        QVERIFY(QDir().mkpath(spool) && otherTelvar.tryLock());
    } else if (fault == "damaged") {
        // Left by an earlier run: two rows, one damaged, one not yet delivered.
        QVERIFY(QDir().mkpath(spool));
        QFile f(spool + QStringLiteral("/0000000000000001.rows"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("1\t/4321/trend\t{\"seq\":1,\"run\":\"old\"}\n2\t/4321/tr\xff\n");
    }
    StationProcess station(home, QStringLiteral("4321"), arguments);
    if (fault == "away" && waitFor([&] { return !watcher.received().isEmpty(); }, 20000))
        broker.stop();
    QVERIFY2(waitFor([&] { return station.said().contains(said); }, 10000),
             qPrintable(station.said()));
    // Monitoring goes on, and the connection keeps trying (twice more after a loss), silently.
    const int rows = station.trendRows().size() + (fault == "away" ? 40 : 8);
    QVERIFY(waitFor([&] { return station.trendRows().size() >= rows; }, 20000));
    QCOMPARE(station.said().count(said), 1);
    QVERIFY2(station.said().count("Fleet: broker ") <= 1, qPrintable(station.said()));
    if (event.isEmpty())
        return;
    if (fault == "late" || fault == "away")
        QVERIFY(broker.start());
    QJsonObject told;
    QVERIFY(waitFor(
        [&] {
            for (const TestSubscriber::Message &m : watcher.received("telvar/4321/event"))
                if (jsonOf(m.payload).value("event").toString() == event)
                    told = jsonOf(m.payload);
            return !told.isEmpty();
        },
        20000));
    QVERIFY(told.value("reason").toString().contains(said) ||
            told.value("skippedLines").toInt() == 1);
    // The rows reach the broker: from the spool, or directly while it cannot be written.
    QVERIFY(waitFor([&] { return watcher.received("telvar/4321/trend").size() >= 5; }, 20000));
    // None lost while the broker was up, the first included (a new client's, when direct).
    QCOMPARE(jsonOf(watcher.received("telvar/4321/trend").first().payload).value("seq").toInt(), 1);
    if (fault == "damaged") {
        // The row left over goes, and seq goes on past both lines.
        const QList<TestSubscriber::Message> got = watcher.received("telvar/4321/trend");
        QCOMPARE(jsonOf(got.first().payload).value("run").toString(), QStringLiteral("old"));
        QCOMPARE(jsonOf(got.at(1).payload).value("seq").toInt(), 3);
    }
    if (fault == "file") {
        // The folder can be made again: the spool takes the rows from then on.
        QVERIFY(QFile::remove(spool));
        QVERIFY(waitFor([&] { return !QDir(spool).entryList({"*.rows"}).isEmpty(); }, 10000));
        QVERIFY(waitFor(
            [&] { return watcher.last("telvar/4321/event").contains("\"event\":\"spoolOn\""); },
            10000));
    }
}

void TestItFleet::backlogGoesUnderTheNewPrefix()
{
    QTemporaryDir tmp;
    TestBroker broker(tmp.path(), {false, {}, {}, true}); // the watcher's session outlives a stop
    QVERIFY(broker.start());
    TestSubscriber watcher(broker, "+/4321/+", "fleet-backlog");
    waitFor([] { return false; }, 1000); // subscribed
    broker.stop();
    const QString home = tmp.filePath(QStringLiteral("home"));
    {
        StationProcess first(home, QStringLiteral("4321"), {"--mqtt", broker.address()});
        QVERIFY(waitFor([&] { return first.trendRows().size() >= 3; }, 20000));
        first.sim.stop(); // "connectionLost", into the event spool
        const QDir events(home + QStringLiteral("/QuorvaneData/Spool/events"));
        QVERIFY(waitFor([&] { return !events.entryList({"*.rows"}).isEmpty(); }, 10000));
    }
    StationProcess second(home, QStringLiteral("4321"),
                          {"--mqtt", broker.address(), "--mqtt-topic", "lab"});
    QVERIFY(broker.start());
    const auto arrived = [&](const QByteArray &topic, const char *text) {
        for (const TestSubscriber::Message &m : watcher.received(topic))
            if (m.payload.contains(text))
                return true;
        return false;
    };
    QVERIFY(waitFor([&] { return arrived("lab/4321/event", "\"connectionLost\""); }, 20000));
    QVERIFY(waitFor([&] { return arrived("lab/4321/trend", "\"seq\":1,"); }, 20000));
    for (const TestSubscriber::Message &m : watcher.received())
        QVERIFY2(m.topic.startsWith("lab/"), m.topic.constData());
}

void TestItFleet::stationsApartAndInHomeAssistant()
{
    QTemporaryDir tmp;
    TestBroker broker(tmp.path(), {});
    QVERIFY(broker.start());
    TestSubscriber fleet(broker, "telvar/#");
    const QStringList mqtt{"--mqtt", broker.address(), "--mqtt-discovery"};
    const QStringList serials{"A/B1", "A+B1"};
    StationProcess one(tmp.filePath(QStringLiteral("one")), serials.at(0), mqtt);
    StationProcess two(tmp.filePath(QStringLiteral("two")), serials.at(1), mqtt);
    QVERIFY(waitFor(
        [&] {
            QSet<QByteArray> statuses;
            for (const TestSubscriber::Message &m : fleet.received())
                if (m.topic.endsWith("/status"))
                    statuses << m.topic;
            return statuses.size() == 2;
        },
        30000));
    waitFor([] { return false; }, 1000); // the configs go before the status: all sent
    // Kept by the broker for a subscriber that comes later, as Home Assistant does.
    TestSubscriber ha(broker, "homeassistant/#");
    const int configs = 2 * 12; // six sensors and six alarm lamps each, at least
    QVERIFY(waitFor([&] { return ha.received().size() >= configs; }, 30000));
    QSet<QString> stations; // serial as sent, and where its state is
    for (const TestSubscriber::Message &m : ha.received()) {
        const QJsonObject c = jsonOf(m.payload);
        const QJsonObject device = c.value("device").toObject();
        QVERIFY2(m.retained && device.value("identifiers").toArray().size() == 1,
                 m.topic.constData());
        for (const char *key : {"unique_id", "state_topic", "value_template", "availability_topic",
                                "payload_available", "name"})
            QVERIFY2(!c.value(QLatin1String(key)).toString().isEmpty(), key);
        for (const char *key : {"name", "model", "manufacturer"})
            QVERIFY2(!device.value(QLatin1String(key)).toString().isEmpty(), key);
        // Sensors have units; both kinds read a number (the alarms: a list) from the state topic.
        QVERIFY(m.topic.startsWith("homeassistant/binary_sensor/telvar_") ||
                (m.topic.startsWith("homeassistant/sensor/telvar_") &&
                 !c.value("unit_of_measurement").toString().isEmpty()));
        const QString field = QRegularExpression(QStringLiteral(R"(value_json\.(\w+))"))
                                  .match(c.value("value_template").toString())
                                  .captured(1);
        const QByteArray stateTopic = c.value("state_topic").toString().toUtf8();
        const QJsonObject status = jsonOf(fleet.last(stateTopic));
        QVERIFY2(status.value(field).isDouble() || status.value(field).isArray(),
                 qPrintable(field));
        QCOMPARE(fleet.last(c.value("availability_topic").toString().toUtf8()),
                 c.value("payload_available").toString().toUtf8());
        QVERIFY(serials.contains(status.value("serial").toString()));
        stations << status.value("serial").toString() + QLatin1Char('@') + stateTopic;
    }
    QCOMPARE(stations.size(), 2);

    // Retired: every retained topic of the station is cleared.
    QVERIFY(one.stop());
    QProcess forget;
    forget.setProcessEnvironment(programEnvironment(one.home));
    forget.start(QStringLiteral(TELVAR_BIN),
                 {"--mqtt-forget", serials.at(0), "--mqtt", broker.address()});
    QVERIFY(forget.waitForFinished(20000));
    QCOMPARE(forget.exitCode(), 0);
    const QString level = topicSerial(serials.at(0));
    TestSubscriber after(broker, "#");
    QVERIFY(waitFor([&] { return !after.received().isEmpty(); }, 10000));
    waitFor([] { return false; }, 1000); // every retained message has come by now
    for (const TestSubscriber::Message &m : after.received())
        QVERIFY2(!m.retained || !m.topic.contains(level.toUtf8()), m.topic.constData());
}

void TestItFleet::fleetViewTrustsNothing()
{
    QTemporaryDir tmp;
    TestBroker broker(tmp.path(), {});
    QVERIFY(broker.start());
    MqttClient publisher;
    QVERIFY(connected(publisher, broker));
    const QByteArray now = isoTime(QDateTime::currentDateTime()).toUtf8();
    const QByteArray longLevel(60000, 'L');
    const auto status = [](const QByteArray &time) {
        return "{\"serial\":\"x\",\"model\":\"ORIN\",\"interval\":600" + time + "}";
    };
    publisher.publish("telvar/" + longLevel + "/status", status(",\"time\":\"" + now + "\""), 1,
                      true);
    publisher.publish("telvar/notime/status", status(""), 1, true);
    publisher.publish("telvar/reset/status", status(",\"time\":\"" + now + "\""), 1, true);

    FleetSettings settings;
    settings.broker = broker.address();
    FleetView view(settings);
    view.setAttribute(Qt::WA_DeleteOnClose, false);
    QTableWidget *table = view.table();
    QVERIFY(waitFor([&] { return table->rowCount() == 3; }, 10000));
    const auto grey = [table](int row) {
        return table->item(row, FleetView::SerialColumn)->foreground().color() ==
               QColor(150, 150, 150);
    };
    // Sorted by level: the long one, "notime", "reset".
    for (int row = 0; row < 3; ++row)
        for (int c = 0; c < FleetView::ColumnCount; ++c)
            QVERIFY(table->item(row, c)->text().size() <= 40);
    QVERIFY(!grey(0) && grey(1) && !grey(2));

    // seq starts again under another run: the plot follows.
    view.openPlot(2);
    QVERIFY(waitFor([&] { return view.plotOf("reset") != nullptr; }, 1000));
    waitFor([] { return false; }, 500); // subscribed
    for (const QByteArray run : {"a", "b"})
        for (const QByteArray seq : {"1", "2", "3"})
            publisher.publish("telvar/reset/trend",
                              "{\"seq\":" + seq + ",\"run\":\"" + run + "\",\"time\":\"" + now +
                                  "\",\"concentration\":1.5}",
                              1, false);
    QVERIFY(waitFor([&] { return view.plotOf("reset")->sampleCount() >= 6; }, 10000));
}

void TestItFleet::publisherAsTold_data()
{
    QTest::addColumn<QString>("serial");
    QTest::newRow("serial") << "4321";
    QTest::newRow("answers 0: no serial") << "0";
}

void TestItFleet::publisherAsTold()
{
    QFETCH(QString, serial);
    const QByteArray topic = "telvar/" + (serial == "0" ? installStation() : serial).toUtf8();
    QTemporaryDir tmp;
    TestBroker broker(tmp.path(), {});
    QVERIFY(broker.start());
    TestSubscriber all(broker, "#");
    QVERIFY(QDir(spoolFolder()).removeRecursively());
    FleetSettings settings;
    settings.enabled = settings.discovery = true;
    settings.broker = broker.address();
    FleetPublisher fleet;
    fleet.configure(settings);
    StatusRecord record;
    StationInfo info{serial, QString(), 1, QString()};
    const QDateTime at = QDateTime::currentDateTime();
    for (const int ms : {0, 0, -5}) // a burst within one millisecond, then the clock set back
        fleet.trendRow(record, info, at.addMSecs(ms));
    fleet.statusReport(record, info);
    QVERIFY(waitFor([&] { return !all.received(topic + "/status").isEmpty(); }, 10000));
    fleet.statusReport(record, info);       // connected: the discovery configs too
    info.model = QStringLiteral("ORIN OK"); // known from now on
    fleet.statusReport(record, info);
    // An alarm raised and cleared: the status goes again each time, with no new report.
    for (const QByteArray active : {"[\"link\"]", "[]"}) {
        fleet.alarm({"link", AlarmSeverity::Fault,
                     active == "[]" ? AlarmEvent::Change::Cleared : AlarmEvent::Change::Raised,
                     "Lost.", "7", serial, at});
        QVERIFY(waitFor(
            [&] { return all.last(topic + "/status").contains("\"alarms_active\":" + active); }));
    }
    QStringList told; // the rows' times, one after the other, and an event each
    for (const TestSubscriber::Message &m :
         all.received(topic + "/trend") + all.received(topic + "/event"))
        told << jsonOf(m.payload).value("state").toString() +
                    jsonOf(m.payload).value("time").toString();
    QCOMPARE(told, QStringList({isoTime(at), isoTime(at.addMSecs(1)), isoTime(at.addMSecs(2)),
                                "raised" + isoTime(at), "cleared" + isoTime(at)}));

    // As Home Assistant sees them: the model on every device, no binary sensor's id another's.
    TestSubscriber ha(broker, "homeassistant/#");
    QVERIFY(waitFor([&] { return ha.received().size() >= 12 + alarmConditions().size(); }));
    QSet<QString> ids;
    for (const TestSubscriber::Message &m : ha.received())
        if (m.topic.contains("/binary_sensor/") && m.payload.contains("\"model\":\"ORIN OK\""))
            ids << jsonOf(m.payload).value("unique_id").toString();
    QCOMPARE(ids.size(), 6 + alarmConditions().size());
    // Retired: nothing of it is left retained.
    QString log;
    QCOMPARE(forgetStation(settings, serial, 10000, log), 0);
    TestSubscriber after(broker, "#");
    QVERIFY(!waitFor([&] { return !after.received().isEmpty(); }, 1000));
}

QTEST_MAIN(TestItFleet)
#include "test_it_fleet.moc"
