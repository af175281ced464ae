// The shutdown/start-up schedule and its warning lead time. GUI thread. The rows are
// built without a lock and swapped in whole under the write side of scheduleListLock,
// so the history thread's check never sees a half-built list.
#include "bridge/devicerequests.h"

#include "bridge/settingsrules.h"
#include "core/clock.h"
#include "core/schedule.h"
#include "core/settings.h"
#include "core/textformats.h"

#include <QReadLocker>
#include <QWriteLocker>

void DeviceRequests::handleGetschedule()
{
    QList<ScheduleItem> rows;
    QString lead, shutdown, startup;
    {
        QReadLocker locker(&scheduleListLock);
        rows = scheduleList.mid(0, kScheduleRows);
        lead = ::preAlarm;
        shutdown = nextShutdownTime;
        startup = nextStartupTime;
    }
    emit sigQtSSchedSet(scheduleReplyText(rows, lead, shutdown, startup));
}

void DeviceRequests::handleSetSched(QString request)
{
    const RequestJson req(request);
    QString shutdown, startup;
    QString failure;
    if (!usableRequest(req, "handleSetSched")) {
        // An empty schedule from a garbled request would cancel every task unasked.
        QReadLocker locker(&scheduleListLock);
        shutdown = nextShutdownTime;
        startup = nextStartupTime;
    } else {
        const QDateTime now = appClock().now();
        const QString lead = req.value(QStringLiteral("warnbeforeshutdown"));
        const QList<ScheduleItem> rows = scheduleRowsFromRequest(req, now);
        {
            // One hold: the history thread's check never meets the new lead time with the
            // old rows (on the inverter a warning also sends the word).
            QWriteLocker locker(&scheduleListLock);
            ::preAlarm = lead;
            scheduleList = rows;
            saveSchedule(ScheduleCallerGui, &failure);
            shutdown = nextShutdownTime;
            startup = nextStartupTime;
        }
        writeParamKeys({{QLatin1String(kPreAlarmKey), lead}}, &failure);
        emit sigSaveResult(QStringLiteral("schedule"), failure);
    }
    emit sigQtSSchedTime(shutdown, startup);
}
