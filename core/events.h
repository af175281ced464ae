#pragma once
// Events: what happened to the device or the program, as a time and a code, fanned
// out to four queues by addEventRecord.
//
// Each queue has its own lock. Appending, removing, trimming and clearing hold it for
// writing; only looking holds it for reading. A consumer removes what it will handle
// under the lock and does its slow work after release. No code holds two queue locks
// at once, nor takes upsInfo.lock while holding one.
//
// Every queue is bounded: a consumer that is down, slow or not yet started must not take
// the process's memory. Producers append through pushEvent (addEventRecord and the test
// SMS do), which drops the oldest beyond kEventQueueLimit with one warning per overflow;
// consumers take through takeEvents or takeAllEvents.
#include <QDateTime>
#include <QList>
#include <QReadWriteLock>
#include <QStringList>

struct EventItem
{
    EventItem() = default;
    EventItem(const QDateTime &t, int c, const QString &testNumber = QString(), quint64 testRequest = 0)
        : time(t), code(c), number(testNumber), request(testRequest)
    {
    }

    QDateTime time;
    int code = 0;
    // The test SMS alone: its own recipient, read when it was asked for, and the number
    // of its request, under which the SMS thread reports what became of it (0: no report).
    QString number;
    quint64 request = 0;
};

// Event codes beyond the status edges (0..55).
enum EventCode {
    EventCommSucceed = 56,
    EventCommFailed = 57,
    EventSerialOpenFailed = 58,
    EventTestSms = 59,
    EventTestEmail = 60,
    EventSendEmailSuccess = 61,
    EventSendEmailFail = 62,
    EventScheduleShutdown = 63,
    EventScheduleStartup = 64,
    EventManualBypassOn = 65,
    EventManualBypassOff = 66,
    EventSelfTest1Min = 67,
    EventDischargeLow = 68,
    EventCancelTest = 69,
    EventCountdownOff = 70,
    EventDelayOn = 71,
    EventCancelShutdown = 72,
    EventShutdownOrTurnOn = 73,
    EventStartupOrTurnOff = 74,
    EventBypassOnOrCancelAlarm = 75,
    EventBypassOffOrClearGen = 76,
    EventDepthDischarge = 77,
    EventCodeCount = 78
};

// The warning list keeps the newest events only.
inline constexpr int kWarningListSize = 8;
// The bound of dbEventQueue, emailEventQueue and smsEventQueue: hours of events even at
// the worst rate a device can cause (an alarm edge every poll step of one second), yet
// only a few hundred kilobytes.
inline constexpr qsizetype kEventQueueLimit = 10000;

extern QList<EventItem> dbEventQueue;
extern QReadWriteLock dbEventQueueLock;
extern QList<EventItem> emailEventQueue;
extern QReadWriteLock emailEventQueueLock;
extern QList<EventItem> smsEventQueue;
extern QReadWriteLock smsEventQueueLock;
extern QList<EventItem> warningList;
extern QReadWriteLock warningListLock;

// The translated event texts, 78 per table, indexed by code. Guarded by settingsLock
// (core/settings.h): rebuilt on the GUI thread under its write side; readers in other
// threads use eventText(), which copies under the read side.
extern QStringList upsEventTexts;
extern QStringList inverterEventTexts;

// Appends a copy to dbEventQueue, emailEventQueue, smsEventQueue and warningList, in
// that order, each under its own lock; warningList is trimmed to its newest 8.
void addEventRecord(const EventItem &item);
// Stamps the current time of appClock() and posts.
void postEvent(int code);
// The test SMS (code 59, stamped by appClock()) to number, under its request number:
// into smsEventQueue only, so it reaches neither the event log, the mails nor the
// warning list.
void postTestSmsEvent(const QString &number = QString(), quint64 request = 0);

// Rebuilds both tables through the translators installed at the time of the call,
// built completely first and swapped in under the write side of settingsLock.
void initEventTexts();

// The text table of the family of comProtocol, copied under the read side of
// settingsLock (the copy is shared, not duplicated), for a reader that looks up many codes.
QStringList eventTextTable(const QString &comProtocol);
// The text of a code in a table; an unknown code reads as the empty text.
inline QString eventTextAt(const QStringList &table, int code)
{
    return (code >= 0 && code < table.size()) ? table.at(code) : QString();
}
// The text of a code in the table of the family of comProtocol. Safe from any thread.
QString eventText(int code, const QString &comProtocol);
// The same for the family that is active now.
QString eventText(int code);

// What an event tells the user, decided by its code (never by its text): a condition that
// needs attention came, a way of running worth knowing began, a condition went, or the
// program sent or announced something.
enum class EventKind { Alarm, State, Recovery, Info };
// "alarm", "state", "recovery", "info": the warning list's word for a kind.
const char *eventKindName(EventKind kind);
// The kind of a code on a family. A code with no meaning known to the program counts as an
// alarm, so that nothing unknown passes for good news.
EventKind eventKind(int code, bool inverter);
// Whether a set UPS status bit or inverter alarm slot needs attention (an alarm), rather
// than telling a way of running (on battery, on bypass, shutting down...).
bool conditionIsAlarm(int index, bool inverter);

// Appends one event to a queue under its write lock; beyond kEventQueueLimit the oldest
// is dropped, and the first drop after a push that had room logs one warning.
// Safe from any thread.
void pushEvent(QList<EventItem> &queue, QReadWriteLock &lock, const EventItem &item);
// Removes and returns every event of a queue, oldest first, under its write lock.
QList<EventItem> takeAllEvents(QList<EventItem> &queue, QReadWriteLock &lock);
// Removes and returns the oldest max events of a queue (all when there are fewer),
// oldest first, under its write lock. Safe from any thread.
QList<EventItem> takeEvents(QList<EventItem> &queue, QReadWriteLock &lock, qsizetype max);
