#include "core/paths.h"

#include "core/historyfiles.h"
#include "core/logging.h"

#include <QDir>
#include <QTemporaryFile>

void initAppPaths(const QString &dataLocation, const QString &appDir)
{
    QString location = dataLocation;
    location.replace(QLatin1Char('\\'), QLatin1Char('/'));
    qCDebug(lcCore) << "appDir11" << location;

    appPaths.dataDir = location + QLatin1String("/") + QLatin1String("Kestrava");
    appPaths.appDir = appDir;
    placeHistoryFolders(appDir);
    appPaths.paramDir = appPaths.dataDir + QLatin1String("/param");
    appPaths.paramIniPath = appPaths.paramDir + QLatin1String("/param.ini");
    appPaths.smtpRecDbPath = appPaths.paramDir + QLatin1String("/smtprec.db");
    appPaths.smsRecDbPath = appPaths.paramDir + QLatin1String("/smsrec.db");
    appPaths.scheduleDbPath = appPaths.paramDir + QLatin1String("/schedule.db");
}

void placeHistoryFolders(const QString &root)
{
    appPaths.analogDbDir = root + QLatin1String("/analogdb");
    appPaths.alarmDbDir = root + QLatin1String("/alarmdb");
    appPaths.dayGenDbDir = root + QLatin1String("/daygendb");
    appPaths.monthGenDbDir = root + QLatin1String("/monthgendb");
    appPaths.yearGenDbDir = root + QLatin1String("/yeargendb");
    appPaths.totalGenDbDir = root + QLatin1String("/totalgendb");
    appPaths.smsDbDir = root + QLatin1String("/smsdatadb");
}

bool folderIsWritable(const QString &folder)
{
    // A real write, not the permission bits: root passes every bit test, and a read-only
    // mount or a system folder refuses whatever the bits say.
    QTemporaryFile probe(folder + QLatin1String("/.kestrava-write-probe-XXXXXX"));
    return probe.open();
}

void createAppFolders()
{
    const QString folders[] = {appPaths.paramDir, appPaths.analogDbDir, appPaths.dayGenDbDir,
                               appPaths.monthGenDbDir, appPaths.yearGenDbDir, appPaths.totalGenDbDir,
                               appPaths.alarmDbDir, appPaths.smsDbDir};
    for (const QString &folder : folders) {
        // A folder that cannot be made is not reported: whatever later uses it fails on its own.
        if (!QDir(folder).exists() && !QDir().mkpath(folder))
            qCWarning(lcCore) << "cannot create folder" << folder;
    }
}

void assignGenTableNames()
{
    const auto stems = [](DeviceFamily family) {
        return GenTableNames{historyStem(HistoryFile::DayGen, family), historyStem(HistoryFile::MonthGen, family),
                             historyStem(HistoryFile::YearGen, family), historyStem(HistoryFile::TotalGen, family)};
    };
    inverterGenTables = stems(DeviceFamily::Inverter);
    threeUpsGenTables = stems(DeviceFamily::ThreePhaseUps);
    singleUpsGenTables = stems(DeviceFamily::SinglePhaseUps);
}

const GenTableNames &genTablesFor(const QString &comProtocol)
{
    switch (deviceFamily(comProtocol)) {
    case DeviceFamily::Inverter:
        return inverterGenTables;
    case DeviceFamily::ThreePhaseUps:
        return threeUpsGenTables;
    case DeviceFamily::SinglePhaseUps:
        break;
    }
    return singleUpsGenTables;
}
