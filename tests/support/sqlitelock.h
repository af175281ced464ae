#pragma once
// Another process that holds SQLite files locked: Python's sqlite3 module (run by
// /usr/bin/python3) begins an exclusive transaction on each file, says so, and ends it
// after the given time, when released, or when the object goes.
#include "core/sqlutil.h"

#include <QProcess>
#include <QStringList>

// While one lives, connections made without a wait of their own give up on a locked file
// after a fraction of a second, so a test that must see the give-up does not sit out the
// program's seconds. A test that shows how long the program waits makes none.
class ShortBusyWait
{
public:
    // Far above a free file's own locking, far below the program's wait.
    static constexpr int kMs = 200;
    ShortBusyWait() { setBusyWaitMs(kMs); }
    ~ShortBusyWait() { setBusyWaitMs(0); }
    ShortBusyWait(const ShortBusyWait &) = delete;
    ShortBusyWait &operator=(const ShortBusyWait &) = delete;
};

class SqliteLockHolder
{
public:
    // A hold that only release() ends: far longer than any wait a test sits out, so no
    // machine is slow enough to see the files free again before the test lets them go.
    static constexpr int kUntilReleased = 120000;

    // Locks every file for holdMs (or until release()); false when the locks were not all taken.
    bool start(const QStringList &paths, int holdMs)
    {
        static const char kScript[] =
            "import select, sqlite3, sys\n"
            "held = []\n"
            "for path in sys.argv[2:]:\n"
            "    c = sqlite3.connect(path, isolation_level=None)\n"
            "    c.execute('begin exclusive')\n"
            "    held.append(c)\n"
            "print('locked', flush=True)\n"
            "select.select([sys.stdin], [], [], float(sys.argv[1]) / 1000)\n"
            "for c in held:\n"
            "    c.execute('commit')\n";
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        QStringList{QStringLiteral("-c"), QString::fromLatin1(kScript), QString::number(holdMs)} + paths);
        if (!m_process.waitForStarted(5000))
            return false;
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(5000))
                return false;
        }
        return m_process.readLine().trimmed() == "locked";
    }
    // Waits until the locks are released.
    bool finish() { return m_process.waitForFinished(30000) && m_process.exitCode() == 0; }
    // Lets the files go now and waits until they are free.
    bool release()
    {
        m_process.closeWriteChannel();
        return finish();
    }
    ~SqliteLockHolder()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QProcess m_process;
};
