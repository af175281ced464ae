// The schedule and self-test firing: the last step of every tick. Both work at minute
// resolution on "yyyy-MM-dd hh:mm" texts; what a firing changes (the row's next time,
// the next self-test time) is what keeps it from firing again in the same minute.
//
// This is the one part of the program that turns someone's power off unasked, so a time
// fires in its own minute or not at all: a time that passes without a tick (a suspended
// machine, a clock step, a daylight-saving jump, a tick held up) is moved on by its repeat
// without firing, as the start-up catch-up does. A late, surprise shutdown is worse than
// a missed one.
#include "history/data_thread.h"

#include "core/clock.h"
#include "core/commandqueue.h"
#include "core/events.h"
#include "core/logging.h"
#include "core/schedule.h"
#include "core/settings.h"

#include <QReadLocker>
#include <QWriteLocker>

namespace {

struct TaskType
{
    const char *type;    // rows of this tasktype fire
    QString *nextTime;   // nextShutdownTime or nextStartupTime
    int warningEvent;
    const char *word;
};

// A step back shorter than this re-lives at most the minute just fired; a time-keeping
// correction of that size must not fire a task twice.
constexpr qint64 kClockStepBackMs = 60 * 1000;

// The most minutes the inverter's lead register holds.
constexpr qint64 kMaxLeadMinutes = 0xFFFF;

// The lead time in whole minutes; not a number, or below zero, counts as 0 (a negative
// lead would put the warning after the task and so never warn).
int leadMinutes(const QString &text)
{
    bool ok = false;
    const int minutes = text.toInt(&ok, 10);
    return ok && minutes > 0 ? minutes : 0;
}

QString currentProtocol()
{
    QReadLocker locker(&settingsLock);
    return deviceSettings.comProtocol;
}

// Next times are minute texts or ""; one that is not a minute text can never equal the
// clock and counts as passed.
bool hasPassed(const QString &time, const QString &nowText)
{
    return !time.isEmpty() && (!isMinuteText(time) || time < nowText);
}

// The whole minutes from the minute of now to a task minute, so that the inverter, which
// counts them down itself, acts at the task time even when the warning comes late.
quint16 minutesLeft(const QDateTime &now, const QString &taskTime, int leadMinutes)
{
    const QDateTime task = QDateTime::fromString(taskTime, QLatin1String(kMinuteFormat));
    if (!task.isValid())
        return quint16(qMin<qint64>(leadMinutes, kMaxLeadMinutes));
    const QDateTime nowMinute(now.date(), QTime(now.time().hour(), now.time().minute()));
    return quint16(qBound<qint64>(0, nowMinute.secsTo(task) / 60, kMaxLeadMinutes));
}

// Caller holds scheduleListLock for writing. Moves every row of the type whose time has
// passed without firing on past now; true when one moved.
bool rollPassedRows(const char *type, const QString &nowText)
{
    bool moved = false;
    for (ScheduleItem &row : scheduleList) {
        if (row.tasktype != QLatin1String(type) || !hasPassed(row.tasktime, nowText))
            continue;
        const QString next = catchUpTaskTime(row.tasktime, row.taskfreq, nowText);
        qCInfo(lcHistory) << "schedule" << type << "time" << row.tasktime << "passed without a tick; not fired, next"
                          << (next.isEmpty() ? QStringLiteral("none") : next);
        row.tasktime = next;
        moved = true;
    }
    return moved;
}

// Caller holds scheduleListLock for writing. The rows of the type due now move on by their
// repeat (a time equal to now counts as past); a once-only or unknown repeat is spent.
void rollDueRows(const char *type, const QString &nowText)
{
    for (ScheduleItem &row : scheduleList)
        if (row.tasktype == QLatin1String(type) && row.tasktime == nowText)
            row.tasktime = catchUpTaskTime(row.tasktime, row.taskfreq, nowText);
}

// The self-test time just changed under settingsLock, into "param.ini". The user's setter
// writes its own time after releasing the lock too; whichever file write came last, the
// file ends with what memory holds.
void storeSelfTestTime(const QString &stored)
{
    writeParamKeys({{paramKey(&DeviceSettings::strNextTestTime), stored}});
    QString held;
    {
        QReadLocker locker(&settingsLock);
        held = deviceSettings.strNextTestTime;
    }
    if (held != stored)
        writeParamKeys({{paramKey(&DeviceSettings::strNextTestTime), held}});
}

} // namespace

void data_thread::checkTask(const QDateTime &now)
{
    if (latestTaskCheck.isValid() && now < latestTaskCheck.addMSecs(-kClockStepBackMs)) {
        pullBackRepeats(latestTaskCheck, now);
        latestTaskCheck = now;
    } else if (!latestTaskCheck.isValid() || now > latestTaskCheck) {
        latestTaskCheck = now;
    }
    checkSchedule(now);
    checkSelfTest(now);
}

