#include "core/events.h"

#include "core/clock.h"
#include "core/logging.h"
#include "core/paths.h"
#include "core/protocolcode.h"
#include "core/settings.h"

#include <QCoreApplication>

#include <algorithm>
#include <iterator>

namespace {
// Source texts are exact (double spaces included): translations are looked up by them.
// Codes 0 to 55: the status edges of each family.
const char *const kUpsStatusTexts[] = {
    QT_TRANSLATE_NOOP("QObject", "System fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "System fault happen"),
    QT_TRANSLATE_NOOP("QObject", "Rectifier fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "Rectifier fault happen"),
    QT_TRANSLATE_NOOP("QObject", "Bus fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "Bus fault happen"),
    QT_TRANSLATE_NOOP("QObject", "Battery fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "Battery fault happen"),
    QT_TRANSLATE_NOOP("QObject", "Inverter fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "Inverter fault happen"),
    QT_TRANSLATE_NOOP("QObject", "Output fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "Output fault happen"),
    QT_TRANSLATE_NOOP("QObject", "Charging module fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "Charging module fault happen"),
    QT_TRANSLATE_NOOP("QObject", "Fan fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "Fan fault happen"),
    QT_TRANSLATE_NOOP("QObject", "Fuse fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "Fuse fault happen"),
    QT_TRANSLATE_NOOP("QObject", "Over temperature disappear"),
    QT_TRANSLATE_NOOP("QObject", "Over temperature happen"),
    QT_TRANSLATE_NOOP("QObject", "Input fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "Input fault happen"),
    QT_TRANSLATE_NOOP("QObject", "Bypass fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "Bypass fault happen"),
    QT_TRANSLATE_NOOP("QObject", "Output overload disappear"),
    QT_TRANSLATE_NOOP("QObject", "Output overload happen"),
    QT_TRANSLATE_NOOP("QObject", "PV Input fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "PV Input fault happen"),
    QT_TRANSLATE_NOOP("QObject", "PV fault diappear"),
    QT_TRANSLATE_NOOP("QObject", "PV fault happen"),
    QT_TRANSLATE_NOOP("QObject", "Battery voltage normal"),
    QT_TRANSLATE_NOOP("QObject", "Battery voltage low"),
    QT_TRANSLATE_NOOP("QObject", "Battery voltage depletion disappear"),
    QT_TRANSLATE_NOOP("QObject", "Battery voltage depletion happen"),
    QT_TRANSLATE_NOOP("QObject", "Output off disappear"),
    QT_TRANSLATE_NOOP("QObject", "Output off happen"),
    QT_TRANSLATE_NOOP("QObject", "Shutdown disappear"),
    QT_TRANSLATE_NOOP("QObject", "Shutdown happen"),
    QT_TRANSLATE_NOOP("QObject", "Bypass supply disappear"),
    QT_TRANSLATE_NOOP("QObject", "Bypass supply happen"),
    QT_TRANSLATE_NOOP("QObject", "Battery supply disappear"),
    QT_TRANSLATE_NOOP("QObject", "Battery supply happen"),
    QT_TRANSLATE_NOOP("QObject", "Execute closing output disappear"),
    QT_TRANSLATE_NOOP("QObject", "Execute closing output happen"),
    QT_TRANSLATE_NOOP("QObject", "Execute shutdown disappear"),
    QT_TRANSLATE_NOOP("QObject", "Execute shutdown happen"),
    QT_TRANSLATE_NOOP("QObject", "Wait input recovery disappear"),
    QT_TRANSLATE_NOOP("QObject", "Wait input recovery happen"),
    QT_TRANSLATE_NOOP("QObject", "Delay shutdown disappear"),
    QT_TRANSLATE_NOOP("QObject", "Delay shutdown happen"),
    QT_TRANSLATE_NOOP("QObject", "Upcoming shutdown disappear"),
    QT_TRANSLATE_NOOP("QObject", "Upcoming shutdown happen"),
    QT_TRANSLATE_NOOP("QObject", "Test disappear"),
    QT_TRANSLATE_NOOP("QObject", "Test happen"),
    QT_TRANSLATE_NOOP("QObject", "Test failure disappear"),
    QT_TRANSLATE_NOOP("QObject", "Test failure happen"),
};

const char *const kInverterStatusTexts[] = {
    QT_TRANSLATE_NOOP("QObject", "Input abnormal disappear"),
    QT_TRANSLATE_NOOP("QObject", "Input abnormal appear"),
    QT_TRANSLATE_NOOP("QObject", "Input volt abnormal disappear"),
    QT_TRANSLATE_NOOP("QObject", "Input volt abnormal appear"),
    QT_TRANSLATE_NOOP("QObject", "Input freq abnormal disappear"),
    QT_TRANSLATE_NOOP("QObject", "Input freq abnormal appear"),
    QT_TRANSLATE_NOOP("QObject", "Batt low volt disappear"),
    QT_TRANSLATE_NOOP("QObject", "Batt low volt appear"),
    QT_TRANSLATE_NOOP("QObject", "Batt discharge end disappear"),
    QT_TRANSLATE_NOOP("QObject", "Batt discharge end appear"),
    QT_TRANSLATE_NOOP("QObject", "Batt volt abnormal disappear"),
    QT_TRANSLATE_NOOP("QObject", "Batt volt abnormal appear"),
    QT_TRANSLATE_NOOP("QObject", "System fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "System fault appear"),
    QT_TRANSLATE_NOOP("QObject", "BUS volt high disappear"),
    QT_TRANSLATE_NOOP("QObject", "BUS volt high appear"),
    QT_TRANSLATE_NOOP("QObject", "Inverter fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "Inverter fault appear"),
    QT_TRANSLATE_NOOP("QObject", "Inverter soft start timeout disappear"),
    QT_TRANSLATE_NOOP("QObject", "Inverter soft start timeout appear"),
    QT_TRANSLATE_NOOP("QObject", "Inverter over temp disappear"),
    QT_TRANSLATE_NOOP("QObject", "Inverter over temp appear"),
    QT_TRANSLATE_NOOP("QObject", "Inverter volt high disappear"),
    QT_TRANSLATE_NOOP("QObject", "Inverter volt high appear"),
    QT_TRANSLATE_NOOP("QObject", "Inverter volt low disappear"),
    QT_TRANSLATE_NOOP("QObject", "Inverter volt low appear"),
    QT_TRANSLATE_NOOP("QObject", "Output short circuit disappear"),
    QT_TRANSLATE_NOOP("QObject", "Output short circuit appear"),
    QT_TRANSLATE_NOOP("QObject", "Over load fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "Over load fault appear"),
    QT_TRANSLATE_NOOP("QObject", "Over load timeout disappear"),
    QT_TRANSLATE_NOOP("QObject", "Over load timeout appear"),
    QT_TRANSLATE_NOOP("QObject", "System overtemp fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "System overtemp fault appear"),
    QT_TRANSLATE_NOOP("QObject", "Output over volt disappear"),
    QT_TRANSLATE_NOOP("QObject", "Output over volt appear"),
    QT_TRANSLATE_NOOP("QObject", "Output over current disappear"),
    QT_TRANSLATE_NOOP("QObject", "Output over current appear"),
    QT_TRANSLATE_NOOP("QObject", "PV owe volt disappear"),
    QT_TRANSLATE_NOOP("QObject", "PV owe volt appear"),
    QT_TRANSLATE_NOOP("QObject", "PV over volt disappear"),
    QT_TRANSLATE_NOOP("QObject", "PV over volt appear"),
    QT_TRANSLATE_NOOP("QObject", "BUS fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "BUS fault appear"),
    QT_TRANSLATE_NOOP("QObject", "Batt fault disappear"),
    QT_TRANSLATE_NOOP("QObject", "Batt fault appear"),
    QT_TRANSLATE_NOOP("QObject", "Reserved0"),
    QT_TRANSLATE_NOOP("QObject", "Reserved1"),
    QT_TRANSLATE_NOOP("QObject", "Reserved2"),
    QT_TRANSLATE_NOOP("QObject", "Reserved3"),
    QT_TRANSLATE_NOOP("QObject", "Reserved4"),
    QT_TRANSLATE_NOOP("QObject", "Reserved5"),
    QT_TRANSLATE_NOOP("QObject", "Reserved6"),
    QT_TRANSLATE_NOOP("QObject", "Reserved7"),
    QT_TRANSLATE_NOOP("QObject", "Reserved8"),
    QT_TRANSLATE_NOOP("QObject", "Reserved9"),
};

// Codes 56 to 72: link, test, schedule and command texts that both families share.
const char *const kSharedTexts[] = {
    QT_TRANSLATE_NOOP("QObject", "Communication  succeed"),
    QT_TRANSLATE_NOOP("QObject", "Communication failed"),
    QT_TRANSLATE_NOOP("QObject", "Serial port failed to open"),
    QT_TRANSLATE_NOOP("QObject", "This is test SMS!"),
    QT_TRANSLATE_NOOP("QObject", "This is test Email!"),
    QT_TRANSLATE_NOOP("QObject", "Send email success"),
    QT_TRANSLATE_NOOP("QObject", "Send email fail"),
    QT_TRANSLATE_NOOP("QObject", "Schedule shut down inverter command"),
    QT_TRANSLATE_NOOP("QObject", "Schedule start up inverter command"),
    QT_TRANSLATE_NOOP("QObject", "Manual bypass on"),
    QT_TRANSLATE_NOOP("QObject", "Manual bypass off"),
    QT_TRANSLATE_NOOP("QObject", "Send battery test one minute command"),
    QT_TRANSLATE_NOOP("QObject", "Send battery low voltage test command"),
    QT_TRANSLATE_NOOP("QObject", "Send cancel test command"),
    QT_TRANSLATE_NOOP("QObject", "Send countdown to shut down the inverter command"),
    QT_TRANSLATE_NOOP("QObject", "Send delay starting inverter command"),
    QT_TRANSLATE_NOOP("QObject", "Send cancel to Shut down inverter command"),
};

// Codes 73 to 76: the command words that differ by family; code 77 is shared again.
const char *const kUpsCommandTexts[] = {
    QT_TRANSLATE_NOOP("QObject", "Send  shutting down inverter"),
    QT_TRANSLATE_NOOP("QObject", "Send startup command of starting up inverter command"),
    QT_TRANSLATE_NOOP("QObject", "Send  On Bypassswitch command"),
    QT_TRANSLATE_NOOP("QObject", "Send  Off Bypassswitch command"),
};

const char *const kInverterCommandTexts[] = {
    QT_TRANSLATE_NOOP("QObject", "Send turn on inverter command"),
    QT_TRANSLATE_NOOP("QObject", "Send turn off inverter command"),
    QT_TRANSLATE_NOOP("QObject", "Send cancel alarm voice command"),
    QT_TRANSLATE_NOOP("QObject", "Send clear total gen command"),
};

const char *const kDepthDischargeText = QT_TRANSLATE_NOOP("QObject", "Send  dischargedepth command");

// Each table holds one text per code: a missing or extra line would shift every later code.
static_assert(std::size(kUpsStatusTexts) == EventCommSucceed);
static_assert(std::size(kInverterStatusTexts) == EventCommSucceed);
static_assert(EventCommSucceed + std::size(kSharedTexts) == EventShutdownOrTurnOn);
static_assert(EventShutdownOrTurnOn + std::size(kUpsCommandTexts) == EventDepthDischarge);
static_assert(std::size(kInverterCommandTexts) == std::size(kUpsCommandTexts));
static_assert(EventDepthDischarge + 1 == EventCodeCount);

template<std::size_t S, std::size_t C>
QStringList translateTable(const char *const (&status)[S], const char *const (&commands)[C])
{
    QStringList texts;
    texts.reserve(EventCodeCount);
    const auto append = [&texts](const char *source) { texts << QCoreApplication::translate("QObject", source); };
    std::for_each(std::begin(status), std::end(status), append);
    std::for_each(std::begin(kSharedTexts), std::end(kSharedTexts), append);
    std::for_each(std::begin(commands), std::end(commands), append);
    append(kDepthDischargeText);
    return texts;
}

// Whether the latest push into a queue dropped an event, so that an overflow that lasts
// logs once, not once per event. Guarded by the queue's own lock.
struct OverflowState
{
    const QList<EventItem> *queue;
    const char *name;
    bool dropping;
};
OverflowState overflowStates[] = {{&dbEventQueue, "event log", false},
                                  {&emailEventQueue, "e-mail", false},
                                  {&smsEventQueue, "SMS", false}};
// Any other queue (none in the program) shares one state.
OverflowState otherQueueState{nullptr, "event", false};

OverflowState &overflowState(const QList<EventItem> &queue)
{
    for (OverflowState &state : overflowStates)
        if (state.queue == &queue)
            return state;
    return otherQueueState;
}
}

namespace {
// The UPS status bits 17 to 26 tell how the device runs (output off, shut down, on
// bypass, on battery, closing output, shutting down, waiting for input, delayed
// shutdown, shutdown coming, self-test running); every other bit is a fault.
constexpr int kFirstUpsStateBit = 17;
constexpr int kLastUpsStateBit = 26;
// Codes 0..55 are status edges: index = code / 2, odd codes the condition coming.
constexpr int kStatusEdgeCodes = 56;
}

const char *eventKindName(EventKind kind)
{
    switch (kind) {
    case EventKind::Alarm:
        return "alarm";
    case EventKind::State:
        return "state";
    case EventKind::Recovery:
        return "recovery";
    case EventKind::Info:
        return "info";
    }
    return "alarm";
}

bool conditionIsAlarm(int index, bool inverter)
{
    return inverter || index < kFirstUpsStateBit || index > kLastUpsStateBit;
}

EventKind eventKind(int code, bool inverter)
{
    if (code >= 0 && code < kStatusEdgeCodes) {
        if (code % 2 == 0)
            return EventKind::Recovery;
        return conditionIsAlarm(code / 2, inverter) ? EventKind::Alarm : EventKind::State;
    }
    switch (code) {
    case EventCommSucceed:
        return EventKind::Recovery;
    case EventTestSms:
    case EventTestEmail:
    case EventSendEmailSuccess:
    case EventScheduleShutdown:
    case EventScheduleStartup:
    case EventManualBypassOn:
    case EventManualBypassOff:
        return EventKind::Info;
    default:
        break;
    }
    if (code >= EventSelfTest1Min && code <= EventDepthDischarge)
        return EventKind::Info;
    // The link lost, the port that failed to open, a mail that failed, and any code
    // without a known meaning.
    return EventKind::Alarm;
}

void pushEvent(QList<EventItem> &queue, QReadWriteLock &lock, const EventItem &item)
{
    bool warn = false;
    OverflowState &state = overflowState(queue);
    {
        QWriteLocker locker(&lock);
        queue.append(item);
        const bool full = queue.size() > kEventQueueLimit;
        if (full)
            queue.remove(0, queue.size() - kEventQueueLimit);
        warn = full && !state.dropping;
        state.dropping = full;
    }
    if (warn)
        qCWarning(lcCore, "%s queue full (%lld events, nothing takes them): the oldest are dropped",
                  state.name, static_cast<long long>(kEventQueueLimit));
}

void addEventRecord(const EventItem &item)
{
    pushEvent(dbEventQueue, dbEventQueueLock, item);
    pushEvent(emailEventQueue, emailEventQueueLock, item);
    pushEvent(smsEventQueue, smsEventQueueLock, item);
    QWriteLocker locker(&warningListLock);
    warningList.append(item);
    while (warningList.size() > kWarningListSize)
        warningList.removeFirst();
}

void postEvent(int code)
{
    addEventRecord(EventItem{appClock().now(), code});
}

void postTestSmsEvent(const QString &number, quint64 request)
{
    pushEvent(smsEventQueue, smsEventQueueLock, EventItem{appClock().now(), EventTestSms, number, request});
}

void initEventTexts()
{
    QStringList ups = translateTable(kUpsStatusTexts, kUpsCommandTexts);
    QStringList inverter = translateTable(kInverterStatusTexts, kInverterCommandTexts);
    QWriteLocker locker(&settingsLock);
    upsEventTexts.swap(ups);
    inverterEventTexts.swap(inverter);
}

QStringList eventTextTable(const QString &comProtocol)
{
    const bool inverter = deviceFamily(comProtocol) == DeviceFamily::Inverter;
    QReadLocker locker(&settingsLock);
    return inverter ? inverterEventTexts : upsEventTexts;
}

QString eventText(int code, const QString &comProtocol)
{
    return eventTextAt(eventTextTable(comProtocol), code);
}

QString eventText(int code)
{
    QString protocol;
    {
        QReadLocker locker(&settingsLock);
        protocol = deviceSettings.comProtocol;
    }
    return eventText(code, protocol);
}

QList<EventItem> takeAllEvents(QList<EventItem> &queue, QReadWriteLock &lock)
{
    QWriteLocker locker(&lock);
    QList<EventItem> taken;
    taken.swap(queue);
    return taken;
}

QList<EventItem> takeEvents(QList<EventItem> &queue, QReadWriteLock &lock, qsizetype max)
{
    QWriteLocker locker(&lock);
    if (max >= queue.size()) {
        QList<EventItem> taken;
        taken.swap(queue);
        return taken;
    }
    const qsizetype n = qMax<qsizetype>(0, max);
    QList<EventItem> taken = queue.first(n);
    queue.remove(0, n);
    return taken;
}
