#include "core/paths.h"
#include "core/startup.h"
#include "ui/mainwindow.h"
#include "ui/renderchoice.h"
#include "ui/stopsignals.h"

#include <QApplication>
#include <QFile>
#include <QStandardPaths>

namespace {
// Read by the QML engine when it first compiles a document.
constexpr char qmlCacheVariable[] = "QML_DISK_CACHE_PATH";
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // From the start: a signal during start-up waits in its socket and ends the event
    // loop as soon as it runs.
    StopSignals stopSignals;
    // exit, not quit: quit first closes the window, which asks the user whether to end
    // monitoring; a stop from outside has nobody to answer and is not refused.
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &app, [] { QCoreApplication::exit(0); });
    preferSoftwareQuickWithoutGpu();
    runStartup(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
               QCoreApplication::applicationDirPath());
    // The compiled user interface is cached in the data folder, not in the user's cache
    // folder: the program writes nowhere else.
    if (!qEnvironmentVariableIsSet(qmlCacheVariable))
        qputenv(qmlCacheVariable, QFile::encodeName(appPaths.dataDir + QLatin1String("/qmlcache")));
    auto *window = new MainWindow;
    window->loadQmlView(QStringLiteral("../Kestrava/qml/qmlmain.qml"));
    window->show();
    const int result = app.exec();
    delete window; // stops and waits for the worker threads
    return result;
}
