#include "history/data_thread.h"

#include "core/threadend.h"
#include "history/historyio.h"

#include "core/clock.h"
#include "core/devicestate.h"
#include "core/helpers.h"
#include "core/historyfiles.h"
#include "core/logging.h"
#include "core/settings.h"
#include "core/sqlutil.h"

#include <QTimer>

namespace {
// The tick's period: the saves are due by the minute, the events by the second.
constexpr int kTickMs = 1000;
// Save minutes are the minutes divisible by this: one snapshot every five minutes.
constexpr int kSaveMinuteStep = kMinutesPerSaveSlot;
// A day curve has one slot per five minutes: 288 a day.
constexpr int kSecondsPerSlot = kMinutesPerSaveSlot * 60;
// The generation writers of a save, in their order (saveGenStep).
constexpr int kInverterGenSteps = 6;
constexpr int kUpsGenSteps = 4;

const QString kZeroText = QStringLiteral("0");

QDateTime slotStart(const QDate &day, int slot)
{
    return QDateTime(day, QTime(0, 0).addSecs(slot * kSecondsPerSlot));
}

QString currentProtocol()
{
    QReadLocker locker(&settingsLock);
    return deviceSettings.comProtocol;
}
}

data_thread::data_thread()
{
    assignGenTableNames();
}

data_thread::~data_thread() = default;

void data_thread::stop()
{
    stopRequested = true;
}

void data_thread::run()
{
    const ThreadEndMark endMark(this);
    // Created here, so the timer and its timeouts belong to this thread; the direct
    // connection runs the tick here although the object itself lives in the GUI thread.
    QTimer *timer = new QTimer;
    timer->setInterval(kTickMs);
    connect(timer, &QTimer::timeout, this, &data_thread::threadTimer, Qt::DirectConnection);
    QTimer::singleShot(0, timer, qOverload<>(&QTimer::start));
    exec();
    delete timer;
}

void data_thread::threadTimer()
{
    QMutexLocker tick(&tickMutex);
    // A stop ends every wait for a file another program holds locked: the program closes
    // in moments, whatever holds its files.
    const BusyWaitAbandon abandonOnStop(stopRequested);
    const QDateTime now = appClock().now();
    const QString protocol = currentProtocol();
    const bool communicating = upsInfo.commState.load() == CommOk;

    updateDayEnergy(now);

    if (slotSavePending() && (slotSave.day != now.date() || slotSave.slot != slotOfDay(now.time())))
        dropSlotSave("its five minutes are over");
    if (now.time().minute() % kSaveMinuteStep != 0 || !communicating) {
        fiveMinuteSaveArmed = true;
    } else if (fiveMinuteSaveArmed) {
        fiveMinuteSaveArmed = false;
        beginSlotSave(now, protocol);
    }
    if (communicating && slotSavePending())
        continueSlotSave(now);

    saveEventLog(now, protocol);
    checkTask(now);
}

bool data_thread::slotSavePending() const
{
    return !slotSave.snapshotDone || slotSave.genStepsDone < slotSave.genSteps;
}

void data_thread::beginSlotSave(const QDateTime &now, const QString &comProtocol)
{
    // The link came back within the save minute: the save under way goes on.
    if (slotSavePending())
        return;
    slotSave = SlotSave{now.date(), slotOfDay(now.time()), comProtocol, false, 0,
                        deviceFamily(comProtocol) == DeviceFamily::Inverter ? kInverterGenSteps : kUpsGenSteps,
                        false};
}

void data_thread::continueSlotSave(const QDateTime &now)
{
    SlotSave &s = slotSave;
    bool busy = false;
    if (!s.snapshotDone && !stopRequested) {
        busy = saveAnalogData(now, s.comProtocol) == WriteOutcome::Busy;
        s.snapshotDone = !busy;
    }
    while (s.genStepsDone < s.genSteps && !stopRequested) {
        if (saveGenStep(s.genStepsDone, now, s.comProtocol) == WriteOutcome::Busy) {
            busy = true;
            break;
        }
        ++s.genStepsDone;
    }
    if (stopRequested) {
        dropSlotSave("the program is closing");
        return;
    }
    const QString slotText = slotStart(s.day, s.slot).toString(QStringLiteral("yyyy-MM-dd hh:mm"));
    if (!slotSavePending()) {
        if (s.reportedBusy)
            qCInfo(lcHistory).noquote() << "five-minute save of" << slotText << "done at"
                                        << now.toString(QStringLiteral("hh:mm:ss"));
    } else if (busy && !s.reportedBusy) {
        s.reportedBusy = true;
        qCInfo(lcHistory).noquote() << "five-minute save of" << slotText
                                    << "waits for a history file that another program holds locked;"
                                    << "tried again every second until the five minutes are over";
    }
}

