#include "notify/modemreply.h"

namespace {

// rssi of 3GPP TS 27.007 8.5: 0..31 a level, 99 not known or not detectable.
constexpr int kRssiMax = 31;
constexpr int kRssiUnknown = 99;

bool startsWith(const QByteArray &line, const char *prefix) { return line.startsWith(prefix); }

// The number after "+CMS ERROR:" and the like; -1 when there is none (verbose texts).
int numberAfter(const QByteArray &line, int from)
{
    bool ok = false;
    const int n = line.mid(from).trimmed().toInt(&ok);
    return ok && n >= 0 ? n : -1;
}

} // namespace

void ModemReply::feed(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (m_done)
            return;
        if (c == '\n' || c == '\r') {
            if (!m_partial.isEmpty())
                takeLine(std::exchange(m_partial, {}));
            continue;
        }
        if (m_partial.size() >= kMaxLineBytes) {
            m_overflow = true;
            continue;
        }
        m_partial += c;
        // The prompt is "> " with no line end after it.
        if (m_kind == Prompt && m_partial == ">") {
            m_prompt = true;
            m_partial.clear();
            finish(None);
        }
    }
}

void ModemReply::takeLine(QByteArray line)
{
    line = line.trimmed();
    if (line.isEmpty())
        return;
    if (line == "OK") {
        // A bare OK while a prompt or a message reference is awaited is the late end of
        // an earlier command, not this one's.
        if (m_kind == Command || (m_kind == Submit && m_reference >= 0))
            finish(Ok);
        return;
    }
    if (line == "ERROR") {
        if (m_kind != Startup)
            finish(Error);
        return;
    }
    if (startsWith(line, "+CMS ERROR:") || startsWith(line, "+CME ERROR:")) {
        if (m_kind == Startup)
            return;
        m_errorCode = numberAfter(line, int(qstrlen("+CMS ERROR:")));
        finish(startsWith(line, "+CMS") ? CmsError : CmeError);
        return;
    }
    if (m_kind == Startup && line.contains("^SYSSTART")) {
        finish(None);
        return;
    }
    if (m_kind == Submit && startsWith(line, "+CMGS:")) {
        m_reference = numberAfter(line, int(qstrlen("+CMGS:")));
        if (m_reference < 0)
            m_reference = 0;
    }
    // The echo of a command, while echo is still on.
    if (startsWith(line, "AT") || startsWith(line, "at"))
        return;
    if (m_lines.size() >= kMaxLines) {
        m_overflow = true;
        return;
    }
    m_lines.append(line);
}

QString ModemReply::outcome() const
{
    if (m_prompt)
        return QStringLiteral("prompt");
    switch (m_final) {
    case Ok:
        return QStringLiteral("OK");
    case Error:
        return QStringLiteral("ERROR");
    case CmsError:
        return QStringLiteral("+CMS ERROR: %1").arg(m_errorCode);
    case CmeError:
        return QStringLiteral("+CME ERROR: %1").arg(m_errorCode);
    case None:
        break;
    }
    return m_done ? QStringLiteral("done") : QStringLiteral("no final result");
}

QString modemIdentityLine(const ModemReply &reply)
{
    if (reply.final() != ModemReply::Ok || reply.lines().isEmpty())
        return {};
    return QString::fromLatin1(reply.lines().first());
}

QString modemQuotedField(const ModemReply &reply, const char *prefix)
{
    if (reply.final() != ModemReply::Ok)
        return {};
    for (const QByteArray &line : reply.lines()) {
        if (!line.startsWith(prefix))
            continue;
        const int open = line.indexOf('"');
        const int close = open < 0 ? -1 : line.indexOf('"', open + 1);
        return close > open ? QString::fromLatin1(line.mid(open + 1, close - open - 1)) : QString();
    }
    return {};
}

int modemSignalQuality(const ModemReply &reply)
{
    if (reply.final() != ModemReply::Ok)
        return 0;
    for (const QByteArray &line : reply.lines()) {
        if (!line.startsWith("+CSQ:"))
            continue;
        const QByteArray rssiText = line.mid(5).split(',').first().trimmed();
        bool ok = false;
        const int rssi = rssiText.toInt(&ok);
        if (!ok)
            return 0;
        if (rssi == kRssiUnknown)
            return kSignalQualityUnknown;
        if (rssi < 0 || rssi > kRssiMax)
            return 0;
        return rssi * 100 / kRssiMax;
    }
    return 0;
}
