#include "core/logging.h"

Q_LOGGING_CATEGORY(lcCore, "kestrava.core", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDevice, "kestrava.device", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDeviceRaw, "kestrava.device.raw", QtWarningMsg)
Q_LOGGING_CATEGORY(lcBridge, "kestrava.bridge", QtInfoMsg)
Q_LOGGING_CATEGORY(lcHistory, "kestrava.history", QtInfoMsg)
Q_LOGGING_CATEGORY(lcNotify, "kestrava.notify", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUi, "kestrava.ui", QtInfoMsg)
