#pragma once
// The history browser's work without the bridge object: which file a page, chart, clear or
// export names, the column sets of the record pages, one page of rows, the chart texts, the
// CSV export and the clear. The slots in bridge/qmlobject_history.cpp are thin shells over
// these, and the browser benchmark calls them directly. The export is written by
// history/csvwriter.
//
// Reentrant; each call opens its own connection (core/sqlutil) read-only and closes it
// before it returns, so no call ever creates a history file. Callers pass in what they
// copied from the shared state (protocol, link state, masks, event texts).
#include "core/historyfiles.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class QSqlQuery;

// The six kinds of history file the pages show, in the order the requests name them.
enum class HistoryKind { ReportDay, ReportMonth, ReportYear, AnalogRecord, EventRecord, SmsRecord };

// "report_day" ... "record_smsdata", matched exactly (case-sensitive); nullopt otherwise.
std::optional<HistoryKind> historyKindOf(const QString &type);
QString historyKindType(HistoryKind kind);
HistoryFile historyKindFile(HistoryKind kind);
bool isRecordPageKind(HistoryKind kind); // analog snapshots or events: pages with headings

// The file of a kind, family and period; the empty text when the period is not exactly the
// digits of the kind's period form, so a request can name no other file or folder.
QString historyKindPath(HistoryKind kind, DeviceFamily family, const QString &period);

// Whether there is a history file at path to read (a regular file; the empty path names none).
bool historyFileExists(const QString &path);
// Deletes the history file at path, if there is one: true when nothing of that name is left
// (a missing file is cleared already); otherwise false, and why in *error.
bool removeHistoryFile(const QString &path, QString *error);

// Connection prefixes of the page reader and of the export (unique per use, core/sqlutil).
QString pageConnectionName(HistoryKind kind, DeviceFamily family);
QString exportConnectionName(HistoryKind kind, DeviceFamily family);
// The name the Save As dialog proposes: "DayReport20240501.csv", "EventRecord_s202405.csv".
// A period that is not the kind's form is left out of it.
QString defaultCsvName(HistoryKind kind, DeviceFamily family, const QString &period);

// What a page's column set depends on, copied once per request under upsInfo.lock.
struct RecordSnapshot
{
    DeviceFamily family = DeviceFamily::ThreePhaseUps;
    bool communicating = false;
    uint16_t batMask = 0, inputMask = 0, outputMask = 0, bypassMask = 0, pvMask = 0;
};
RecordSnapshot takeRecordSnapshot(const QString &comProtocol);

// One value column of a record page: its heading (an untranslated text of the "qmlobject"
// context) and its position in the stored row.
struct RecordColumn
{
    const char *heading;
    int position;
};
// The device set (communicating: the inverter's 17 columns, or the UPS columns the masks
// select) or, when not communicating, the 23 default columns.
QList<RecordColumn> deviceRecordColumns(const RecordSnapshot &snapshot);
QList<RecordColumn> defaultRecordColumns();
QList<RecordColumn> recordColumns(const RecordSnapshot &snapshot);
// "DateTime", "Event Description" for events (kind 2), then the columns' headings, each
// translated through the translators installed now.
void appendRecordHeadings(QStringList &keys, int kind, const QList<RecordColumn> &columns);

inline constexpr int kPageRows = 10;

// The longest a request of the window waits for a history file that another program holds
// locked: a click must not freeze the window; the page says the file is busy instead.
inline constexpr int kBrowserBusyWaitMs = 250;

struct HistoryPage
{
    bool opened = false;  // the file opened
    bool queried = false; // its table answered
    bool busy = false;    // another connection held the file locked
    QString error;        // why it did not open or answer
    qint64 count = 0;     // rows of the whole table
    QList<QStringList> rows;
};

// The page number of a request: base-10, a text that is no number counts as 0; a number
// too large for 64 bits is past every end (INT64_MAX).
qint64 pageNumberOf(const QString &text);

// Rows page*10 .. page*10+9 of the kind's table, newest first (by Date or DateTime, then
// the insertion order), with their cells. The order of the row ids is sorted once per
// state of the file and kept (one file at a time, guarded by a lock), so only the ten rows
// of a page are read while the file stays as it is. A negative page or one past the end
// reads no rows but the true count.
HistoryPage readHistoryPage(HistoryKind kind, const QString &path, const QString &connectionName, qint64 page,
                            const RecordSnapshot &snapshot, const QStringList &eventTexts);

// The reply of a chart request on the file at path (empty path: no file): the day series,
// or the month/year/total field rows; the total padded back to 15 years. The empty text
// for a missing, unreadable or empty file.
enum class ChartKind { Day, Month, Year, Total };
std::optional<ChartKind> chartKindOf(const QString &flag);
HistoryFile chartKindFile(ChartKind kind);
// busy (when given) says whether the file was held locked, so the empty text tells nothing.
QString chartReply(ChartKind kind, const QString &path, const QString &connectionName, bool *busy = nullptr);

struct CsvExportResult
{
    enum Failure {
        None,
        TargetRefused,   // not a regular file, the history file itself, or a database
        TargetFailed,    // the target could not be written
        HistoryBusy,     // another program held the history file locked
        HistoryUnreadable // the history file is damaged or cut short
    };
    bool written = false; // the target holds the complete export
    bool opened = false;  // the history file opened
    Failure failure = None;
    qint64 rows = 0;
    QString error;        // why not, for the user
};
// Writes the export of the kind's file at dbPath to target: the header line, then every
// row newest first, the event code as its text. A missing file, or one without its table
// (no history yet), gives the header line alone; a file that cannot be read writes
// nothing. A target that is not a regular file, or is a database (the history file being
// exported above all), is refused and left as it is. The target is replaced only by a
// complete file (written beside it, then renamed), so a failed export leaves the old file
// as it was.
CsvExportResult writeHistoryCsv(HistoryKind kind, const QString &dbPath,
                                const QString &connectionName, const QStringList &header,
                                const QStringList &eventTexts, const QString &target);

// The header texts of each kind's export, untranslated (sources of the "qmlobject" context).
QList<const char *> csvHeaderSources(HistoryKind kind, DeviceFamily family);
