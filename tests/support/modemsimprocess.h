#pragma once
// The modem simulator (tools/modemsim, kestrava-modemsim) as a child process on a pty of
// its own: started with its options, driven by control lines on its standard input, and
// the messages it received read back from its log on standard output.
#include "tests/support/simprocess.h"

#include <QList>
#include <QString>
#include <QStringList>

class ModemSimProcess : public SimProcess
{
public:
    // One message as the modem decoded it.
    struct Sms
    {
        QString to;    // "+" and the digits for type 91
        QString dcs;   // "00" GSM 7-bit, "08" UCS2
        int udl = -1;  // septets or octets
        QString reply; // normal, cms500, silence, ... (the fault it met)
        QString text;  // decoded
    };

    ModemSimProcess();

    static QString program();
    // Starts it with these options (a --link is added) and waits for its pty; false (with
    // a warning) when it does not start.
    bool start(const QString &link, const QStringList &options = {});
    QString link() const { return m_link; }

    // Every message logged since start.
    QList<Sms> messages();
    // Every command line the modem received since start.
    QStringList commands();
    // Lines starting with "badpdu".
    QStringList badPdus();
    bool waitForMessages(int n, int timeoutMs);

private:
    bool isReady() const override { return m_ready; }
    void takeLine(const QString &line) override;

    QString m_link;
    bool m_ready = false;
    QList<Sms> m_sms;
    QStringList m_commands;
    QStringList m_bad;
};
