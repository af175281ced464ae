#include "core/sqlutil.h"

#include "core/helpers.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <QThread>

#include <sqlite3.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
// The history thread writes while the browser, the mails or another process read the
// same file; a few seconds lets the other side's statement end instead of failing at once,
// and stays well inside what a one-second history tick may be late by.
constexpr int kBusyTimeoutMs = 3000;

QString uniqueName(const QString &prefix)
{
    static std::atomic<quint64> serial{0};
    return QStringLiteral("%1#%2#%3")
        .arg(prefix)
        .arg(reinterpret_cast<quintptr>(QThread::currentThreadId()), 0, 16)
        .arg(serial.fetch_add(1, std::memory_order_relaxed) + 1);
}
}

DbConnection::DbConnection(const QString &namePrefix, const QString &path, Mode mode,
                           QMessageLogger::CategoryFunction log, FailureTrace trace)
    : m_name(uniqueName(namePrefix)), m_log(log), m_trace(trace)
{
    if (mode == ReadExisting && !QFileInfo(path).isFile())
        return;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_added = true;
        db.setDatabaseName(path);
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs);
        // Read-only at the SQLite level too, so even a file deleted between the check and
        // the open is not created again.
        if (mode == ReadExisting)
            options += QStringLiteral(";QSQLITE_OPEN_READONLY");
        db.setConnectOptions(options);
        m_open = db.open();
        if (!m_open)
            failed(QStringLiteral("cannot open database %1: %2").arg(path, db.lastError().text()));
    }
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

void DbConnection::failed(const QString &text)
{
    m_lastError = text;
    if (m_trace == TraceFailures)
        qCWarning(m_log).noquote() << text;
    else
        qCDebug(m_log).noquote() << text;
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
        failed(QStringLiteral("statement failed: %1: %2").arg(sql, query.lastError().text()));
        return false;
    }
    for (const QVariant &v : values)
        query.addBindValue(v);
    if (!query.exec()) {
        failed(QStringLiteral("statement failed: %1: %2").arg(sql, query.lastError().text()));
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
        failed(QStringLiteral("statement failed: %1: %2").arg(sql, query.lastError().text()));
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
    const QVariant handle = database().driver()->handle();
    sqlite3 *db = handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0
                      ? *static_cast<sqlite3 *const *>(handle.data())
                      : nullptr;
    if (!db)
        return false;
    sqlite3_stmt *statement = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &statement, nullptr) != SQLITE_OK) {
        failed(QStringLiteral("statement failed: %1: %2").arg(sql, QString::fromUtf8(sqlite3_errmsg(db))));
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
        failed(QStringLiteral("statement failed: %1: %2").arg(sql, QString::fromUtf8(sqlite3_errmsg(db))));
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

bool DbConnection::hasTable(const QString &table)
{
    bool found = false;
    forEachRow(QStringLiteral("select 1 from sqlite_master where type='table' and name=?"), {table},
               [&found](const QSqlQuery &) {
                   found = true;
                   return false;
               });
    return found;
}

bool DbConnection::createTableIfMissing(const QString &table, const QString &createSql)
{
    return hasTable(table) || exec(createSql);
}

bool DbConnection::transaction(const std::function<bool()> &body)
{
    if (!m_open)
        return false;
    QSqlDatabase db = database();
    if (!db.transaction()) {
        failed(QStringLiteral("cannot begin transaction: %1").arg(db.lastError().text()));
        return false;
    }
    if (!body()) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        failed(QStringLiteral("commit failed: %1").arg(db.lastError().text()));
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
