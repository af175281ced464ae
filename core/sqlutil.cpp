#include "core/sqlutil.h"

#include "core/helpers.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
// A busy wait looks at its end and at an abandon request this often: a stop is seen
// within it, and the waiting thread takes no noticeable processor time.
constexpr int kBusyPollMs = 10;

// busyWaitMs(): read by every thread that opens a connection.
std::atomic<int> g_busyWaitMs{kDefaultBusyWaitMs};

// The abandon flag of the innermost BusyWaitAbandon of this thread.
thread_local const std::atomic<bool> *t_abandon = nullptr;

QString uniqueName(const QString &prefix)
{
    static std::atomic<quint64> serial{0};
    return QStringLiteral("%1#%2#%3")
        .arg(prefix)
        .arg(reinterpret_cast<quintptr>(QThread::currentThreadId()), 0, 16)
        .arg(serial.fetch_add(1, std::memory_order_relaxed) + 1);
}

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    return handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0
               ? *static_cast<sqlite3 *const *>(handle.data())
               : nullptr;
}

// SQLite's code for a file another connection holds locked, extended codes included.
bool isBusyCode(int code)
{
    return (code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED;
}

int codeOf(const QSqlError &error)
{
    return error.nativeErrorCode().toInt();
}
}

int busyWaitMs()
{
    return g_busyWaitMs.load();
}

void setBusyWaitMs(int ms)
{
    g_busyWaitMs.store(ms > 0 ? ms : kDefaultBusyWaitMs);
}

BusyWaitAbandon::BusyWaitAbandon(const std::atomic<bool> &abandon) : m_previous(t_abandon)
{
    t_abandon = &abandon;
}

BusyWaitAbandon::~BusyWaitAbandon()
{
    t_abandon = m_previous;
}

DbConnection::DbConnection(const QString &namePrefix, const QString &path, Mode mode,
                           QMessageLogger::CategoryFunction log, FailureTrace trace, int busyWaitMs)
    : m_name(uniqueName(namePrefix)), m_log(log), m_trace(trace),
      m_busyWaitMs(busyWaitMs == kProcessBusyWait ? ::busyWaitMs() : busyWaitMs)
{
    if (mode == ReadExisting && !QFileInfo(path).isFile())
        return;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_added = true;
        db.setDatabaseName(path);
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyWaitMs);
        // Read-only at the SQLite level too, so even a file deleted between the check and
        // the open is not created again.
        if (mode == ReadExisting)
            options += QStringLiteral(";QSQLITE_OPEN_READONLY");
        db.setConnectOptions(options);
        m_open = db.open();
        if (!m_open) {
            failed(QStringLiteral("cannot open database %1: %2").arg(path, db.lastError().text()),
                   codeOf(db.lastError()));
        } else if (sqlite3 *handle = sqliteHandle(db)) {
            // In place of the driver's plain time-out, which no stop request can end.
            sqlite3_busy_handler(handle, &DbConnection::onBusy, this);
        }
    }
}

int DbConnection::onBusy(void *self, int count)
{
    auto *c = static_cast<DbConnection *>(self);
    if (count == 0)
        c->m_busySince.start();
    const qint64 left = c->m_busyWaitMs - c->m_busySince.elapsed();
    const bool abandoned = t_abandon && t_abandon->load();
    if (left <= 0 || abandoned) {
        c->m_abandoned = c->m_abandoned || abandoned;
        c->m_gaveUp = true;
        return 0;
    }
    QThread::msleep(std::min<qint64>(kBusyPollMs, left));
    return 1;
}

DbConnection::~DbConnection()
{
    if (!m_added)
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

void DbConnection::failed(const QString &text, int code)
{
    // The driver keeps no code for a failed begin or commit; a wait that ran out tells.
    const bool busy = isBusyCode(code) || m_gaveUp;
    m_gaveUp = false;
    m_busy = m_busy || busy;
    m_lastError = text;
    // A wait abandoned for a stop is the stopping side's to report.
    const bool callerReports = m_abandoned || m_trace == CallerReportsFailures
        || (m_trace == CallerReportsBusy && busy);
    if (callerReports)
        qCDebug(m_log).noquote() << text;
    else
        qCWarning(m_log).noquote() << text;
}

QSqlDatabase DbConnection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

bool DbConnection::run(QSqlQuery &query, const QString &sql, const QVariantList &values)
{
    if (!m_open)
        return false;
    if (!query.prepare(sql)) {
        failed(QStringLiteral("statement failed: %1: %2").arg(sql, query.lastError().text()), codeOf(query.lastError()));
        return false;
    }
    for (const QVariant &v : values)
        query.addBindValue(v);
    if (!query.exec()) {
        failed(QStringLiteral("statement failed: %1: %2").arg(sql, query.lastError().text()), codeOf(query.lastError()));
        return false;
    }
    return true;
}

bool DbConnection::exec(const QString &sql, const QVariantList &values)
{
    QSqlQuery query(database());
    return run(query, sql, values);
}

bool DbConnection::forEachRow(const QString &sql, const QVariantList &values,
                              const std::function<bool(const QSqlQuery &row)> &visit)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!run(query, sql, values))
        return false;
    while (query.next()) {
        if (!visit(query))
            return true;
    }
    if (query.lastError().isValid()) {
        failed(QStringLiteral("statement failed: %1: %2").arg(sql, query.lastError().text()), codeOf(query.lastError()));
        return false;
    }
    return true;
}

