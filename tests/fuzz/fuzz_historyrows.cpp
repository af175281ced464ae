// A history file from another installation whose rows hold anything SQLite can store
// (texts of any bytes, integers at their limits, reals, blobs, NULL): every page, chart
// and export the browser offers on it must read it without crashing, count every row,
// and export each of them.
//
// Input: byte 0 picks the file and the family, byte 1 the page and whether the device
// is communicating; then the cells, row after row, each a type byte and its value.
#include "core/events.h"
#include "core/historyfiles.h"
#include "history/historybrowser.h"

#include "tests/fuzz/fuzzsupport.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {
const HistoryFile kFiles[] = {HistoryFile::DayGen,     HistoryFile::MonthGen, HistoryFile::YearGen, HistoryFile::TotalGen,
                              HistoryFile::AnalogData, HistoryFile::EventLog, HistoryFile::SmsLog};
const DeviceFamily kFamilies[] = {DeviceFamily::Inverter, DeviceFamily::ThreePhaseUps, DeviceFamily::SinglePhaseUps};
const char *const kProtocols[] = {"3", "0", "1"}; // one of each family, in the order above
const HistoryKind kKinds[] = {HistoryKind::ReportDay,    HistoryKind::ReportMonth, HistoryKind::ReportYear,
                              HistoryKind::AnalogRecord, HistoryKind::EventRecord, HistoryKind::SmsRecord};
const ChartKind kCharts[] = {ChartKind::Day, ChartKind::Month, ChartKind::Year, ChartKind::Total};
// Enough rows for two pages and a part, few enough to keep thousands of inputs a second.
constexpr int kMaxRows = 25;
const QString kWriter = QStringLiteral("fuzz-writer");

QTemporaryDir *folder = nullptr;
quint64 fileNumber = 0;

struct Reader
{
    const uint8_t *at;
    const uint8_t *end;
    bool empty() const { return at >= end; }
    uint8_t byte() { return at < end ? *at++ : 0; }
    QByteArray bytes(size_t n)
    {
        n = std::min<size_t>(n, size_t(end - at));
        QByteArray out(reinterpret_cast<const char *>(at), int(n));
        at += n;
        return out;
    }
    quint64 word()
    {
        quint64 v = 0;
        for (int i = 0; i < 8; ++i)
            v = (v << 8) | byte();
        return v;
    }
};

QVariant cell(Reader &in)
{
    switch (in.byte() % 9) {
    case 0:
        return QVariant();
    case 1:
        return QVariant(qint64(in.word()));
    case 2:
        return QVariant(qint64(INT_MIN));
    case 3:
        return QVariant(std::numeric_limits<qint64>::min());
    case 4: {
        const quint64 bits = in.word();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return QVariant(d);
    }
    case 5:
        return QVariant(qint64(qint8(in.byte())));
    case 6:
        return QVariant(in.bytes(in.byte() % 40)); // a blob
    default:
        return QVariant(QString::fromUtf8(in.bytes(in.byte() % 40)));
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    startFuzzApplication(argc, argv);
    folder = makeScratchFolder();
    initEventTexts();
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kWriter);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const HistoryFile file = kFiles[data[0] % 7];
    const int familyIndex = (data[0] / 7) % 3;
    const DeviceFamily family = kFamilies[familyIndex];
    const qint64 page = (data[1] & 0x7f) % 4;
    RecordSnapshot snapshot;
    snapshot.family = family;
    snapshot.communicating = data[1] & 0x80;
    snapshot.batMask = snapshot.inputMask = snapshot.outputMask = snapshot.bypassMask = snapshot.pvMask = 0xffff;
    Reader in{data + 2, data + size};

    // A new name for every input: the page order kept for a file is tied to its name.
    const QString path = folder->filePath(QStringLiteral("h%1.db").arg(++fileNumber));
    qint64 rows = 0;
    {
        QSqlDatabase db = QSqlDatabase::database(kWriter, false);
        db.setDatabaseName(path);
        check(db.open());
        {
            QSqlQuery q(db);
            // The file is read only after the writer has closed it: nothing to sync for.
            check(q.exec(QStringLiteral("pragma synchronous=off")));
            check(q.exec(historyCreateSql(file, family)));
            check(db.transaction());
            check(q.prepare(historyInsertSql(file, family)));
            const int columns = historyColumnCount(file, family);
            while (!in.empty() && rows < kMaxRows) {
                for (int c = 0; c < columns; ++c)
                    q.bindValue(c, cell(in));
                check(q.exec());
                ++rows;
            }
            check(db.commit());
        }
        db.close();
    }

    const QStringList eventTexts = eventTextTable(QLatin1String(kProtocols[familyIndex]));
    for (const HistoryKind kind : kKinds) {
        if (historyKindFile(kind) != file)
            continue;
        const HistoryPage result =
            readHistoryPage(kind, path, pageConnectionName(kind, family), page, snapshot, eventTexts);
        check(result.opened && result.queried);
        check(result.count == rows);
        const qint64 expected = std::clamp<qint64>(rows - page * kPageRows, 0, kPageRows);
        check(result.rows.size() == expected);

        QStringList header;
        for (const char *source : csvHeaderSources(kind, family))
            header << QLatin1String(source);
        const QString target = path + QStringLiteral(".csv");
        const CsvExportResult csv =
            writeHistoryCsv(kind, path, exportConnectionName(kind, family), header, eventTexts, target);
        check(csv.written && csv.opened && csv.rows == rows);
        QFile::remove(target);
    }
    for (const ChartKind chart : kCharts) {
        if (chartKindFile(chart) == file)
            (void)chartReply(chart, path, QStringLiteral("fuzz-chart"));
    }
    QFile::remove(path);
    return 0;
}
