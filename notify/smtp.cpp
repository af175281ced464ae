#include "notify/smtp.h"

#include "core/clock.h"
#include "core/historyfiles.h"
#include "core/logging.h"
#include "core/settings.h"
#include "core/translation.h"
#include "history/csvwriter.h"
#include "history/historyshared.h"
#include "notify/mailfile.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostInfo>
#include <QLocale>
#include <QReadLocker>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace {
// No real server sends a reply this large; a peer that keeps sending continuation lines
// ends the send instead of filling memory until the time limit.
constexpr qsizetype kMaxReplyBytes = 64 * 1024;

const QString kSuccess = QStringLiteral("success");
const QString kError = QStringLiteral("error");

// The one boundary of the report mail; no base64 line or fixed line of it can hold it.
const QString kBoundary = QStringLiteral("===qzwtestformail");

// Each report: its period word, the history file that holds its rows (and gives the date
// form of both names), the CSV name and its subject. Any period word but these three gets
// the year's subject.
struct ReportKind
{
    const char *period;
    HistoryFile file;
    const char *csvName;
    const char *subject;
};
const ReportKind kReportKinds[] = {
    {"day", HistoryFile::DayGen, "DayReport%1.csv", QT_TRANSLATE_NOOP("QObject", "Day Report")},
    {"month", HistoryFile::MonthGen, "MonthReport%1.csv", QT_TRANSLATE_NOOP("QObject", "Month Report")},
    {"year", HistoryFile::YearGen, "YearReport%1.csv", QT_TRANSLATE_NOOP("QObject", "Year Report")},
};

const ReportKind *reportKind(const QString &period)
{
    for (const ReportKind &k : kReportKinds) {
        if (period == QLatin1String(k.period))
            return &k;
    }
    return nullptr;
}

const char *const kReportHeadings[] = {QT_TRANSLATE_NOOP("Smtp", "Date"), QT_TRANSLATE_NOOP("Smtp", "Gen")};

// RFC 5321 4.2: "250-text" continues a reply, "250 text" (or a bare "250") ends it.
bool isContinuationLine(const QByteArray &line)
{
    return line.size() >= 4 && line.at(3) == '-';
}

// The code of a reply's final line, "" when the line is not of the form "ddd" or "ddd text".
QString finalLineCode(const QByteArray &line)
{
    if (line.size() < 3 || (line.size() > 3 && line.at(3) != ' '))
        return QString();
    for (int i = 0; i < 3; ++i) {
        if (line.at(i) < '0' || line.at(i) > '9')
            return QString();
    }
    return QString::fromLatin1(line.left(3));
}

// A port the user typed: a decimal number from 1 to 65535, or 0 when it is not one (a
// larger number must not wrap round to some other port).
quint16 portNumber(const QString &text)
{
    bool ok = false;
    const uint port = text.toUInt(&ok, 10);
    return ok && port <= 0xFFFF ? quint16(port) : 0;
}
}

bool takeSmtpReplyLines(QByteArray &pending, QString &text, QString &code)
{
    qsizetype end;
    while ((end = pending.indexOf('\n')) >= 0) {
        QByteArray line = pending.left(end);
        pending.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        text += QString::fromUtf8(line) + QLatin1Char('\n');
        if (!isContinuationLine(line)) {
            code = finalLineCode(line);
            return true;
        }
    }
    return false;
}

QString smtpSenderName(const QString &senderAddr)
{
    const qsizetype at = senderAddr.indexOf(QLatin1Char('@'));
    return at < 0 ? senderAddr : senderAddr.left(at);
}

void applyEmailSettings(Smtp &smtp, const EmailSettings &s)
{
    const QString name = smtpSenderName(s.senderAddr);
    if (s.serverAuthFlag == QLatin1String("1"))
        smtp.setConfig(
            SmtpConfig6{name, s.senderAddr, s.serverHostaddr, s.serverHostPort, s.serverAuthFlag, s.sslFlag});
    else
        smtp.setConfig(SmtpConfig8{name, s.senderAddr, s.serverHostaddr, s.serverHostPort, s.senderAccount,
                                   s.senderPassword, s.serverAuthFlag, s.sslFlag});
}

Smtp::Smtp() = default;

Smtp::Smtp(SmtpConfig6 config)
{
    setConfig(std::move(config));
}

Smtp::Smtp(SmtpConfig8 config)
{
    setConfig(std::move(config));
}

// The socket goes with the object as its child; the report folder, and a report file
// still in it, go with reportDir.
Smtp::~Smtp() = default;

