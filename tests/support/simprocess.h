#pragma once
// What the two simulators (tools/devsim, tools/modemsim) share as child processes: each
// starts on a pty of its own and says "ready ..." on standard output, takes control lines
// on standard input and answers each with "ok LINE" or "error LINE", and logs the rest of
// what it sees, one line each, for the simulator's own class to read.
#include <QProcess>
#include <QString>
#include <QStringList>

class SimProcess
{
public:
    // name: how warnings call it; program: its path in the build folder.
    SimProcess(const char *name, QString program);
    virtual ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    void stop();
    bool isRunning() const { return m_process.state() == QProcess::Running; }

    // Sends one control line and waits for its "ok"; false on "error" or no answer.
    bool command(const QString &line);

protected:
    // Starts it with these arguments and waits until isReady(); false (with a warning) when
    // it does not start or gives no pty.
    bool startWith(const QStringList &arguments);
    // Reads what has come (waiting up to waitMs when nothing has), handing every line but
    // the answers to takeLine.
    void readLines(int waitMs);

    virtual bool isReady() const = 0;
    virtual void takeLine(const QString &line) = 0;

private:
    const char *m_name;
    QProcess m_process;
    QString m_pending;
    QStringList m_answers;
};
