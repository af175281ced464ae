#include "core/startup.h"
#include "ui/mainwindow.h"
#include "ui/renderchoice.h"

#include <QApplication>
#include <QStandardPaths>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    preferSoftwareQuickWithoutGpu();
    runStartup(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
               QCoreApplication::applicationDirPath());
    auto *window = new MainWindow;
    window->loadQmlView(QStringLiteral("../Kestrava/qml/qmlmain.qml"));
    window->show();
    const int result = app.exec();
    delete window; // stops and waits for the worker threads
    return result;
}
