#include "history/historybrowser.h"

#include "core/devicestate.h"
#include "core/events.h"
#include "core/logging.h"
#include "core/sqlutil.h"
#include "core/textformats.h"
#include "history/csvwriter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMap>
#include <QMutex>
#include <QReadLocker>
#include <QSaveFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTime>

#include <sys/stat.h>

#include <algorithm>
#include <iterator>
#include <limits>

namespace {


struct KindInfo
{
    HistoryKind kind;
    const char *type;
    HistoryFile file;
    const char *pageConnection[kHistoryFamilyCount]; // inverter, three-phase UPS, single-phase UPS
    const char *exportConnection[kHistoryFamilyCount];
    const char *csvName[kHistoryFamilyCount]; // %1: the period
    const char *columns;              // what the page and the export select
    const char *orderColumn;
};

const KindInfo kKinds[] = {
    {HistoryKind::ReportDay, "report_day", HistoryFile::DayGen,
     {"reportday", "reportday", "reportday"},
     {"savedayreport", "savedayreport", "savedayreport"},
     {"DayReport%1.csv", "DayReport%1.csv", "DayReport%1.csv"}, "Date,Power", "Date"},
    {HistoryKind::ReportMonth, "report_month", HistoryFile::MonthGen,
     {"reportmonth", "reportmonth", "reportmonth"},
     {"savemonthreport", "savemonthreport", "savemonthreport"},
     {"MonthReport%1.csv", "MonthReport%1.csv", "MonthReport%1.csv"}, "Date,Gen", "Date"},
    {HistoryKind::ReportYear, "report_year", HistoryFile::YearGen,
     {"reportyear", "reportyear", "reportyear"},
     {"saveyearreport", "saveyearreport", "saveyearreport"},
     {"YearReport%1.csv", "YearReport%1.csv", "YearReport%1.csv"}, "Date,Gen", "Date"},
    {HistoryKind::AnalogRecord, "record_analogdata", HistoryFile::AnalogData,
     {"recordanalogdata_zq700_4000kx", "recordanalogdata", "recordanalogdata_s"},
     {"savedatarecord_zq700_4000kx", "savedatarecord", "savedatarecord_s"},
     {"DataRecord_ZQ700_4000KX%1.csv", "DataRecord%1.csv", "DataRecord_s%1.csv"}, "*", "DateTime"},
    {HistoryKind::EventRecord, "record_eventdata", HistoryFile::EventLog,
     {"recordeventdata_zq700_4000kx", "recordeventdata", "recordeventdata_s"},
     {"saveeventrecord_zq700_4000kx", "saveeventrecord", "saveeventrecord_s"},
     {"ZQ700_4000KXEventRecord%1.csv", "EventRecord%1.csv", "EventRecord_s%1.csv"}, "*", "DateTime"},
    {HistoryKind::SmsRecord, "record_smsdata", HistoryFile::SmsLog,
     {"recordsmsdata", "recordsmsdata", "recordsmsdata"},
     {"savesmsrecord", "savesmsrecord", "savesmsrecord"},
     {"SMSRecord%1.csv", "SMSRecord%1.csv", "SMSRecord%1.csv"}, "*", "DateTime"},
};

const KindInfo &info(HistoryKind kind)
{
    return kKinds[int(kind)];
}

// ---- Column sets of the record pages ---------------------------------------------------

enum MaskArea { Bat, Input, Output, Bypass, Pv };

struct MaskedColumn
{
    MaskArea area;
    uint16_t bits; // every bit must be set
    const char *heading;
    int position;
};

// The UPS columns a communicating device announces; a 32-bit value needs both its bits.
const MaskedColumn kMaskedUpsColumns[] = {
    {Bat, 0x2, QT_TRANSLATE_NOOP("qmlobject", "BatteryDischageTime"), 1},
    {Bat, 0x4, QT_TRANSLATE_NOOP("qmlobject", "BatteryRemainTime"), 2},
    {Bat, 0x8, QT_TRANSLATE_NOOP("qmlobject", "BatteryRemmainCap"), 3},
    {Bat, 0x10, QT_TRANSLATE_NOOP("qmlobject", "BatteryVolt(V)"), 4},
    {Bat, 0x20, QT_TRANSLATE_NOOP("qmlobject", "BatteryCurr(A)"), 5},
    {Bat, 0x40, QT_TRANSLATE_NOOP("qmlobject", "BatteryTemp(C)"), 6},
    {Input, 0x2, QT_TRANSLATE_NOOP("qmlobject", "InputPowerFac"), 7},
    {Input, 0x4 | 0x8, QT_TRANSLATE_NOOP("qmlobject", "InputGenC(KW)"), 8},
    {Input, 0x10, QT_TRANSLATE_NOOP("qmlobject", "InputFreq(Hz)"), 9},
    {Input, 0x20, QT_TRANSLATE_NOOP("qmlobject", "InputVolt(V)"), 10},
    {Input, 0x40, QT_TRANSLATE_NOOP("qmlobject", "InputCurr(A)"), 11},
    {Input, 0x80, QT_TRANSLATE_NOOP("qmlobject", "InputActPower(KW)"), 12},
    {Input, 0x100, QT_TRANSLATE_NOOP("qmlobject", "InputAppPower(KVA)"), 13},
    {Input, 0x200, QT_TRANSLATE_NOOP("qmlobject", "InputWattPower(KVar)"), 14},
    {Output, 0x2, QT_TRANSLATE_NOOP("qmlobject", "OutputFrq(HZ)"), 15},
    {Output, 0x4, QT_TRANSLATE_NOOP("qmlobject", "OutputPowerFac"), 16},
    {Output, 0x8 | 0x10, QT_TRANSLATE_NOOP("qmlobject", "OutputGen(KW)"), 17},
    {Output, 0x20, QT_TRANSLATE_NOOP("qmlobject", "OutputVolt(V)"), 18},
    {Output, 0x40, QT_TRANSLATE_NOOP("qmlobject", "OutputCurr(A)"), 19},
    {Output, 0x80, QT_TRANSLATE_NOOP("qmlobject", "OutputActivePower(KW)"), 20},
    {Output, 0x100, QT_TRANSLATE_NOOP("qmlobject", "OutputAppPower(KVA)"), 21},
    {Output, 0x200, QT_TRANSLATE_NOOP("qmlobject", "OutputWattPower(KVar)"), 22},
    {Output, 0x400, QT_TRANSLATE_NOOP("qmlobject", "OutputLoadPercent(%)"), 23},
    {Bypass, 0x2, QT_TRANSLATE_NOOP("qmlobject", "BypassFreq(Hz)"), 24},
    {Bypass, 0x4, QT_TRANSLATE_NOOP("qmlobject", "BypassVol(V)"), 25},
    {Bypass, 0x8, QT_TRANSLATE_NOOP("qmlobject", "BypassCurr(A)"), 26},
    {Bypass, 0x10, QT_TRANSLATE_NOOP("qmlobject", "BypassActPower(KW)"), 27},
    {Pv, 0x4, QT_TRANSLATE_NOOP("qmlobject", "PVVolt(V)"), 28},
    {Pv, 0x8, QT_TRANSLATE_NOOP("qmlobject", "PVCurr(A)"), 29},
    {Pv, 0x10, QT_TRANSLATE_NOOP("qmlobject", "PVPower(KW)"), 30},
    {Pv, 0x20 | 0x40, QT_TRANSLATE_NOOP("qmlobject", "PVDayGen(KWH)"), 31},
    {Pv, 0x80 | 0x100, QT_TRANSLATE_NOOP("qmlobject", "PVTotalGen(KWH)"), 32},
};

// The inverter's columns: position k under heading k.
const RecordColumn kInverterColumns[] = {
    {QT_TRANSLATE_NOOP("qmlobject", "InputVolt(V)"), 1},
    {QT_TRANSLATE_NOOP("qmlobject", "InputFreq(Hz)"), 2},
    {QT_TRANSLATE_NOOP("qmlobject", "BypVolt(V)"), 3},
    {QT_TRANSLATE_NOOP("qmlobject", "BypFreq(Hz)"), 4},
    {QT_TRANSLATE_NOOP("qmlobject", "OutputVolt(V)"), 5},
    {QT_TRANSLATE_NOOP("qmlobject", "OutputFreq(Hz)"), 6},
    {QT_TRANSLATE_NOOP("qmlobject", "OutputActivePower(W)"), 7},
    {QT_TRANSLATE_NOOP("qmlobject", "OutputApparentPower(VA)"), 8},
    {QT_TRANSLATE_NOOP("qmlobject", "OutputLoadPercent(%)"), 9},
    {QT_TRANSLATE_NOOP("qmlobject", "OutputPowerFactor"), 10},
    {QT_TRANSLATE_NOOP("qmlobject", "MachineTemp"), 11},
    {QT_TRANSLATE_NOOP("qmlobject", "BattVolt(V)"), 12},
    {QT_TRANSLATE_NOOP("qmlobject", "BattRemainCap"), 13},
    {QT_TRANSLATE_NOOP("qmlobject", "PVVolt(V)"), 14},
    {QT_TRANSLATE_NOOP("qmlobject", "PVPower(W)"), 15},
    {QT_TRANSLATE_NOOP("qmlobject", "PVDayGen(KWH)"), 16},
    {QT_TRANSLATE_NOOP("qmlobject", "PVTotalGen(KWH)"), 17},
};

// While the device is not communicating nobody knows what it reports: the UPS columns
// without the masks. On an inverter file these positions hold other values or none.
const RecordColumn kDefaultColumns[] = {
    {QT_TRANSLATE_NOOP("qmlobject", "BatteryVolt(V)"), 4},
    {QT_TRANSLATE_NOOP("qmlobject", "BatteryCurr(A)"), 5},
    {QT_TRANSLATE_NOOP("qmlobject", "BatteryTemp(C)"), 6},
    {QT_TRANSLATE_NOOP("qmlobject", "InputPowerFac"), 7},
    {QT_TRANSLATE_NOOP("qmlobject", "InputFreq(Hz)"), 9},
    {QT_TRANSLATE_NOOP("qmlobject", "InputVolt(V)"), 10},
    {QT_TRANSLATE_NOOP("qmlobject", "InputCurr(A)"), 11},
    {QT_TRANSLATE_NOOP("qmlobject", "InputActPower(KW)"), 12},
    {QT_TRANSLATE_NOOP("qmlobject", "OutputFrq(Hz)"), 15},
    {QT_TRANSLATE_NOOP("qmlobject", "OutputPowerFac"), 16},
    {QT_TRANSLATE_NOOP("qmlobject", "OutputVolt(V)"), 18},
    {QT_TRANSLATE_NOOP("qmlobject", "OutputCurr(A)"), 19},
    {QT_TRANSLATE_NOOP("qmlobject", "OutputActivePower(KW)"), 20},
    {QT_TRANSLATE_NOOP("qmlobject", "OutputLoadPercent(%)"), 23},
    {QT_TRANSLATE_NOOP("qmlobject", "BypassFreq(Hz)"), 24},
    {QT_TRANSLATE_NOOP("qmlobject", "BypassVol(V)"), 25},
    {QT_TRANSLATE_NOOP("qmlobject", "BypassCurr(A)"), 26},
    {QT_TRANSLATE_NOOP("qmlobject", "BypassActPower(KW)"), 27},
    {QT_TRANSLATE_NOOP("qmlobject", "PVVolt(V)"), 28},
    {QT_TRANSLATE_NOOP("qmlobject", "PVCurr(A)"), 29},
    {QT_TRANSLATE_NOOP("qmlobject", "PVPower(KW)"), 30},
    {QT_TRANSLATE_NOOP("qmlobject", "PVDayGen(KWH)"), 31},
    {QT_TRANSLATE_NOOP("qmlobject", "PVTotalGen(KWH)"), 32},
};

uint16_t maskOf(const RecordSnapshot &s, MaskArea area)
{
    switch (area) {
    case Bat: return s.batMask;
    case Input: return s.inputMask;
    case Output: return s.outputMask;
    case Bypass: return s.bypassMask;
    case Pv: return s.pvMask;
    }
    return 0;
}

// ---- CSV header texts -----------------------------------------------------------------

const char *const kCsvInverterValues[] = {
    QT_TRANSLATE_NOOP("qmlobject", "DateTime"),
    QT_TRANSLATE_NOOP("qmlobject", "InputVolt(V)"),
    QT_TRANSLATE_NOOP("qmlobject", "InputFreq(Hz)"),
    QT_TRANSLATE_NOOP("qmlobject", "BypVolt(V)"),
    QT_TRANSLATE_NOOP("qmlobject", "BypFreq(Hz)"),
    QT_TRANSLATE_NOOP("qmlobject", "OutputVolt(V)"),
    QT_TRANSLATE_NOOP("qmlobject", "OutputFreq(Hz)"),
    QT_TRANSLATE_NOOP("qmlobject", "OutputActivePower(W)"),
    QT_TRANSLATE_NOOP("qmlobject", "OutputApparentPower(W)"),
    QT_TRANSLATE_NOOP("qmlobject", "OutputLoadPercent(%)"),
    QT_TRANSLATE_NOOP("qmlobject", "OutputPowerFactor"),
    QT_TRANSLATE_NOOP("qmlobject", "MachineTemp"),
    QT_TRANSLATE_NOOP("qmlobject", "BattVolt(V)"),
    QT_TRANSLATE_NOOP("qmlobject", "BattRemainCap"),
    QT_TRANSLATE_NOOP("qmlobject", "PVVolt(V)"),
    QT_TRANSLATE_NOOP("qmlobject", "PVPower(W)"),
    QT_TRANSLATE_NOOP("qmlobject", "PVDayGen(KWH)"),
    QT_TRANSLATE_NOOP("qmlobject", "PVTotalGen(KWH)"),
};

const char *const kCsvUpsValues[] = {
    QT_TRANSLATE_NOOP("qmlobject", "DateTime"),
    QT_TRANSLATE_NOOP("qmlobject", "BatteryDischageTime(M)"),
    QT_TRANSLATE_NOOP("qmlobject", "BatteryRemainTime(M)"),
    QT_TRANSLATE_NOOP("qmlobject", "BatteryRemmainCap(%)"),
    QT_TRANSLATE_NOOP("qmlobject", "BatteryVolt(V)"),
    QT_TRANSLATE_NOOP("qmlobject", "BatteryCurr(A)"),
    QT_TRANSLATE_NOOP("qmlobject", "BatteryTemp(C)"),
    QT_TRANSLATE_NOOP("qmlobject", "InputPowerFac"),
    QT_TRANSLATE_NOOP("qmlobject", "InputGen(KWH)"),
    QT_TRANSLATE_NOOP("qmlobject", "InputFreq(HZ)"),
    QT_TRANSLATE_NOOP("qmlobject", "InputVolt(V)"),
    QT_TRANSLATE_NOOP("qmlobject", "InputCurr(A)"),
    QT_TRANSLATE_NOOP("qmlobject", "InputActPower(KW)"),
    QT_TRANSLATE_NOOP("qmlobject", "InputAppPower(KVA)"),
    QT_TRANSLATE_NOOP("qmlobject", "InputWattPower(KVar)"),
    QT_TRANSLATE_NOOP("qmlobject", "OutputFrq(HZ)"),
    QT_TRANSLATE_NOOP("qmlobject", "OutputPowerFac"),
    QT_TRANSLATE_NOOP("qmlobject", "OutputGen(KWH)"),
    QT_TRANSLATE_NOOP("qmlobject", "OutputVolt(V)"),
    QT_TRANSLATE_NOOP("qmlobject", "OutputCurr(A)"),
    QT_TRANSLATE_NOOP("qmlobject", "OutputActivePower(KW)"),
    QT_TRANSLATE_NOOP("qmlobject", "OutputAppPower(KVA)"),
    QT_TRANSLATE_NOOP("qmlobject", "OutputWattPower(KVar)"),
    QT_TRANSLATE_NOOP("qmlobject", "OutputLoadPercent(%)"),
    QT_TRANSLATE_NOOP("qmlobject", "BypassFreq(HZ)"),
    QT_TRANSLATE_NOOP("qmlobject", "BypassVol(V)"),
    QT_TRANSLATE_NOOP("qmlobject", "BypassCurr(A)"),
    QT_TRANSLATE_NOOP("qmlobject", "BypassActPower(KW)"),
    QT_TRANSLATE_NOOP("qmlobject", "PVVolt(V)"),
    QT_TRANSLATE_NOOP("qmlobject", "PVCurr(A)"),
    QT_TRANSLATE_NOOP("qmlobject", "PVPower(KW)"),
    QT_TRANSLATE_NOOP("qmlobject", "PVDayGen(KWH)"),
    QT_TRANSLATE_NOOP("qmlobject", "PVTotalGen(KWH)"),
};

const char kCsvDate[] = QT_TRANSLATE_NOOP("qmlobject", "Date");
const char kCsvGen[] = QT_TRANSLATE_NOOP("qmlobject", "Gen(KWH)");
const char kCsvPowerW[] = QT_TRANSLATE_NOOP("qmlobject", "Power(W)");
const char kCsvPowerKW[] = QT_TRANSLATE_NOOP("qmlobject", "Power(KW)");
const char kCsvDescription[] = QT_TRANSLATE_NOOP("qmlobject", "Description");
const char *const kCsvSms[] = {QT_TRANSLATE_NOOP("qmlobject", "DateTime"), QT_TRANSLATE_NOOP("qmlobject", "phone"),
                               QT_TRANSLATE_NOOP("qmlobject", "event")};

// ---- Reading --------------------------------------------------------------------------

// Pages and exports of a large event log walk the whole file; mapping it lets SQLite read
// the pages in place instead of copying each one through read().
constexpr qint64 kMapBytes = 256 * 1024 * 1024;

void mapFile(DbConnection &db)
{
    db.exec(QStringLiteral("pragma mmap_size=%1").arg(kMapBytes));
}

QString orderBy(const KindInfo &k, bool newestFirst)
{
    const char *dir = newestFirst ? "desc" : "asc";
    // The insertion order breaks ties, so two rows of the same time keep their places.
    return QStringLiteral("order by %1 %2,rowid %2").arg(QLatin1String(k.orderColumn), QLatin1String(dir));
}

QString selectAll(const KindInfo &k)
{
    return QStringLiteral("select %1 from %2 %3")
        .arg(QLatin1String(k.columns), historyTableName(k.file), orderBy(k, true));
}

// The index into the event texts of a stored event code; -1 for none. A code beyond int
// (the column takes any integer) names no text rather than wrapping onto one, and a code
// that is missing, NULL or no number names none either: it is not event 0.
qsizetype eventTextIndex(QByteArrayView stored, qsizetype textCount)
{
    bool ok = false;
    const qlonglong code = stored.toLongLong(&ok);
    return ok && code >= 0 && code < textCount ? qsizetype(code) : -1;
}

QString storedEventText(const QStringList &texts, const QString &stored)
{
    const qsizetype index = eventTextIndex(stored.toUtf8(), texts.size());
    return index < 0 ? QString() : texts.at(index);
}

// The cells a page shows of one stored row.
class PageCells
{
public:
    PageCells(HistoryKind kind, const RecordSnapshot &snapshot, const QStringList &eventTexts)
        : m_kind(kind), m_eventTexts(eventTexts), m_codeColumn(eventCodeColumn(snapshot.family))
    {
        if (isRecordPageKind(kind))
            m_columns = recordColumns(snapshot);
    }

