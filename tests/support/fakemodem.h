#pragma once
// A fake GSM modem behind the SMS thread's port seam: it answers the AT commands as a
// modem in PDU mode does, records every write, and spoils the replies of chosen commands
// from a fault plan (silence, ERROR, +CMS ERROR: 500, a reply in pieces, a late reply, a
// failed write, the port vanishing). Header-only; the user links kestrava_notify.
//
// Thread: the SMS thread reads and writes through the port; the test thread sets the plan
// and reads the records under the backend's mutex.
#include "notify/modemlink.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <memory>

enum class ModemFault {
    None,
    Silence,     // no reply at all
    Error,       // "ERROR"
    CmsError500, // "+CMS ERROR: 500"
    Split,       // the reply one byte per read
    Late,        // the reply after lateMs
    WriteFail,   // the write reports an error once
    NoFinalOk,   // the message's "+CMGS: n" comes, its final OK never does
    Vanish       // the port fails for good; the backend refuses to open until present again
};

class FakeModemBackend : public ModemBackend
{
public:
    std::unique_ptr<ModemPort> open(const ModemLineParams &params, QString *error) override;

    // The next write that starts with prefix ("AT+CMGS", "AT+CSQ", or "PDU" for a message
    // after the prompt) meets fault. Each entry is used once, in plan order.
    void plan(const QByteArray &prefix, ModemFault fault)
    {
        QMutexLocker l(&mutex);
        faults.append({prefix, fault});
    }
    void setPresent(bool p)
    {
        QMutexLocker l(&mutex);
        present = p;
    }
    QList<QByteArray> takeWrites()
    {
        QMutexLocker l(&mutex);
        return std::exchange(writes, {});
    }
    QList<QByteArray> pdus() // the hex of every message written after a prompt
    {
        QMutexLocker l(&mutex);
        return submitted;
    }
    int openCount()
    {
        QMutexLocker l(&mutex);
        return opens.size();
    }
    // True when every message write came straight after an "AT+CMGS=" write: a message
    // is written only into a prompt of its own.
    bool eachMessageAfterItsPrompt()
    {
        QMutexLocker l(&mutex);
        for (int i = 0; i < allWrites.size(); ++i)
            if (allWrites.at(i).endsWith('\x1a') && (i == 0 || !allWrites.at(i - 1).startsWith("AT+CMGS=")))
                return false;
        return true;
    }
    int countWrites(const QByteArray &prefix)
    {
        QMutexLocker l(&mutex);
        int n = 0;
        for (const QByteArray &w : allWrites)
            n += w.startsWith(prefix);
        return n;
    }

    // Replies of a modem; tests may change them before the thread starts.
    QByteArray csqReply = "\r\n+CSQ: 21,99\r\n\r\nOK\r\n";
    int lateMs = 150;

    QMutex mutex;
    bool present = true;
    QList<ModemLineParams> opens;
    QList<QByteArray> writes;    // since the last takeWrites
    QList<QByteArray> allWrites; // since the start
    QList<QByteArray> submitted;
    QList<QPair<QByteArray, ModemFault>> faults;
    int reference = 0;

    // Caller holds mutex.
    ModemFault takeFault(const QByteArray &written)
    {
        const bool isPdu = written.endsWith('\x1a');
        for (int i = 0; i < faults.size(); ++i) {
            const QByteArray &prefix = faults.at(i).first;
            if ((isPdu && prefix == "PDU") || (!isPdu && written.startsWith(prefix)))
                return faults.takeAt(i).second;
        }
        return ModemFault::None;
    }
    QByteArray answer(const QByteArray &w)
    {
        if (w.endsWith('\x1a')) {
            submitted << w.left(w.size() - 1);
            return "\r\n+CMGS: " + QByteArray::number(++reference) + "\r\n\r\nOK\r\n";
        }
        if (w.startsWith("AT+CMGS="))
            return "\r\n> ";
        if (w == "ATE0\r" || w.startsWith("AT+CMGF=") || w.startsWith("AT+CPMS=") || w.startsWith("AT+CNMI="))
            return "\r\nOK\r\n";
        if (w == "AT+GMI\r")
            return "\r\nFakeCom\r\n\r\nOK\r\n";
        if (w == "AT+GMM\r")
            return "\r\nFM-100\r\n\r\nOK\r\n";
        if (w == "AT+GMR\r")
            return "\r\nR1.0.7\r\n\r\nOK\r\n";
        if (w == "AT+COPS?\r")
            return "\r\n+COPS: 0,0,\"Fake Net\"\r\n\r\nOK\r\n";
        if (w == "AT+CSCA?\r")
            return "\r\n+CSCA: \"+8613800100500\",145\r\n\r\nOK\r\n";
        if (w == "AT+CSQ\r")
            return csqReply;
        if (w == "AT+CFUN=1,1\r")
            return "\r\nOK\r\n\r\n^SYSSTART\r\n";
        return "\r\nERROR\r\n";
    }
};

class FakeModemPort : public ModemPort
{
public:
    explicit FakeModemPort(FakeModemBackend *b) : m_b(b) {}

    bool write(const QByteArray &data) override
    {
        QMutexLocker l(&m_b->mutex);
        if (m_failed)
            return false;
        m_b->writes << data;
        m_b->allWrites << data;
        const ModemFault fault = m_b->takeFault(data);
        switch (fault) {
        case ModemFault::WriteFail:
            return false;
        case ModemFault::Vanish:
            m_failed = true;
            m_b->present = false;
            return false;
        case ModemFault::Silence:
            if (data.endsWith('\x1a'))
                m_b->submitted << data.left(data.size() - 1);
            return true;
        default:
            break;
        }
        QByteArray reply = m_b->answer(data);
        if (fault == ModemFault::Error)
            reply = "\r\nERROR\r\n";
        else if (fault == ModemFault::NoFinalOk)
            reply.chop(int(qstrlen("\r\nOK\r\n")));
        else if (fault == ModemFault::CmsError500)
            reply = "\r\n+CMS ERROR: 500\r\n";
        m_split = fault == ModemFault::Split;
        m_releaseAt = QDeadlineTimer(fault == ModemFault::Late ? m_b->lateMs : 0);
        m_pending += reply;
        return true;
    }

    QByteArray read(int waitMs) override
    {
        const QDeadlineTimer until(waitMs);
        for (;;) {
            {
                QMutexLocker l(&m_b->mutex);
                if (m_failed)
                    return {};
                if (!m_pending.isEmpty() && m_releaseAt.hasExpired()) {
                    const int n = m_split ? 1 : int(m_pending.size());
                    const QByteArray out = m_pending.left(n);
                    m_pending.remove(0, n);
                    return out;
                }
            }
            if (until.hasExpired())
                return {};
            QThread::msleep(1);
        }
    }

    bool failed() const override
    {
        QMutexLocker l(&m_b->mutex);
        return m_failed;
    }

private:
    FakeModemBackend *m_b;
    QByteArray m_pending;
    QDeadlineTimer m_releaseAt{0};
    bool m_split = false;
    bool m_failed = false;
};

inline std::unique_ptr<ModemPort> FakeModemBackend::open(const ModemLineParams &params, QString *error)
{
    QMutexLocker l(&mutex);
    opens << params;
    if (!present) {
        if (error)
            *error = QStringLiteral("no such port");
        return nullptr;
    }
    return std::make_unique<FakeModemPort>(this);
}
