#include "tests/notify/smtpfixture.h"

#include "core/sqlutil.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

namespace {
const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kSupportDir = QStringLiteral(KESTRAVA_SOURCE_DIR "/tests/support");
constexpr int kToolMs = 30000;       // openssl and the parser: seconds at most on a busy machine
constexpr int kServerStartMs = 20000; // the interpreter importing asyncio and aiosmtpd
constexpr int kServerStopMs = 3000;
constexpr int kAcceptPollMs = 50;
constexpr int kAcceptLimitMs = 20000; // longer than any single send may take to connect
constexpr int kPeerLineMs = 12000;    // longer than the client's longest wait (the greeting)
constexpr int kPeerHangUpMs = 3000;
constexpr int kPeerFinishMs = 30000;
constexpr int kPausePollMs = 20;      // how soon finish() ends a pause of the script

QJsonObject runJson(const QStringList &args)
{
    QProcess p;
    p.start(kPython, args);
    if (!p.waitForFinished(kToolMs) || p.exitCode() != 0) {
        p.kill();
        p.waitForFinished(kServerStopMs);
        return {{QStringLiteral("failure"), QString::fromUtf8(p.readAllStandardError())}};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}
}

SmtpServer::SmtpServer() = default;

SmtpServer::~SmtpServer()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel(); // the server ends when its standard input does
    if (!m_process.waitForFinished(kServerStopMs)) {
        m_process.kill();
        m_process.waitForFinished(kServerStopMs);
    }
}

bool SmtpServer::start()
{
    if (!m_dir.isValid() || !QDir(m_dir.path()).mkpath(QStringLiteral("mail"))) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString cert = m_dir.filePath(QStringLiteral("cert.pem"));
    const QString key = m_dir.filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                   QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert, QStringLiteral("-days"),
                   QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")});
    if (!openssl.waitForFinished(kToolMs) || openssl.exitCode() != 0) {
        m_error = QStringLiteral("openssl failed: ") + QString::fromUtf8(openssl.readAllStandardError());
        openssl.kill();
        openssl.waitForFinished(kServerStopMs);
        return false;
    }

    m_process.start(kPython, {kSupportDir + QStringLiteral("/smtpserver.py"), QStringLiteral("--out"),
                              m_dir.filePath(QStringLiteral("mail")), QStringLiteral("--cert"), cert,
                              QStringLiteral("--key"), key});
    QDeadlineTimer deadline(kServerStartMs);
    while ((m_plainPort == 0 || m_tlsPort == 0) && !deadline.hasExpired()) {
        if (!m_process.canReadLine() && !m_process.waitForReadyRead(int(deadline.remainingTime())))
            break;
        while (m_process.canReadLine()) {
            const QList<QByteArray> words = m_process.readLine().trimmed().split(' ');
            if (words.size() != 2)
                continue;
            if (words[0] == "plain")
                m_plainPort = quint16(words[1].toUInt());
            else if (words[0] == "tls")
                m_tlsPort = quint16(words[1].toUInt());
        }
    }
    if (m_plainPort == 0 || m_tlsPort == 0) {
        m_error = QStringLiteral("the SMTP server did not start: ") + QString::fromUtf8(m_process.readAllStandardError());
        return false;
    }
    return true;
}

QStringList SmtpServer::messageFiles() const
{
    QDir mail(m_dir.filePath(QStringLiteral("mail")));
    QStringList files;
    for (const QString &name : mail.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name))
        files << mail.filePath(name);
    return files;
}