void data_thread::pullBackRepeats(const QDateTime &before, const QDateTime &now)
{
    const QString beforeText = before.toString(QLatin1String(kMinuteFormat));
    const QString nowText = now.toString(QLatin1String(kMinuteFormat));
    qCInfo(lcHistory) << "clock set back from" << beforeText << "to" << nowText;
    {
        QWriteLocker locker(&scheduleListLock);
        bool moved = false;
        for (ScheduleItem &row : scheduleList) {
            const QString back = pullBackTaskTime(row.tasktime, row.taskfreq, beforeText, nowText);
            if (back == row.tasktime)
                continue;
            qCInfo(lcHistory) << "schedule" << row.tasktype << "time" << row.tasktime << "moved back to" << back;
            row.tasktime = back;
            moved = true;
        }
        if (moved)
            saveSchedule(ScheduleCallerHistory);
        // The minutes to come are lived again: so are their warnings.
        shutdownWarnedFor.clear();
        startupWarnedFor.clear();
    }
    QString stored;
    {
        QWriteLocker locker(&settingsLock);
        DeviceSettings &d = deviceSettings;
        stored = pullBackSelfTestTime(d.strNextTestTime, d.testInterval, beforeText, nowText);
        if (stored == d.strNextTestTime)
            return;
        qCInfo(lcHistory) << "self-test time" << d.strNextTestTime << "moved back to" << stored;
        d.strNextTestTime = stored;
    }
    storeSelfTestTime(stored);
}

void data_thread::checkSchedule(const QDateTime &now)
{
    const QString protocol = currentProtocol();
    // The inverter counts the lead time down itself (the device thread writes it with the
    // word), so its word goes with the warning; a UPS gets its word at the task time.
    const bool wordWithWarning = deviceFamily(protocol) == DeviceFamily::Inverter;
    const QString nowText = now.toString(QLatin1String(kMinuteFormat));

    QWriteLocker locker(&scheduleListLock);
    if (nextShutdownTime.isEmpty() && nextStartupTime.isEmpty())
        return;
    const int lead = leadMinutes(preAlarm);
    const QString warnText = now.addSecs(qint64(lead) * 60).toString(QLatin1String(kMinuteFormat));

    const TaskType types[] = {
        {"shutdown", &nextShutdownTime, EventScheduleShutdown, "shutdown"},
        {"startup", &nextStartupTime, EventScheduleStartup, "startupInverter"},
    };
    QString *warnedFor[] = {&shutdownWarnedFor, &startupWarnedFor};
    for (int i = 0; i < 2; ++i) {
        const TaskType &t = types[i];
        QString &warned = *warnedFor[i];
        if (t.nextTime->isEmpty())
            continue;
        if (hasPassed(*t.nextTime, nowText) && rollPassedRows(t.type, nowText)) {
            saveSchedule(ScheduleCallerHistory);
            if (t.nextTime->isEmpty())
                continue;
        }

        // From the warning minute to the task minute: a task set inside the lead time, or a
        // warning minute stepped over by the clock, is still announced, and the inverter
        // still gets its word in time.
        if (warnText >= *t.nextTime && nowText <= *t.nextTime && warned != *t.nextTime) {
            postEvent(t.warningEvent);
            warned = *t.nextTime;
            if (wordWithWarning)
                appendCommandWithValue(QLatin1String(t.word), minutesLeft(now, *t.nextTime, lead));
        }

        if (*t.nextTime == nowText) {
            if (!wordWithWarning)
                appendCommand(QLatin1String(t.word));
            rollDueRows(t.type, nowText);
            saveSchedule(ScheduleCallerHistory);
            warned.clear();
        }
    }
}

void data_thread::checkSelfTest(const QDateTime &now)
{
    const QString nowText = now.toString(QLatin1String(kMinuteFormat));
    QString word;
    QString stored;
    {
        // Read, compared and replaced in one hold: a time the user has just set is never
        // overwritten by the advance of the one it replaced.
        QWriteLocker locker(&settingsLock);
        DeviceSettings &d = deviceSettings;
        if (d.strNextTestTime.isEmpty())
            return;
        if (d.strNextTestTime == nowText) {
            word = d.selftestType == QLatin1String("0") ? QStringLiteral("selfTest1Min") : QStringLiteral("dischargeLow");
            // Another interval code fires once; the time is then spent, so the word is
            // queued once and not in every tick of the minute.
            d.strNextTestTime = catchUpSelfTestTime(d.strNextTestTime, d.testInterval, nowText);
        } else if (hasPassed(d.strNextTestTime, nowText)) {
            const QString next = catchUpSelfTestTime(d.strNextTestTime, d.testInterval, nowText);
            qCInfo(lcHistory) << "self-test time" << d.strNextTestTime << "passed without a tick; not run, next"
                              << (next.isEmpty() ? QStringLiteral("none") : next);
            d.strNextTestTime = next;
        } else {
            return;
        }
        stored = d.strNextTestTime;
    }
    if (!word.isEmpty())
        appendCommand(word);
    storeSelfTestTime(stored);
}