void Smtp::setConfig(SmtpConfig6 config)
{
    senderName = config.senderName;
    senderAddr = config.senderAddr;
    serverHostaddr = config.serverHostaddr;
    serverHostPort = config.serverHostPort;
    serverAuthFlag = config.serverAuthFlag;
    sslFlag = config.sslFlag;
}

void Smtp::setConfig(SmtpConfig8 config)
{
    setConfig(SmtpConfig6{config.senderName, config.senderAddr, config.serverHostaddr, config.serverHostPort,
                          config.serverAuthFlag, config.sslFlag});
    senderAccount = config.senderAccount;
    senderPassword = config.senderPassword;
}

void Smtp::sendMail(const QStringList &to, const QString &subject, const QString &body)
{
    resetOutcome();
    recipients = to;
    mailText.clear();
    if (!acceptsHeaderFields(subject)) {
        finish(kError);
        return;
    }

    QString text = commonHeader(subject);
    text += QLatin1String("Content-Type: text/html; charset=UTF-8;\n");
    text += QLatin1String("Content-transfer-encoding: 7BIT\n\n\n\n");
    text += body;
    mailText = toWireText(text);
    runSend();
}

QString Smtp::commonHeader(const QString &subject) const
{
    QString text = dateHeader() + QLatin1Char('\n');
    text += QLatin1String("User-Agent: Mozilla Thunderbird 1.0.6 (Macintosh/20050716)\n");
    text += QLatin1String("MIME-Version: 1.0\n");
    text += QLatin1String("To: ");
    for (qsizetype i = 0; i < recipients.size(); ++i) {
        if (i > 0)
            text += QLatin1Char(',');
        text += QLatin1Char('<') + recipients.at(i) + QLatin1Char('>');
    }
    text += QLatin1Char('\n');
    // Encoded words (RFC 2047) carry any name and subject, however long, in a header.
    text += QLatin1String("From: \"=?utf-8?B?") + encodeBase64(senderName) + QLatin1String("?=\" <") + senderAddr
        + QLatin1String(">\n");
    text += QLatin1String("Subject: =?utf-8?B?") + encodeBase64(subject) + QLatin1String("?=\n");
    return text;
}

void Smtp::sendReportMail(const QStringList &to, const QString &subjectPeriod, const QString &,
                          const QString &filePeriod)
{
    resetOutcome();
    createReportFile(filePeriod);
    recipients = to;
    mailText.clear();
    // A report whose rows could not be read is a failed report, not an empty one.
    if (!reportReady) {
        removeReportFile();
        fail(QStringLiteral("the %1 report could not be written").arg(filePeriod));
        return;
    }

    const ReportKind *kind = reportKind(subjectPeriod);
    const char *subjectSource = kind ? kind->subject : kReportKinds[std::size(kReportKinds) - 1].subject;
    const QString subject = ThreadTranslator(currentLang()).translate("QObject", subjectSource);
    if (!acceptsHeaderFields(subject)) {
        removeReportFile();
        finish(kError);
        return;
    }

    QString text = commonHeader(subject);
    text += QLatin1String("Content-type:multipart/mixed;boundary=\"") + kBoundary + QLatin1String("\"\r\n\r\n\r\n");
    text += QLatin1String("--") + kBoundary + QLatin1String("\r\n");
    text += QLatin1String("Content-Type: text/html; charset=UTF-8;\n");
    text += QLatin1String("Content-transfer-encoding: 7BIT\n\n\n\n");
    text += subject + QLatin1String("\r\n\r\n");
    {
        Attachment attachment(&reportFile);
        text += QLatin1String("--") + kBoundary + QLatin1String("\r\n") + attachment.toString()
            + QLatin1String("\r\n");
    }
    text += QLatin1String("--") + kBoundary + QLatin1String("--\r\n");
    mailText = toWireText(text);
    runSend();
    // A failed report is not sent again; its file would only pile up.
    removeReportFile();
}

