#pragma once
// Empties every event queue and the warning list, so what one case posted does not
// reach the next. Header-only: the fuzz targets use it without the test library.
#include "core/events.h"

inline void discardAllEvents()
{
    takeAllEvents(dbEventQueue, dbEventQueueLock);
    takeAllEvents(emailEventQueue, emailEventQueueLock);
    takeAllEvents(smsEventQueue, smsEventQueueLock);
    takeAllEvents(warningList, warningListLock);
}
