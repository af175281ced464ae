#include "clock.h"

#include <atomic>

namespace {
SystemClock systemClock;
std::atomic<Clock *> installedClock{&systemClock};
}

Clock &appClock()
{
    return *installedClock.load(std::memory_order_acquire);
}

void setAppClock(Clock *clock)
{
    installedClock.store(clock ? clock : &systemClock, std::memory_order_release);
}

bool isValidMinuteText(const QString &text)
{
    const QDateTime t = QDateTime::fromString(text, QLatin1String(kMinuteFormat));
    // A local time inside a spring-forward gap parses to another time (or none); the
    // round trip catches both.
    return t.isValid() && t.toString(QLatin1String(kMinuteFormat)) == text;
}

QString advancePastNow(const QString &text, int periodDays, const QString &now)
{
    if (periodDays <= 0 || !isValidMinuteText(text))
        return QString();
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QString clockPart = text.mid(10); // " hh:mm"
    const QDate today = QDate::fromString(now.left(10), QStringLiteral("yyyy-MM-dd"));
    if (!today.isValid())
        return text; // no usable "now": nothing to compare against
    QDate next = date;
    if (today > date)
        next = date.addDays((date.daysTo(today) / periodDays) * periodDays);
    QString result = next.toString(QStringLiteral("yyyy-MM-dd")) + clockPart;
    while (result <= now) {
        next = next.addDays(periodDays);
        result = next.toString(QStringLiteral("yyyy-MM-dd")) + clockPart;
    }
    return result;
}
