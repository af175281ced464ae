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
// Moves a minute text on by whole periods of periodDays calendar days (the clock time
// stays) until it lies after now; a time equal to now counts as past. Whole periods are
// skipped at once, so this ends for every input. An invalid text gives "".
QString advancePastNow(const QString &text, int periodDays, const QString &now);
