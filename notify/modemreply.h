#pragma once
// A GSM modem's reply to one AT command, assembled from the bytes as they come (a reply
// may arrive in any number of pieces) and finished by what ends it in 3GPP TS 27.007 and
// TS 27.005: a final result code, the "> " prompt of "AT+CMGS", or the start-up report
// after a reset. Bytes of outside origin: every piece is bounded, nothing is trusted.
//
// Thread: an object is used by one thread (the SMS thread; the fuzz target).
#include <QByteArray>
#include <QList>
#include <QString>

class ModemReply
{
public:
    enum Kind {
        Command, // ends at OK, ERROR, +CMS ERROR or +CME ERROR
        Prompt,  // "AT+CMGS=n": ends at the "> " prompt or an error
        Submit,  // the PDU: ends at "+CMGS: n" with OK, or an error
        Startup  // after "AT+CFUN=1,1": ends at "^SYSSTART"
    };
    enum Final { None, Ok, Error, CmsError, CmeError };

    // A modem's line is short; a reply holds a few lines. More is noise, dropped.
    static constexpr int kMaxLineBytes = 256;
    static constexpr int kMaxLines = 16;

    explicit ModemReply(Kind kind = Command) : m_kind(kind) {}

    // Appends bytes; those after the end of the reply are ignored.
    void feed(const QByteArray &bytes);
    bool isDone() const { return m_done; }

    Final final() const { return m_final; }
    // The number of a +CMS ERROR or +CME ERROR, -1 when it carries none.
    int errorCode() const { return m_errorCode; }
    bool sawPrompt() const { return m_prompt; }
    // The message reference of "+CMGS: n", -1 before it.
    int messageReference() const { return m_reference; }
    // The information lines before the end, without line ends; blank lines and the echo
    // of a command are left out.
    const QList<QByteArray> &lines() const { return m_lines; }
    bool overflowed() const { return m_overflow; }
    // A short description of how it ended, for the trace: "OK", "+CMS ERROR: 500", ...
    QString outcome() const;

private:
    void takeLine(QByteArray line);
    void finish(Final final) { m_final = final, m_done = true; }

    Kind m_kind;
    QByteArray m_partial;
    QList<QByteArray> m_lines;
    Final m_final = None;
    int m_errorCode = -1;
    int m_reference = -1;
    bool m_prompt = false;
    bool m_done = false;
    bool m_overflow = false;
};

// The settings page's signal quality when the modem cannot measure it (rssi 99).
inline constexpr int kSignalQualityUnknown = -1;

// The fields of the identity and network replies; empty (quality 0) unless the reply
// ended with OK and has the expected shape.
// "AT+GMI", "AT+GMM", "AT+GMR": the first information line.
QString modemIdentityLine(const ModemReply &reply);
// "AT+COPS?", "AT+CSCA?": the text inside the first pair of double quotes of the line
// that starts with prefix ("+COPS:", "+CSCA:").
QString modemQuotedField(const ModemReply &reply, const char *prefix);
// "AT+CSQ": rssi 0..31 as 0..100 per cent, 99 as kSignalQualityUnknown.
int modemSignalQuality(const ModemReply &reply);