    QStringList cells(const QSqlQuery &row) const
    {
        const int stored = row.record().count();
        auto at = [&](int position) { return position < stored ? row.value(position).toString() : QString(); };
        QStringList out;
        switch (m_kind) {
        case HistoryKind::ReportDay:
        case HistoryKind::ReportMonth:
        case HistoryKind::ReportYear:
            out << at(0) << at(1);
            break;
        case HistoryKind::SmsRecord:
            out << at(0) << at(1) << at(2) << at(3);
            break;
        case HistoryKind::AnalogRecord:
        case HistoryKind::EventRecord:
            out.reserve(2 + m_columns.size());
            out << at(0);
            if (m_kind == HistoryKind::EventRecord)
                out << storedEventText(m_eventTexts, at(m_codeColumn));
            for (const RecordColumn &c : m_columns)
                out << at(c.position);
            break;
        }
        return out;
    }

private:
    HistoryKind m_kind;
    const QStringList &m_eventTexts;
    int m_codeColumn;
    QList<RecordColumn> m_columns;
};

} // namespace

std::optional<HistoryKind> historyKindOf(const QString &type)
{
    for (const KindInfo &k : kKinds) {
        if (type == QLatin1String(k.type))
            return k.kind;
    }
    return std::nullopt;
}

QString historyKindType(HistoryKind kind)
{
    return QLatin1String(info(kind).type);
}

