#include "app/commandline.h"
#include "app/mainwindow.h"
#include "common/clock.h"
#include "service/srda.h"

#include <QApplication>
#include <QTextStream>
#include <QTimer>

int main(int argc, char *argv[])
{
    readLocalTimeZoneOnce();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QApplication::setOrganizationDomain(QStringLiteral("quorvane.com"));
    QApplication::setApplicationName(QStringLiteral("Telvar"));
    QApplication::setApplicationVersion(QLatin1String(MainWindow::version));

    // No crash-report library is loaded from the working folder: a file planted
    // there would run with the operator's rights.

    CommandLine cl;
    const CommandLine::Result parsed = cl.parse(QApplication::arguments());
    if (parsed != CommandLine::Run) {
        QTextStream(parsed == CommandLine::Error ? stderr : stdout) << cl.message();
        return parsed == CommandLine::Error ? 2 : 0;
    }

    MainWindow::Options options;
    options.demo = cl.demo;
    MainWindow w(options);
    const QString presetError = cl.applyTo(w);
    if (!presetError.isEmpty()) {
        QTextStream(stderr) << presetError << '\n';
        return 2;
    }
    if (cl.srdaLimitMb)
        w.srda()->data().setMemoryLimit(qint64(*cl.srdaLimitMb) << 20);
    w.show();
    if (cl.connect)
        QTimer::singleShot(0, &w, &MainWindow::openConnection);
    return app.exec();
}
