#pragma once
// The history thread: once a second it keeps the inverter's energy of the day in the
// shared device values, writes the five-minute snapshot and generation rows while the
// device communicates, drains the queued events into the month's event log and runs the
// schedule and self-test checks.
//
// Threads: the constructor, the destructor and stop() run in the GUI thread; run(), the
// timer and every tick run in the history thread. A tick entered from another thread
// (the slot is reachable from QML through "mydata", tests call it directly) waits for the
// running one: ticks never overlap. The writers and readers below are public so tests
// and the benchmark can drive them on an object that was never started; each opens its
// own connection (core/sqlutil) and leaves none behind.
//
// One clock reading and one copy of comProtocol serve a whole tick, so a tick at
// hh:59:59.999 cannot split one save across two days and a protocol change in the middle
// of a save cannot mix the files of two families.
#include "core/logging.h"
#include "core/paths.h"
#include "history/historyio.h"

#include <QDateTime>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QVariantList>

#include <atomic>
#include <optional>

// A statement with its values, bound by position.
struct BoundStatement
{
    QString sql;
    QVariantList values;
};

// The history formats' number texts.
// A live value re-written with fixed decimals; a three-phase text such as
// "219.74/219.9/220" is re-written phase by phase ("219.7/219.9/220.0").
QString formatPhases(const QString &text, int decimals);
// The energy of the day as the working file stores it: at most two decimals, no trailing
// zeros ("11.5", "1234.57", "0").
QString formatDayEnergy(double kWh);

class data_thread : public QThread
{
    Q_OBJECT
public:
    data_thread();
    ~data_thread() override;

    // Asks for the end; the owner then exits the event loop and waits. Returns at once.
    void stop();

    // The start value of the day's energy bookkeeping: kind 3 the first lifetime total of
    // the day (the row inserted first in the day's counter file), kind 4 the latest energy
    // of the day. "" when the file or the row is missing, "0" when the file has no table;
    // any other kind "" without touching a file. Never creates a file or a folder.
    QString selectGen(const QDateTime &time, int kind);
    // The five-minute slot of a time of day, 0 to 287.
    static int slotOfDay(const QTime &time);

    // Create texts: kind 1 the snapshot table and 2 the event table of the family of
    // comProtocol; 3 to 6 the day, month, year and total generation tables (the UPS texts);
    // "" for any other kind.
    QString createTableSql(int kind, const QString &comProtocol) const;
    // The insert of one snapshot row of the live values at `now`; only kind 1, otherwise
    // an empty statement. Within the UPS families comProtocol "0" gives one decimal, any
    // other two.
    BoundStatement analogInsertSql(int kind, const QString &comProtocol, const QDateTime &now) const;

    // The writers of one save (called by the tick; public for tests and the benchmark). A
    // writer that meets a file held locked, or a file it reads held locked, writes nothing
    // and says Busy.
    WriteOutcome saveAnalogData(const QDateTime &now, const QString &comProtocol);
    void saveEventLog(const QDateTime &now, const QString &comProtocol);
    // Inverter family.
    WriteOutcome saveTotalGenByDay(const QDateTime &now);
    WriteOutcome saveDayPower(const QDateTime &now);
    WriteOutcome saveDayGen(const QDateTime &now);
    WriteOutcome saveMonthGen(const QDateTime &now);
    WriteOutcome saveYearGen(const QDateTime &now);
    WriteOutcome saveTotalGen(const QDateTime &now);
    // UPS families.
    WriteOutcome saveDay(const QDateTime &now, const QString &comProtocol);
    WriteOutcome saveMonth(const QDateTime &now, const QString &comProtocol);
    WriteOutcome saveYear(const QDateTime &now, const QString &comProtocol);
    WriteOutcome saveTotal(const QDateTime &now, const QString &comProtocol);
    // The sum of the Gen column: kind 5 of the month file "yyyyMM", kind 6 of the year
    // file "yyyy", of the family of comProtocol; full precision. "" when the file is
    // missing, "0" when it has no table, "" for any other kind. Never creates a file.
    QString sumGen(const QString &period, int kind, const QString &comProtocol);

    // The schedule and self-test firing, the last step of every tick: checkSchedule, then
    // checkSelfTest (history/data_thread_tasks.cpp).
    void checkTask(const QDateTime &now);
    void checkSchedule(const QDateTime &now);
    void checkSelfTest(const QDateTime &now);
    // After the clock was set back from before to now: every repeating schedule row and
    // the self-test time move back to their first repeat after now, and are stored.
    void pullBackRepeats(const QDateTime &before, const QDateTime &now);

public slots:
    // One tick.
    void threadTimer();

protected:
    void run() override;

private:
    // The save of one five-minute slot, made over as many ticks of the slot as files held
    // locked by another program need. Two chains: the snapshot, and the generation files,
    // each of which reads what the one before it wrote, so a busy one holds up those after.
    struct SlotSave
    {
        QDate day;
        int slot = -1;
        QString comProtocol; // the family of the whole save, as when it began
        bool snapshotDone = true;
        int genStepsDone = 0;
        int genSteps = 0;
        bool reportedBusy = false;
    };

    // The day-energy step: inverterInfo.values[132] from the lifetime energy.
    void updateDayEnergy(const QDateTime &now);
    // Starts the save of the slot of now.
    void beginSlotSave(const QDateTime &now, const QString &comProtocol);
    // Carries the unfinished save on, as far as the files let it.
    void continueSlotSave(const QDateTime &now);
    // Gives up an unfinished save, with a trace line saying why.
    void dropSlotSave(const char *reason);
    bool slotSavePending() const;
    // Generation writer `step` (from 0) of the family.
    WriteOutcome saveGenStep(int step, const QDateTime &now, const QString &comProtocol);
    // sumGen of the files of family, or nullopt when the file was held locked.
    std::optional<QString> sumGenText(const QString &period, int kind, DeviceFamily family);
    // The energy of the day so far: the lifetime energy less the day's first saved total.
    // False when there is none: no save yet today, a counter that has not grown, midnight,
    // or the day's counter file held locked (busy, when given, says which).
    bool energyOfDay(const QDateTime &now, double *kWh, bool *busy = nullptr);

    std::atomic<bool> stopRequested{false}; // set by stop(); the event loop's exit ends the thread
    // Used only inside a tick, under tickMutex.
    bool fiveMinuteSaveArmed = true;
    SlotSave slotSave;
    // The task time each schedule warning was last given for, so that it is given once per
    // task, also when its minute was not seen; "" after the task's minute.
    QString shutdownWarnedFor;
    QString startupWarnedFor;
    // The latest clock reading of a task check, to see the clock set back.
    QDateTime latestTaskCheck;
    FirstTotalReader firstTotals;
    // The event log is retried at every tick while it cannot be written: one warning when
    // that starts, one line when it ends. Used by saveEventLog alone, in one thread.
    RetriedProblem eventLogProblem{lcHistory, QStringLiteral("event log")};
    QMutex tickMutex; // held for a whole tick
};
