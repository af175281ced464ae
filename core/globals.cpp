// Every shared value of the program's core, defined in one translation unit so that
// they are built, empty, in this order before main() and destroyed in reverse after it.
// core/globals.md gives each one's lock, its writer threads and the lock order; a value
// added here gets its row there.
#include "core/commandqueue.h"
#include "core/devicestate.h"
#include "core/events.h"
#include "core/paths.h"
#include "core/schedule.h"
#include "core/settings.h"

InverterInfo inverterInfo;
ThreePhaseUPSInfo upsInfo;
QStringList upsEventTexts;
QList<EventItem> dbEventQueue;
QReadWriteLock dbEventQueueLock;
QStringList inverterEventTexts;
QList<EventItem> smsEventQueue;
QReadWriteLock smsEventQueueLock;
QList<EventItem> emailEventQueue;
QReadWriteLock emailEventQueueLock;
QList<EventItem> warningList;
AppPaths appPaths;
EmailSettings emailSettings;
SmsSettings smsSettings;
DeviceSettings deviceSettings;
GenTableNames inverterGenTables;
GenTableNames threeUpsGenTables;
GenTableNames singleUpsGenTables;
SystemSettings systemSettings;
QStringList recordColumnKeys;
QList<ScheduleItem> scheduleList;
QString nextShutdownTime;
QString nextStartupTime;
QString preAlarm;
QList<QueuedCommand> commandQueue;
QReadWriteLock commandQueueLock;
QReadWriteLock warningListLock;

QReadWriteLock settingsLock;
QReadWriteLock scheduleListLock;
std::atomic<bool> settingsValid{false};
QQuickWidget *declarativeView = nullptr;
