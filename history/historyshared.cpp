#include "history/historyshared.h"

#include "core/logging.h"
#include "core/sqlutil.h"
#include "history/historyio.h"

namespace {

// The SMS log's time text.
constexpr char kSmsLogTimeFormat[] = "yyyy-MM-dd hh:mm:ss";

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
