#pragma once
// The one way the program talks to SQLite: a connection that lives for one call,
// statements with bound values, a row-by-row reader, and an all-or-nothing transaction.
//
// A DbConnection belongs to the thread that made it and is used there alone (a Qt SQL
// rule). Its registered name is the given prefix made unique per thread and instance, so
// two users of one prefix (two threads, or a reader opened inside a writer's call) never
// replace each other's connection. Any thread may make its own connections at any time.
#include "core/logging.h"

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <atomic>
#include <functional>

struct sqlite3_stmt;

// One row of forEachRawRow: the columns as SQLite's own UTF-8 texts, valid during the visit.
class RawRow
{
public:
    explicit RawRow(sqlite3_stmt *statement);
    int columnCount() const { return m_columns; }
    // The column's text (empty for NULL or a column past the row), not terminated.
    QByteArrayView text(int column) const;
    // The column as a whole number, without a text conversion (0 for NULL or past the row).
    qint64 integer(int column) const;

private:
    sqlite3_stmt *m_statement;
    int m_columns;
};

// How long a statement waits for a file that another connection (another thread or
// another program) holds locked, before it fails: long enough for the other side's
// statement to end, short enough that a one-second history tick is not badly late.
inline constexpr int kDefaultBusyWaitMs = 3000;
// Given as a connection's busy wait, it takes the process-wide one (busyWaitMs()).
inline constexpr int kProcessBusyWait = -1;

// The busy wait of every connection made without one of its own: kDefaultBusyWaitMs in the
// program. A test that must see a wait run out sets a short one instead of sitting out
// seconds; ms <= 0 restores the default. Any thread may read or set it.
int busyWaitMs();
void setBusyWaitMs(int ms);

// While one lives, the busy waits of the connections of its thread end as soon as `abandon`
// is set (from any thread), so a thread asked to stop does not sit out a lock another
// program holds. Scopes nest; the innermost counts.
class BusyWaitAbandon
{
public:
    explicit BusyWaitAbandon(const std::atomic<bool> &abandon);
    ~BusyWaitAbandon();
    BusyWaitAbandon(const BusyWaitAbandon &) = delete;
    BusyWaitAbandon &operator=(const BusyWaitAbandon &) = delete;

private:
    const std::atomic<bool> *m_previous;
};

class DbConnection
{
public:
    enum Mode {
        // Opens only a file that exists, read-only; never creates a file or a folder.
        ReadExisting,
        // Opens for writing; a missing file is created (its folder must exist).
        CreateIfMissing
    };

    enum FailureTrace {
        TraceFailures,
        // The caller reports lastError() itself (at debug level here): a writer retried
        // every second logs a lasting failure once (RetriedProblem), not at every attempt.
        CallerReportsFailures,
        // Failures are traced, but a file held locked by another connection is the caller's
        // to report (it tells the user the file is busy, or tries again later).
        CallerReportsBusy
    };

    // A failed open or statement is traced in the caller's category `log`. A statement that
    // meets a file held locked waits up to busyWaitMs for it (kProcessBusyWait: busyWaitMs()).
    DbConnection(const QString &namePrefix, const QString &path, Mode mode,
                 QMessageLogger::CategoryFunction log = lcCore, FailureTrace trace = TraceFailures,
                 int busyWaitMs = kProcessBusyWait);
    ~DbConnection(); // closes and removes the connection
    DbConnection(const DbConnection &) = delete;
    DbConnection &operator=(const DbConnection &) = delete;

    bool isOpen() const { return m_open; }
    // The latest failure (the open, a statement, a transaction) with SQLite's reason; empty
    // when nothing failed, also when a ReadExisting file does not exist.
    const QString &lastError() const { return m_lastError; }
    // True once a statement has failed because another connection held the file locked
    // (its wait ran out, or was abandoned): the file is busy, not broken.
    bool metBusyFile() const { return m_busy; }
    QSqlDatabase database() const;
    // The registered name: the prefix, "#", then what makes it unique.
    const QString &name() const { return m_name; }

    // Runs one statement with its bound values; a failure is traced and gives false.
    bool exec(const QString &sql, const QVariantList &values = {});
    // Runs a query and returns every row as texts, columns by position. ok (when given)
    // says whether the query ran. For small results; page through large ones with forEachRow.
    QList<QStringList> selectRows(const QString &sql, const QVariantList &values = {}, bool *ok = nullptr);
    // Steps through the result one row at a time, forward only, holding one row in memory;
    // visit returns false to stop early. False when the query failed (before or while stepping).
    bool forEachRow(const QString &sql, const QVariantList &values,
                    const std::function<bool(const QSqlQuery &row)> &visit);
    // The same through SQLite's own row access, without a QVariant per value: for readers
    // that stream a whole table (the CSV export). False when the query failed.
    bool forEachRawRow(const QString &sql, const std::function<bool(const RawRow &row)> &visit);
    // True when the file holds a table of that name. ok (when given) says whether the file
    // could be asked at all.
    bool hasTable(const QString &table, bool *ok = nullptr);
    // Runs createSql only when the table is missing, so a writer that sends its create text
    // before every insert leaves no failed statement in the trace. False when it is still
    // missing, or the file could not be asked (it is not tried twice: a file held locked
    // costs one wait, not two).
    bool createTableIfMissing(const QString &table, const QString &createSql);
    // Runs body inside one transaction: committed when body returns true, else rolled back,
    // so a crash or power cut leaves the old content or the new.
    bool transaction(const std::function<bool()> &body);
    // Replaces a whole table in one transaction: drop (absent on a first save), create,
    // then one insert per row with its values bound. False, with the old content kept,
    // when any step fails.
    bool rewriteTable(const QString &table, const QString &createSql, const QString &insertSql,
                      const QList<QVariantList> &rows);

private:
    // The one path of every statement: prepare, bind, execute, trace a failure.
    bool run(QSqlQuery &query, const QString &sql, const QVariantList &values);
    // Keeps the failure as lastError() and traces it as the connection was told; `code` is
    // SQLite's result code of the failure, 0 when there is none.
    void failed(const QString &text, int code = 0);
    // SQLite's busy handler: waits in short steps until the wait runs out or is abandoned.
    static int onBusy(void *self, int count);

    QString m_name;
    QMessageLogger::CategoryFunction m_log;
    bool m_added = false;
    bool m_open = false;
    FailureTrace m_trace;
    QString m_lastError;
    // The busy wait, used by onBusy in the connection's own thread.
    int m_busyWaitMs;
    QElapsedTimer m_busySince;
    bool m_gaveUp = false;    // the latest wait ran out or was abandoned
    bool m_busy = false;      // metBusyFile()
    bool m_abandoned = false; // a wait was abandoned
};

// Rewrites one table of the database file at path (rewriteTable) without writing the file
// itself: a copy beside it takes the new content and is renamed over it once complete, so
// a full disk, a failed statement or a file that is no database leaves the file as it was
// (and a missing one missing), with no copy behind. Other tables of the file are kept.
// False when nothing was replaced; failure (when given) then receives the reason in
// words for the user (writeFailureReason). The caller logs the failure once.
bool replaceTableInFile(const QString &namePrefix, const QString &path, const QString &table,
                        const QString &createSql, const QString &insertSql, const QList<QVariantList> &rows,
                        QString *failure = nullptr);
// The name of that copy while it is written; a copy left by a crash is removed first.
QString replacementPath(const QString &path);
