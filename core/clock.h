#pragma once
// The one clock every time-dependent rule reads, so tests can set the time instead
// of sleeping. The program uses the system clock; tests install a FixedClock.
#include <QDateTime>
#include <QMutex>

class Clock
{
public:
    virtual ~Clock() = default;
    // Local date and time.
    virtual QDateTime now() const = 0;
};

class SystemClock : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// A clock that stands still until a test moves it. Safe to move from one thread
// while another reads it.
class FixedClock : public Clock
{
public:
    explicit FixedClock(const QDateTime &t = QDateTime()) : m_now(t) {}
    QDateTime now() const override
    {
        QMutexLocker l(&m_mutex);
        return m_now;
    }
    void set(const QDateTime &t)
    {
        QMutexLocker l(&m_mutex);
        m_now = t;
    }
    void advanceMs(qint64 ms)
    {
        QMutexLocker l(&m_mutex);
        m_now = m_now.addMSecs(ms);
    }

private:
    mutable QMutex m_mutex;
    QDateTime m_now;
};

// The process-wide clock. Never null; setAppClock(nullptr) restores the system clock.
// The caller keeps ownership of a clock it installs.
Clock &appClock();
void setAppClock(Clock *clock);

// Minute-resolution local-time texts, the form every stored schedule and self-test time uses.
inline constexpr const char *kMinuteFormat = "yyyy-MM-dd hh:mm";

// True when text is a real local minute in kMinuteFormat (not garbage, not a time that
// a daylight-saving change skips).
bool isValidMinuteText(const QString &text);
// True when text is a calendar date and a clock time in kMinuteFormat, whether or not
// that clock time exists on that day in the local zone (a daylight-saving gap).
bool isMinuteText(const QString &text);
// Moves a minute text on by whole periods of periodDays calendar days (the clock time
// stays) until it lies after now; a time equal to now counts as past. Whole periods are
// skipped at once, so this ends for every input. A text that is not a minute text, or a
// period below 1, gives ""; a clock time skipped by daylight saving on one day is kept
// for the following days. A now that is not a minute text leaves the text as it is.
QString advancePastNow(const QString &text, int periodDays, const QString &now);
// The catch-up of a stored due time at start: "" stays ""; a text that is not a minute
// text becomes ""; a time after now stays; a past time moves on by periodDays, or
// becomes "" (spent) when periodDays is 0 (a once-only or unknown repeat code).
QString catchUpDueTime(const QString &text, int periodDays, const QString &now);
// The repeat time of a task after the clock was set back from before to now: a text at
// most one period after before is moved back by whole periods of periodDays to the first
// repeat after now, so that no repeat lies more than one period ahead of the clock. Any
// other text (farther ahead, not a minute text, period below 1) is returned as it is.
QString pullBackAfterClockStep(const QString &text, int periodDays, const QString &before, const QString &now);
