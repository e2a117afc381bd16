#include "fleet/fleetview.h"
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
    void stateTopic_data();
    void stateTopic();
    void fleetViewGreysStationThatGoesOffline();
};

void TestItFleet::statusRetained_data()
{
    QTest::addColumn<bool>("tls");
    QTest::addColumn<QByteArray>("password"); // in the station's file; empty: no login
    QTest::addColumn<bool>("privateFile");    // the file is chmod 600
    QTest::newRow("plain") << false << QByteArray() << true;
    QTest::newRow("TLS, test CA") << true << QByteArray() << true;
    QTest::newRow("user and password") << false << QByteArray("right\n") << true;
    QTest::newRow("wrong password, file others can read")
        << false << QByteArray("wrong\n") << false;
}

void TestItFleet::statusRetained()
{
    QFETCH(bool, tls);
    QFETCH(QByteArray, password);
    QFETCH(bool, privateFile);
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
        file.setPermissions(privateFile ? QFile::ReadOwner | QFile::WriteOwner
                                        : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        arguments << "--mqtt-user" << options.user << "--mqtt-password-file" << file.fileName();
    }
    StationProcess station(tmp.filePath(QStringLiteral("home")), QStringLiteral("4321"), arguments);
    QVERIFY(station.running());
    QVERIFY(waitFor([&] { return station.trendRows().size() >= 10; }, 30000));

    if (password == "wrong\n") {
        // Said plainly, and monitoring goes on as before.
        QVERIFY(waitFor([&] { return station.said().contains("user name or password refused"); },
                        10000));
        QVERIFY(station.said().contains("can be read by other users"));
        const int rows = station.trendRows().size();
        QVERIFY(waitFor([&] { return station.trendRows().size() >= rows + 10; }, 10000));
        QVERIFY(station.running());
        return;
    }
    // A subscriber that comes later gets the latest status and state from the broker.
    TestSubscriber late(broker, "telvar/4321/+");
    QVERIFY(waitFor([&] { return late.received("telvar/4321/state").size() > 0; }, 10000));
    QVERIFY(waitFor([&] { return late.received("telvar/4321/status").size() > 0; }, 10000));
    const TestSubscriber::Message first = late.received("telvar/4321/status").first();
    QVERIFY(first.retained);
    QVERIFY(late.received("telvar/4321/state").first().retained);
    QCOMPARE(late.received("telvar/4321/state").first().payload, QByteArray("online"));

    const QJsonObject s = jsonOf(first.payload);
    QCOMPARE(s.value("serial").toString(), QStringLiteral("4321"));
    QCOMPARE(s.value("gas").toString(), QStringLiteral("N2"));
    QVERIFY(!s.value("model").toString().isEmpty());
    QVERIFY(!s.value("units").toString().isEmpty());
    QVERIFY(!s.value("mode").toString().isEmpty());
    QVERIFY(QRegularExpression(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$)"))
                .match(s.value("time").toString())
                .hasMatch());
    for (const char *number :
         {"concentration", "alarms", "laserCurrent", "laserTemp", "tau", "tauZero", "pressure"})
        QVERIFY2(s.value(QLatin1String(number)).isDouble(), number);
    QVERIFY(s.value("alarmTexts").isArray());
}

void TestItFleet::stateTopic_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QByteArray>("state");
    QTest::newRow("station killed: its last will") << "SIGKILL" << QByteArray("offline");
    QTest::newRow("station stopped") << "SIGTERM" << QByteArray("offline");
    QTest::newRow("analyzer gone") << "analyzer" << QByteArray("reconnecting");
}

void TestItFleet::stateTopic()
{
    QFETCH(QString, what);
    QFETCH(QByteArray, state);
    QTemporaryDir tmp;
    TestBroker broker(tmp.path(), {});
    QVERIFY(broker.start());
    TestSubscriber watcher(broker, "telvar/4321/+");
    StationProcess station(tmp.filePath(QStringLiteral("home")), QStringLiteral("4321"),
                           {"--mqtt", broker.address()});
    QVERIFY(waitFor([&] { return watcher.last("telvar/4321/state") == "online"; }, 20000));

    if (what == QLatin1String("SIGKILL"))
        ::kill(pid_t(station.telvar.processId()), SIGKILL);
    else if (what == QLatin1String("SIGTERM"))
        QVERIFY(station.stop());
    else
        station.sim.stop();
    QVERIFY(waitFor([&] { return watcher.last("telvar/4321/state") == state; }, 10000));
    if (what == QLatin1String("analyzer")) {
        QVERIFY(waitFor([&] { return !watcher.last("telvar/4321/event").isEmpty(); }));
        QCOMPARE(jsonOf(watcher.last("telvar/4321/event")).value("event").toString(),
                 QStringLiteral("connectionLost"));
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
    QVERIFY(waitFor(
        [&] {
            return table->rowCount() == 2 && cell(0, FleetView::StateColumn) == "online" &&
                   cell(1, FleetView::StateColumn) == "online";
        },
        20000));
    QCOMPARE(cell(0, FleetView::SerialColumn), QStringLiteral("1111"));
    QCOMPARE(cell(1, FleetView::SerialColumn), QStringLiteral("2222"));
    QCOMPARE(cell(1, FleetView::GasColumn), QStringLiteral("N2"));
    QVERIFY(!greyed(0) && !greyed(1));

    // The live plot of a station, from its trend rows.
    view.openPlot(0);
    QVERIFY(view.plotOf("1111"));
    QVERIFY(waitFor([&] { return view.plotOf("1111")->sampleCount() >= 5; }, 10000));

    QVERIFY(two.stop());
    QVERIFY(waitFor([&] { return cell(1, FleetView::StateColumn) == "offline"; }, 10000));
    QVERIFY(greyed(1));
    QVERIFY(!greyed(0));
}

QTEST_MAIN(TestItFleet)
#include "test_it_fleet.moc"
