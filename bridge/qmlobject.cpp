#include "bridge/qmlobject.h"

#include "bridge/bridgecommon.h"
#include "core/clock.h"
#include "core/events.h"
#include "core/paths.h"
#include "core/protocolcode.h"
#include "core/textformats.h"

#include <QMetaObject>
#include <QQuickItem>
#include <QReadLocker>
#include <QWriteLocker>

namespace {
// The QML item of the window's alarm indicator and the function that switches it off.
const char kAlarmItemName[] = "alarmRect";
const char kAlarmOffFunction[] = "setOpacity_0";
}

qmlobject::qmlobject()
{
    assignGenTableNames();
}

qmlobject::~qmlobject() = default;

void qmlobject::handleWarningData()
{
    QList<EventItem> items;
    {
        QReadLocker locker(&warningListLock);
        items = warningList;
    }
    // The family is the one active now, not the one of the moment the event was posted.
    const QString protocol = bridgeProtocol();
    const QStringList texts = eventTextTable(protocol);
    const bool inverter = deviceFamily(protocol) == DeviceFamily::Inverter;
    WarningListJson list;
    for (auto it = items.crbegin(); it != items.crend(); ++it)
        list.add(it->time.toString(QLatin1String(kMinuteFormat)), eventTextAt(texts, it->code),
                 eventKindName(eventKind(it->code, inverter)));
    emit warningDataSig(list.text());
}

void qmlobject::handleClearWarning()
{
    if (QQuickItem *alarm = findViewItem(QLatin1String(kAlarmItemName)))
        QMetaObject::invokeMethod(alarm, kAlarmOffFunction);
    {
        QWriteLocker locker(&warningListLock);
        warningList.clear();
    }
    emit clearAlarmSig();
}