HistoryFile historyKindFile(HistoryKind kind)
{
    return info(kind).file;
}

bool isRecordPageKind(HistoryKind kind)
{
    return kind == HistoryKind::AnalogRecord || kind == HistoryKind::EventRecord;
}

QString historyKindPath(HistoryKind kind, DeviceFamily family, const QString &period)
{
    const HistoryFile file = info(kind).file;
    if (!isPeriodText(historyPeriod(file), period))
        return QString();
    return historyFilePath(file, family, period);
}

bool historyFileExists(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

bool removeHistoryFile(const QString &path, QString *error)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return true;
    QFile file(path);
    if (file.remove())
        return true;
    *error = file.errorString();
    return false;
}

QString pageConnectionName(HistoryKind kind, DeviceFamily family)
{
    return QLatin1String(info(kind).pageConnection[historyFamilyIndex(family)]);
}

QString exportConnectionName(HistoryKind kind, DeviceFamily family)
{
    return QLatin1String(info(kind).exportConnection[historyFamilyIndex(family)]);
}

QString defaultCsvName(HistoryKind kind, DeviceFamily family, const QString &period)
{
    const bool valid = isPeriodText(historyPeriod(info(kind).file), period);
    return QLatin1String(info(kind).csvName[historyFamilyIndex(family)]).arg(valid ? period : QString());
}

