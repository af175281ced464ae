#pragma once
// The one way the program talks to SQLite: a named connection that lives for one
// call, statements with bound values, and an all-or-nothing transaction.
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>

class DbConnection
{
public:
    enum Mode {
        // Opens only a file that exists, read-only; never creates one.
        ReadExisting,
        // Opens for writing; a missing file is created.
        CreateIfMissing
    };

    DbConnection(const QString &connectionName, const QString &path, Mode mode);
    ~DbConnection(); // closes and removes the connection
    DbConnection(const DbConnection &) = delete;
    DbConnection &operator=(const DbConnection &) = delete;

    bool isOpen() const { return m_open; }
    QSqlDatabase database() const;
    const QString &name() const { return m_name; }

    // Runs one statement with its bound values; a failure is traced and gives false.
    bool exec(const QString &sql, const QVariantList &values = {});
    // Runs a query and returns every row as texts, columns by position. ok (when given)
    // says whether the query ran.
    QList<QStringList> selectRows(const QString &sql, const QVariantList &values = {}, bool *ok = nullptr);
    // Runs body inside one transaction: committed when body returns true, else rolled back,
    // so a crash or power cut leaves the old content or the new.
    bool transaction(const std::function<bool()> &body);
    // Replaces a whole table in one transaction: drop (absent on a first save), create,
    // then one insert per row with its values bound. False, with the old content kept,
    // when any step fails.
    bool rewriteTable(const QString &table, const QString &createSql, const QString &insertSql,
                      const QList<QVariantList> &rows);

private:
    QString m_name;
    bool m_added = false;
    bool m_open = false;
};
