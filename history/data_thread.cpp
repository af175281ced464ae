#include "history/data_thread.h"

#include "history/historyio.h"

#include "core/clock.h"
#include "core/devicestate.h"
#include "core/helpers.h"
#include "core/historyfiles.h"
#include "core/logging.h"
#include "core/settings.h"

#include <QTimer>

namespace {
// The tick's period: the saves are due by the minute, the events by the second.
constexpr int kTickMs = 1000;
// Save minutes are the minutes divisible by this: one snapshot every five minutes.
constexpr int kSaveMinuteStep = 5;
// A day curve has one slot per five minutes: 288 a day.
constexpr int kSecondsPerSlot = 300;

const QString kZeroText = QStringLiteral("0");

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
    const QDateTime now = appClock().now();
    const QString protocol = currentProtocol();

    updateDayEnergy(now);

    if (now.time().minute() % kSaveMinuteStep != 0 || upsInfo.commState.load() != CommOk) {
        fiveMinuteSaveArmed = true;
    } else if (fiveMinuteSaveArmed) {
        fiveMinuteSaveArmed = false;
        saveFiveMinutes(now, protocol);
    }

    saveEventLog(now, protocol);
    checkTask(now);
}

void data_thread::saveFiveMinutes(const QDateTime &now, const QString &comProtocol)
{
    saveAnalogData(now, comProtocol);
    if (deviceFamily(comProtocol) == DeviceFamily::Inverter) {
        // Each writer reads what the one before has just written.
        saveTotalGenByDay(now);
        saveDayPower(now);
        saveDayGen(now);
        saveMonthGen(now);
        saveYearGen(now);
        saveTotalGen(now);
    } else {
        saveDay(now, comProtocol);
        saveMonth(now, comProtocol);
        saveYear(now, comProtocol);
        saveTotal(now, comProtocol);
    }
}

void data_thread::updateDayEnergy(const QDateTime &now)
{
    double kWh = 0;
    const QString dayEnergy = energyOfDay(now, &kWh) ? QString::number(kWh, 'f', 2) : kZeroText;
    QWriteLocker locker(&upsInfo.lock);
    inverterInfo.values[InverterInfo::kDayEnergyIndex] = dayEnergy;
}

int data_thread::slotOfDay(const QTime &time)
{
    return QTime(0, 0).secsTo(time) / kSecondsPerSlot;
}

bool data_thread::energyOfDay(const QDateTime &now, double *kWh)
{
    // Before the day's first save there is no start value: the day has produced nothing
    // yet that this program has seen, not the whole lifetime.
    const FirstRow first = firstTotals.read(now.date());
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
            break;
        }
        return QString();
    }
    if (kind == 4)
        return readLatestDayEnergy(time.date());
    return QString();
}
