#include "core/schedule.h"

#include "core/clock.h"
#include "core/logging.h"
#include "core/paths.h"
#include "core/sqlutil.h"

#include <QFileInfo>

namespace {
const QString kCreateTable = QStringLiteral(
    "create table schedtable(tasktime varchar,taskfreq varchar,tasktype varchar,tasksettime varchar)");
const QString kInsertRow = QStringLiteral("insert into schedtable values(?,?,?,?)");

int periodDays(const QString &taskfreq)
{
    if (taskfreq == QLatin1String("1"))
        return 1;
    if (taskfreq == QLatin1String("7"))
        return 7;
    if (taskfreq == QLatin1String("30"))
        return 30;
    return 0;
}

void takeEarlier(QString *next, bool *seen, const QString &time)
{
    if (!*seen || time < *next)
        *next = time;
    *seen = true;
}
}

QString catchUpTaskTime(const QString &tasktime, const QString &taskfreq, const QString &now)
{
    // "0" and unknown codes do not repeat: a past task is spent.
    return catchUpDueTime(tasktime, periodDays(taskfreq), now);
}

QString pullBackTaskTime(const QString &tasktime, const QString &taskfreq, const QString &before, const QString &now)
{
    return pullBackAfterClockStep(tasktime, periodDays(taskfreq), before, now);
}

void selectNextTimes()
{
    bool shutdownSeen = false;
    bool startupSeen = false;
    for (const ScheduleItem &row : std::as_const(scheduleList)) {
        if (row.tasktime.isEmpty())
            continue;
        if (row.tasktype == QLatin1String("shutdown"))
            takeEarlier(&nextShutdownTime, &shutdownSeen, row.tasktime);
        else if (row.tasktype == QLatin1String("startup"))
            takeEarlier(&nextStartupTime, &startupSeen, row.tasktime);
    }
}

void loadSchedule()
{
    scheduleList.clear();
    if (!QFileInfo(appPaths.scheduleDbPath).isFile())
        return;
    {
        DbConnection db(QStringLiteral("initsched"), appPaths.scheduleDbPath, DbConnection::ReadExisting);
        const QList<QStringList> rows = db.selectRows(QStringLiteral("select * from schedtable"));
        for (const QStringList &row : rows) {
            if (row.size() < 4)
                continue;
            scheduleList.append(ScheduleItem{row.at(2), row.at(0), row.at(1), row.at(3)});
        }
    }
    const QString now = appClock().now().toString(QLatin1String(kMinuteFormat));
    for (ScheduleItem &row : scheduleList)
        row.tasktime = catchUpTaskTime(row.tasktime, row.taskfreq, now);
    selectNextTimes();
}

bool saveSchedule(int caller, QString *failure)
{
    const QString name = caller == ScheduleCallerHistory ? QStringLiteral("savesched_1") : QStringLiteral("savesched");
    QList<QVariantList> rows;
    rows.reserve(scheduleList.size());
    for (const ScheduleItem &row : std::as_const(scheduleList))
        rows.append({row.tasktime, row.taskfreq, row.tasktype, row.tasksettime});
    QString reason;
    const bool saved = replaceTableInFile(name, appPaths.scheduleDbPath, QStringLiteral("schedtable"), kCreateTable,
                                          kInsertRow, rows, &reason);
    if (!saved)
        qCWarning(lcCore).noquote() << "schedule not saved to" << appPaths.scheduleDbPath << ":" << reason;
    if (!saved && failure)
        *failure = reason;
    nextShutdownTime.clear();
    nextStartupTime.clear();
    selectNextTimes();
    return saved;
}