void data_thread::dropSlotSave(const char *reason)
{
    const QString slotText = slotStart(slotSave.day, slotSave.slot).toString(QStringLiteral("yyyy-MM-dd hh:mm"));
    QStringList left;
    if (!slotSave.snapshotDone)
        left << QStringLiteral("snapshot");
    if (slotSave.genStepsDone < slotSave.genSteps)
        left << QStringLiteral("generation files");
    qCWarning(lcHistory).noquote() << "five-minute save of" << slotText << "dropped, as" << reason
                                   << "- not written:" << left.join(QStringLiteral(", "));
    slotSave = SlotSave{};
}

WriteOutcome data_thread::saveGenStep(int step, const QDateTime &now, const QString &comProtocol)
{
    // Each writer reads what the one before has just written.
    if (deviceFamily(comProtocol) == DeviceFamily::Inverter) {
        switch (step) {
        case 0: return saveTotalGenByDay(now);
        case 1: return saveDayPower(now);
        case 2: return saveDayGen(now);
        case 3: return saveMonthGen(now);
        case 4: return saveYearGen(now);
        default: return saveTotalGen(now);
        }
    }
    switch (step) {
    case 0: return saveDay(now, comProtocol);
    case 1: return saveMonth(now, comProtocol);
    case 2: return saveYear(now, comProtocol);
    default: return saveTotal(now, comProtocol);
    }
}

void data_thread::updateDayEnergy(const QDateTime &now)
{
    double kWh = 0;
    bool busy = false;
    const bool known = energyOfDay(now, &kWh, &busy);
    // The counter file held locked tells nothing new: the value shown stays.
    if (busy)
        return;
    const QString dayEnergy = known ? QString::number(kWh, 'f', 2) : kZeroText;
    QWriteLocker locker(&upsInfo.lock);
    inverterInfo.values[InverterInfo::kDayEnergyIndex] = dayEnergy;
}

int data_thread::slotOfDay(const QTime &time)
{
    return QTime(0, 0).secsTo(time) / kSecondsPerSlot;
}

bool data_thread::energyOfDay(const QDateTime &now, double *kWh, bool *busy)
{
    // Before the day's first save there is no start value: the day has produced nothing
    // yet that this program has seen, not the whole lifetime.
    const FirstRow first = firstTotals.read(now.date());
    if (busy)
        *busy = first.state == FirstRow::Busy;
    if (first.state != FirstRow::Found)
        return false;
    // In double precision: a lifetime counter of tens of thousands of kWh leaves a float
    // only two decimals of its own, so the difference would be off in the hundredths.
    const double start = numberOrZero<double>(first.text);
    const double current = numberOrZero<double>(inverterValueCopy(InverterInfo::kLifetimeEnergyIndex));
    // A counter that has not grown, or went back (cleared in the device), gives nothing.
    const QTime time = now.time();
    if (!(start < current) || (time.hour() == 0 && time.minute() == 0 && time.second() == 0))
        return false;
    *kWh = current - start;
    return true;
}

QString data_thread::selectGen(const QDateTime &time, int kind)
{
    if (kind == 3) {
        const FirstRow first = readFirstTotal(time.date());
        switch (first.state) {
        case FirstRow::Found:
            return first.text;
        case FirstRow::NoTable:
            return kZeroText;
        case FirstRow::NoFile:
        case FirstRow::NoRow:
        case FirstRow::Busy:
            break;
        }
        return QString();
    }
    if (kind == 4)
        return readLatestDayEnergy(time.date());
    return QString();
}
