#pragma once
// What both SMS thread tests set and read of the shared state: the modem link state of
// the settings page, the SMS event queue, and the fixture month's SMS log as the sqlite3
// tool prints it. Test thread only; header-only.
#include "core/events.h"
#include "core/historyfiles.h"
#include "core/settings.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QReadLocker>
#include <QStringList>
#include <QWriteLocker>

// The events' own time; the tests' clock stands in the same month.
inline const QDateTime kSmsEventTime(QDate(2026, 1, 15), QTime(11, 58, 7));

inline int linkState()
{
    QReadLocker l(&settingsLock);
    return smsSettings.connect;
}

inline void queueEvent(int code, const QDateTime &time = kSmsEventTime)
{
    QWriteLocker l(&smsEventQueueLock);
    smsEventQueue.append(EventItem{time, code});
}

// A test SMS as the settings page asks for it: to its own number, under its request.
inline void queueTestSms(const QString &number, quint64 request = 0, const QDateTime &time = kSmsEventTime)
{
    QWriteLocker l(&smsEventQueueLock);
    smsEventQueue.append(EventItem{time, EventTestSms, number, request});
}

// The outcome of the latest test SMS as the settings page reads it.
inline QString testSmsOutcome()
{
    QReadLocker l(&settingsLock);
    static const char *const names[] = {"none", "queued", "sent", "failed"};
    const QString state = QLatin1String(names[int(smsSettings.testSmsState)]);
    return smsSettings.testSmsReason.isEmpty() ? state : state + QLatin1String(": ") + smsSettings.testSmsReason;
}

// The log rows ("a|b|c|d") of the month of kSmsEventTime.
inline QStringList logRows()
{
    const QString path = historyFilePath(HistoryFile::SmsLog, DeviceFamily::ThreePhaseUps, kSmsEventTime.date());
    if (!QFile::exists(path))
        return {};
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {path, QStringLiteral("select * from smslog")});
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
