#pragma once
// The catch-up tests run in Europe/Berlin, whose clocks skip 02:00-03:00 on 2025-03-30,
// so every catch-up meets a daylight-saving gap.
#include "core/clock.h"

#include <QDateTime>
#include <QtTest>

#include <ctime>

namespace {
// Also when the binary is run by hand: ctest sets the same zone.
const bool zoneSet = [] {
    qputenv("TZ", "Europe/Berlin");
    tzset();
    return true;
}();

QDateTime minute(const QString &text)
{
    return QDateTime::fromString(text, QLatin1String(kMinuteFormat));
}

// For initTestCase(): the zone in force really has the gap.
void verifyGapZone()
{
    QVERIFY(!isValidMinuteText(QStringLiteral("2025-03-30 02:30")));
    QVERIFY(isMinuteText(QStringLiteral("2025-03-30 02:30")));
    QVERIFY(isValidMinuteText(QStringLiteral("2025-03-30 03:30")));
}
}
