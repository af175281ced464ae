#pragma once
// Mail-server peers for the SMTP tests, all on 127.0.0.1 and every wait bounded.
//
// SmtpServer: the real server of tests/support/smtpserver.py (Debian's aiosmtpd, run by
// /usr/bin/python3), plain on one port and TLS from the first byte on another, with a
// certificate made by openssl in a temporary folder. Account "user", password "secret";
// see the script for the addresses that it refuses.
//
// ScriptedSmtpPeer: a raw TCP peer in a thread of its own (the client blocks the test's
// thread), which plays a script of literal wire text and records what the client sent.
#include "core/historyfiles.h"

#include <QJsonObject>
#include <QMutex>
#include <QProcess>
#include <QSemaphore>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

class SmtpServer
{
public:
    SmtpServer();
    ~SmtpServer();
    // Makes the certificate and starts the server; false (with why in error()) when it
    // could not.
    bool start();
    QString error() const { return m_error; }
    quint16 plainPort() const { return m_plainPort; }
    quint16 tlsPort() const { return m_tlsPort; }

    // The files of the messages received so far, oldest first.
    QStringList messageFiles() const;
    // What Python's e-mail package reads in a received message (see parsemail.py), and
    // the envelope the server recorded for it ("mail_from", "rcpt_tos").
    static QJsonObject parseMessage(const QString &emlFile);
    static QJsonObject envelope(const QString &emlFile);
    // The recipients refused so far, oldest first, each as "<code> <address>".
    QStringList refusals() const;
    // Removes the messages and refusals received so far.
    void clearMessages() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_error;
    quint16 m_plainPort = 0;
    quint16 m_tlsPort = 0;
};

// Writes a generation file as the history thread does (its create text, then one insert
// per row), for the report mails to read. False when it could not be written.
bool writeGenerationFile(HistoryFile file, DeviceFamily family, const QDate &date, const QList<QStringList> &rows);

// The texts of a JSON array of strings, in order.
QStringList jsonTexts(const QJsonValue &array);

// A free port on 127.0.0.1 with nothing listening on it (it was free a moment ago).
quint16 unusedPort();

class ScriptedSmtpPeer : public QThread
{
public:
    // Steps, in order: ">text" sends text as it stands; "<" reads one line from the
    // client; "<data" reads lines up to the one that is "." alone; "~ms" pauses (until
    // finish() at the latest). After the script the peer keeps recording until the
    // client hangs up.
    explicit ScriptedSmtpPeer(const QStringList &script);
    ~ScriptedSmtpPeer() override;
    // Listens and returns the port (0 when listening failed).
    quint16 listen();
    // Waits (bounded) until the peer is done and returns every line the client sent,
    // without its line end; "<connected>" first when a client connected at all.
    QStringList finish();

protected:
    void run() override;

private:
    QStringList m_script;
    QSemaphore m_listening;
    quint16 m_port = 0;
    QMutex m_mutex;
    QStringList m_received;
};
