#include "core/startup.h"

#include "core/devicestate.h"
#include "core/logging.h"
#include "core/paths.h"
#include "core/protocolcode.h"
#include "core/schedule.h"
#include "core/settings.h"

void runStartup(const QString &dataLocation, const QString &appDir)
{
    qCDebug(lcCore) << "appDir" << dataLocation;
    initAppPaths(dataLocation, appDir);
    // An installed program's folder belongs to the system: its history goes to the data
    // folder, under the same folder and file names.
    if (!folderIsWritable(appDir)) {
        placeHistoryFolders(appPaths.dataDir);
        qCInfo(lcCore) << "the program folder" << appDir << "cannot be written: history is kept in"
                       << appPaths.dataDir;
    }
    createAppFolders();
    settingsValid = false;
    loadAllSettings();
    loadSchedule();
    // Chosen once per run: a later protocol change does not re-prime the placeholders.
    if (deviceFamily(deviceSettings.comProtocol) == DeviceFamily::ThreePhaseUps)
        upsInfo.initThreePhaseValues();
    else
        upsInfo.initSingleValues();
}