QStringList SmtpServer::refusals() const
{
    QFile log(m_dir.filePath(QStringLiteral("mail/refusals.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void SmtpServer::clearMessages() const
{
    QDir mail(m_dir.filePath(QStringLiteral("mail")));
    for (const QString &name : mail.entryList(QDir::Files))
        mail.remove(name);
}

QJsonObject SmtpServer::parseMessage(const QString &emlFile)
{
    return runJson({kSupportDir + QStringLiteral("/parsemail.py"), emlFile});
}

QJsonObject SmtpServer::envelope(const QString &emlFile)
{
    QFile f(QString(emlFile).replace(QLatin1String(".eml"), QLatin1String(".json")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

bool writeGenerationFile(HistoryFile file, DeviceFamily family, const QDate &date, const QList<QStringList> &rows)
{
    DbConnection db(QStringLiteral("test_genfile"), historyFilePath(file, family, date), DbConnection::CreateIfMissing);
    if (!db.isOpen() || !db.exec(historyCreateSql(file, family)))
        return false;
    for (const QStringList &row : rows) {
        QVariantList values;
        for (const QString &v : row)
            values << v;
        if (!db.exec(historyInsertSql(file, family), values))
            return false;
    }
    return true;
}

QStringList jsonTexts(const QJsonValue &array)
{
    QStringList out;
    for (const QJsonValue &v : array.toArray())
        out << v.toString();
    return out;
}

quint16 unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort(); // closed when probe goes
}

ScriptedSmtpPeer::ScriptedSmtpPeer(const QStringList &script) : m_script(script) {}

ScriptedSmtpPeer::~ScriptedSmtpPeer()
{
    finish();
}

quint16 ScriptedSmtpPeer::listen()
{
    start();
    return m_listening.tryAcquire(1, kToolMs) ? m_port : 0;
}

QStringList ScriptedSmtpPeer::finish()
{
    requestInterruption();
    if (!wait(kPeerFinishMs)) {
        // A peer stuck past every bound is a fault of the test; end it rather than hang.
        terminate();
        wait();
    }
    QMutexLocker locker(&m_mutex);
    return m_received;
}

void ScriptedSmtpPeer::run()
{
    QTcpServer server;
    const bool listening = server.listen(QHostAddress::LocalHost, 0);
    m_port = listening ? server.serverPort() : 0;
    m_listening.release();
    if (!listening)
        return;

    // Polls, so that finish() ends a peer that no client ever reaches; one last look
    // after the interruption catches a connection that is already queued.
    QDeadlineTimer acceptDeadline(kAcceptLimitMs);
    while (!server.hasPendingConnections() && !acceptDeadline.hasExpired()) {
        const bool stopping = isInterruptionRequested();
        server.waitForNewConnection(stopping ? 0 : kAcceptPollMs);
        if (stopping)
            break;
    }
    QTcpSocket *client = server.nextPendingConnection();
    if (!client)
        return;
    auto record = [this](const QByteArray &line) {
        QMutexLocker locker(&m_mutex);
        m_received << QString::fromUtf8(line);
    };
    record("<connected>");

    auto readLine = [client](int timeoutMs, QByteArray &line) {
        QDeadlineTimer deadline(timeoutMs);
        while (!client->canReadLine()) {
            if (deadline.hasExpired() || !client->waitForReadyRead(int(deadline.remainingTime())))
                return client->canReadLine() ? true : false;
        }
        line = client->readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        return true;
    };

    for (const QString &step : std::as_const(m_script)) {
        QByteArray line;
        if (step.startsWith(QLatin1Char('>'))) {
            client->write(step.mid(1).toUtf8());
            client->waitForBytesWritten(kPeerLineMs);
        } else if (step == QLatin1String("<data")) {
            do {
                if (!readLine(kPeerLineMs, line))
                    return;
                record(line);
            } while (line != ".");
        } else if (step == QLatin1String("<")) {
            if (!readLine(kPeerLineMs, line))
                return;
            record(line);
        } else if (step.startsWith(QLatin1Char('~'))) {
            // finish() ends a pause: the client has gone, and nothing waits for the rest.
            QDeadlineTimer pause(step.mid(1).toLongLong());
            while (!pause.hasExpired() && !isInterruptionRequested())
                msleep(ulong(std::min<qint64>(pause.remainingTime(), kPausePollMs)));
        }
    }
    QDeadlineTimer hangUp(kPeerHangUpMs);
    QByteArray line;
    while (!hangUp.hasExpired() && client->state() == QAbstractSocket::ConnectedState) {
        if (readLine(int(hangUp.remainingTime()), line))
            record(line);
        else
            break;
    }
}
