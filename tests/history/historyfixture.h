#pragma once
// A history thread on a temporary program folder with the fixed clock: the shared device
// values, the protocol and the queues are set by the test, and the files are read back
// with plain statements or the sqlite3 tool.
#include "core/devicestate.h"
#include "core/events.h"
#include "core/historyfiles.h"
#include "core/settings.h"
#include "history/data_thread.h"
#include "tests/core/dbfixture.h"
#include "tests/support/testenv.h"

#include <QProcess>

inline void setProtocol(const QString &code)
{
    QWriteLocker locker(&settingsLock);
    deviceSettings.comProtocol = code;
}

inline void setCommState(int state)
{
    upsInfo.commState = state;
}

inline void setUpsValues(const QString &text)
{
    QWriteLocker locker(&upsInfo.lock);
    for (QString &v : upsInfo.values)
        v = text;
}

inline void setInverterValue(int index, const QString &text)
{
    QWriteLocker locker(&upsInfo.lock);
    inverterInfo.values[index] = text;
}

inline QString inverterValueNow(int index)
{
    QReadLocker locker(&upsInfo.lock);
    return inverterInfo.values[index];
}

inline QDateTime at(int y, int mo, int d, int h, int mi, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

inline int queuedDbEvents()
{
    QReadLocker locker(&dbEventQueueLock);
    return int(dbEventQueue.size());
}

inline void queueDbEvent(const QDateTime &time, int code)
{
    pushEvent(dbEventQueue, dbEventQueueLock, EventItem{time, code});
}

// The file as the command-line tool sees it: every row, fields joined with "|".
inline QStringList sqliteRows(const QString &path, const QString &sql)
{
    QProcess tool;
    tool.start(QStringLiteral("sqlite3"), {QStringLiteral("-readonly"), path, sql});
    if (!tool.waitForFinished(10000) || tool.exitCode() != 0)
        return {QStringLiteral("sqlite3 failed: ") + QString::fromUtf8(tool.readAllStandardError())};
    return QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The create text of the file's table as SQLite keeps it (as sent, but its first two words in
// capitals), those two words given back as the writers send them.
inline QString storedCreateText(const QString &path)
{
    QStringList texts = sqliteRows(path, QStringLiteral("select sql from sqlite_master"));
    for (QString &text : texts) {
        if (text.startsWith(QLatin1String("CREATE TABLE ")))
            text.replace(0, 12, QStringLiteral("create table"));
    }
    return texts.join(QLatin1Char('\n'));
}

// Every row of a table as the command-line tool sees it, in the stored order.
inline QStringList tableRows(const QString &path, const QString &table)
{
    return sqliteRows(path, QStringLiteral("select * from ") + table);
}

inline int rowCount(const QString &path, const QString &table)
{
    const QList<QStringList> rows = readRawRows(path, QStringLiteral("select count(*) from ") + table);
    return rows.isEmpty() ? -1 : rows.first().first().toInt();
}
