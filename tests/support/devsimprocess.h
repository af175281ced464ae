#pragma once
// The device simulator (tools/devsim, kestrava-devsim) as a child process on a pty of
// its own: started with its options, driven by control lines on its standard input, and
// its request log read back from its standard output.
#include "tests/support/simprocess.h"

#include <QList>
#include <QString>
#include <QStringList>

class DevSimProcess : public SimProcess
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

    DevSimProcess();

    // Path of the simulator in the build folder.
    static QString program();

    // Starts it with these options and waits until its pty is ready; false (with a
    // warning) when it does not start.
    bool start(const QStringList &options);
    QString path() const { return m_path; }

    // Every request logged since start (or since clearRequests).
    QList<Request> requests();
    // Waits until at least n requests are logged.
    bool waitForRequests(int n, int timeoutMs = 3000);
    void clearRequests();

private:
    bool isReady() const override { return !m_path.isEmpty(); }
    void takeLine(const QString &line) override;

    QString m_path;
    QList<Request> m_requests;
};
