#include "tests/support/modemsimprocess.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QRegularExpression>

namespace {
constexpr int kStartTimeoutMs = 5000;
constexpr int kAnswerTimeoutMs = 3000;
} // namespace

ModemSimProcess::~ModemSimProcess() { stop(); }

QString ModemSimProcess::program()
{
    return QStringLiteral(KESTRAVA_BINARY_DIR "/tools/modemsim/kestrava-modemsim");
}

bool ModemSimProcess::start(const QString &link, const QStringList &options)
{
    m_link = link;
    m_process.setProgram(program());
    m_process.setArguments(QStringList{QStringLiteral("--link"), link} + options);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        qWarning() << "modemsim did not start:" << m_process.errorString();
        return false;
    }
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!m_ready && !deadline.hasExpired() && m_process.state() == QProcess::Running)
        readLines(50);
    if (!m_ready)
        qWarning() << "modemsim gave no pty";
    return m_ready;
}

void ModemSimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(2000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

void ModemSimProcess::readLines(int waitMs)
{
    if (m_process.bytesAvailable() == 0)
        m_process.waitForReadyRead(waitMs);
    m_pending += QString::fromUtf8(m_process.readAllStandardOutput());
    static const QRegularExpression sms(
        QStringLiteral("^sms ref=\\d+ to=(\\S*) type=\\S+ dcs=(\\S+) udl=(\\d+) reply=(\\S+) text=(.*)$"));
    int eol;
    while ((eol = m_pending.indexOf(QLatin1Char('\n'))) >= 0) {
        const QString line = m_pending.left(eol);
        m_pending.remove(0, eol + 1);
        if (line.startsWith(QLatin1String("ready "))) {
            m_ready = true;
        } else if (const auto m = sms.match(line); m.hasMatch()) {
            m_sms.append(Sms{m.captured(1), m.captured(2), m.captured(3).toInt(), m.captured(4), m.captured(5)});
        } else if (line.startsWith(QLatin1String("cmd text="))) {
            m_commands << line.mid(9).section(QLatin1String(" reply="), 0, 0);
        } else if (line.startsWith(QLatin1String("badpdu "))) {
            m_bad << line;
        } else if (line.startsWith(QLatin1String("ok ")) || line.startsWith(QLatin1String("error "))) {
            m_answers << line;
        }
    }
}

bool ModemSimProcess::command(const QString &line)
{
    m_process.write((line + QLatin1Char('\n')).toUtf8());
    m_process.waitForBytesWritten(kAnswerTimeoutMs);
    QDeadlineTimer deadline(kAnswerTimeoutMs);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        readLines(50);
        for (int i = 0; i < m_answers.size(); ++i) {
            if (m_answers.at(i).endsWith(QLatin1Char(' ') + line)) {
                const bool ok = m_answers.takeAt(i).startsWith(QLatin1String("ok "));
                if (!ok)
                    qWarning() << "modemsim refused" << line;
                return ok;
            }
        }
    }
    qWarning() << "modemsim did not answer" << line;
    return false;
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
    while (m_sms.size() < n && !deadline.hasExpired() && m_process.state() == QProcess::Running)
        readLines(50);
    return m_sms.size() >= n;
}
