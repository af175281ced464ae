#include "core/sqlutil.h"

#include "core/logging.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlRecord>

namespace {
// A history writer and a page reader may touch one file at the same moment; wait a
// little for the other's lock rather than fail at once.
constexpr int kBusyTimeoutMs = 2000;
}

DbConnection::DbConnection(const QString &connectionName, const QString &path, Mode mode)
    : m_name(connectionName)
{
    if (mode == ReadExisting && !QFileInfo(path).isFile())
        return;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_added = true;
        db.setDatabaseName(path);
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs);
        if (mode == ReadExisting)
            options += QStringLiteral(";QSQLITE_OPEN_READONLY");
        db.setConnectOptions(options);
        m_open = db.open();
        if (!m_open)
            qCWarning(lcCore) << "cannot open database" << path << db.lastError().text();
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

QSqlDatabase DbConnection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

bool DbConnection::exec(const QString &sql, const QVariantList &values)
{
    if (!m_open)
        return false;
    QSqlQuery query(database());
    if (!query.prepare(sql)) {
        qCDebug(lcCore) << "prepare failed" << sql << query.lastError().text();
        return false;
    }
    for (const QVariant &v : values)
        query.addBindValue(v);
    if (!query.exec()) {
        qCDebug(lcCore) << "statement failed" << sql << query.lastError().text();
        return false;
    }
    return true;
}

QList<QStringList> DbConnection::selectRows(const QString &sql, const QVariantList &values, bool *ok)
{
    QList<QStringList> rows;
    if (ok)
        *ok = false;
    if (!m_open)
        return rows;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.prepare(sql)) {
        qCDebug(lcCore) << "prepare failed" << sql << query.lastError().text();
        return rows;
    }
    for (const QVariant &v : values)
        query.addBindValue(v);
    if (!query.exec()) {
        qCDebug(lcCore) << "query failed" << sql << query.lastError().text();
        return rows;
    }
    const int columns = query.record().count();
    while (query.next()) {
        QStringList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row << query.value(c).toString();
        rows << row;
    }
    if (ok)
        *ok = !query.lastError().isValid();
    return rows;
}

bool DbConnection::transaction(const std::function<bool()> &body)
{
    if (!m_open)
        return false;
    QSqlDatabase db = database();
    if (!db.transaction()) {
        qCDebug(lcCore) << "cannot begin transaction" << db.lastError().text();
        return false;
    }
    if (!body()) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        qCDebug(lcCore) << "commit failed" << db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

bool DbConnection::rewriteTable(const QString &table, const QString &createSql, const QString &insertSql,
                                const QList<QVariantList> &rows)
{
    return transaction([&] {
        // Fails harmlessly when the table does not exist yet.
        exec(QStringLiteral("drop table ") + table);
        if (!exec(createSql))
            return false;
        for (const QVariantList &row : rows) {
            if (!exec(insertSql, row))
                return false;
        }
        return true;
    });
}
