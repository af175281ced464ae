#pragma once
// Shared test fixture: a fresh data folder and program folder in a temporary directory,
// the shared state emptied, and a fixed clock installed.
#include "core/clock.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

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

    // Writes "param.ini" with the given key=value lines (INI syntax, no group).
    void writeParamIni(const QString &lines) const;

private:
    QTemporaryDir m_dir;
    FixedClock m_clock;
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