void Smtp::createReportFile(const QString &period)
{
    reportReady = false;
    const ReportKind *kind = reportKind(period);
    if (!kind) {
        qCWarning(lcNotify) << "report: unknown period" << period << "- no report file";
        return;
    }
    QString protocol;
    {
        QReadLocker locker(&settingsLock);
        protocol = deviceSettings.comProtocol;
    }
    const QDate today = appClock().now().date();
    const QString csvName =
        QString::fromLatin1(kind->csvName).arg(periodText(historyPeriod(kind->file), today));
    const std::optional<QList<QStringList>> rows = readReportRows(kind->file, deviceFamily(protocol), today);
    if (!rows) {
        qCWarning(lcNotify) << "report: cannot read" << historyFilePath(kind->file, deviceFamily(protocol), today);
        return;
    }

    // Not the working folder, which may be anywhere (or read-only): a folder of this
    // client's own, so two clients never write one file.
    if (!reportDir) {
        reportDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kestrava-report-XXXXXX"));
        if (!reportDir->isValid()) {
            qCWarning(lcNotify) << "report: no temporary folder:" << reportDir->errorString();
            reportDir.reset();
            return;
        }
    }
    if (reportFile.isOpen())
        reportFile.close();
    reportFile.setFileName(reportDir->filePath(csvName));
    if (!reportFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcNotify) << "report: cannot write" << reportFile.fileName() << reportFile.errorString();
        return;
    }
    initReportHeader();
    CsvWriter csv(reportFile);
    csv.addLine(reportHeader);
    for (const QStringList &row : *rows)
        csv.addLine(row);
    // Flushed here, so bytes the disk did not take count as a failed report, not a sent one.
    reportReady = csv.finish() && reportFile.flush() && reportFile.error() == QFileDevice::NoError;
    reportFile.close();
    if (!reportReady)
        qCWarning(lcNotify) << "report: cannot write" << reportFile.fileName() << reportFile.errorString();
}

void Smtp::initReportHeader()
{
    reportHeader = ThreadTranslator(currentLang()).translate("Smtp", kReportHeadings);
}

void Smtp::removeReportFile()
{
    if (!reportFile.fileName().isEmpty() && reportFile.exists() && !reportFile.remove())
        qCWarning(lcNotify) << "report: cannot remove" << reportFile.fileName() << reportFile.errorString();
}

bool Smtp::acceptsHeaderFields(const QString &subject) const
{
    if (recipients.isEmpty()) {
        qCWarning(lcNotify) << "smtp: no recipient, nothing is sent";
        return false;
    }
    bool safe = !hasControlCharacter(senderAddr) && !hasControlCharacter(senderName)
        && !hasControlCharacter(subject);
    for (const QString &r : recipients)
        safe = safe && !hasControlCharacter(r);
    if (!safe)
        qCWarning(lcNotify) << "smtp: a control character in an address, the sender name or the subject;"
                               " nothing is sent";
    return safe;
}

void Smtp::runSend()
{
    waitTimeout = timings.waitMs;
    connectedFlag = false;
    pendingBytes.clear();

    if (stopRequested()) {
        qCDebug(lcNotify) << "smtp: stopping, nothing is sent";
        finish(kError);
        return;
    }
    const bool logIn = serverAuthFlag == QLatin1String("0");
    if (!logIn && serverAuthFlag != QLatin1String("1")) {
        qCWarning(lcNotify) << "smtp: unknown serverAuthFlag" << serverAuthFlag << "- no connection made";
        finish(kError);
        return;
    }
    const quint16 port = portNumber(serverHostPort);
    if (port == 0) {
        qCWarning(lcNotify) << "smtp: server port" << serverHostPort << "is not a port number";
        fail(QStringLiteral("server port %1 is not a port number").arg(serverHostPort));
        return;
    }

    closeSocket();
    const bool tls = logIn && sslFlag == QLatin1String("0");
    if (tls) {
        auto *ssl = new QSslSocket(this);
        // The certificate is asked for but not verified: the user's server is trusted as named.
        ssl->setPeerVerifyMode(QSslSocket::QueryPeer);
        socket = ssl;
        ssl->connectToHostEncrypted(serverHostaddr, port, QIODevice::ReadWrite);
    } else {
        socket = new QTcpSocket(this);
        socket->connectToHost(serverHostaddr, port, QIODevice::ReadWrite);
    }
    qCDebug(lcNotify) << "smtp: connecting to" << serverHostaddr << port << (tls ? "over TLS" : "over TCP");

    if (!waitForConnection()) {
        const QString why = stopRequested() ? QStringLiteral("stopped") : socket->errorString();
        qCWarning(lcNotify) << "smtp: no connection:" << why;
        fail(QStringLiteral("no connection to %1:%2: %3").arg(serverHostaddr).arg(port).arg(why));
        return;
    }
    if (!readReply(qint64(timings.greetingWaits) * waitTimeout)) {
        const QString why = stopRequested() ? QStringLiteral("stopped") : socket->errorString();
        qCWarning(lcNotify) << "smtp: no complete greeting:" << why;
        fail(QStringLiteral("the server sent no greeting: %1").arg(why));
        return;
    }
    connectedFlag = true;
    ReadLiner();
}

