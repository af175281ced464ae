#include "tests/support/devsimprocess.h"

#include <QDebug>
#include <QDeadlineTimer>
#include <QRegularExpression>

namespace {
constexpr int kStartTimeoutMs = 5000;
constexpr int kAnswerTimeoutMs = 3000;
} // namespace

DevSimProcess::~DevSimProcess() { stop(); }

QString DevSimProcess::program()
{
    return QStringLiteral(KESTRAVA_BINARY_DIR "/tools/devsim/kestrava-devsim");
}

bool DevSimProcess::start(const QStringList &options)
{
    m_process.setProgram(program());
    m_process.setArguments(options);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        qWarning() << "devsim did not start:" << m_process.errorString();
        return false;
    }
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (m_path.isEmpty() && !deadline.hasExpired() && isRunning())
        readLines(50);
    if (m_path.isEmpty())
        qWarning() << "devsim gave no pty";
    return !m_path.isEmpty();
}

void DevSimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(2000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

void DevSimProcess::readLines(int waitMs)
{
    if (m_process.bytesAvailable() == 0)
        m_process.waitForReadyRead(waitMs);
    m_pending += QString::fromUtf8(m_process.readAllStandardOutput());
    int eol;
    static const QRegularExpression field(QStringLiteral("(\\w+)=(\\S+)"));
    while ((eol = m_pending.indexOf(QLatin1Char('\n'))) >= 0) {
        const QString line = m_pending.left(eol);
        m_pending.remove(0, eol + 1);
        if (line.startsWith(QLatin1String("ready "))) {
            m_path = field.match(line).captured(2);
        } else if (line.startsWith(QLatin1String("req "))) {
            Request r;
            for (auto it = field.globalMatch(line); it.hasNext();) {
                const auto m = it.next();
                const QString key = m.captured(1);
                const int n = m.captured(2).toInt();
                if (key == QLatin1String("addr"))
                    r.addr = n;
                else if (key == QLatin1String("fn"))
                    r.fn = n;
                else if (key == QLatin1String("start"))
                    r.start = n;
                else if (key == QLatin1String("count"))
                    r.count = n;
                else if (key == QLatin1String("value"))
                    r.value = n;
                else if (key == QLatin1String("reply"))
                    r.reply = m.captured(2);
            }
            m_requests.append(r);
        } else if (line.startsWith(QLatin1String("ok ")) || line.startsWith(QLatin1String("error "))) {
            m_answers.append(line);
        }
    }
}

bool DevSimProcess::command(const QString &line)
{
    m_process.write((line + QLatin1Char('\n')).toUtf8());
    m_process.waitForBytesWritten(kAnswerTimeoutMs);
    QDeadlineTimer deadline(kAnswerTimeoutMs);
    while (!deadline.hasExpired() && isRunning()) {
        readLines(50);
        for (int i = 0; i < m_answers.size(); ++i) {
            if (m_answers.at(i).endsWith(QLatin1Char(' ') + line)) {
                const bool ok = m_answers.takeAt(i).startsWith(QLatin1String("ok "));
                if (!ok)
                    qWarning() << "devsim refused" << line;
                return ok;
            }
        }
    }
    qWarning() << "devsim did not answer" << line;
    return false;
}

QList<DevSimProcess::Request> DevSimProcess::requests()
{
    readLines(0);
    return m_requests;
}

bool DevSimProcess::waitForRequests(int n, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    readLines(0);
    while (m_requests.size() < n && !deadline.hasExpired() && isRunning())
        readLines(50);
    return m_requests.size() >= n;
}

void DevSimProcess::clearRequests()
{
    readLines(0);
    m_requests.clear();
}
