// Runs the device thread against the device simulator over a pty, on the real clock, for
// a while (60 s unless --seconds says otherwise) and prints the transactions done and
// failed, their mean time, the CPU time of the whole process and its resident memory.
// Target: below 0.3 s of CPU per minute of polling, and no growth of resident memory.
#include "core/devicestate.h"
#include "core/events.h"
#include "device/devicelinks.h"
#include "device/serial_thread.h"
#include "tests/support/devsimprocess.h"
#include "tests/support/testenv.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QThread>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>

namespace {

constexpr double kTargetCpuPerMinute = 0.3;
// Resident memory is sampled again after this warm-up, once libraries and buffers are in
// place, so that growth over the run is not confused with start-up.
constexpr int kWarmUpSeconds = 10;
// Resident memory moves by whole pages as the allocator and the I/O buffers settle; a
// leak of one allocation per transaction would pass this within minutes.
constexpr long kRssNoiseKb = 64;

struct Stats
{
    std::atomic<long> done{0};
    std::atomic<long> failed{0};
    std::atomic<long long> totalNs{0};
    std::atomic<long> opens{0};
};

// The real libmodbus link, timed: one call is one transaction (request and reply).
class TimedLink : public ModbusLink
{
public:
    TimedLink(std::unique_ptr<ModbusLink> inner, Stats &stats) : m_inner(std::move(inner)), m_stats(stats) {}
    bool setSlave(int slave) override { return m_inner->setSlave(slave); }
    int readInputBits(int a, int c, uint8_t *d) override { return timed([&] { return m_inner->readInputBits(a, c, d); }); }
    int readRegisters(int a, int c, uint16_t *d) override { return timed([&] { return m_inner->readRegisters(a, c, d); }); }
    int readInputRegisters(int a, int c, uint16_t *d) override
    {
        return timed([&] { return m_inner->readInputRegisters(a, c, d); });
    }
    int writeRegister(int a, uint16_t v) override { return timed([&] { return m_inner->writeRegister(a, v); }); }

private:
    template<typename F>
    int timed(F call)
    {
        const auto t0 = std::chrono::steady_clock::now();
        const int rc = call();
        m_stats.totalNs += std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - t0).count();
        (rc < 0 ? m_stats.failed : m_stats.done)++;
        return rc;
    }
    std::unique_ptr<ModbusLink> m_inner;
    Stats &m_stats;
};

class TimedBackend : public ModbusBackend
{
public:
    explicit TimedBackend(Stats &stats) : m_stats(stats) {}
    std::unique_ptr<ModbusLink> open(const SerialLineParams &params) override
    {
        auto link = rtuModbusBackend().open(params);
        if (!link)
            return nullptr;
        ++m_stats.opens;
        return std::make_unique<TimedLink>(std::move(link), m_stats);
    }

private:
    Stats &m_stats;
};

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long residentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The history, e-mail and SMS threads drain these in the program.
void drainEventQueues()
{
    takeAllEvents(dbEventQueue, dbEventQueueLock);
    takeAllEvents(emailEventQueue, emailEventQueueLock);
    takeAllEvents(smsEventQueue, smsEventQueueLock);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Device thread against the simulator over a pty"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("seconds"), QStringLiteral("Seconds of polling (60)."), QStringLiteral("N"),
                      QStringLiteral("60")});
    parser.addOption({QStringLiteral("family"), QStringLiteral("three, single or inverter (three)."),
                      QStringLiteral("F"), QStringLiteral("three")});
    parser.process(app);
    const int seconds = parser.value(QStringLiteral("seconds")).toInt();
    const QString family = parser.value(QStringLiteral("family"));
    const QString protocol = family == QLatin1String("single") ? QStringLiteral("1")
                             : family == QLatin1String("inverter") ? QStringLiteral("3")
                                                                    : QStringLiteral("0");
    QTextStream out(stdout);
    if (seconds <= 0) {
        out << "--seconds needs a positive number" << Qt::endl;
        return 2;
    }

    TestEnv env; // a temporary data folder; the device thread reads the real clock below
    setAppClock(nullptr);
    DevSimProcess sim;
    if (!sim.start({QStringLiteral("--family"), family, QStringLiteral("--log"), QStringLiteral("/dev/null")}))
        return 1;
    useSerialDevice(sim.path(), protocol, QStringLiteral("1"), QStringLiteral("2"));

    Stats stats;
    TimedBackend backend(stats);
    serial_thread thread;
    thread.setBackends(&backend, nullptr);

    const long rssStart = residentKb();
    const double cpuStart = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    thread.start();
    long rssWarm = -1;
    for (int s = 1; s <= seconds; ++s) {
        QThread::sleep(1);
        drainEventQueues();
        if (s == std::min(kWarmUpSeconds, seconds))
            rssWarm = residentKb();
    }
    thread.stop();
    thread.wait();
    const double cpu = cpuSeconds() - cpuStart;
    const long rssEnd = residentKb();
    const double wallS = wall.elapsed() / 1000.0;

    const long total = stats.done + stats.failed;
    const double cpuPerMinute = cpu * 60.0 / wallS;
    out << QStringLiteral("device thread, %1 (protocol %2) over %3, %4 s\n")
               .arg(family, protocol, sim.path())
               .arg(wallS, 0, 'f', 1);
    out << QStringLiteral("transactions: %1 done, %2 failed, mean %3 ms; port opened %4 times; link state %5\n")
               .arg(stats.done.load())
               .arg(stats.failed.load())
               .arg(total ? stats.totalNs.load() / 1e6 / double(total) : 0.0, 0, 'f', 2)
               .arg(stats.opens.load())
               .arg(upsInfo.commState.load());
    out << QStringLiteral("cpu: %1 s for the whole process, %2 s per minute (target below %3)\n")
               .arg(cpu, 0, 'f', 3)
               .arg(cpuPerMinute, 0, 'f', 3)
               .arg(kTargetCpuPerMinute, 0, 'f', 1);
    out << QStringLiteral("resident memory: %1 kB at start, %2 kB after %3 s, %4 kB at the end\n")
               .arg(rssStart)
               .arg(rssWarm)
               .arg(std::min(kWarmUpSeconds, seconds))
               .arg(rssEnd);
    const bool ok = stats.failed == 0 && cpuPerMinute < kTargetCpuPerMinute && rssEnd <= rssWarm + kRssNoiseKb;
    out << (ok ? "result: within target" : "result: OUTSIDE TARGET") << Qt::endl;
    return ok ? 0 : 1;
}
