#include "tests/support/modemsimprocess.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

ModemSimProcess::ModemSimProcess() : SimProcess("modemsim", program()) {}

QString ModemSimProcess::program()
{
    return QStringLiteral(KESTRAVA_BINARY_DIR "/tools/modemsim/kestrava-modemsim");
}

bool ModemSimProcess::start(const QString &link, const QStringList &options)
{
    m_link = link;
    return startWith(QStringList{QStringLiteral("--link"), link} + options);
}

void ModemSimProcess::takeLine(const QString &line)
{
    static const QRegularExpression sms(
        QStringLiteral("^sms ref=\\d+ to=(\\S*) type=\\S+ dcs=(\\S+) udl=(\\d+) reply=(\\S+) text=(.*)$"));
    if (line.startsWith(QLatin1String("ready "))) {
        m_ready = true;
    } else if (const auto m = sms.match(line); m.hasMatch()) {
        m_sms.append(Sms{m.captured(1), m.captured(2), m.captured(3).toInt(), m.captured(4), m.captured(5)});
    } else if (line.startsWith(QLatin1String("cmd text="))) {
        m_commands << line.mid(9).section(QLatin1String(" reply="), 0, 0);
    } else if (line.startsWith(QLatin1String("badpdu "))) {
        m_bad << line;
    }
}

QList<ModemSimProcess::Sms> ModemSimProcess::messages()
{
    readLines(0);
    return m_sms;
}

QStringList ModemSimProcess::commands()
{
    readLines(0);
    return m_commands;
}

QStringList ModemSimProcess::badPdus()
{
    readLines(0);
    return m_bad;
}

bool ModemSimProcess::waitForMessages(int n, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    readLines(0);
    while (m_sms.size() < n && !deadline.hasExpired() && isRunning())
        readLines(50);
    return m_sms.size() >= n;
}
