// The five-minute snapshot of the live values and the event log.
#include "history/data_thread.h"

#include "history/historyio.h"

#include "core/devicestate.h"
#include "core/events.h"
#include "core/helpers.h"
#include "core/historyfiles.h"
#include "core/logging.h"
#include "core/sqlutil.h"

namespace {

// Codes whose event rows carry constants in the UPS families: at a lost link or a port
// that will not open the live values are stale.
bool carriesConstantValues(int code)
{
    return code == EventCommFailed || code == EventSerialOpenFailed;
}

// The family's value columns of a snapshot or event row, copied under the device lock and
// formatted after release.
QVariantList liveValues(DeviceFamily family)
{
    const int upsDecimalCount = upsDecimals(family);
    const HistoryValueColumns set = historyValueColumns(family);
    QStringList texts;
    texts.reserve(set.count);
    {
        QReadLocker locker(&upsInfo.lock);
        for (int i = 0; i < set.count; ++i) {
            const int index = set.columns[i].valueIndex;
            texts << (family == DeviceFamily::Inverter ? inverterInfo.values[index] : upsInfo.values[index]);
        }
    }
    QVariantList values;
    values.reserve(set.count);
    for (int i = 0; i < set.count; ++i)
        values << (family == DeviceFamily::Inverter ? texts[i] : formatPhases(texts[i], upsDecimalCount));
    return values;
}

QVariantList constantValues(DeviceFamily family)
{
    const QString zero = family == DeviceFamily::ThreePhaseUps ? QStringLiteral("0.0") : QStringLiteral("0.00");
    QVariantList values;
    const int count = historyValueColumns(family).count;
    values.reserve(count);
    for (int i = 0; i < count; ++i)
        values << zero;
    return values;
}

// Puts events that could not be written back in front of those that came meanwhile, and
// keeps the queue within the bound of every event queue by dropping the oldest, with one
// trace line per pass, so a log that stays unwritable costs no more memory than a full queue.
void keepEventsForLater(QList<EventItem> events)
{
    int dropped = 0;
    {
        QWriteLocker locker(&dbEventQueueLock);
        events.append(dbEventQueue);
        dbEventQueue.swap(events);
        const qsizetype excess = dbEventQueue.size() - kEventQueueLimit;
        if (excess > 0) {
            dbEventQueue.remove(0, excess);
            dropped = int(excess);
        }
    }
    if (dropped)
        qCWarning(lcHistory) << "event log not writable:" << dropped << "oldest queued events dropped";
}
}

QString formatPhases(const QString &text, int decimals)
{
    if (!text.contains(QLatin1Char('/')))
        return QStringLiteral("%1").arg(numberOrZero<double>(text), 0, 'f', decimals);
    QStringList phases = text.split(QLatin1Char('/'));
    for (QString &phase : phases)
        phase = QStringLiteral("%1").arg(numberOrZero<double>(phase), 0, 'f', decimals);
    return phases.join(QLatin1Char('/'));
}

QString data_thread::createTableSql(int kind, const QString &comProtocol) const
{
    switch (kind) {
    case 1:
        return historyCreateSql(HistoryFile::AnalogData, deviceFamily(comProtocol));
    case 2:
        return historyCreateSql(HistoryFile::EventLog, deviceFamily(comProtocol));
    case 3:
        return historyCreateSql(HistoryFile::DayGen, DeviceFamily::ThreePhaseUps);
    case 4:
        return historyCreateSql(HistoryFile::MonthGen, DeviceFamily::ThreePhaseUps);
    case 5:
        return historyCreateSql(HistoryFile::YearGen, DeviceFamily::ThreePhaseUps);
    case 6:
        return historyCreateSql(HistoryFile::TotalGen, DeviceFamily::ThreePhaseUps);
    default:
        break;
    }
    return QString();
}

BoundStatement data_thread::analogInsertSql(int kind, const QString &comProtocol, const QDateTime &now) const
{
    if (kind != 1)
        return {};
    const DeviceFamily family = deviceFamily(comProtocol);
    BoundStatement statement{historyInsertSql(HistoryFile::AnalogData, family),
                             {now.toString(QLatin1String(kSnapshotTimeFormat))}};
    statement.values.append(liveValues(family));
    return statement;
}

WriteOutcome data_thread::saveAnalogData(const QDateTime &now, const QString &comProtocol)
{
    const HistoryFile file = HistoryFile::AnalogData;
    const DeviceFamily family = deviceFamily(comProtocol);
    return writeHistoryRow(QStringLiteral("AnalogData"), file, family, historyFilePath(file, family, now.date()), now,
                           [&] { return analogInsertSql(1, comProtocol, now).values; });
}

void data_thread::saveEventLog(const QDateTime &now, const QString &comProtocol)
{
    {
        QReadLocker locker(&dbEventQueueLock);
        if (dbEventQueue.isEmpty())
            return;
    }
    const HistoryFile file = HistoryFile::EventLog;
    const DeviceFamily family = deviceFamily(comProtocol);
    QString problem;
    if (!ensureHistoryFolder(file, &problem)) {
        eventLogProblem.report(problem);
        keepEventsForLater({});
        return;
    }
    // Every event of the pass goes into the file of the pass's month, whatever its own time.
    const QString path = historyFilePath(file, family, now.date());
    DbConnection db(historyStem(file, family), path, DbConnection::CreateIfMissing, lcHistory,
                    DbConnection::CallerReportsFailures);
    if (!db.isOpen()) {
        eventLogProblem.report(db.lastError());
        keepEventsForLater({});
        return;
    }
    const QList<EventItem> events = takeAllEvents(dbEventQueue, dbEventQueueLock);
    // The rows of one pass carry the values as they are while it runs.
    const QVariantList live = liveValues(family);
    const QVariantList constants = family == DeviceFamily::Inverter ? live : constantValues(family);
    const QString insert = historyInsertSql(file, family);
    // One transaction: an event leaves the queue for good only with its row committed.
    const bool written = db.transaction([&] {
        if (!db.createTableIfMissing(historyTableName(file), historyCreateSql(file, family)))
            return false;
        for (const EventItem &event : events) {
            QVariantList row{event.time.toString(QLatin1String(kEventTimeFormat))};
            row.append(carriesConstantValues(event.code) ? constants : live);
            row << event.code;
            if (!db.exec(insert, row))
                return false;
        }
        return true;
    });
    eventLogProblem.report(written ? QString() : path + QStringLiteral(": ") + db.lastError());
    if (!written)
        keepEventsForLater(events);
}