bool Smtp::waitForConnection()
{
    if (socket->state() == QAbstractSocket::ConnectedState)
        return true;
    QElapsedTimer elapsed;
    elapsed.start();
    QEventLoop loop;
    connect(socket, &QAbstractSocket::connected, &loop, &QEventLoop::quit);
    connect(socket, &QAbstractSocket::errorOccurred, &loop, &QEventLoop::quit);
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [this, &loop, &elapsed] {
        if (stopRequested() || elapsed.elapsed() >= waitTimeout)
            loop.quit();
    });
    poll.start(kStopPollMs);
    // A connection that failed at once has already said so, before the loop could hear it.
    if (socket->state() == QAbstractSocket::UnconnectedState)
        return false;
    // The owner's own timers may fire in here; the e-mail thread keeps its tick from
    // running twice, and the test mail refuses a second request.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return !stopRequested() && socket->state() == QAbstractSocket::ConnectedState;
}

void Smtp::ReadLiner()
{
    if (!connectedFlag)
        return;
    // The greeting has been read whole by the connection step; only its final line counts.
    const QStringList lines = replyText.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    greetingLine = lines.isEmpty() ? QString() : lines.last();
    greetingCode = replyCode;
    if (greetingCode != QLatin1String("220")) {
        qCWarning(lcNotify) << "smtp: server refused us:" << greetingLine;
        finish(kError);
        return;
    }
    replyText.clear();
    PutSendLine();
}

void Smtp::PutSendLine()
{
    if (!step(QStringLiteral("ehlo ") + QHostInfo::localHostName(), "250"))
        return;
    if (serverAuthFlag == QLatin1String("0")) {
        if (!step(QStringLiteral("AUTH LOGIN"), "334") || !step(encodeBase64(senderAccount), "334", "<account>")
            || !step(encodeBase64(senderPassword), "235", "<password>"))
            return;
    }
    if (!step(QStringLiteral("MAIL FROM: <") + senderAddr + QLatin1Char('>'), "250"))
        return;
    if (!addressRecipients())
        return;
    if (!step(QStringLiteral("DATA"), "354"))
        return;
    // mailText is dot-stuffed, so this is the only "CRLF . CRLF" on the wire.
    if (!step(mailText + QStringLiteral("\r\n."), "250", "<mail text>"))
        return;
    sendCommand(QStringLiteral("QUIT"));
    removeReportFile();
    finish(kSuccess);
}

bool Smtp::step(const QString &command, const char *expectedCode, const char *traceText)
{
    exchange(command, traceText);
    if (replyText.isEmpty() || replyCode != QLatin1String(expectedCode)) {
        stepFailed(command, expectedCode, traceText);
        return false;
    }
    replyText.clear();
    return true;
}

void Smtp::exchange(const QString &command, const char *traceText)
{
    replyText = sendCommand(command);
    qCDebug(lcNotify).noquote() << "smtp:" << (traceText ? QString::fromLatin1(traceText) : command) << "->"
                                << replyText.trimmed();
}

void Smtp::stepFailed(const QString &command, const char *expectedCode, const char *traceText)
{
    qCWarning(lcNotify).noquote() << "smtp: expected" << expectedCode << "to"
                                  << (traceText ? QString::fromLatin1(traceText) : command) << "but got"
                                  << (stopRequested()         ? QStringLiteral("a stop request")
                                          : replyText.isEmpty() ? QStringLiteral("nothing")
                                                                : replyText.trimmed());
    fail(replyText.isEmpty() ? QStringLiteral("the server did not answer %1")
                                   .arg(traceText ? QString::fromLatin1(traceText) : command.section(QLatin1Char(' '), 0, 0))
                             : QStringLiteral("the server answered: %1").arg(replyText.trimmed()));
}

bool Smtp::addressRecipients()
{
    // One mistyped address must not keep the mail from the others: a 5xx refuses that
    // address for good, and saying so once is all that can be done about it. A 4xx, an
    // unknown code or no answer is the server's own trouble, and the mail is failed so
    // that it can be sent again, whole.
    QStringList refusals;
    for (const QString &recipient : std::as_const(recipients)) {
        const QString command = QStringLiteral("RCPT TO:<") + recipient + QLatin1Char('>');
        exchange(command, nullptr);
        // RFC 5321 4.2.2: 251 accepts an address the server will forward.
        if (!replyText.isEmpty() && (replyCode == QLatin1String("250") || replyCode == QLatin1String("251"))) {
            replyText.clear();
            continue;
        }
        if (replyText.isEmpty() || !replyCode.startsWith(QLatin1Char('5'))) {
            stepFailed(command, "250", nullptr);
            return false;
        }
        const QString reply = replyText.trimmed();
        qCWarning(lcNotify).noquote() << "smtp: the server refuses the recipient" << recipient << "for good:" << reply;
        refusedAddresses << recipient;
        refusals << QStringLiteral("%1 (%2)").arg(recipient, reply);
        replyText.clear();
    }
    if (refusedAddresses.size() < recipients.size())
        return true;
    everyRecipientRefused = true;
    fail(QStringLiteral("the server refused every recipient: %1").arg(refusals.join(QLatin1String("; "))));
    return false;
}

