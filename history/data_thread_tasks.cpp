// The schedule and self-test firing: the last step of every tick.
#include "history/data_thread.h"

void data_thread::checkTask(const QDateTime &now)
{
    checkSchedule(now);
    checkSelfTest(now);
}

// No schedule or self-test is fired from here yet.
void data_thread::checkSchedule(const QDateTime &now)
{
    Q_UNUSED(now);
}

void data_thread::checkSelfTest(const QDateTime &now)
{
    Q_UNUSED(now);
}
