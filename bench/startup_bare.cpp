// The yardstick of bench_startup: a bare Qt Widgets window, started and shown
// the way telvar is, with nothing in it. With --no-gl it is started as telvar
// is, without an OpenGL surface.
#include <QApplication>
#include <QMainWindow>

#include <cstring>

int main(int argc, char *argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--no-gl") == 0)
        QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    QApplication app(argc, argv);
    QMainWindow w;
    w.setWindowTitle(QStringLiteral("bare"));
    w.resize(900, 600);
    w.show();
    return app.exec();
}
