#include "bridge/bridgecommon.h"

#include "core/paths.h"
#include "core/protocolcode.h"
#include "core/settings.h"

#include <QQuickItem>
#include <QQuickWidget>
#include <QReadLocker>

QString bridgeProtocol()
{
    QReadLocker locker(&settingsLock);
    return deviceSettings.comProtocol;
}

QString bridgeLang()
{
    QReadLocker locker(&settingsLock);
    return systemSettings.lang;
}

bool bridgeInverterActive()
{
    return deviceFamily(bridgeProtocol()) == DeviceFamily::Inverter;
}

QQuickItem *findViewItem(const QString &objectName)
{
    if (!declarativeView)
        return nullptr;
    QQuickItem *root = declarativeView->rootObject();
    if (!root)
        return nullptr;
    return root->findChild<QQuickItem *>(objectName);
}
