#include "bridge/settingsrules.h"

#include "core/clock.h"
#include "core/logging.h"
#include "core/textformats.h"

#include <QTime>

namespace {
const QString kClockFormat = QStringLiteral("hh:mm");
const QString kDateFormat = QStringLiteral("yyyy-MM-dd");
constexpr int kDaysPerWeek = 7;
// Weekday numbers of the pages: 0 Sunday … 6 Saturday.
constexpr int kLastWeekday = 6;

// The date on which a weekly time next falls: the given weekday at a time still ahead
// today, else the next such weekday. Invalid when the weekday text is out of range.
QDate nextWeekdayDate(const QString &weekday, const QString &time, const QDateTime &now)
{
    bool ok = false;
    int w = weekday.toInt(&ok, 10);
    if (!ok)
        w = 0;
    if (w < 0 || w > kLastWeekday)
        return QDate();
    const int wanted = w == 0 ? kDaysPerWeek : w; // Qt: 1 Monday … 7 Sunday
    const QDate today = now.date();
    const int d = today.dayOfWeek();
    int offset = wanted - d;
    if (offset < 0)
        offset += kDaysPerWeek;
    // Both are "hh:mm": the text order is the time order. The current minute is past.
    if (offset == 0 && !(time > now.time().toString(kClockFormat)))
        offset = kDaysPerWeek;
    return today.addDays(offset);
}

QString dueAt(const QString &weekday, const QString &time, const QDateTime &now)
{
    if (!isClockText(time))
        return QString();
    const QDate date = nextWeekdayDate(weekday, time, now);
    // Joined as text: a clock time that a daylight-saving change skips on that date
    // stays as set (QDateTime would move it).
    return date.isValid() ? date.toString(kDateFormat) + QLatin1Char(' ') + time : QString();
}

// Rows i and i + 1 as the request builder writes a weekly entry: a shutdown and a start-up,
// both repeating weekly at a time of day (a special task's time carries its date).
bool isWeeklyPair(const QList<ScheduleItem> &rows, qsizetype i)
{
    if (i + 1 >= rows.size())
        return false;
    const ScheduleItem &shutdown = rows.at(i);
    const ScheduleItem &startup = rows.at(i + 1);
    return shutdown.tasktype == QLatin1String("shutdown") && startup.tasktype == QLatin1String("startup")
        && shutdown.taskfreq == QLatin1String("7") && startup.taskfreq == QLatin1String("7")
        && !isMinuteText(shutdown.tasksettime) && !isMinuteText(startup.tasksettime);
}

ReplyJson weeklyObject(const ScheduleItem &shutdown, const ScheduleItem &startup)
{
    return ReplyJson().add("shutdowntime", shutdown.tasksettime).add("boottime", startup.tasksettime);
}

ReplyJson specialObject(const ScheduleItem &row)
{
    return ReplyJson().add("specialtasktime", row.tasksettime).add("taskrate", row.taskfreq).add("case", row.tasktype);
}
} // namespace

QString settingsNotReadReply()
{
    return QStringLiteral("''");
}

QString supportFlagText(uint16_t word, int bit)
{
    return (word >> bit) & 1 ? QStringLiteral("1") : QStringLiteral("0");
}

bool usableRequest(const RequestJson &request, const char *slot)
{
    if (request.isObject())
        return true;
    qCDebug(lcBridge) << slot << "ignores a request that is not a JSON object; nothing changed";
    return false;
}

bool isClockText(const QString &text)
{
    const QTime t = QTime::fromString(text, kClockFormat);
    return t.isValid() && t.toString(kClockFormat) == text;
}

QString nextSelfTestTime(const QString &testInterval, const QString &testTimePerWeek,
                         const QString &selftestTime, const QDateTime &now)
{
    if (testInterval == QLatin1String("0"))
        return QString();
    return dueAt(testTimePerWeek, selftestTime, now);
}

QString weeklyDueTime(const QString &weekday, const QString &time, const QDateTime &now)
{
    return dueAt(weekday, time, now);
}

QList<ScheduleItem> scheduleRowsFromRequest(const RequestJson &request, const QDateTime &now)
{
    QList<ScheduleItem> rows;
    // Only the items of the arrays become rows: nothing else of a request can add one.
    for (const RequestJson &entry : request.items(QStringLiteral("boot_and_shutdown_time"))) {
        const QString weekday = entry.value(QStringLiteral("weekday"));
        const QString shutdown = entry.value(QStringLiteral("shutdowntime"));
        const QString boot = entry.value(QStringLiteral("boottime"));
        rows.append(ScheduleItem{QStringLiteral("shutdown"), weeklyDueTime(weekday, shutdown, now),
                                 QStringLiteral("7"), shutdown});
        rows.append(ScheduleItem{QStringLiteral("startup"), weeklyDueTime(weekday, boot, now),
                                 QStringLiteral("7"), boot});
    }
    const QString nowText = now.toString(QLatin1String(kMinuteFormat));
    for (const RequestJson &task : request.items(QStringLiteral("specialtask"))) {
        const QString rate = task.value(QStringLiteral("taskrate"));
        // Whole periods at once, so an unknown repeat code ends too (the time is spent).
        const QString time = catchUpTaskTime(task.value(QStringLiteral("specialtasktime")), rate, nowText);
        rows.append(ScheduleItem{task.value(QStringLiteral("case")), time, rate, time});
    }
    return rows;
}

QString scheduleReplyText(const QList<ScheduleItem> &rows, const QString &leadMinutes,
                          const QString &shutdown, const QString &startup)
{
    // The weekly pairs lead the list, but a request may have sent fewer than seven, or
    // none: the special tasks start where the pairs end.
    qsizetype next = 0;
    QList<ReplyJson> weekly;
    while (weekly.size() < kWeeklyEntries && isWeeklyPair(rows, next)) {
        weekly.append(weeklyObject(rows.at(next), rows.at(next + 1)));
        next += 2;
    }
    while (weekly.size() < kWeeklyEntries)
        weekly.append(weeklyObject(ScheduleItem(), ScheduleItem()));
    QList<ReplyJson> special;
    while (special.size() < kSpecialTasks)
        special.append(specialObject(rows.value(next++)));
    return ReplyJson()
        .addObjectList("boot_and_shutdown_time", weekly)
        .addObjectList("specialtask", special)
        .add("warnbeforeshutdown", leadMinutes)
        .add("nextShutdownTime", shutdown)
        .add("nextStartupTime", startup)
        .text();
}