RecordSnapshot takeRecordSnapshot(const QString &comProtocol)
{
    RecordSnapshot s;
    s.family = deviceFamily(comProtocol);
    QReadLocker locker(&upsInfo.lock);
    s.communicating = upsInfo.commState == CommOk;
    s.batMask = upsInfo.batFieldMask;
    s.inputMask = upsInfo.inputFieldMask;
    s.outputMask = upsInfo.outputFieldMask;
    s.bypassMask = upsInfo.bypassFieldMask;
    s.pvMask = upsInfo.pvFieldMask;
    return s;
}

QList<RecordColumn> deviceRecordColumns(const RecordSnapshot &snapshot)
{
    if (snapshot.family == DeviceFamily::Inverter)
        return QList<RecordColumn>(std::begin(kInverterColumns), std::end(kInverterColumns));
    QList<RecordColumn> out;
    for (const MaskedColumn &c : kMaskedUpsColumns) {
        if ((maskOf(snapshot, c.area) & c.bits) == c.bits)
            out.append({c.heading, c.position});
    }
    return out;
}

QList<RecordColumn> defaultRecordColumns()
{
    return QList<RecordColumn>(std::begin(kDefaultColumns), std::end(kDefaultColumns));
}

QList<RecordColumn> recordColumns(const RecordSnapshot &snapshot)
{
    return snapshot.communicating ? deviceRecordColumns(snapshot) : defaultRecordColumns();
}

