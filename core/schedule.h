#pragma once
// The shutdown/start-up schedule, kept in memory and in "schedule.db".
//
// Guard: scheduleListLock guards scheduleList, nextShutdownTime, nextStartupTime and
// preAlarm. It comes first in lock order (before commandQueueLock, the
// event-queue locks and settingsLock). saveSchedule runs with its write side held by
// the caller; loadSchedule runs before any thread exists.
#include <QList>
#include <QReadWriteLock>
#include <QString>

struct ScheduleItem
{
    QString tasktype;    // "shutdown" or "startup"; other texts never become a next time
    QString tasktime;    // "yyyy-MM-dd hh:mm", "" when spent or unset
    QString taskfreq;    // "0" once, "1" daily, "7" weekly, "30" every 30 days
    QString tasksettime; // as the user entered it; never interpreted here
};

extern QList<ScheduleItem> scheduleList;
extern QString nextShutdownTime;
extern QString nextStartupTime;
// Warning lead time of the schedule in minutes, as the user interface sent it (a text
// that is no whole number counts as 0). Stored under the top-level "param.ini" key
// "preAlarm", which the system-settings loader reads at start.
extern QString preAlarm;
inline constexpr const char *kPreAlarmKey = "preAlarm";
extern QReadWriteLock scheduleListLock;

// Which thread saves: 1 the GUI thread, 2 the history thread (one connection name each).
enum ScheduleCaller { ScheduleCallerGui = 1, ScheduleCallerHistory = 2 };

void loadSchedule();
// Replaces the table of "schedule.db" by the list (the file only by a complete one, see
// replaceTableInFile) and selects the next times, which are current also when the file
// could not be written. False when not saved, with the reason in failure.
bool saveSchedule(int caller, QString *failure = nullptr);

// Advances one row's time by its repeat period until it lies after now (a time equal to
// now counts as past); a past once-only or unknown-frequency row, or an unparseable
// time, becomes "".
QString catchUpTaskTime(const QString &tasktime, const QString &taskfreq, const QString &now);
// The row's time after the clock was set back from before to now (pullBackAfterClockStep
// with the row's repeat period); a once-only or unknown repeat stays as it is.
QString pullBackTaskTime(const QString &tasktime, const QString &taskfreq, const QString &before, const QString &now);
// The earliest non-empty time of each kind into the two next times (left as they are
// when no row of a kind has a time).
void selectNextTimes();
