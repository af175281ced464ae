#include "core/clock.h"

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

namespace {
const QString kDateFormat = QStringLiteral("yyyy-MM-dd");
const QString kClockFormat = QStringLiteral("hh:mm");

// Splits a minute text into its calendar date and its clock part (" hh:mm"); the text
// must be exactly in kMinuteFormat (no lenient parsing of other forms).
bool splitMinuteText(const QString &text, QDate *date, QString *clockPart)
{
    if (text.size() != 16 || text.at(10) != QLatin1Char(' '))
        return false;
    const QString datePart = text.left(10);
    const QString timePart = text.mid(11);
    const QDate d = QDate::fromString(datePart, kDateFormat);
    const QTime t = QTime::fromString(timePart, kClockFormat);
    if (!d.isValid() || !t.isValid() || d.toString(kDateFormat) != datePart || t.toString(kClockFormat) != timePart)
        return false;
    *date = d;
    *clockPart = text.mid(10);
    return true;
}
}

bool isMinuteText(const QString &text)
{
    QDate date;
    QString clockPart;
    return splitMinuteText(text, &date, &clockPart);
}

QString advancePastNow(const QString &text, int periodDays, const QString &now)
{
    QDate date;
    QString clockPart;
    if (periodDays <= 0 || !splitMinuteText(text, &date, &clockPart))
        return QString();
    QDate today;
    QString nowClock;
    if (!splitMinuteText(now, &today, &nowClock))
        return text; // no usable "now": nothing to compare against
    QDate next = date;
    if (today > date)
        next = date.addDays((date.daysTo(today) / periodDays) * periodDays);
    QString result = next.toString(kDateFormat) + clockPart;
    // At most two more steps: next is at most one period before today's date.
    while (result <= now) {
        next = next.addDays(periodDays);
        result = next.toString(kDateFormat) + clockPart;
    }
    return result;
}

QString catchUpDueTime(const QString &text, int periodDays, const QString &now)
{
    if (text.isEmpty())
        return text;
    // A time in another form never matches the clock and cannot be advanced.
    if (!isMinuteText(text))
        return QString();
    if (now < text)
        return text;
    return periodDays > 0 ? advancePastNow(text, periodDays, now) : QString();
}

QString pullBackAfterClockStep(const QString &text, int periodDays, const QString &before, const QString &now)
{
    QDate date;
    QString clockPart;
    QDate today;
    QString nowClock;
    if (periodDays <= 0 || !splitMinuteText(text, &date, &clockPart) || !splitMinuteText(now, &today, &nowClock))
        return text;
    // More than one period ahead of the clock before the step: set for a later start, not
    // pushed there by the step.
    if (date.addDays(-periodDays).toString(kDateFormat) + clockPart > before)
        return text;
    const qint64 ahead = today.daysTo(date);
    if (ahead <= 0)
        return text;
    const QDate next = date.addDays(-(ahead / periodDays) * periodDays);
    const QString result = next.toString(kDateFormat) + clockPart;
    return result > now ? result : next.addDays(periodDays).toString(kDateFormat) + clockPart;
}