RawRow::RawRow(sqlite3_stmt *statement) : m_statement(statement), m_columns(sqlite3_column_count(statement)) {}

QByteArrayView RawRow::text(int column) const
{
    if (column < 0 || column >= m_columns)
        return {};
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return bytes ? QByteArrayView(bytes, sqlite3_column_bytes(m_statement, column)) : QByteArrayView();
}

qint64 RawRow::integer(int column) const
{
    return column >= 0 && column < m_columns ? sqlite3_column_int64(m_statement, column) : 0;
}

bool DbConnection::forEachRawRow(const QString &sql, const std::function<bool(const RawRow &row)> &visit)
{
    if (!m_open)
        return false;
    sqlite3 *db = sqliteHandle(database());
    if (!db)
        return false;
    sqlite3_stmt *statement = nullptr;
    const QByteArray text = sql.toUtf8();
    const int prepared = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &statement, nullptr);
    if (prepared != SQLITE_OK) {
        failed(QStringLiteral("statement failed: %1: %2").arg(sql, QString::fromUtf8(sqlite3_errmsg(db))), prepared);
        sqlite3_finalize(statement);
        return false;
    }
    const RawRow row(statement);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        if (!visit(row)) {
            rc = SQLITE_DONE;
            break;
        }
    }
    if (rc != SQLITE_DONE)
        failed(QStringLiteral("statement failed: %1: %2").arg(sql, QString::fromUtf8(sqlite3_errmsg(db))), rc);
    sqlite3_finalize(statement);
    return rc == SQLITE_DONE;
}

QList<QStringList> DbConnection::selectRows(const QString &sql, const QVariantList &values, bool *ok)
{
    QList<QStringList> rows;
    const bool ran = forEachRow(sql, values, [&rows](const QSqlQuery &query) {
        const int columns = query.record().count();
        QStringList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row << query.value(c).toString();
        rows << row;
        return true;
    });
    if (ok)
        *ok = ran;
    return rows;
}

bool DbConnection::hasTable(const QString &table, bool *ok)
{
    bool found = false;
    const bool ran = forEachRow(QStringLiteral("select 1 from sqlite_master where type='table' and name=?"), {table},
                                [&found](const QSqlQuery &) {
                                    found = true;
                                    return false;
                                });
    if (ok)
        *ok = ran;
    return found;
}

bool DbConnection::createTableIfMissing(const QString &table, const QString &createSql)
{
    bool asked = false;
    if (hasTable(table, &asked))
        return true;
    return asked && exec(createSql);
}

bool DbConnection::transaction(const std::function<bool()> &body)
{
    if (!m_open)
        return false;
    QSqlDatabase db = database();
    if (!db.transaction()) {
        failed(QStringLiteral("cannot begin transaction: %1").arg(db.lastError().text()), codeOf(db.lastError()));
        return false;
    }
    if (!body()) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        failed(QStringLiteral("commit failed: %1").arg(db.lastError().text()), codeOf(db.lastError()));
        db.rollback();
        return false;
    }
    return true;
}

bool DbConnection::rewriteTable(const QString &table, const QString &createSql, const QString &insertSql,
                                const QList<QVariantList> &rows)
{
    return transaction([&] {
        if (hasTable(table) && !exec(QStringLiteral("drop table ") + table))
            return false;
        if (!exec(createSql))
            return false;
        for (const QVariantList &row : rows) {
            if (!exec(insertSql, row))
                return false;
        }
        return true;
    });
}

QString replacementPath(const QString &path)
{
    return path + QStringLiteral(".new");
}

bool replaceTableInFile(const QString &namePrefix, const QString &path, const QString &table,
                        const QString &createSql, const QString &insertSql, const QList<QVariantList> &rows,
                        QString *failure)
{
    const QString copy = replacementPath(path);
    const auto removeCopy = [&copy] {
        QFile::remove(copy);
        QFile::remove(copy + QStringLiteral("-journal"));
    };
    const auto fail = [&](const QString &detail) {
        removeCopy();
        if (failure)
            *failure = writeFailureReason(path, detail);
        return false;
    };
    removeCopy();
    if (QFileInfo::exists(path)) {
        QFile original(path);
        if (!original.copy(copy))
            return fail(QStringLiteral("cannot copy %1: %2").arg(path, original.errorString()));
    }
    {
        DbConnection db(namePrefix, copy, DbConnection::CreateIfMissing, lcCore, DbConnection::CallerReportsFailures);
        if (!db.rewriteTable(table, createSql, insertSql, rows))
            return fail(db.lastError());
    }
    // rename(2) replaces the old file in one step: a reader has the old file or the new.
    if (std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path).constData()) != 0) {
        const int error = errno;
        return fail(QStringLiteral("cannot replace %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error))));
    }
    return true;
}