void appendRecordHeadings(QStringList &keys, int kind, const QList<RecordColumn> &columns)
{
    keys << QCoreApplication::translate("qmlobject", "DateTime");
    if (kind == 2)
        keys << QCoreApplication::translate("qmlobject", "Event Description");
    for (const RecordColumn &c : columns)
        keys << QCoreApplication::translate("qmlobject", c.heading);
}

qint64 pageNumberOf(const QString &text)
{
    bool ok = false;
    const qint64 page = text.toLongLong(&ok, 10);
    if (ok)
        return page;
    // Digits that overflow 64 bits still ask for a page far past the end, not the first.
    const QString digits = text.trimmed();
    const bool negative = digits.startsWith(QLatin1Char('-'));
    const QStringView body = QStringView(digits).mid(digits.startsWith(QLatin1Char('+')) || negative ? 1 : 0);
    if (body.isEmpty() || !std::all_of(body.begin(), body.end(), [](QChar c) { return c.isDigit() && c.unicode() < 128; }))
        return 0;
    return negative ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
}

namespace {

// What identifies one state of a history file without reading it: size, modification
// time and SQLite's file change counter (header bytes 24-27, raised by every committed
// write in the rollback-journal mode the history files use).
struct FileStamp
{
    qint64 size = -1;
    qint64 modifiedMs = 0;
    QByteArray counter;
    bool operator==(const FileStamp &o) const
    {
        return size == o.size && modifiedMs == o.modifiedMs && counter == o.counter;
    }
};

FileStamp stampOf(const QString &path)
{
    FileStamp s;
    const QFileInfo info(path);
    s.size = info.size();
    const QDateTime modified = info.lastModified();
    s.modifiedMs = modified.toMSecsSinceEpoch();
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray header = file.read(100);
        s.counter = header.mid(24, 4) + header.mid(92, 8);
    }
    return s;
}

