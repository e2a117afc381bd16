#pragma once

#include <QColor>
#include <QDialog>
#include <QMetaType>

class QButtonGroup;
class QCheckBox;
class QPushButton;
class QSlider;
class QSpinBox;

// Plot colours, sizes and whether lines are drawn. Every change is sent at once
// (live preview); Accept stores the choices for all plot windows, Revert reloads
// the stored ones.
class preferencesForm : public QDialog
{
    Q_OBJECT
public:
    struct plotPreferences
    {
        bool useLines = true;
        int markerSize = 4;
        int lineSize = 2;
        QColor markerColor;
        QColor lineColor;
        QColor fillColor;
        QColor backgroundColor;
    };

    explicit preferencesForm(QWidget *parent = nullptr);

    // The record as last sent.
    plotPreferences current() const { return prefs; }

    QCheckBox *linesCheckBox;
    QSpinBox *markerSpinBox;
    QSpinBox *lineSpinBox;
    QSpinBox *markerRspinBox;
    QSpinBox *markerGspinBox;
    QSpinBox *markerBspinBox;
    QSpinBox *lineRspinBox;
    QSpinBox *lineGspinBox;
    QSpinBox *lineBspinBox;
    QSpinBox *fillRspinBox;
    QSpinBox *fillGspinBox;
    QSpinBox *fillBspinBox;
    QSlider *horizontalSlider;
    QButtonGroup *markerGroup;
    QButtonGroup *lineGroup;
    QButtonGroup *fillGroup;
    QPushButton *acceptButton;
    QPushButton *revertButton;

signals:
    void newPreferences(preferencesForm::plotPreferences);

public slots:
    // Loads the stored choices into the widgets, then sends them.
    void setPreferences();
    // Builds the record from the widgets and sends it.
    void preferencesChanged();
    // Stores the widgets' choices and hides the dialog.
    void acceptChanges();
    // Back to the stored choices; the dialog stays open.
    void cancel();

private:
    plotPreferences prefs;
};

Q_DECLARE_METATYPE(preferencesForm::plotPreferences)
