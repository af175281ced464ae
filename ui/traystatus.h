#pragma once
// The tray icon's face and tooltip for the device's present state, so that a window
// hidden in the tray still tells at a glance whether anything needs attention.
//
// Thread: GUI thread (icons are pixmaps).
#include "ui/devicestatus.h"

#include <QIcon>
#include <QString>

enum class TrayLevel { Normal, Alarm, NoLink };

struct TrayStatus
{
    TrayLevel level = TrayLevel::Normal;
    QString toolTip;
    bool operator==(const TrayStatus &o) const { return level == o.level && toolTip == o.toolTip; }
};

// The tooltip names the state and the first alarm, in the language of the translators
// installed at the call (context MainWindow); alarm names are the event texts of the
// condition coming, from the table of the device's family.
TrayStatus trayStatus(const DeviceStatus &status);

// The program's icon as it is when all is well, with a red mark in alarm, greyed with a
// grey mark while there is no link.
QIcon trayFace(TrayLevel level);
