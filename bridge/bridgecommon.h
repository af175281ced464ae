#pragma once
// Small helpers of the bridge's slots. GUI thread.
#include <QString>

class QQuickItem;

// comProtocol as it stands, copied under the read side of settingsLock.
QString bridgeProtocol();
// lang as it stands, copied under the read side of settingsLock.
QString bridgeLang();
// True when the active protocol code is one of the inverter family.
bool bridgeInverterActive();

// The first item named objectName among the descendants of the QML view's root item;
// null when there is no view, no root item or no such item.
QQuickItem *findViewItem(const QString &objectName);
