#include "history/historyio.h"

#include "core/devicestate.h"
#include "core/helpers.h"
#include "core/logging.h"
#include "core/sqlutil.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlQuery>

QString inverterValueCopy(int index)
{
    QReadLocker locker(&upsInfo.lock);
    return inverterInfo.values[index];
}

QString upsValueCopy(int index)
{
    QReadLocker locker(&upsInfo.lock);
    return upsInfo.values[index];
}

int upsDecimals(DeviceFamily family)
{
    return family == DeviceFamily::ThreePhaseUps ? 1 : 2;
}

QString formatUpsValue(const QString &text, DeviceFamily family)
{
    return upsDecimals(family) == 1 ? format1Decimal(text) : format2Decimals(text);
}

bool ensureHistoryFolder(HistoryFile file, QString *problem)
{
    const QString folder = historyFolder(file);
    if (QFileInfo(folder).isDir())
        return true;
    // The user may delete a history folder while the program runs: the next write makes it again.
    if (QDir().mkpath(folder))
        return true;
    const QString text = QStringLiteral("cannot create folder ") + folder;
    if (problem)
        *problem = text;
    else
        qCWarning(lcHistory).noquote() << text;
    return false;
}

WriteOutcome writeHistoryRow(const QString &connection, HistoryFile file, DeviceFamily family, const QString &path,
                             const QDateTime &saveTime, const std::function<QVariantList()> &makeRow,
                             const QString &replaceKey)
{
    if (!ensureHistoryFolder(file))
        return WriteOutcome::Failed;
    DbConnection db(connection, path, DbConnection::CreateIfMissing, lcHistory, DbConnection::CallerReportsBusy);
    if (!db.isOpen())
        return WriteOutcome::Failed;
    const std::optional<HistorySaveSlot> slot = historySaveSlot(file, saveTime);
    bool saved = false;
    const bool done = db.transaction([&] {
        if (!db.createTableIfMissing(historyTableName(file), historyCreateSql(file, family)))
            return false;
        if (slot) {
            const bool ran = db.forEachRow(slot->selectSql, {slot->from, slot->to}, [&saved](const QSqlQuery &) {
                saved = true;
                return false;
            });
            if (!ran)
                return false;
            if (saved)
                return true;
        }
        if (!replaceKey.isNull() && !db.exec(historyDeleteSql(file), {replaceKey}))
            return false;
        return db.exec(historyInsertSql(file, family), makeRow());
    });
    if (done)
        return saved ? WriteOutcome::AlreadySaved : WriteOutcome::Written;
    return db.metBusyFile() ? WriteOutcome::Busy : WriteOutcome::Failed;
}

FirstRow readFirstTotal(const QDate &day)
{
    FirstRow result;
    const HistoryFile file = HistoryFile::TotalGenByDay;
    DbConnection db(QStringLiteral("selectpretotalgen"), historyFilePath(file, DeviceFamily::Inverter, day),
                    DbConnection::ReadExisting, lcHistory, DbConnection::CallerReportsBusy);
    if (!db.isOpen())
        return result;
    // A file left empty (created by an open and never written) has no table: no failed
    // statement every second for it.
    if (!db.hasTable(historyTableName(file))) {
        result.state = db.metBusyFile() ? FirstRow::Busy : FirstRow::NoTable;
        return result;
    }
    result.state = FirstRow::NoRow;
    // The start value is the row inserted first, whatever order SQLite would give.
    const bool ran = db.forEachRow(QStringLiteral("select * from totalgenbyday order by rowid limit 1"), {},
                                   [&result](const QSqlQuery &row) {
                                       result.state = FirstRow::Found;
                                       result.text = row.value(1).toString();
                                       return false;
                                   });
    if (!ran)
        result.state = db.metBusyFile() ? FirstRow::Busy : FirstRow::NoTable;
    return result;
}

FirstRow FirstTotalReader::read(const QDate &day)
{
    const QString path = historyFilePath(HistoryFile::TotalGenByDay, DeviceFamily::Inverter, day);
    const QFileInfo file(path);
    if (!file.isFile()) {
        m_path.clear();
        return FirstRow();
    }
    const qint64 size = file.size();
    const QDateTime modified = file.lastModified();
    if (path != m_path || size != m_size || modified != m_modified) {
        m_row = readFirstTotal(day);
        // A file held locked is read again next time.
        if (m_row.state == FirstRow::Busy) {
            m_path.clear();
            return m_row;
        }
        m_path = path;
        m_size = size;
        m_modified = modified;
    }
    return m_row;
}

QString readLatestDayEnergy(const QDate &day, bool *busy)
{
    const HistoryFile file = HistoryFile::DayEnergy;
    DbConnection db(QStringLiteral("selectdaygen"), historyFilePath(file, DeviceFamily::Inverter, day),
                    DbConnection::ReadExisting, lcHistory, DbConnection::CallerReportsBusy);
    if (busy)
        *busy = false;
    if (!db.isOpen())
        return QString();
    if (!db.hasTable(historyTableName(file))) {
        if (busy)
            *busy = db.metBusyFile();
        return QString();
    }
    QString latest;
    // The times have a fixed width, so text order is time order; of two saves in one
    // minute the later insert wins.
    db.forEachRow(QStringLiteral("select * from daygen order by Date desc, rowid desc limit 1"), {},
                  [&latest](const QSqlQuery &row) {
                      latest = row.value(1).toString();
                      return false;
                  });
    if (busy)
        *busy = db.metBusyFile();
    return latest;
}

GenSum sumGenColumn(HistoryFile file, DeviceFamily family, const QString &period)
{
    GenSum result;
    if (!isPeriodText(historyPeriod(file), period))
        return result;
    const QString table = historyTableName(file);
    DbConnection db(table, historyFilePath(file, family, period), DbConnection::ReadExisting, lcHistory,
                    DbConnection::CallerReportsBusy);
    if (!db.isOpen())
        return result;
    result.state = GenSum::NoTable;
    if (!db.hasTable(table)) {
        if (db.metBusyFile())
            result.state = GenSum::Busy;
        return result;
    }
    double sum = 0;
    const bool ran = db.forEachRow(QStringLiteral("select Gen from ") + table, {}, [&sum](const QSqlQuery &row) {
        sum += numberOrZero<double>(row.value(0).toString());
        return true;
    });
    if (ran) {
        result.state = GenSum::Summed;
        result.sum = sum;
    } else if (db.metBusyFile()) {
        result.state = GenSum::Busy;
    }
    return result;
}
