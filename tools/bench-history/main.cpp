// Runs the history thread's tick on a fixed clock through a year of five-minute saves
// (105 120 of them) for each device family, one event an hour, with a tick outside the
// save minute after every save, and prints the saves per second, the CPU of a save pass
// and of an idle tick, whether a save costs more once many days are stored, and the size
// of the history folders.
// Targets: an idle tick below 0.2 ms of CPU, a save pass below 20 ms, no growth.
#include "core/devicestate.h"
#include "core/events.h"
#include "core/historyfiles.h"
#include "core/settings.h"
#include "history/data_thread.h"
#include "tests/support/testenv.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QTextStream>

#include <time.h>

#include <algorithm>
#include <vector>

namespace {

constexpr double kTargetIdleMs = 0.2;
constexpr double kTargetSaveMs = 20.0;
// A save in the last month may cost this much more than one in the first before it
// counts as growing with the stored days (page cache and allocator noise stay below).
constexpr double kGrowthTolerance = 1.5;
constexpr int kSavesPerDay = 24 * 12;
constexpr int kCompareDays = 30; // the first and the last month of the run are compared
// About what the device thread collects between two saves over a serial link.
constexpr int kSamplesPerSave = 45;

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

qint64 folderBytes(const QString &folder)
{
    qint64 bytes = 0;
    QDirIterator it(folder, QDir::Files);
    while (it.hasNext()) {
        it.next();
        bytes += it.fileInfo().size();
    }
    return bytes;
}

double mean(const std::vector<double> &v, size_t from, size_t to)
{
    if (to <= from)
        return 0;
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += v[i];
    return sum / double(to - from);
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

void setDeviceValues(const QString &protocol, int save)
{
    QWriteLocker locker(&upsInfo.lock);
    if (deviceFamily(protocol) == DeviceFamily::Inverter) {
        for (int i = 0; i < InverterInfo::kValueCount; ++i)
            inverterInfo.values[i] = QStringLiteral("230.1");
        inverterInfo.values[131] = QString::number(1500 + save % 700);
        inverterInfo.values[InverterInfo::kLifetimeEnergyIndex] = QString::number(40000.0 + save * 0.125, 'f', 2);
        return;
    }
    const bool three = deviceFamily(protocol) == DeviceFamily::ThreePhaseUps;
    for (int i = 0; i < UpsValueCount; ++i)
        upsInfo.values[i] = three ? QStringLiteral("219.74/220.1/219.9") : QStringLiteral("229.87");
    upsInfo.values[PVDayGen] = QString::number((save % kSavesPerDay) * 0.05, 'f', 2);
    for (int i = 0; i < kSamplesPerSave; ++i)
        upsInfo.appendPvPowerSample(1000.0 + i);
}

struct FamilyRun
{
    const char *name;
    const char *protocol;
};

bool runFamily(const FamilyRun &family, int days, QTextStream &out)
{
    const QDateTime start(QDate(2026, 1, 1), QTime(0, 0));
    TestEnv env(start);
    {
        QWriteLocker locker(&settingsLock);
        deviceSettings.comProtocol = QLatin1String(family.protocol);
    }
    upsInfo.commState = CommOk;
    data_thread thread;

    const int saves = days * kSavesPerDay;
    std::vector<double> saveMs, idleMs;
    saveMs.reserve(size_t(saves));
    idleMs.reserve(size_t(saves));
    QElapsedTimer wall;
    wall.start();
    for (int k = 0; k < saves; ++k) {
        const QDateTime t = start.addSecs(qint64(k) * 300);
        if (t.time().minute() == 0)
            addEventRecord(EventItem{t, k % 56});
        setDeviceValues(QLatin1String(family.protocol), k);

        env.clock().set(t);
        double c0 = threadCpuMs();
        thread.threadTimer();
        saveMs.push_back(threadCpuMs() - c0);

        // The other consumers would empty their queues; the window's list keeps its 8.
        takeAllEvents(emailEventQueue, emailEventQueueLock);
        takeAllEvents(smsEventQueue, smsEventQueueLock);

        env.clock().set(t.addSecs(61));
        c0 = threadCpuMs();
        thread.threadTimer();
        idleMs.push_back(threadCpuMs() - c0);
    }
    const double wallS = wall.elapsed() / 1000.0;

    const size_t month = size_t(std::min(kCompareDays, days) * kSavesPerDay);
    const double firstMonth = mean(saveMs, 0, month);
    const double lastMonth = mean(saveMs, saveMs.size() - month, saveMs.size());
    const double saveMean = mean(saveMs, 0, saveMs.size());
    const double saveP99 = percentile(saveMs, 0.99);
    const double saveMax = percentile(saveMs, 1.0);
    const double idleMean = mean(idleMs, 0, idleMs.size());
    const double idleP99 = percentile(idleMs, 0.99);

    out << QStringLiteral("%1 (protocol %2): %3 saves over %4 days in %5 s wall, %6 saves/s (with the idle ticks)\n")
               .arg(QLatin1String(family.name), QLatin1String(family.protocol))
               .arg(saves)
               .arg(days)
               .arg(wallS, 0, 'f', 1)
               .arg(saves / wallS, 0, 'f', 0);
    out << QStringLiteral("  save pass cpu: mean %1 ms, p99 %2 ms, max %3 ms (target below %4)\n")
               .arg(saveMean, 0, 'f', 3)
               .arg(saveP99, 0, 'f', 3)
               .arg(saveMax, 0, 'f', 3)
               .arg(kTargetSaveMs, 0, 'f', 0);
    out << QStringLiteral("  first %1 days mean %2 ms, last %1 days mean %3 ms\n")
               .arg(std::min(kCompareDays, days))
               .arg(firstMonth, 0, 'f', 3)
               .arg(lastMonth, 0, 'f', 3);
    out << QStringLiteral("  idle tick cpu: mean %1 ms, p99 %2 ms (target below %3)\n")
               .arg(idleMean, 0, 'f', 4)
               .arg(idleP99, 0, 'f', 4)
               .arg(kTargetIdleMs, 0, 'f', 1);
    const HistoryFile folders[] = {HistoryFile::AnalogData, HistoryFile::EventLog, HistoryFile::DayGen,
                                   HistoryFile::MonthGen,   HistoryFile::YearGen,  HistoryFile::TotalGen};
    out << "  folders:";
    for (HistoryFile f : folders) {
        const QString folder = historyFolder(f);
        out << QStringLiteral(" %1 %2 files %3 kB;")
                   .arg(QDir(folder).dirName())
                   .arg(QDir(folder).entryList(QDir::Files).size())
                   .arg(folderBytes(folder) / 1024);
    }
    out << Qt::endl;
    const bool ok = idleMean < kTargetIdleMs && saveP99 < kTargetSaveMs
                    && lastMonth <= firstMonth * kGrowthTolerance;
    out << (ok ? "  result: within target" : "  result: OUTSIDE TARGET") << Qt::endl;
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("History writers through a year of saves"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("days"), QStringLiteral("Days of saves (365)."), QStringLiteral("N"),
                      QStringLiteral("365")});
    parser.addOption({QStringLiteral("family"), QStringLiteral("all, three, single or inverter (all)."),
                      QStringLiteral("F"), QStringLiteral("all")});
    parser.process(app);
    QTextStream out(stdout);
    const int days = parser.value(QStringLiteral("days")).toInt();
    if (days <= 0) {
        out << "--days needs a positive number" << Qt::endl;
        return 2;
    }
    const QString which = parser.value(QStringLiteral("family"));
    const FamilyRun families[] = {{"three", "0"}, {"single", "1"}, {"inverter", "3"}};
    bool ok = true;
    for (const FamilyRun &family : families) {
        if (which == QLatin1String("all") || which == QLatin1String(family.name))
            ok = runFamily(family, days, out) && ok;
    }
    return ok ? 0 : 1;
}
