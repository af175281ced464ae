#pragma once
// The history thread's file operations, each written once: one row into one history
// file, and the three reads the writers build on. Names, create texts and column orders
// come from core/historyfiles; every connection from core/sqlutil.
//
// Reentrant; each call opens and removes its own connection. The history thread calls
// them; the benchmark and the tests too.
#include "core/historyfiles.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariantList>

#include <functional>

// What became of one row of a five-minute save.
enum class WriteOutcome {
    Written,
    AlreadySaved, // the file holds a row of this save slot already (the clock was set back)
    Busy,         // another connection held the file locked: worth another try
    Failed        // traced; another try would fail the same way
};

// Writes one row into a history file: the file's folder is made when missing, the
// family's table is created when missing, and the row is appended or, with a replaceKey,
// replaces the period row of that date (delete and insert in one transaction, so a crash
// or a failed insert leaves the old row). A file that gets a row per save slot
// (historySaveSlot) is left as it is when it holds a row of the slot of saveTime already.
// makeRow runs only once the file is open. A file held locked is not traced: the caller
// retries it.
WriteOutcome writeHistoryRow(const QString &connection, HistoryFile file, DeviceFamily family, const QString &path,
                             const QDateTime &saveTime, const std::function<QVariantList()> &makeRow,
                             const QString &replaceKey = QString());

// A live value copied under the device lock: an entry of inverterInfo.values or upsInfo.values.
QString inverterValueCopy(int index);
QString upsValueCopy(int index);
// The UPS families' number texts: one decimal for the three-phase family, two otherwise.
int upsDecimals(DeviceFamily family);
QString formatUpsValue(const QString &text, DeviceFamily family);

// Makes a history folder when it is missing; false when it cannot be made. The failure is
// traced, or, when `problem` is given, described there for the caller to report.
bool ensureHistoryFolder(HistoryFile file, QString *problem = nullptr);

// The first lifetime total of a day, from the day's counter file (the row inserted first).
struct FirstRow
{
    enum State { NoFile, NoTable, NoRow, Found, Busy } state = NoFile;
    QString text;
};
FirstRow readFirstTotal(const QDate &day);

// The same, read again only when the day's counter file has changed since the last read
// (another name, size or modification time), so the once-a-second day-energy step costs a
// look at the file, not an SQLite open. The first row of a file never changes while the
// file lives; deleting the file ("cleartotalgen") shows at once. One thread uses an object.
class FirstTotalReader
{
public:
    FirstRow read(const QDate &day);

private:
    QString m_path;
    qint64 m_size = -1;
    QDateTime m_modified;
    FirstRow m_row;
};
// The latest energy of the day from the day's working file; "" when there is none. busy
// (when given) says whether the file was held locked, so "" means nothing.
QString readLatestDayEnergy(const QDate &day, bool *busy = nullptr);

// The sum of the Gen column of a month file ("yyyyMM") or a year file ("yyyy").
struct GenSum
{
    enum State { NoFile, NoTable, Summed, Busy } state = NoFile;
    double sum = 0;
};
GenSum sumGenColumn(HistoryFile file, DeviceFamily family, const QString &period);
