#pragma once
// Start-up steps that run before the main window exists: paths, folders, settings
// and the device-value placeholders. Runs on the GUI thread before any worker thread.
#include <QString>

// dataLocation: the platform's per-user data location; appDir: the program's folder.
void runStartup(const QString &dataLocation, const QString &appDir);
