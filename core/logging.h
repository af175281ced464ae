#pragma once
// Logging categories: turn on exactly the trace you need with QT_LOGGING_RULES,
// e.g. QT_LOGGING_RULES="kestrava.device.raw.debug=true".
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcCore)       // kestrava.core: start-up, settings, schedule
Q_DECLARE_LOGGING_CATEGORY(lcDevice)     // kestrava.device: link state, transactions
Q_DECLARE_LOGGING_CATEGORY(lcDeviceRaw)  // kestrava.device.raw: hex dumps of frames
Q_DECLARE_LOGGING_CATEGORY(lcBridge)     // kestrava.bridge: QML requests and replies
Q_DECLARE_LOGGING_CATEGORY(lcHistory)    // kestrava.history: history databases
Q_DECLARE_LOGGING_CATEGORY(lcNotify)     // kestrava.notify: SMTP and SMS
Q_DECLARE_LOGGING_CATEGORY(lcUi)         // kestrava.ui: window, tray, archive