QString Smtp::sendCommand(const QString &command)
{
    replyCode.clear();
    if (!connectedFlag || !socket) {
        finish(kError);
        return QString();
    }
    if (socket->write(command.toUtf8() + "\r\n") < 0)
        return QString();
    socket->flush();
    if (command == QLatin1String("QUIT")) {
        QElapsedTimer elapsed;
        elapsed.start();
        while (socket->bytesToWrite() > 0 && elapsed.elapsed() < waitTimeout && !stopRequested()
               && socket->state() == QAbstractSocket::ConnectedState)
            socket->waitForBytesWritten(kStopPollMs);
        closeSocket();
        connectedFlag = false;
        emit SuccessQuit();
        return QString();
    }
    return readReply(waitTimeout) ? replyText : QString();
}

bool Smtp::readReply(qint64 timeoutMs)
{
    replyText.clear();
    replyCode.clear();
    QString text;
    QElapsedTimer elapsed;
    elapsed.start();
    for (;;) {
        pendingBytes += socket->readAll();
        if (takeSmtpReplyLines(pendingBytes, text, replyCode)) {
            replyText = text;
            return true;
        }
        if (text.size() + pendingBytes.size() > kMaxReplyBytes)
            return false;
        const qint64 remaining = timeoutMs - elapsed.elapsed();
        if (remaining <= 0 || stopRequested())
            return false;
        // Short waits, so a stop request is seen. A wait that ends without data is a
        // time-out slice or a closed connection; bytes that came with the close are
        // still read by the next pass.
        if (!socket->waitForReadyRead(int(std::min<qint64>(remaining, kStopPollMs))) && socket->bytesAvailable() == 0
            && socket->state() != QAbstractSocket::ConnectedState)
            return false;
    }
}

void Smtp::resetOutcome()
{
    outcomeSent = false;
    lastFailure.clear();
    refusedAddresses.clear();
    everyRecipientRefused = false;
}

void Smtp::fail(const QString &why)
{
    if (!outcomeSent)
        lastFailure = why;
    finish(kError);
}

void Smtp::finish(const QString &outcome)
{
    if (outcomeSent)
        return;
    if (outcome == kSuccess)
        lastFailure.clear();
    outcomeSent = true;
    if (outcome != kSuccess) {
        // Nothing more is said on a failed dialogue; hanging up at once frees the server.
        closeSocket();
        connectedFlag = false;
    }
    emit ErrorCloseAll(outcome);
}

void Smtp::closeSocket()
{
    if (!socket)
        return;
    socket->abort();
    delete socket;
    socket = nullptr;
    pendingBytes.clear();
}

QString Smtp::encodeBase64(const QString &text)
{
    return QString::fromLatin1(text.toUtf8().toBase64());
}

QString Smtp::decodeBase64(const QString &text)
{
    QByteArray bytes = QByteArray::fromBase64(text.toLatin1());
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return QString::fromUtf8(bytes);
}

QString Smtp::timeZoneOffset(const QDateTime &dateTime)
{
    const int offset = dateTime.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return QLatin1Char(offset < 0 ? '-' : '+') + QStringLiteral("%1%2")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString Smtp::dateHeader()
{
    // The C locale gives the English day and month names a Date field needs, whatever
    // the user's language; every field comes from the one reading of the clock.
    const QDateTime now = appClock().now();
    return QLatin1String("Date: ") + QLocale::c().toString(now, QStringLiteral("ddd, d MMM yyyy hh:mm:ss"))
        + QLatin1Char(' ') + timeZoneOffset(now);
}

QString Smtp::toWireText(const QString &text)
{
    QString wire;
    wire.reserve(text.size() + text.size() / 16 + 1);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\n') && (i == 0 || text.at(i - 1) != QLatin1Char('\r')))
            wire += QLatin1Char('\r');
        wire += text.at(i);
    }
    // RFC 5321 4.5.2: the receiver drops the first dot of every line that begins with one.
    wire.replace(QLatin1String("\r\n."), QLatin1String("\r\n.."));
    if (wire.startsWith(QLatin1Char('.')))
        wire.prepend(QLatin1Char('.'));
    return wire;
}

bool Smtp::hasControlCharacter(const QString &text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}
