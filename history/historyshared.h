#pragma once
// The history files as the other subsystems reach them: the SMS log the SMS thread writes,
// the generation rows a report mail lists, and the inverter's day counter file that a
// cleared lifetime counter makes stale. Names, tables and create texts come from
// core/historyfiles; every connection from core/sqlutil; failures are traced in
// kestrava.history.
//
// Reentrant; each call opens and removes its own connection, so any thread may call them.
#include "core/historyfiles.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Appends one SMS to the log of the month of `time`: the number, the text and whether the
// modem took it. The log's folder is made again when it was deleted. False when the SMS
// was not logged.
bool appendSmsLogRow(const QDateTime &time, const QString &number, const QString &text, bool sent);

// The rows a report mail lists, each its date and its generation, from the day file
// (DayGen), month file (MonthGen) or year file (YearGen) of `day`. A file that does not exist
// yet gives no rows and is not created; nullopt when the file could not be read, or for
// any other kind of file.
std::optional<QList<QStringList>> readReportRows(HistoryFile file, DeviceFamily family, const QDate &day);

// Deletes the inverter's counter file of `day`, whose first row would otherwise still be
// the start of a lifetime counter the device has just cleared. True when it is gone.
bool removeDayCounterFile(const QDate &day);
