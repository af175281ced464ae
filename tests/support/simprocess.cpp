#include "tests/support/simprocess.h"

#include <QDeadlineTimer>
#include <QDebug>

namespace {
constexpr int kStartTimeoutMs = 5000;
constexpr int kAnswerTimeoutMs = 3000;
// How long a stop waits for the process to go, first after the polite request, then after
// the kill.
constexpr int kStopTimeoutMs = 2000;
// Poll step while waiting for output.
constexpr int kReadStepMs = 50;
} // namespace

SimProcess::SimProcess(const char *name, QString program) : m_name(name)
{
    m_process.setProgram(program);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

SimProcess::~SimProcess() { stop(); }

bool SimProcess::startWith(const QStringList &arguments)
{
    m_process.setArguments(arguments);
    m_process.start();
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        qWarning() << m_name << "did not start:" << m_process.errorString();
        return false;
    }
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!isReady() && !deadline.hasExpired() && isRunning())
        readLines(kReadStepMs);
    if (!isReady())
        qWarning() << m_name << "gave no pty";
    return isReady();
}

void SimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(kStopTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(kStopTimeoutMs);
    }
}

void SimProcess::readLines(int waitMs)
{
    if (m_process.bytesAvailable() == 0)
        m_process.waitForReadyRead(waitMs);
    m_pending += QString::fromUtf8(m_process.readAllStandardOutput());
    int eol;
    while ((eol = m_pending.indexOf(QLatin1Char('\n'))) >= 0) {
        const QString line = m_pending.left(eol);
        m_pending.remove(0, eol + 1);
        if (line.startsWith(QLatin1String("ok ")) || line.startsWith(QLatin1String("error ")))
            m_answers.append(line);
        else
            takeLine(line);
    }
}

bool SimProcess::command(const QString &line)
{
    m_process.write((line + QLatin1Char('\n')).toUtf8());
    m_process.waitForBytesWritten(kAnswerTimeoutMs);
    QDeadlineTimer deadline(kAnswerTimeoutMs);
    while (!deadline.hasExpired() && isRunning()) {
        readLines(kReadStepMs);
        for (int i = 0; i < m_answers.size(); ++i) {
            if (m_answers.at(i).endsWith(QLatin1Char(' ') + line)) {
                const bool ok = m_answers.takeAt(i).startsWith(QLatin1String("ok "));
                if (!ok)
                    qWarning() << m_name << "refused" << line;
                return ok;
            }
        }
    }
    qWarning() << m_name << "did not answer" << line;
    return false;
}
