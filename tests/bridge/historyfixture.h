#pragma once
// History files for the browser tests, built the way the history thread writes them: the
// family's create text and insert statement of core/historyfiles on a plain connection of
// the test's own; large files through the sqlite3 tool.
#include "core/historyfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QtTest>

// Creates the file of (file, family, period) when missing and appends the rows, each padded
// with empty texts or cut to the table's column count.
inline bool writeHistoryRows(HistoryFile file, DeviceFamily family, const QString &period,
                             const QList<QStringList> &rows)
{
    const QString path = historyFilePath(file, family, period);
    QDir().mkpath(QFileInfo(path).path());
    const int columns = historyColumnCount(file, family);
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("historyfixture"));
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery create(db);
        create.exec(historyCreateSql(file, family)); // fails on an existing table, as for the writer
        db.transaction();
        for (const QStringList &row : rows) {
            QSqlQuery insert(db);
            insert.prepare(historyInsertSql(file, family));
            for (int c = 0; c < columns; ++c)
                insert.addBindValue(c < row.size() ? row.at(c) : QString());
            if (!insert.exec()) {
                qWarning() << "fixture insert failed" << insert.lastError().text();
                ok = false;
            }
        }
        ok = db.commit() && ok;
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("historyfixture"));
    return ok;
}

// Runs SQL on a file through the sqlite3 tool; its standard output.
inline QString runSqlite3(const QString &path, const QString &sql, const QStringList &options = {})
{
    QProcess p;
    p.start(QStringLiteral("sqlite3"), QStringList(options) << path << sql);
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        qWarning() << "sqlite3 failed" << p.readAllStandardError();
        return QStringLiteral("<sqlite3 failed>");
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

// A day-generation row: slot number, save time on 2026-01-15, power.
inline QStringList dayRow(int hour, int minute, const QString &power)
{
    return {QString::number((hour * 60 + minute) / 5),
            QStringLiteral("2026/01/15 %1:%2").arg(hour, 2, 10, QLatin1Char('0')).arg(minute, 2, 10, QLatin1Char('0')),
            power};
}

// An event-log row of the family: the time, values "v<position>", then the code.
inline QStringList eventRow(DeviceFamily family, const QString &time, const QString &code)
{
    QStringList row{time};
    const int codeColumn = eventCodeColumn(family);
    for (int p = 1; p < codeColumn; ++p)
        row << QStringLiteral("v%1").arg(p);
    row << code;
    return row;
}

// A snapshot row of the family: the time, then values "a<position>".
inline QStringList analogRow(DeviceFamily family, const QString &time)
{
    QStringList row{time};
    const int columns = historyColumnCount(HistoryFile::AnalogData, family);
    for (int p = 1; p < columns; ++p)
        row << QStringLiteral("a%1").arg(p);
    return row;
}
