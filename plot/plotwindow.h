#pragma once

#include <QDateTime>
#include <QDialog>
#include <QString>
#include <QVector>

// Plot of a fixed ring of points (placeholder until the plot lands).
class PlotWindow : public QDialog
{
    Q_OBJECT
public:
    explicit PlotWindow(QWidget *parent = nullptr);

    QString seriesName;

    void setDateAxis(bool) {}
    void setPlotTitle(const QString &title) { setWindowTitle(title); }
    void setSeries(const QVector<double> &, const QVector<double> &) {}
    void addTimePoint(const QDateTime &, const QString &) {}
    void addPointXY(const QString &, const QString &) {}
};
