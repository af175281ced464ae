#include "history/historyshared.h"

#include "core/logging.h"
#include "core/sqlutil.h"
#include "history/historyio.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

#include <algorithm>
#include <iterator>

namespace {

// The SMS log's time text.
constexpr char kSmsLogTimeFormat[] = "yyyy-MM-dd hh:mm:ss";

// What a report mail reads of each file it can list: its connection and its two columns.
struct ReportSource
{
    HistoryFile file;
    const char *connection;
    const char *query;
};
const ReportSource kReportSources[] = {
    {HistoryFile::DayGen, "email_DayReport", "select Date,Power from daygen"},
    {HistoryFile::MonthGen, "email_MonthReport", "select Date,Gen from monthgen"},
    {HistoryFile::YearGen, "email_YearReport", "select Date,Gen from yeargen"},
};

} // namespace

bool appendSmsLogRow(const QDateTime &time, const QString &number, const QString &text, bool sent)
{
    // One log for every family: the stem and table are the same for all three.
    const DeviceFamily family = DeviceFamily::ThreePhaseUps;
    if (!ensureHistoryFolder(HistoryFile::SmsLog))
        return false;
    DbConnection db(QStringLiteral("sms_log_s"), historyFilePath(HistoryFile::SmsLog, family, time.date()),
                    DbConnection::CreateIfMissing, lcHistory);
    if (!db.isOpen() || !db.createTableIfMissing(historyTableName(HistoryFile::SmsLog),
                                                 historyCreateSql(HistoryFile::SmsLog, family)))
        return false;
    return db.exec(historyInsertSql(HistoryFile::SmsLog, family),
                   {time.toString(QLatin1String(kSmsLogTimeFormat)), number, text,
                    sent ? QStringLiteral("1") : QStringLiteral("0")});
}

std::optional<QList<QStringList>> readReportRows(HistoryFile file, DeviceFamily family, const QDate &day)
{
    const auto source = std::find_if(std::begin(kReportSources), std::end(kReportSources),
                                     [file](const ReportSource &s) { return s.file == file; });
    if (source == std::end(kReportSources))
        return std::nullopt;
    QList<QStringList> rows;
    const QString path = historyFilePath(file, family, day);
    // Reading must not create the file the history thread will write.
    if (!QFileInfo::exists(path))
        return rows;
    DbConnection db(QLatin1String(source->connection), path, DbConnection::ReadExisting, lcHistory);
    bool read = db.isOpen();
    if (read && db.hasTable(historyTableName(file))) {
        read = db.forEachRow(QLatin1String(source->query), {}, [&rows](const QSqlQuery &row) {
            rows.append({row.value(0).toString(), row.value(1).toString()});
            return true;
        });
    } else if (read) {
        // No table: a file opened and never written has no rows yet, but a file that is
        // no database at all fails this as it failed the look for the table.
        read = db.exec(QStringLiteral("select count(*) from sqlite_master"));
    }
    if (!read)
        return std::nullopt;
    return rows;
}

bool removeDayCounterFile(const QDate &day)
{
    QFile file(historyFilePath(HistoryFile::TotalGenByDay, DeviceFamily::Inverter, day));
    if (!file.exists() || file.remove())
        return true;
    qCWarning(lcHistory).noquote() << "cannot remove" << file.fileName() << file.errorString();
    return false;
}