// The row ids of the last paged file in page order. Sorting a 400 000-row event log takes
// a good part of a second, so the order is kept until the file changes and every further
// page reads its ten rows by id. One file at a time: at most 8 bytes per row of it.
struct PageOrder
{
    QString key; // file and kind
    FileStamp stamp;
    QList<qint64> ids;
};

QMutex pageOrderMutex; // guards pageOrder
PageOrder pageOrder;

// The row ids newest first. The writers append in time order, so a file is nearly always
// in order already: one pass over the times in storage order tells, and only a file that
// is not (a clock set back, rows of another writer) is sorted by SQLite. Texts compare as
// SQLite's default collation does, byte by byte; a time that is not text takes the sort.
bool readPageOrder(DbConnection &db, const KindInfo &k, QList<qint64> &ids)
{
    const QString table = historyTableName(k.file);
    QByteArray previous;
    bool inOrder = true;
    const bool ran = db.forEachRawRow(
        QStringLiteral("select rowid,%1,typeof(%1)='text' from %2").arg(QLatin1String(k.orderColumn), table),
        [&](const RawRow &row) {
            const QByteArrayView time = row.text(1);
            if (row.integer(2) != 1 || (!ids.isEmpty() && time.compare(previous) < 0)) {
                inOrder = false;
                return false;
            }
            previous.truncate(0); // keeps its capacity: no allocation per row
            previous.append(time);
            ids.append(row.integer(0));
            return true;
        });
    if (!ran)
        return false;
    if (inOrder) {
        std::reverse(ids.begin(), ids.end());
        return true;
    }
    ids.clear();
    return db.forEachRawRow(QStringLiteral("select rowid from %1 %2").arg(table, orderBy(k, true)),
                            [&ids](const RawRow &row) {
                                ids.append(row.integer(0));
                                return true;
                            });
}

} // namespace

