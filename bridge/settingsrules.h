#pragma once
// The rules behind the device-settings and schedule requests (bridge/devicerequests.h), as
// free functions of texts and a clock reading, so they are tested without the request
// object. Stateless; any thread.
#include "core/schedule.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <cstdint>

class RequestJson;

// False, with a trace line, for a request that is not a JSON object: a setter then
// changes nothing, since its empty keys would wipe the stored settings.
bool usableRequest(const RequestJson &request, const char *slot);

// The reply of the device-settings and controls pages while the device's settings block
// has not been read since the link last changed: two apostrophes.
QString settingsNotReadReply();
// "1" when bit of a supportFlags word is set, else "0".
QString supportFlagText(uint16_t word, int bit);
// Bits of supportFlags word 0 that the replies show; bit b announces the control behind
// holding register b + 4.
inline constexpr int kSupportSelfTest1MinBit = 1;
inline constexpr int kSupportDischargeLowBit = 2;
inline constexpr int kSupportManBypassBit = 3;
inline constexpr int kSupportCancelTestBit = 4;
inline constexpr int kSupportCancelShutdownBit = 5;
inline constexpr int kSupportDischargeDepthBit = 6;
inline constexpr int kSupportCountdownOffBit = 7;
inline constexpr int kSupportDelayOnBit = 8;
inline constexpr int kSupportStartupBit = 14;

// True for a time of day written exactly "hh:mm".
bool isClockText(const QString &text);

// The next self-test after now as "yyyy-MM-dd hh:mm": on weekday testTimePerWeek ("0"
// Sunday … "6" Saturday; not a number counts as "0") at selftestTime, today when that day
// is today and the time is still ahead. "" when testInterval is "0", or the time is not
// "hh:mm", or the weekday lies outside 0 to 6: such a test never fires.
QString nextSelfTestTime(const QString &testInterval, const QString &testTimePerWeek,
                         const QString &selftestTime, const QDateTime &now);

// The first time after now at which a weekly entry falls: weekday ("0" Sunday … "6"
// Saturday, not a number counts as "0") at time ("hh:mm"); today only when the time is
// after the current minute. "" for an empty time, one that is not "hh:mm", or a weekday
// outside 0 to 6.
QString weeklyDueTime(const QString &weekday, const QString &time, const QDateTime &now);

// The rows a schedule request gives, in table order: two per weekly entry (shutdown,
// then start-up, repeat "7"), then one per special task, caught up past now. A part that
// is not an array gives no rows.
QList<ScheduleItem> scheduleRowsFromRequest(const RequestJson &request, const QDateTime &now);

// The reply of the schedule page: the leading weekly pairs of the rows (up to seven), the
// special tasks after them (up to seven; a missing entry shows "" in every member), the
// warning lead time and the two next times.
inline constexpr int kWeeklyEntries = 7;
inline constexpr int kSpecialTasks = 7;
inline constexpr int kScheduleRows = 2 * kWeeklyEntries + kSpecialTasks;
QString scheduleReplyText(const QList<ScheduleItem> &rows, const QString &leadMinutes,
                          const QString &shutdown, const QString &startup);
