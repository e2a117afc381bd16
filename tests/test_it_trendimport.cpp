#include "plot/plotwindow.h"
#include "simprocess.h"

#include <qwt_plot_curve.h>

#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// A trend file the program wrote while it monitored the simulated analyzer
// over a pty, loaded back into a plot window with "Add Data to Plot".
class TestItTrendImport : public QObject
{
    Q_OBJECT
private slots:
    void importsWhatTheProgramWrote();
};

void TestItTrendImport::importsWhatTheProgramWrote()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());

    SimProcess sim({QStringLiteral("--pty"), QStringLiteral("--serial"), QStringLiteral("4321"),
                    QStringLiteral("--seed"), QStringLiteral("1")});
    QVERIFY(sim.ready());
    QProcess telvar;
    telvar.setProcessEnvironment(programEnvironment(home.path()));
    telvar.start(QStringLiteral(TELVAR_BIN),
                 {QStringLiteral("--serial"), sim.endpoint, QStringLiteral("--interval"),
                  QStringLiteral("1"), QStringLiteral("--autolog"), QStringLiteral("--connect")});
    QVERIFY(telvar.waitForStarted());

    QString trendFile;
    QVERIFY2(waitForTrendRows(telvar, home.path(), 3, trendFile), qPrintable(trendFile));
    QCOMPARE(telvar.state(), QProcess::Running);
    telvar.terminate();
    if (!telvar.waitForFinished(5000)) {
        telvar.kill();
        QVERIFY(telvar.waitForFinished(5000));
    }
    const QStringList lines = wholeLines(trendFile);
    QVERIFY2(lines.size() >= 4, qPrintable(trendFile));
    QCOMPARE(lines.first(), trendHeader);

    ScriptedDialogs dialogs;
    dialogs.fileAnswers << trendFile;
    PlotWindow w;
    w.addData();
    QCOMPARE(w.importedCurves().size(), 1);
    const QwtPlotCurve *curve = w.importedCurves().first();
    QCOMPARE(int(curve->dataSize()), lines.size() - 1);
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList fields = lines[i].split(QStringLiteral(", "));
        const QDateTime at =
            QDateTime::fromString(fields[0], QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        QCOMPARE(curve->sample(size_t(i - 1)),
                 QPointF(double(at.toMSecsSinceEpoch()), fields[1].toDouble()));
    }
}

QTEST_MAIN(TestItTrendImport)
#include "test_it_trendimport.moc"
