#pragma once

#include "dashboard/statusrecord.h"

#include <QPixmap>
#include <QWidget>

class QGroupBox;
class QLabel;
class QPushButton;

// The "Monitor Analyzer" tab: the operator's dashboard. It owns the status
// record, which the reply parser fills; it never talks to the analyzer and
// never parses replies, it only shows what the record says.
class Instrument : public QWidget
{
    Q_OBJECT
public:
    // The six fault lamps, in the order they appear on screen.
    enum class Lamp
    {
        Laser,
        Ringdown,
        Pressure,
        Alarm1,
        Alarm2,
        Temp
    };
    enum class LampColour
    {
        Grey,
        Green,
        Red
    };
    static constexpr int lampCount = 6;

    explicit Instrument(QWidget *parent = nullptr);

    // What the dashboard shows: the record of the last status report.
    StatusRecord record;
    bool compatibilityMode = false;
    double ppmThreshold = 100000.0;
    QPushButton *measureButton;
    QPushButton *serviceButton;
    QPushButton *tuneButton;

    // Mode-button faces for the current text size. Each button takes the size
    // of its picture; a missing picture leaves the button with its text.
    void setModeButtonImages(const QString &measure, const QString &service, const QString &tune);
    // Small, medium or large (0 to 2): the labels' size and the mode buttons' faces.
    void setTextSize(int size);
    // Style sheet for the whole tab, e.g. "QLabel { font-size: 14px }".
    void setLabelStyle(const QString &style);

    LampColour lampColour(Lamp lamp) const { return lamps[int(lamp)]; }
    static QString lampImage(LampColour colour);

    // What the tab shows, for the main window and tests.
    QGroupBox *concBox() const { return box; }
    QLabel *concLabel() const { return conc; }
    QLabel *unitsLabel() const { return units; }
    QLabel *speciesLabel() const { return species; }
    QLabel *gasLabel() const { return gas; }
    QLabel *statusLabel() const { return status; }
    QLabel *laserCurrentLabel() const { return laserCurrent; }
    QLabel *laserTempLabel() const { return laserTemp; }
    QLabel *rdTimeLabel() const { return rdTime; }
    QLabel *tauZeroLabel() const { return tauZero; }
    QLabel *lampLabel(Lamp lamp) const { return lampLabels[int(lamp)]; }
    QLabel *tempCaptionLabel() const { return tempCaption; }
    QLabel *staleLabel() const { return staleLine; }
    bool isStale() const { return stale; }

public slots:
    // Shows a status report: its record, live.
    void showReport(const StatusReport &report);
    void updateInstrumentWindow();
    void tempAlarmVisible(bool visible);
    void clearDisplay();
    // The values shown are no longer live (the link is lost): lamps grey,
    // readouts greyed, and `line` says since when. The next status report
    // makes them live again.
    void showStale(const QString &line);

private:
    void setLamp(Lamp lamp, LampColour colour);
    void paintReadouts();

    QGroupBox *box;
    QLabel *conc;
    QLabel *units;
    QLabel *species;
    QLabel *gas;
    QLabel *status;
    QLabel *laserCurrent;
    QLabel *laserTemp;
    QLabel *rdTime;
    QLabel *tauZero;
    QLabel *tempCaption;
    QLabel *staleLine;
    bool stale = false;
    QString concStyle;
    QLabel *lampLabels[lampCount];
    LampColour lamps[lampCount];
    QPixmap lampPictures[3]; // by LampColour; null when the picture is missing
};
