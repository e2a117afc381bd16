#pragma once

#include <QStringList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

// The "Utilities" tab: the data filter, the gas type, Speed+, the operating
// mode and five favorite command lines. It never holds the link: commands
// leave on lineforOrin as questions, and the replies that follow one come to
// answer() first. A bare number answers the query the two waiting flags say
// is out, since replies carry no identifier.
class Utilities : public QWidget
{
    Q_OBJECT
public:
    static constexpr int favoriteCount = 5;

    explicit Utilities(QWidget *parent = nullptr);

    bool waitingForSpeed = false;  // "DYNAMICFILTER_ENABLED" is out; a bare number answers it
    bool waitingForFilter = false; // "filter" is out; only then is a filter value shown
    QString currentGas;            // the gas of the last status report
    int filterValue = -1;          // last accepted filter value, 10..1000
    bool controls = false;         // the session lets the tab's controls speak
    bool speedOn = false;          // Speed+ on: the filter is the analyzer's, locked here

    // A reply to one of the tab's own commands: a filter or Speed+ value, the
    // gas list, or "!WRONG". False when the reply is none of these.
    bool answer(const QByteArray &chunk);
    // The gas names of a "sagd" answer's tokens, last first.
    static QStringList gasesIn(const QStringList &tokens);
    // What a status report says of the filter and the gas.
    void statusReport(const QString &filter, const QString &gasType);

    // The thirteen buttons that send commands, together.
    void setCommandButtonsEnabled(bool on);
    void setControlsEnabled(bool on) { setCommandButtonsEnabled(on); }

    QGroupBox *dataFilterGroupBox;
    QSlider *filterSlider;
    QLineEdit *filterLineEdit;
    QPushButton *refreshFilterPushButton;
    QPushButton *filterPushButton;
    QGroupBox *gasTypeGroupBox;
    QComboBox *gasTypeComboBox;
    QPushButton *gasTypePushButton;
    QPushButton *refreshGasTypePushButton;
    QGroupBox *groupBox;
    QLineEdit *favoriteLineEdit[favoriteCount];
    QPushButton *favoritePushButton[favoriteCount];
    QPushButton *measurePushButton;
    QPushButton *servicePushButton;
    QPushButton *tunePushButton;
    QGroupBox *groupBox_2;
    QCheckBox *speedCheckBox;
    QPushButton *refreshSpeedPushButton;

signals:
    void lineforOrin(QString);
    void lineforConsole(QString);
    void lineforLogger(QString);

public slots:
    void updateGasList(QStringList gases);
    void updateFilter(int value);
    void updateSpeed(int value);
    void refreshFilter();
    void refreshGasList();
    void refreshSpeed();
    void setFilter();
    void switchGasType();
    void switchSpeed(int state);
    void updateSlider(QString text);
    void updateLineEdit(int value);
    void measureCommand();
    void tuneCommand();
    void serviceCommand();
    void favoriteCommand_1() { favoriteCommand(0); }
    void favoriteCommand_2() { favoriteCommand(1); }
    void favoriteCommand_3() { favoriteCommand(2); }
    void favoriteCommand_4() { favoriteCommand(3); }
    void favoriteCommand_5() { favoriteCommand(4); }
    void setCurrentGas(const QString &gas) { currentGas = gas; }

private:
    void favoriteCommand(int index);
    // Filter field text; the digit mask is lifted for "S+" and the blank.
    void showFilterText(const QString &text);
    // Speed+ on or off as the analyzer or the operator said: the filter controls follow.
    void showSpeed(bool on);
    int filterBeforeSpeed = 200; // the slider's value when Speed+ went on
};
