#include "fleet/fleetview.h"

#include "common/clock.h"
#include "fleet/mqttclient.h"
#include "plot/plotwindow.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QColor greyText(150, 150, 150);
const QColor alarmRed(200, 0, 0);
const QColor fadedRed(220, 140, 140);

// As the analyzer writes it: two decimals, more where the value has them.
QString concentrationText(double value)
{
    const QString shortest = QString::number(value, 'g', 12);
    const int point = shortest.indexOf(QLatin1Char('.'));
    const bool more =
        point >= 0 && !shortest.contains(QLatin1Char('e')) && shortest.size() - point - 1 > 2;
    return more ? shortest : QString::number(value, 'f', 2);
}

// Whatever a topic or a payload holds, a column stays readable.
constexpr int longestText = 40;

QString elided(const QString &text)
{
    return text.size() > longestText ? text.left(longestText - 1) + QChar(0x2026) : text;
}

QString seenText(const QDateTime &seen, const QDateTime &now)
{
    if (!seen.isValid())
        return QStringLiteral("unknown");
    return seen.date() == now.date() ? seen.toString(QStringLiteral("hh:mm:ss"))
                                     : seen.toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

} // namespace

FleetView::FleetView(const FleetSettings &settings, QWidget *parent)
    : QWidget(parent, Qt::Window), client(new MqttClient(this)), model(settings.topicPrefix),
      view(new QTableWidget(0, ColumnCount, this)), brokerLabel(new QLabel(this))
{
    setWindowTitle(tr("Fleet"));
    setAttribute(Qt::WA_DeleteOnClose);
    view->setHorizontalHeaderLabels({tr("Serial"), tr("Model"), tr("Gas"), tr("Concentration"),
                                     tr("Alarms"), tr("Mode"), tr("State"), tr("Last seen")});
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    view->horizontalHeader()->setStretchLastSection(true);
    view->setToolTip(tr("Double-click a station to plot its concentration"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(view);
    layout->addWidget(brokerLabel);
    resize(900, 320);

    connect(view, &QTableWidget::cellDoubleClicked, this, [this](int row) { openPlot(row); });
    connect(client, &MqttClient::messageReceived, this, &FleetView::received);
    connect(client, &MqttClient::connected, this,
            [this] { brokerSays(tr("connected to %1").arg(broker.name())); });
    connect(client, &MqttClient::disconnected, this, [this](const QString &why) {
        brokerSays(tr("%1: %2; trying again").arg(broker.name(), why));
    });
    connect(&tick, &QTimer::timeout, this, &FleetView::refresh);
    tick.start(1000);

    const QString error = brokerConfig(settings, broker);
    if (error.isEmpty())
        brokerSays(client->start(broker));
    else
        brokerSays(error);
    const QByteArray prefix = broker.topicPrefix.toUtf8();
    client->subscribe(prefix + "/+/status");
    client->subscribe(prefix + "/+/state");
    if (brokerLabel->text().isEmpty())
        brokerSays(tr("connecting to %1").arg(broker.name()));
}

FleetView::~FleetView()
{
    qDeleteAll(plots);
}

void FleetView::brokerSays(const QString &text)
{
    brokerLabel->setText(text.isEmpty() ? QString() : tr("Broker: ") + text);
}

void FleetView::received(const QByteArray &topic, const QByteArray &payload, bool retained)
{
    QString serial, kind;
    if (model.splitTopic(topic, serial, kind) && kind == QLatin1String("trend")) {
        FleetTrendPoint p;
        PlotWindow *plot = plots.value(serial);
        // At least once: a row sent again after a broker outage is plotted once;
        // another run starts its seq again.
        const QPair<QString, qint64> last = lastSeq.value(serial);
        if (plot && FleetStations::trendPoint(payload, p) &&
            (p.run != last.first || p.seq > last.second)) {
            lastSeq.insert(serial, {p.run, p.seq});
            plot->addTimePoint(p.time, QString::number(p.concentration, 'g', 10));
        }
        return;
    }
    if (model.take(topic, payload, retained, Clock::current()))
        refresh();
}

void FleetView::refresh()
{
    const QDateTime now = Clock::current();
    const QVector<FleetStation> &list = model.stations();
    // The selection stays with its station when a new one is sorted in above it.
    const QList<QTableWidgetItem *> selected = view->selectedItems();
    const int selectedRow = selected.isEmpty() ? -1 : selected.first()->row();
    const QString selectedSerial =
        selectedRow < 0 || selectedRow >= shown.size() ? QString() : shown.at(selectedRow);
    view->setRowCount(list.size());
    shown.clear();
    for (int row = 0; row < list.size(); ++row) {
        const FleetStation &s = list.at(row);
        shown << s.serial;
        const bool grey = FleetStations::greyed(s, now);
        const QString conc = s.hasConcentration
                                 ? concentrationText(s.concentration) + QLatin1Char(' ') + s.units
                                 : QStringLiteral("\u2013");
        const QString texts[ColumnCount] = {s.name.isEmpty() ? s.serial : s.name,
                                            s.model,
                                            s.gas,
                                            conc,
                                            s.alarms ? s.alarmTexts.join(QStringLiteral(", "))
                                                     : tr("none"),
                                            s.mode,
                                            s.state,
                                            seenText(s.lastSeen, now)};
        for (int c = 0; c < ColumnCount; ++c) {
            QTableWidgetItem *item = view->item(row, c);
            if (!item) {
                item = new QTableWidgetItem;
                view->setItem(row, c, item);
            }
            item->setText(elided(texts[c]));
            item->setToolTip(texts[c].size() > longestText ? texts[c].left(1000) : QString());
            QColor colour = grey ? greyText : palette().color(QPalette::Text);
            if (c == AlarmsColumn && s.alarms)
                colour = grey ? fadedRed : alarmRed;
            item->setForeground(colour);
            if (c == ConcentrationColumn)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
        if (!selectedSerial.isEmpty() && s.serial == selectedSerial &&
            !view->item(row, SerialColumn)->isSelected())
            view->selectRow(row);
    }
}

void FleetView::openPlot(int row)
{
    if (row < 0 || row >= model.stations().size())
        return;
    const QString serial = model.stations().at(row).serial;
    PlotWindow *plot = plots.value(serial);
    if (!plot) {
        plot = new PlotWindow(nullptr);
        plot->seriesName = QStringLiteral("Concentration");
        plot->setDateAxis(true);
        plot->setPlotTitle(tr("Fleet: %1").arg(elided(serial)));
        plots.insert(serial, plot);
        client->subscribe((broker.topicPrefix + QLatin1Char('/') + serial).toUtf8() + "/trend");
    }
    plot->show();
    plot->raise();
}