HistoryPage readHistoryPage(HistoryKind kind, const QString &path, const QString &connectionName, qint64 page,
                            const RecordSnapshot &snapshot, const QStringList &eventTexts)
{
    HistoryPage out;
    const KindInfo &k = info(kind);
    DbConnection db(connectionName, path, DbConnection::ReadExisting, lcHistory, DbConnection::CallerReportsFailures,
                    kBrowserBusyWaitMs);
    const auto failed = [&out, &db] {
        out.busy = db.metBusyFile();
        out.error = db.lastError();
        return out;
    };
    out.opened = db.isOpen();
    if (!out.opened)
        return failed();
    mapFile(db);
    const QString table = historyTableName(k.file);
    const QString key = historyKindType(kind) + QLatin1Char('|') + path;

    // Taken before the ids are read: a write after it gives another stamp next time.
    const FileStamp stamp = stampOf(path);
    QList<qint64> ids;
    {
        QMutexLocker locker(&pageOrderMutex);
        if (pageOrder.key == key && pageOrder.stamp == stamp)
            ids = pageOrder.ids;
    }
    if (ids.isEmpty()) {
        out.queried = readPageOrder(db, k, ids);
        if (!out.queried)
            return failed();
        QMutexLocker locker(&pageOrderMutex);
        pageOrder = PageOrder{key, stamp, ids};
    }
    out.queried = true;
    out.count = ids.size();
    const qint64 pageCount = (out.count + kPageRows - 1) / kPageRows;
    if (page < 0 || page >= pageCount)
        return out;
    const qint64 first = page * kPageRows; // page < pageCount, so no overflow
    const qint64 last = std::min(first + kPageRows, out.count) - 1;
    QStringList marks;
    QVariantList values;
    for (qint64 i = first; i <= last; ++i) {
        marks << QStringLiteral("?");
        values << ids.at(i);
    }
    const QString sql = QStringLiteral("select %1 from %2 where rowid in (%3) %4")
                            .arg(QLatin1String(k.columns), table, marks.join(QLatin1Char(',')), orderBy(k, true));
    const PageCells cells(kind, snapshot, eventTexts);
    out.queried = db.forEachRow(sql, values, [&](const QSqlQuery &row) {
        out.rows.append(cells.cells(row));
        return true;
    });
    if (!out.queried) {
        out.rows.clear();
        out.count = 0;
        return failed();
    }
    return out;
}

// ---- Charts ---------------------------------------------------------------------------

namespace {
struct ChartInfo
{
    ChartKind kind;
    const char *flag;
    HistoryFile file;
    int xColumn, yColumn;
};

const ChartInfo kCharts[] = {
    {ChartKind::Day, "chartday", HistoryFile::DayGen, 1, 2},
    {ChartKind::Month, "chartmonth", HistoryFile::MonthGen, 0, 2},
    {ChartKind::Year, "chartyear", HistoryFile::YearGen, 0, 2},
    {ChartKind::Total, "charttotal", HistoryFile::TotalGen, 0, 1},
};

// The total chart always shows this many years, the earliest stored year and those before it.
constexpr int kTotalChartYears = 15;
} // namespace

std::optional<ChartKind> chartKindOf(const QString &flag)
{
    for (const ChartInfo &c : kCharts) {
        if (flag == QLatin1String(c.flag))
            return c.kind;
    }
    return std::nullopt;
}

HistoryFile chartKindFile(ChartKind kind)
{
    return kCharts[int(kind)].file;
}

QString chartReply(ChartKind kind, const QString &path, const QString &connectionName, bool *busy)
{
    const ChartInfo &c = kCharts[int(kind)];
    QList<QStringList> pairs;
    {
        DbConnection db(connectionName, path, DbConnection::ReadExisting, lcHistory, DbConnection::CallerReportsBusy,
                        kBrowserBusyWaitMs);
        if (busy)
            *busy = false;
        if (db.isOpen()) {
            const QString sql = QStringLiteral("select * from %1 order by Date").arg(historyTableName(c.file));
            db.forEachRow(sql, {}, [&](const QSqlQuery &row) {
                const int stored = row.record().count();
                if (c.xColumn < stored && c.yColumn < stored)
                    pairs.append({row.value(c.xColumn).toString(), row.value(c.yColumn).toString()});
                return true;
            });
            if (busy)
                *busy = db.metBusyFile();
        }
    }
    if (busy && *busy)
        return QString();
    if (pairs.isEmpty())
        return QString();

    if (kind == ChartKind::Day) {
        // Each row goes to the slot of its own time, so a missed save leaves zeros in
        // its slots and the rows after it stay where they belong; of two rows of one
        // slot the first stays.
        QMap<int, QString> slotValues;
        const QString timeFormat = QLatin1String(kSnapshotTimeFormat);
        for (const QStringList &p : pairs) {
            const QDateTime at = QDateTime::fromString(p.at(0), timeFormat);
            if (!at.isValid())
                continue;
            const int slot = (at.time().hour() * 60 + at.time().minute()) / 5;
            if (!slotValues.contains(slot))
                slotValues.insert(slot, p.at(1));
        }
        return daySeriesText(slotValues);
    }

    if (kind == ChartKind::Total && pairs.size() < kTotalChartYears) {
        // Counted in 64 bits: a stored year at the bottom of int must not wrap round.
        const qint64 firstYear = pairs.first().at(0).toInt();
        for (qint64 year = firstYear - 1; pairs.size() < kTotalChartYears; --year)
            pairs.append({QString::number(year), QStringLiteral("0")});
    }
    FieldRowText rows;
    for (const QStringList &p : pairs)
        rows.addRow(p);
    return rows.text();
}

// ---- CSV ------------------------------------------------------------------------------

