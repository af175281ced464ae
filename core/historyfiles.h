#pragma once
// Every history file of the program, as data: its folder, the stem of each device family,
// the period in its name, its table with the create text of each family and its column
// order. The history thread writes these files; the browser, the CSV export, the report
// mails and the SMS log read or write them through the same names, so a file written by
// one is the file the others look for. Files written by other installations are read by
// column position, so the names, create texts and positions here are an external format.
//
// Stateless apart from appPaths (core/paths.h), which is read-only once main() has set it;
// callable from any thread.
#include "core/protocolcode.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

enum class HistoryFile {
    DayGen,        // power curve of a day, one row per save
    MonthGen,      // energy of each day of a month
    YearGen,       // energy of each month of a year
    TotalGen,      // energy of each year, no period in the name
    TotalGenByDay, // inverter's lifetime counter at every save of a day (in "totalgendb")
    DayEnergy,     // inverter's energy of the day at every save (in "totalgendb")
    AnalogData,    // five-minute snapshots of the live values of a day
    EventLog,      // events of a month
    SmsLog         // sent SMS of a month
};

enum class HistoryPeriod { None, Day, Month, Year };

HistoryPeriod historyPeriod(HistoryFile file);
// "yyyyMMdd", "yyyyMM", "yyyy"; "" for None.
QString periodFormat(HistoryPeriod period);
QString periodText(HistoryPeriod period, const QDate &date);
// True when text is exactly the ASCII digits of the period's form (8, 6 or 4 of them; the
// empty text for None), so a period from a request can name no other file or folder.
bool isPeriodText(HistoryPeriod period, const QString &text);

// The folder member of appPaths that holds the file.
QString historyFolder(HistoryFile file);
// Per-family tables of history names hold their entries in this order: inverter,
// three-phase UPS, single-phase UPS.
constexpr int kHistoryFamilyCount = 3;
int historyFamilyIndex(DeviceFamily family);

// The stem of the family: "threeUPSdaygen", "ZQ700_4000KXEventLog", "sms_log_s" ... The
// inverter's two working files have the inverter's stem whatever the family.
QString historyStem(HistoryFile file, DeviceFamily family);
// folder + "/" + stem + period + ".db". The period is used as given: check a period that
// comes from outside with isPeriodText first.
QString historyFilePath(HistoryFile file, DeviceFamily family, const QString &period);
// The same with the period of date in the file's form.
QString historyFilePath(HistoryFile file, DeviceFamily family, const QDate &date);

// The one table of the file: "daygen", "analogdata", "alarmdata", "smslog" ...
QString historyTableName(HistoryFile file);
// The create text of the family's table, exactly as the files carry it in their schema.
QString historyCreateSql(HistoryFile file, DeviceFamily family);
// The number of columns of the family's table.
int historyColumnCount(HistoryFile file, DeviceFamily family);
// "insert into <table> values(?,...)" with one placeholder per column.
QString historyInsertSql(HistoryFile file, DeviceFamily family);
// The delete of a period row by its date (the second column of a month or year file, the
// first of the total file), "" for files whose rows are only appended.
QString historyDeleteSql(HistoryFile file);

// The history thread saves once per slot of this many minutes, starting on the hour.
inline constexpr int kMinutesPerSaveSlot = 5;

// The rows of one five-minute save slot in a file that gets a row per save (snapshots,
// the day curve, the inverter's two working files): a select that yields a row when the
// slot of `time` is saved already, with its two values (the slot's start, inclusive, and
// its end, exclusive, as the file writes times). nullopt for the files whose period rows
// are replaced, and for the event and SMS logs.
struct HistorySaveSlot
{
    QString selectSql;
    QString from, to;
};
std::optional<HistorySaveSlot> historySaveSlot(HistoryFile file, const QDateTime &time);

// The live-value columns of the snapshot and event tables, in their order after the time
// column (positions 1.. counted from 0). valueIndex is the entry of upsInfo.values
// (UPS families) or of inverterInfo.values (inverter) that the column holds.
struct HistoryValueColumn
{
    const char *analog; // fragment of the analogdata create text
    const char *event;  // fragment of the alarmdata create text
    int valueIndex;
};
struct HistoryValueColumns
{
    const HistoryValueColumn *columns;
    int count;
};
HistoryValueColumns historyValueColumns(DeviceFamily family);
// Position (from 0) of the event code in an event-log row: after the time and the values.
int eventCodeColumn(DeviceFamily family);

// Time texts in the rows.
inline constexpr const char *kSnapshotTimeFormat = "yyyy/MM/dd hh:mm";  // analogdata, daygen Date
inline constexpr const char *kEventTimeFormat = "yyyy/MM/dd hh:mm:ss";  // alarmdata
inline constexpr const char *kWorkingTimeFormat = "yyyyMMdd hh:mm";     // the inverter's working files
