#include "core/paths.h"

#include "core/historyfiles.h"
#include "core/logging.h"

#include <QDir>

void initAppPaths(const QString &dataLocation, const QString &appDir)
{
    QString location = dataLocation;
    location.replace(QLatin1Char('\\'), QLatin1Char('/'));
    qCDebug(lcCore) << "appDir11" << location;

    appPaths.dataDir = location + QLatin1String("/") + QLatin1String("Kestrava");
    appPaths.appDir = appDir;
    appPaths.analogDbDir = appDir + QLatin1String("/analogdb");
    appPaths.alarmDbDir = appDir + QLatin1String("/alarmdb");
    appPaths.dayGenDbDir = appDir + QLatin1String("/daygendb");
    appPaths.monthGenDbDir = appDir + QLatin1String("/monthgendb");
    appPaths.yearGenDbDir = appDir + QLatin1String("/yeargendb");
    appPaths.totalGenDbDir = appDir + QLatin1String("/totalgendb");
    appPaths.smsDbDir = appDir + QLatin1String("/smsdatadb");
    appPaths.paramDir = appPaths.dataDir + QLatin1String("/param");
    appPaths.paramIniPath = appPaths.paramDir + QLatin1String("/param.ini");
    appPaths.smtpRecDbPath = appPaths.paramDir + QLatin1String("/smtprec.db");
    appPaths.smsRecDbPath = appPaths.paramDir + QLatin1String("/smsrec.db");
    appPaths.scheduleDbPath = appPaths.paramDir + QLatin1String("/schedule.db");
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

DeviceFamily deviceFamily(const QString &comProtocol)
{
    if (comProtocol == QLatin1String("3") || comProtocol == QLatin1String("4"))
        return DeviceFamily::Inverter;
    if (comProtocol == QLatin1String("0"))
        return DeviceFamily::ThreePhaseUps;
    return DeviceFamily::SinglePhaseUps;
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
