#include "startup.h"

#include <QApplication>
#include <QStandardPaths>

#ifdef KESTRAVA_HAVE_MAINWINDOW
#include "mainwindow.h"
#endif

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    runStartup(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
               QCoreApplication::applicationDirPath());
#ifdef KESTRAVA_HAVE_MAINWINDOW
    auto *window = new MainWindow;
    window->loadQmlView(QStringLiteral("../Kestrava/qml/qmlmain.qml"));
    window->show();
    const int result = app.exec();
    delete window; // stops and waits for the worker threads
    return result;
#else
    return 0;
#endif
}
