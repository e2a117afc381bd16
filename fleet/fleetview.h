#pragma once

#include "fleet/fleetconfig.h"
#include "fleet/fleetsettings.h"
#include "fleet/fleetstations.h"

#include <QHash>
#include <QPair>
#include <QTimer>
#include <QWidget>

class MqttClient;
class PlotWindow;
class QLabel;
class QTableWidget;

// The "Fleet" window: one row per station publishing to the broker, greyed
// when it is offline or has gone silent. Double-clicking a row opens a plot of
// that station's live concentration, fed from its trend topic. Needs no
// analyzer.
class FleetView : public QWidget
{
    Q_OBJECT
public:
    enum Column
    {
        SerialColumn,
        ModelColumn,
        GasColumn,
        ConcentrationColumn,
        AlarmsColumn,
        ModeColumn,
        StateColumn,
        LastSeenColumn,
        ColumnCount
    };

    explicit FleetView(const FleetSettings &settings, QWidget *parent = nullptr);
    ~FleetView() override;

    QTableWidget *table() const { return view; }
    const FleetStations &stations() const { return model; }
    // The live plot of a station, once its row was double-clicked.
    PlotWindow *plotOf(const QString &serial) const { return plots.value(serial); }
    // Shows the plot of the station in `row`.
    void openPlot(int row);

private:
    void received(const QByteArray &topic, const QByteArray &payload, bool retained);
    void refresh();
    void brokerSays(const QString &text);

    BrokerConfig broker;
    MqttClient *client;
    FleetStations model;
    QTableWidget *view;
    QLabel *brokerLabel;
    QTimer tick; // greys stations that fall silent
    QHash<QString, PlotWindow *> plots;
    QStringList shown; // the station (topic level) of each row
    // Of the rows plotted, for duplicates after a resend: the run and its last seq.
    QHash<QString, QPair<QString, qint64>> lastSeq;
};
