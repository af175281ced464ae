// Builds a 400 000-row event log and a year of day, month, year and total generation files
// with the history thread's writers on a fixed clock, then times through the bridge's own
// slots: page 0, a middle page and the last page of the event log (the first request of a
// file sorts its row order, the others reuse it), a chart of each period, and a CSV export
// of the event log, next to `sqlite3 -csv` exporting the same table in the same order.
// Targets: every page below 20 ms, every chart below 20 ms, the export within 1.5 times
// sqlite3's time.
#include "bridge/qmlobject.h"
#include "core/devicestate.h"
#include "core/events.h"
#include "core/historyfiles.h"
#include "core/settings.h"
#include "history/data_thread.h"
#include "history/historybrowser.h"
#include "tests/support/testenv.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

constexpr double kTargetPageMs = 20.0;
constexpr double kTargetChartMs = 20.0;
constexpr double kTargetExportRatio = 1.5;
constexpr int kSavesPerDay = 24 * 12;
// Events reach the writer in batches, as they would after a burst of alarms.
constexpr int kEventBatch = 2000;
const QString kProtocol = QStringLiteral("0");

struct Timing
{
    double median = 0, max = 0;
};

Timing timeIt(int repeat, const std::function<void()> &run)
{
    std::vector<double> ms;
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer t;
        t.start();
        run();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

void setDayValues(int save)
{
    QWriteLocker locker(&upsInfo.lock);
    for (int i = 0; i < UpsValueCount; ++i)
        upsInfo.values[i] = QStringLiteral("219.74/220.1/219.9");
    upsInfo.values[PVDayGen] = QString::number((save % kSavesPerDay) * 0.05, 'f', 2);
    for (int i = 0; i < 45; ++i)
        upsInfo.appendPvPowerSample(1000.0 + (save % kSavesPerDay) * 10 + i);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("History browser: pages, charts and CSV export"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("events"), QStringLiteral("Rows of the event log (400000)."), QStringLiteral("N"),
                      QStringLiteral("400000")});
    parser.addOption({QStringLiteral("days"), QStringLiteral("Days of generation saves (365)."), QStringLiteral("N"),
                      QStringLiteral("365")});
    parser.addOption({QStringLiteral("repeat"), QStringLiteral("Runs of each timed request (7)."), QStringLiteral("N"),
                      QStringLiteral("7")});
    parser.process(app);
    QTextStream out(stdout);
    const int events = parser.value(QStringLiteral("events")).toInt();
    const int days = parser.value(QStringLiteral("days")).toInt();
    const int repeat = parser.value(QStringLiteral("repeat")).toInt();
    if (events <= 0 || days <= 0 || repeat <= 0) {
        out << "--events, --days and --repeat need positive numbers" << Qt::endl;
        return 2;
    }

    const QDateTime start(QDate(2026, 1, 1), QTime(0, 0));
    TestEnv env(start);
    {
        QWriteLocker locker(&settingsLock);
        deviceSettings.comProtocol = kProtocol;
    }
    upsInfo.commState = CommOk;
    initEventTexts();
    data_thread writer;

    // The event log of January: one event every 6 s, written in batches by the writer.
    QElapsedTimer build;
    build.start();
    const QDateTime monthEnd(QDate(2026, 1, 31), QTime(23, 59));
    for (int n = 0; n < events;) {
        const int batch = std::min(kEventBatch, events - n);
        for (int i = 0; i < batch; ++i, ++n)
            addEventRecord(EventItem{start.addSecs(qint64(n) * 6), n % EventCodeCount});
        takeAllEvents(emailEventQueue, emailEventQueueLock);
        takeAllEvents(smsEventQueue, smsEventQueueLock);
        writer.saveEventLog(monthEnd, kProtocol);
    }
    const QString eventLog = historyFilePath(HistoryFile::EventLog, DeviceFamily::ThreePhaseUps, monthEnd.date());
    out << QStringLiteral("event log: %1 rows written by the history writer in %2 s, %3 MB\n")
               .arg(events)
               .arg(build.elapsed() / 1000.0, 0, 'f', 1)
               .arg(QFileInfo(eventLog).size() / 1e6, 0, 'f', 1);

    // A year of generation: every five-minute save of the day, month, year and total files.
    build.restart();
    for (int k = 0; k < days * kSavesPerDay; ++k) {
        const QDateTime t = start.addSecs(qint64(k) * 300);
        setDayValues(k);
        writer.saveDay(t, kProtocol);
        writer.saveMonth(t, kProtocol);
        writer.saveYear(t, kProtocol);
        writer.saveTotal(t, kProtocol);
    }
    out << QStringLiteral("generation: %1 days of five-minute saves written by the history writers in %2 s\n")
               .arg(days)
               .arg(build.elapsed() / 1000.0, 0, 'f', 1);

    qmlobject bridge;
    bool ok = true;
    QString reply;
    QObject::connect(&bridge, &qmlobject::sigEventDataRecord,
                     [&reply](QString, QString dcount, QString value) { reply = dcount + QLatin1Char(' ') + value; });

    // Pages. The first request of the file sorts its row order; later ones reuse it.
    const qint64 lastPage = (events - 1) / kPageRows;
    auto pageRequest = [](qint64 page) {
        return QStringLiteral("{\"type\":\"record_eventdata\",\"datetime\":\"202601\",\"page\":\"%1\"}").arg(page);
    };
    QElapsedTimer first;
    first.start();
    bridge.handleReportRecord(pageRequest(0));
    const double firstMs = double(first.nsecsElapsed()) / 1e6;
    // Without an index on the time column (the files carry none) this request sorts the
    // whole table; it counts against the page target like any other.
    const bool firstWithin = firstMs < kTargetPageMs;
    ok = ok && firstWithin;
    out << QStringLiteral("first page request of the file (reads its row order): %1 ms (target below %2)%3\n")
               .arg(firstMs, 0, 'f', 1)
               .arg(kTargetPageMs, 0, 'f', 0)
               .arg(firstWithin ? QString() : QStringLiteral(" OUTSIDE TARGET"));
    const std::pair<const char *, qint64> pages[] = {{"page 0", 0}, {"middle page", lastPage / 2}, {"last page", lastPage}};
    for (const auto &[name, page] : pages) {
        const Timing t = timeIt(repeat, [&] { bridge.handleReportRecord(pageRequest(page)); });
        const bool within = t.max < kTargetPageMs;
        ok = ok && within;
        out << QStringLiteral("%1 (%2): median %3 ms, max %4 ms (target below %5)%6\n")
                   .arg(QLatin1String(name))
                   .arg(page)
                   .arg(t.median, 0, 'f', 2)
                   .arg(t.max, 0, 'f', 2)
                   .arg(kTargetPageMs, 0, 'f', 0)
                   .arg(within ? QString() : QStringLiteral(" OUTSIDE TARGET"));
    }
    if (!reply.startsWith(QString::number(events) + QLatin1Char(' ')))
        out << "  unexpected reply: " << reply.left(80) << Qt::endl;

    // Charts of each period, on the files of the last day written.
    const QDate lastDay = start.date().addDays(days - 1);
    const std::pair<const char *, QString> charts[] = {
        {"chartday", periodText(HistoryPeriod::Day, lastDay)},
        {"chartmonth", periodText(HistoryPeriod::Month, lastDay)},
        {"chartyear", periodText(HistoryPeriod::Year, lastDay)},
        {"charttotal", QString()}};
    QString chartText;
    auto keep = [&chartText](QString text) { chartText = text; };
    QObject::connect(&bridge, &qmlobject::sigChartDay, keep);
    QObject::connect(&bridge, &qmlobject::sigChartMonth, keep);
    QObject::connect(&bridge, &qmlobject::sigChartYear, keep);
    QObject::connect(&bridge, &qmlobject::sigChartTotal, keep);
    for (const auto &[flag, period] : charts) {
        const QString request = QStringLiteral("{\"dateTime\":\"%1\",\"flag\":\"%2\"}").arg(period, QLatin1String(flag));
        const Timing t = timeIt(repeat, [&] { bridge.handlegetChartData(request); });
        const bool within = t.max < kTargetChartMs;
        ok = ok && within;
        const int points = chartText.isEmpty() ? 0 : int(chartText.count(QLatin1Char(flag == QLatin1String("chartday") ? '#' : '@'))) + 1;
        out << QStringLiteral("%1 %2: %3 points, median %4 ms, max %5 ms (target below %6)%7\n")
                   .arg(QLatin1String(flag), period)
                   .arg(points)
                   .arg(t.median, 0, 'f', 2)
                   .arg(t.max, 0, 'f', 2)
                   .arg(kTargetChartMs, 0, 'f', 0)
                   .arg(within ? QString() : QStringLiteral(" OUTSIDE TARGET"));
    }

    // The CSV export of the event log against sqlite3's own, both newest first.
    const QString csv = env.root() + QStringLiteral("/events.csv");
    const QString sqliteCsv = env.root() + QStringLiteral("/events-sqlite3.csv");
    QStringList header;
    for (const char *source : csvHeaderSources(HistoryKind::EventRecord, DeviceFamily::ThreePhaseUps))
        header << QLatin1String(source);
    const QStringList texts = eventTextTable(kProtocol);
    CsvExportResult result;
    const Timing ours = timeIt(repeat, [&] {
        result = writeHistoryCsv(HistoryKind::EventRecord, eventLog,
                                 exportConnectionName(HistoryKind::EventRecord, DeviceFamily::ThreePhaseUps), header,
                                 texts, csv);
    });
    bool sqliteOk = true;
    const Timing theirs = timeIt(repeat, [&] {
        QProcess p;
        p.setStandardOutputFile(sqliteCsv);
        p.start(QStringLiteral("sqlite3"),
                {QStringLiteral("-csv"), QStringLiteral("-header"), QStringLiteral("-readonly"), eventLog,
                 QStringLiteral("select * from alarmdata order by DateTime desc,rowid desc")});
        sqliteOk = p.waitForFinished(600000) && p.exitCode() == 0 && sqliteOk;
    });
    const double ratio = theirs.median > 0 ? ours.median / theirs.median : 0;
    const bool exportWithin = result.written && sqliteOk && ratio <= kTargetExportRatio;
    ok = ok && exportWithin;
    out << QStringLiteral("CSV export of the event log: %1 rows, %2 MB, median %3 ms, max %4 ms\n")
               .arg(result.rows)
               .arg(QFileInfo(csv).size() / 1e6, 0, 'f', 1)
               .arg(ours.median, 0, 'f', 0)
               .arg(ours.max, 0, 'f', 0);
    out << QStringLiteral("sqlite3 -csv of the same table: %1 MB, median %2 ms, max %3 ms%4\n")
               .arg(QFileInfo(sqliteCsv).size() / 1e6, 0, 'f', 1)
               .arg(theirs.median, 0, 'f', 0)
               .arg(theirs.max, 0, 'f', 0)
               .arg(sqliteOk ? QString() : QStringLiteral(" (sqlite3 failed)"));
    out << QStringLiteral("export / sqlite3: %1 (target at most %2)%3\n")
               .arg(ratio, 0, 'f', 2)
               .arg(kTargetExportRatio, 0, 'f', 1)
               .arg(exportWithin ? QString() : QStringLiteral(" OUTSIDE TARGET"));
    out << (ok ? "result: within target" : "result: OUTSIDE TARGET") << Qt::endl;
    return ok ? 0 : 1;
}
