#pragma once
// The device simulator (tools/devsim, kestrava-devsim) as a child process on a pty of
// its own: started with its options, driven by control lines on its standard input, and
// its request log read back from its standard output.
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

class DevSimProcess
{
public:
    // One request as the slave saw it; value is -1 except for a register write.
    struct Request
    {
        int addr = -1;
        int fn = -1;
        int start = -1;
        int count = -1;
        int value = -1;
        QString reply; // normal, silence, badcrc, ... (kestrava-devsim --help)
    };

    DevSimProcess() = default;
    ~DevSimProcess();

    // Path of the simulator in the build folder.
    static QString program();

    // Starts it with these options and waits until its pty is ready; false (with a
    // warning) when it does not start.
    bool start(const QStringList &options);
    void stop();
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    QString path() const { return m_path; }

    // Sends one control line and waits for its "ok"; false on "error" or no answer.
    bool command(const QString &line);
    // Every request logged since start (or since clearRequests).
    QList<Request> requests();
    // Waits until at least n requests are logged.
    bool waitForRequests(int n, int timeoutMs = 3000);
    void clearRequests();

private:
    void readLines(int waitMs);

    QProcess m_process;
    QString m_path;
    QString m_pending;
    QList<Request> m_requests;
    QStringList m_answers;
};
