#include "core/historyfiles.h"

#include "core/paths.h"

#include <iterator>

namespace {

// The snapshot and event columns of the UPS families: entry k of upsInfo.values in column
// k + 1. The misspellings and the three fragments that differ between the two tables are
// those of the files in the field.
const HistoryValueColumn kUpsColumns[] = {
    {"[BatteryDischageTime(M)] varchar", "[BatteryDischageTime(M)] varchar", 0},
    {"[BatteryRemainTime(M)] varchar", "[BatteryRemainTime(M)] varchar", 1},
    {"[BatteryRemmainCap(%)] varchar", "[BatteryRemmainCap(%)] varchar", 2},
    {"[BatteryVolt(V)] varchar", "[BatteryVolt(V)] varchar", 3},
    {"[BatteryCurr(A)] varchar", "[BatteryCurr(A)] varchar", 4},
    {"[BatteryTemp(C)] varchar", "[BatteryTemp(C)] varchar", 5},
    {"[InputPowerFac] varchar", "[InputPowerFac] varchar", 6},
    {"[InputGenC(KWH)] varchar", "[InputGenC(KW)] varchar", 7},
    {"[InputFreq(HZ)] varchar", "[InputFreq(HZ)] varchar", 8},
    {"[InputVolt(V)] varchar", "[InputVolt(V)] varchar", 9},
    {"[InputCurr(A)] varchar", "[InputCurr(A)] varchar", 10},
    {"[InputActPower(KW)] varchar", "[InputActPower(KW)] varchar", 11},
    {"[InputAppPower(KVA)] varchar", "[InputAppPower(KVA)] varchar", 12},
    {"[InputWattPower(KVar)] varchar", "[InputWattPower(KVar)] varchar", 13},
    {"[OutputFrq(HZ)] varchar", "[OutputFrq(HZ)] varchar", 14},
    {"[OutputPowerFac] varchar", "[OutputPowerFac] varchar", 15},
    {"[OutputGen(KWH)] varchar", "[OutputGen(KWH)] varchar", 16},
    {"[OutputVolt(V)] varchar", "[OutputVolt(V)] varchar", 17},
    {"[OutputCurr(A)] varchar", "[OutputCurr(A)] varchar", 18},
    {"[OutputActivePower(KW)] varchar", "[OutputActivePower(KW)] varchar", 19},
    {"[OutputAppPower(VA)] varchar", "[OutputAppPower(KVA)] varchar", 20},
    {"[OutputWattPower(KVar)] varchar", "[OutputWattPower(KVar)] varchar", 21},
    {"[OutputLoadPercent(%)] varchar", "[OutputLoadPercent(%)] varchar", 22},
    {"[BypassFreq(HZ)] varchar", "[BypassFreq(HZ)] varchar", 23},
    {"[BypassVol(V)] varchar", "[BypassVol(V)] varchar", 24},
    {"[BypassCurr(A)] varchar", "[BypassCurr(A)] varchar", 25},
    {"[BypassActPower(KW)] varchar", "[BypassActPower(KW)] varchar", 26},
    {"[PVVolt(V)] varchar", "[PVVolt(V)] varchar", 27},
    {"[PVCurr(A)] varchar", "[PVCurr] varchar", 28},
    {"[PVPower(KW)] varchar", "[PVPower(KW)] varchar", 29},
    {"[PVDayGen(KWH)] varchar", "[PVDayGen(KWH)] varchar", 30},
    {"[PVTotalGen(KWH)] varchar", "[PVTotalGen(KWH)] varchar", 31},
};

// The inverter's columns. Its snapshot table names each column by a quoted text, type
// included, so those columns have no declared type; two of the names do not say what the
// column holds (active power under "Outputapparentpower", lifetime energy under
// "PVmonthgen"). Readers go by position.
const HistoryValueColumn kInverterColumns[] = {
    {"Inputvolt(V) varchar", "[Inputvolt(V)] varchar", 1},
    {"Inputfreq(Hz) varchar", "[Inputfreq(Hz)] varchar", 7},
    {"Bypvolt(V) varchar", "[Bypvolt(V)] varchar", 11},
    {"Bypfreq(Hz) varchar", "[Bypfreq(Hz)] varchar", 20},
    {"Outputvolt(V) varchar", "[Outputvolt(V)] varchar", 26},
    {"Outputfreq(Hz) varchar", "[Outputfreq(Hz)] varchar", 32},
    {"Outputapparentpower(W) varchar", "[Outputactivepower(W)] varchar", 35},
    {"Outputapparantpower(W) varchar", "[Outputapparantpower(W)] varchar", 38},
    {"Outputloadpercent(%) varchar", "[Outputloadpercent(%)] varchar", 41},
    {"Outputfactor varchar", "[Outputfactor] varchar", 114},
    {"Innertemperature(C) varchar", "[Innertemperature(C)] varchar", 44},
    {"Battvolt(V) varchar", "[Battvolt(V)] varchar", 47},
    {"Remaincapacity(%) varchar", "[Remaincapacity(%)] varchar", 50},
    {"PVvolt(V) varchar", "[PVvolt(V)] varchar", 129},
    {"PVpower(W) varchar", "[PVpower(W)] varchar", 131},
    {"PVdaygen(KWH) varchar", "[PVdaygen(KWH)] varchar", 132},
    {"PVmonthgen(KWH) varchar", "[PVtotalgen(KWH)] varchar", 134},
};


struct FileFormat
{
    HistoryFile file;
    QString AppPaths::*folder;
    HistoryPeriod period;
    const char *table;
    const char *stems[kHistoryFamilyCount]; // inverter, three-phase UPS, single-phase UPS
    // Create texts of the inverter and of the UPS families; null for the two tables whose
    // create text is built from their value columns.
    const char *createInverter;
    const char *createUps;
    int columnCount; // 0 for the tables of value columns
    const char *deleteSql;
    // The files that get one row per five-minute save: the column of the save's minute and
    // its text form (fixed width, so text order is time order). Null for the others.
    const char *saveTimeColumn = nullptr;
    const char *saveTimeFormat = nullptr;
};

const FileFormat kFormats[] = {
    {HistoryFile::DayGen, &AppPaths::dayGenDbDir, HistoryPeriod::Day, "daygen",
     {"zq700_4000kxdaygen", "threeUPSdaygen", "singleUPSdaygen"},
     "create table daygen(num varchar, date varchar,power varchar)",
     "create table daygen(Num varchar,Date varchar,Power varchar)", 3, "", "Date", kSnapshotTimeFormat},
    {HistoryFile::MonthGen, &AppPaths::monthGenDbDir, HistoryPeriod::Month, "monthgen",
     {"zq700_4000kxmonthgen", "threeUPSmonthgen", "singleUPSmonthgen"},
     "create table monthgen(num varchar, Date varchar,Gen varchar)",
     "create table monthgen(Num varchar,Date varchar,Gen varchar)", 3, "delete from monthgen where Date=?"},
    {HistoryFile::YearGen, &AppPaths::yearGenDbDir, HistoryPeriod::Year, "yeargen",
     {"zq700_4000kxyeargen", "threeUPSyeargen", "singleUPSyeargen"},
     "create table yeargen(num varchar, Date varchar,Gen varchar)",
     "create table yeargen(Num varchar,Date varchar,Gen varchar)", 3, "delete from yeargen where Date=?"},
    {HistoryFile::TotalGen, &AppPaths::totalGenDbDir, HistoryPeriod::None, "totalgen",
     {"zq700_4000kxtotalgen", "threeUPStotalgen", "singleUPStotalgen"},
     "create table totalgen(Date varchar,Gen varchar)", "create table totalgen(Date varchar,Gen varchar)", 2,
     "delete from totalgen where Date=?"},
    {HistoryFile::TotalGenByDay, &AppPaths::totalGenDbDir, HistoryPeriod::Day, "totalgenbyday",
     {"zq700_4000kxtotalgen", "zq700_4000kxtotalgen", "zq700_4000kxtotalgen"},
     "create table totalgenbyday(Date varchar,totalgen varchar)",
     "create table totalgenbyday(Date varchar,totalgen varchar)", 2, "", "Date", kWorkingTimeFormat},
    {HistoryFile::DayEnergy, &AppPaths::totalGenDbDir, HistoryPeriod::Day, "daygen",
     {"zq700_4000kxdaygen", "zq700_4000kxdaygen", "zq700_4000kxdaygen"},
     "create table daygen(date varchar,daygen varchar)", "create table daygen(date varchar,daygen varchar)", 2, "",
     "date", kWorkingTimeFormat},
    {HistoryFile::AnalogData, &AppPaths::analogDbDir, HistoryPeriod::Day, "analogdata",
     {"ZQ700_4000KXAnalogData", "ThreeUPSAnalogData", "SingleUPSAnalogData"}, nullptr, nullptr, 0, "",
     "DateTime", kSnapshotTimeFormat},
    {HistoryFile::EventLog, &AppPaths::alarmDbDir, HistoryPeriod::Month, "alarmdata",
     {"ZQ700_4000KXEventLog", "ThreeUPSEventLog", "SingleUPSEventLog"}, nullptr, nullptr, 0, ""},
    {HistoryFile::SmsLog, &AppPaths::smsDbDir, HistoryPeriod::Month, "smslog",
     {"sms_log_s", "sms_log_s", "sms_log_s"},
     "create table smslog(DateTime varchar,user varchar,event varchar,flag varchar)",
     "create table smslog(DateTime varchar,user varchar,event varchar,flag varchar)", 4, ""},
};

const FileFormat &format(HistoryFile file)
{
    for (const FileFormat &f : kFormats) {
        if (f.file == file)
            return f;
    }
    Q_UNREACHABLE();
}

// "create table analogdata(DateTime varchar,..." or "create table alarmdata(...,Description int)".
QString valueTableCreateSql(HistoryFile file, DeviceFamily family)
{
    const bool events = file == HistoryFile::EventLog;
    const bool quotedNames = !events && family == DeviceFamily::Inverter;
    QString sql = QStringLiteral("create table %1(DateTime varchar").arg(QLatin1String(format(file).table));
    const HistoryValueColumns set = historyValueColumns(family);
    for (int i = 0; i < set.count; ++i) {
        const char *fragment = events ? set.columns[i].event : set.columns[i].analog;
        sql += quotedNames ? QStringLiteral(",'%1'").arg(QLatin1String(fragment))
                           : QStringLiteral(",%1").arg(QLatin1String(fragment));
    }
    sql += events ? QStringLiteral(",Description int)") : QStringLiteral(")");
    return sql;
}

} // namespace

