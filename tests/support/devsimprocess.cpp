#include "tests/support/devsimprocess.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

DevSimProcess::DevSimProcess() : SimProcess("devsim", program()) {}

QString DevSimProcess::program()
{
    return QStringLiteral(KESTRAVA_BINARY_DIR "/tools/devsim/kestrava-devsim");
}

bool DevSimProcess::start(const QStringList &options)
{
    return startWith(options);
}

void DevSimProcess::takeLine(const QString &line)
{
    static const QRegularExpression field(QStringLiteral("(\\w+)=(\\S+)"));
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
    }
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