QList<const char *> csvHeaderSources(HistoryKind kind, DeviceFamily family)
{
    const bool inverter = family == DeviceFamily::Inverter;
    QList<const char *> out;
    switch (kind) {
    case HistoryKind::ReportDay:
        out << kCsvDate << (inverter ? kCsvPowerW : kCsvPowerKW);
        break;
    case HistoryKind::ReportMonth:
    case HistoryKind::ReportYear:
        out << kCsvDate << kCsvGen;
        break;
    case HistoryKind::AnalogRecord:
    case HistoryKind::EventRecord:
        if (inverter)
            out = QList<const char *>(std::begin(kCsvInverterValues), std::end(kCsvInverterValues));
        else
            out = QList<const char *>(std::begin(kCsvUpsValues), std::end(kCsvUpsValues));
        if (kind == HistoryKind::EventRecord)
            out << kCsvDescription;
        break;
    case HistoryKind::SmsRecord:
        out = QList<const char *>(std::begin(kCsvSms), std::end(kCsvSms));
        break;
    }
    return out;
}

namespace {
// The SQLite file header's first 16 bytes.
constexpr char kSqliteMagic[] = "SQLite format 3";

bool isSameFile(const QString &a, const QString &b)
{
    struct stat sa {}, sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0
        && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool isSqliteFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(sizeof kSqliteMagic) == QByteArray(kSqliteMagic, sizeof kSqliteMagic);
}

// Why an export of dbPath must not go to target, for the user; empty when it may. Saving
// replaces the target by a new regular file, so a FIFO, a device or a folder would be
// replaced rather than written to, and a database (the history file itself above all,
// under whatever name or link) would lose its content.
QString refusedTarget(const QString &target, const QString &dbPath)
{
    const QFileInfo info(target);
    if (!info.exists())
        return QString();
    if (!info.isFile())
        return QCoreApplication::translate("qmlobject", "it is not a regular file");
    if (isSameFile(target, dbPath))
        return QCoreApplication::translate("qmlobject", "it is the history file being exported");
    if (isSqliteFile(target))
        return QCoreApplication::translate("qmlobject", "it is a database file, not a CSV file");
    return QString();
}

} // namespace

CsvExportResult writeHistoryCsv(HistoryKind kind, const QString &dbPath,
                                const QString &connectionName, const QStringList &header,
                                const QStringList &eventTexts, const QString &target)
{
    CsvExportResult result;
    result.error = refusedTarget(target, dbPath);
    if (!result.error.isEmpty()) {
        result.failure = CsvExportResult::TargetRefused;
        return result;
    }
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) {
        result.failure = CsvExportResult::TargetFailed;
        result.error = out.errorString();
        return result;
    }
    CsvWriter csv(out);
    csv.addLine(header);

    const KindInfo &k = info(kind);
    const int fieldCount = int(header.size());
    const int codeField = kind == HistoryKind::EventRecord ? fieldCount - 1 : -1;
    bool readFailed = false;
    bool busy = false;
    QString readError;
    {
        DbConnection db(connectionName, dbPath, DbConnection::ReadExisting, lcHistory,
                        DbConnection::CallerReportsFailures, kBrowserBusyWaitMs);
        result.opened = db.isOpen();
        bool asked = false;
        // A file without its table holds no history yet (an empty file): the header alone.
        const bool hasRows = db.isOpen() && db.hasTable(historyTableName(k.file), &asked);
        readFailed = QFileInfo::exists(dbPath) && !(db.isOpen() && asked);
        if (hasRows) {
            mapFile(db);
            // The event texts once, as the fields they become.
            QList<QByteArray> eventFields;
            for (const QString &text : eventTexts)
                eventFields << csvFieldBytes(text.toUtf8());
            const bool ran = db.forEachRawRow(selectAll(k), [&](const RawRow &row) {
                for (int c = 0; c < fieldCount; ++c) {
                    if (c == codeField) {
                        const qsizetype index = eventTextIndex(row.text(c), eventFields.size());
                        csv.addMadeField(index >= 0 ? QByteArrayView(eventFields.at(index)) : QByteArrayView());
                    } else {
                        csv.addField(row.text(c));
                    }
                }
                ++result.rows;
                return csv.endLine();
            });
            // A read that breaks off, at the first row or midway, would give a file that
            // looks whole (or empty) but is not.
            readFailed = !ran && !csv.failed();
        }
        busy = db.metBusyFile();
        readError = db.lastError();
    }
    const bool writeFailed = !readFailed && !csv.finish();
    if (writeFailed || readFailed) {
        if (writeFailed) {
            result.failure = CsvExportResult::TargetFailed;
            result.error = out.errorString();
        } else {
            result.failure = busy ? CsvExportResult::HistoryBusy : CsvExportResult::HistoryUnreadable;
            result.error = readError;
        }
        out.cancelWriting();
        out.commit();
        return result;
    }
    if (!out.commit()) {
        result.failure = CsvExportResult::TargetFailed;
        result.error = out.errorString();
        return result;
    }
    result.written = true;
    return result;
}