HistoryPeriod historyPeriod(HistoryFile file)
{
    return format(file).period;
}

QString periodFormat(HistoryPeriod period)
{
    switch (period) {
    case HistoryPeriod::Day:
        return QStringLiteral("yyyyMMdd");
    case HistoryPeriod::Month:
        return QStringLiteral("yyyyMM");
    case HistoryPeriod::Year:
        return QStringLiteral("yyyy");
    case HistoryPeriod::None:
        break;
    }
    return QString();
}

QString periodText(HistoryPeriod period, const QDate &date)
{
    return period == HistoryPeriod::None ? QString() : date.toString(periodFormat(period));
}

bool isPeriodText(HistoryPeriod period, const QString &text)
{
    if (text.size() != periodFormat(period).size())
        return false;
    for (const QChar c : text) {
        // Not QChar::isDigit: that accepts the digits of every script.
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

QString historyFolder(HistoryFile file)
{
    return appPaths.*(format(file).folder);
}

int historyFamilyIndex(DeviceFamily family)
{
    switch (family) {
    case DeviceFamily::Inverter:
        return 0;
    case DeviceFamily::ThreePhaseUps:
        return 1;
    case DeviceFamily::SinglePhaseUps:
        break;
    }
    return 2;
}

QString historyStem(HistoryFile file, DeviceFamily family)
{
    return QLatin1String(format(file).stems[historyFamilyIndex(family)]);
}

QString historyFilePath(HistoryFile file, DeviceFamily family, const QString &period)
{
    return QStringLiteral("%1/%2%3.db").arg(historyFolder(file), historyStem(file, family), period);
}

QString historyFilePath(HistoryFile file, DeviceFamily family, const QDate &date)
{
    return historyFilePath(file, family, periodText(historyPeriod(file), date));
}

QString historyTableName(HistoryFile file)
{
    return QLatin1String(format(file).table);
}

QString historyCreateSql(HistoryFile file, DeviceFamily family)
{
    const FileFormat &f = format(file);
    if (!f.createUps)
        return valueTableCreateSql(file, family);
    return QLatin1String(family == DeviceFamily::Inverter ? f.createInverter : f.createUps);
}

int historyColumnCount(HistoryFile file, DeviceFamily family)
{
    const FileFormat &f = format(file);
    if (f.columnCount)
        return f.columnCount;
    const int timeAndValues = 1 + historyValueColumns(family).count;
    return file == HistoryFile::EventLog ? timeAndValues + 1 : timeAndValues;
}

QString historyInsertSql(HistoryFile file, DeviceFamily family)
{
    QString sql = QStringLiteral("insert into %1 values(?").arg(historyTableName(file));
    const int columns = historyColumnCount(file, family);
    sql.reserve(sql.size() + 2 * columns);
    for (int i = 1; i < columns; ++i)
        sql += QLatin1String(",?");
    sql += QLatin1Char(')');
    return sql;
}

QString historyDeleteSql(HistoryFile file)
{
    return QLatin1String(format(file).deleteSql);
}

std::optional<HistorySaveSlot> historySaveSlot(HistoryFile file, const QDateTime &time)
{
    const FileFormat &f = format(file);
    if (!f.saveTimeColumn)
        return std::nullopt;
    const QTime t = time.time();
    const QDateTime start(time.date(), QTime(t.hour(), t.minute() - t.minute() % kMinutesPerSaveSlot));
    const QString timeFormat = QLatin1String(f.saveTimeFormat);
    return HistorySaveSlot{QStringLiteral("select 1 from %1 where %2>=? and %2<? limit 1")
                               .arg(QLatin1String(f.table), QLatin1String(f.saveTimeColumn)),
                           start.toString(timeFormat), start.addSecs(kMinutesPerSaveSlot * 60).toString(timeFormat)};
}

HistoryValueColumns historyValueColumns(DeviceFamily family)
{
    if (family == DeviceFamily::Inverter)
        return {kInverterColumns, int(std::size(kInverterColumns))};
    return {kUpsColumns, int(std::size(kUpsColumns))};
}

int eventCodeColumn(DeviceFamily family)
{
    return 1 + historyValueColumns(family).count;
}
