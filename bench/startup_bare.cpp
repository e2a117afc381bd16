// The yardstick of bench_startup: a bare Qt Widgets window, started and shown
// the way telvar is, with nothing in it.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow w;
    w.setWindowTitle(QStringLiteral("bare"));
    w.resize(900, 600);
    w.show();
    return app.exec();
}
