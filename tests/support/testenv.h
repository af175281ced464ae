#pragma once
// Shared test fixture: a fresh data folder and program folder in a temporary directory,
// the shared state emptied, and a fixed clock installed.
#include "core/clock.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A clock that runs on by itself, `speed` times as fast as the wall clock, from `start`:
// for tests whose threads act on whole seconds of the clock (the device thread polls one
// step every two seconds) and would otherwise wait real seconds for them. Safe to read from
// any thread.
class RunningClock : public Clock
{
public:
    RunningClock(const QDateTime &start, int speed) : m_start(start), m_speed(speed) { m_timer.start(); }
    QDateTime now() const override { return m_start.addMSecs(m_timer.elapsed() * m_speed); }

private:
    const QDateTime m_start;
    const int m_speed;
    QElapsedTimer m_timer;
};

// How much faster than the wall clock the running clock goes. The device thread wakes at
// most 50 ms of real time apart, half a second of this clock, so it still sees each second;
// an exchange on the simulator's link takes about a tenth of a second, one second of this
// clock, so a poll step still comes every two or three of its seconds.
inline constexpr int kRunningClockSpeed = 10;

class TestEnv
{
public:
    // Points appPaths at a new temporary folder (created folders included when
    // createFolders is true), empties every shared queue, list and record, and installs
    // a fixed clock at `now` (local time).
    explicit TestEnv(const QDateTime &now = QDateTime(QDate(2026, 1, 15), QTime(12, 0)),
                     bool createFolders = true);
    ~TestEnv(); // restores the system clock

    QString root() const { return m_dir.path(); }
    QString dataLocation() const { return m_dir.path() + QStringLiteral("/data"); }
    QString appDir() const { return m_dir.path() + QStringLiteral("/app"); }
    FixedClock &clock() { return m_clock; }
    // From now on the clock runs by itself at kRunningClockSpeed, from the fixed clock's
    // time, until this environment ends.
    void runClock();

    // Writes "param.ini" with the given key=value lines (INI syntax, no group).
    void writeParamIni(const QString &lines) const;

private:
    QTemporaryDir m_dir;
    FixedClock m_clock;
    std::unique_ptr<RunningClock> m_running;
};

// Makes `home` the user's home folder (with a "Documents" folder in it when withDocuments)
// for its lifetime, so where the file dialogs start is known; HOME and XDG_CONFIG_HOME are
// restored afterwards.
class ScopedHome
{
public:
    ScopedHome(const QString &home, bool withDocuments);
    ~ScopedHome();
    ScopedHome(const ScopedHome &) = delete;
    ScopedHome &operator=(const ScopedHome &) = delete;

private:
    QByteArray m_home, m_configHome;
    bool m_hadConfigHome;
};

// Empties every shared value of the core back to its state before main().
void resetSharedState();

// The words in commandQueue, oldest first, without their values. Takes commandQueueLock.
QStringList queuedWords();

// Points the device settings at a serial slave on `device` (a pty of the simulator or of
// a cross-check peer): protocol code, slave address, the baud-rate code, and the 8 data
// bits, no parity and 1 stop bit every such peer here uses. Takes settingsLock.
void useSerialDevice(const QString &device, const QString &protocol, const QString &address,
                     const QString &baudCode);
