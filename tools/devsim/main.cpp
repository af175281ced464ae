// kestrava-devsim: a Modbus-RTU slave that plays the power device, on a pseudo-terminal
// of its own or on a serial device, for the integration tests, the benchmarks and
// tools/run. Replies are built by libmodbus (modbus_reply) from the register table of
// registermap.cpp; an injected fault then withholds, damages or replaces the reply.
#include "core/helpers.h"
#include "tools/common/simio.h"
#include "tools/devsim/registermap.h"

#include <modbus/modbus.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: kestrava-devsim [options]\n"
    "  --family three|single|inverter  register map to serve (default three)\n"
    "  --address N                     slave address, 1 to 247 (default 1)\n"
    "  --link PATH                     also make PATH a symbolic link to the pty\n"
    "  --device PATH                   serve on this serial device instead of a new pty\n"
    "  --baud N --parity N|E|O --data-bits N --stop-bits N\n"
    "                                  line settings with --device (default 2400 8N1)\n"
    "  --log FILE                      request log to FILE instead of standard output\n"
    "  --control PATH                  read control lines from a FIFO made at PATH too\n"
    "  --steady                        values stand still (as 'drift off')\n"
    "Standard output starts with 'ready path=<line path> ...'. Control lines, from\n"
    "standard input and the FIFO, each answered with 'ok ...' or 'error ...':\n"
    "  fault silence|badcrc|exception|wrongslave|garbage|truncated [N|always]\n"
    "                                  the next N replies (default 1) are faulty\n"
    "  fault none                      no more faults\n"
    "  bit N 0|1                       discrete input N (UPS status bit, inverter input)\n"
    "  reg N V                         input register N holds V from now on\n"
    "  hreg N V                        holding register N becomes V\n"
    "  drift on|off                    values move slowly, or stand still\n"
    "  quit\n"
    "Log lines: 'req addr=A fn=F start=S count=C [value=V] reply=R' per request, R one of\n"
    "normal, exception, silence, badcrc, wrongslave, garbage, truncated, ignored (another\n"
    "slave's), broadcast; 'junk len=N hex=...' for bytes that form no request.\n";

// The master sends nothing after its request until the reply or its time-out, so any
// pause ends a frame; on a serial device the pause is the RTU rule of 3.5 characters of
// 11 bits, on a pty (no baud rate) a few milliseconds.
constexpr int kMinFrameGapMs = 5;
// An RTU frame is at most 256 bytes; more without a pause is noise.
constexpr size_t kMaxFrame = 300;
// Bytes sent by the "garbage" fault in place of a reply.
constexpr int kGarbageBytes = 16;
// The "truncated" fault cuts the reply's CRC and last data byte.
constexpr int kTruncatedBytes = 3;

volatile sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

enum class Fault { None, Silence, BadCrc, Exception, WrongSlave, Garbage, Truncated };
const struct
{
    Fault fault;
    const char *name;
} kFaultNames[] = {{Fault::None, "normal"},         {Fault::Silence, "silence"},
                   {Fault::BadCrc, "badcrc"},       {Fault::Exception, "exception"},
                   {Fault::WrongSlave, "wrongslave"}, {Fault::Garbage, "garbage"},
                   {Fault::Truncated, "truncated"}};

const char *faultName(Fault f)
{
    for (const auto &n : kFaultNames)
        if (n.fault == f)
            return n.name;
    return "?";
}

bool parseInt(const std::string &text, long *out)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0')
        return false;
    *out = v;
    return true;
}

std::string hex(const uint8_t *data, size_t len)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < len; ++i) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 0x0F];
    }
    return s;
}

struct Options
{
    std::string family = "three";
    long address = 1;
    std::string link;
    std::string device;
    long baud = 2400;
    char parity = 'N';
    long dataBits = 8;
    long stopBits = 1;
    std::string log;
    std::string control;
    bool steady = false;
};

class Simulator
{
public:
    Simulator(const Options &options, Family family) : m_options(options), m_device(family) {}
    ~Simulator();
    bool open();
    int run();

private:
    void handleFrame(const uint8_t *frame, size_t len);
    void handleControl(const std::string &line);
    Fault takeFault();
    std::vector<uint8_t> render(const std::vector<uint8_t> &request, Fault fault);
    void logLine(const char *format, ...) __attribute__((format(printf, 2, 3)));

    Options m_options;
    SimDevice m_device;
    int m_line = -1;        // where requests arrive and replies go
    int m_keepSlave = -1;   // our own hold on the pty's slave side, so the master never sees a hang-up
    modbus_t *m_serial = nullptr; // the context of --device
    modbus_t *m_renderer = nullptr;
    int m_renderFds[2] = {-1, -1}; // libmodbus writes each reply into [0]; we take it from [1]
    std::string m_linePath;
    bool m_madeFifo = false;
    simio::LineReader m_stdin{STDIN_FILENO, {}};
    simio::LineReader m_fifo;
    FILE *m_log = stdout;
    Fault m_fault = Fault::None;
    long m_faultCount = 0; // replies still to spoil; -1 for always
    uint32_t m_garbageSeed = 12345;
    int m_frameGapMs = kMinFrameGapMs;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

Simulator::~Simulator()
{
    if (m_renderer)
        modbus_free(m_renderer);
    for (int fd : m_renderFds)
        if (fd >= 0)
            close(fd);
    if (m_serial) {
        modbus_close(m_serial);
        modbus_free(m_serial);
    } else if (m_line >= 0) {
        close(m_line);
    }
    if (m_keepSlave >= 0)
        close(m_keepSlave);
    if (!m_options.link.empty())
        unlink(m_options.link.c_str());
    if (m_fifo.fd >= 0)
        close(m_fifo.fd);
    if (m_madeFifo)
        unlink(m_options.control.c_str());
    if (m_log && m_log != stdout)
        fclose(m_log);
}

bool Simulator::open()
{
    if (!simio::openLog(m_options.log, &m_log))
        return false;

    if (!m_options.device.empty()) {
        m_serial = modbus_new_rtu(m_options.device.c_str(), static_cast<int>(m_options.baud), m_options.parity,
                                  static_cast<int>(m_options.dataBits), static_cast<int>(m_options.stopBits));
        if (!m_serial || modbus_connect(m_serial) != 0) {
            std::fprintf(stderr, "cannot open %s: %s\n", m_options.device.c_str(), modbus_strerror(errno));
            return false;
        }
        m_line = modbus_get_socket(m_serial);
        m_linePath = m_options.device;
        const double gap = 3.5 * 11 * 1000.0 / static_cast<double>(m_options.baud);
        m_frameGapMs = std::max(kMinFrameGapMs, static_cast<int>(std::ceil(gap)) + 1);
    } else {
        termios raw{};
        cfmakeraw(&raw);
        char name[256] = {};
        if (openpty(&m_line, &m_keepSlave, name, &raw, nullptr) != 0) {
            std::fprintf(stderr, "cannot make a pty: %s\n", strerror(errno));
            return false;
        }
        m_linePath = name;
    }

    if (!m_options.link.empty()
        && !(simio::mayReplaceLink(m_options.link) && simio::makeLink(m_linePath, m_options.link))) {
        m_options.link.clear();
        return false;
    }

    if (!m_options.control.empty() && !simio::openControlFifo(m_options.control, &m_fifo.fd, &m_madeFifo))
        return false;

    m_renderer = modbus_new_rtu("/dev/null", 9600, 'N', 8, 1);
    if (!m_renderer || socketpair(AF_UNIX, SOCK_STREAM, 0, m_renderFds) != 0) {
        std::fprintf(stderr, "cannot set up the reply builder\n");
        return false;
    }
    fcntl(m_renderFds[1], F_SETFL, O_NONBLOCK);
    modbus_set_socket(m_renderer, m_renderFds[0]);

    m_device.setDrift(!m_options.steady);
    std::printf("ready path=%s family=%s address=%ld\n", m_linePath.c_str(), m_options.family.c_str(),
                m_options.address);
    return true;
}

int Simulator::run()
{
    std::vector<uint8_t> frame;
    while (!g_stop) {
        pollfd fds[3];
        nfds_t n = 0;
        fds[n++] = {m_line, POLLIN, 0};
        const int stdinIndex = m_stdin.fd >= 0 ? static_cast<int>(n) : -1;
        if (stdinIndex >= 0)
            fds[n++] = {m_stdin.fd, POLLIN, 0};
        const int fifoIndex = m_fifo.fd >= 0 ? static_cast<int>(n) : -1;
        if (fifoIndex >= 0)
            fds[n++] = {m_fifo.fd, POLLIN, 0};

        const int ready = poll(fds, n, frame.empty() ? -1 : m_frameGapMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "poll: %s\n", strerror(errno));
            return 1;
        }
        if (ready == 0) {
            handleFrame(frame.data(), frame.size());
            frame.clear();
            continue;
        }
        if (fds[0].revents & POLLIN) {
            uint8_t buf[512];
            const ssize_t got = read(m_line, buf, sizeof buf);
            if (got > 0) {
                frame.insert(frame.end(), buf, buf + got);
                if (frame.size() > kMaxFrame) {
                    logLine("junk len=%zu hex=%s", frame.size(), hex(frame.data(), frame.size()).c_str());
                    frame.clear();
                }
            } else if (got < 0 && errno != EAGAIN && errno != EINTR) {
                std::fprintf(stderr, "line read: %s\n", strerror(errno));
                return 1;
            }
        } else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            std::fprintf(stderr, "line %s closed\n", m_linePath.c_str());
            return 1;
        }
        std::vector<std::string> lines;
        if (stdinIndex >= 0 && (fds[stdinIndex].revents & (POLLIN | POLLHUP)) && !m_stdin.fill(&lines))
            m_stdin.fd = -1; // standard input ended (a background run): the FIFO may still drive us
        if (fifoIndex >= 0 && (fds[fifoIndex].revents & POLLIN))
            m_fifo.fill(&lines);
        for (const std::string &line : lines)
            handleControl(line);
    }
    return 0;
}

Fault Simulator::takeFault()
{
    if (m_fault == Fault::None || m_faultCount == 0)
        return Fault::None;
    const Fault f = m_fault;
    if (m_faultCount > 0 && --m_faultCount == 0)
        m_fault = Fault::None;
    return f;
}

std::vector<uint8_t> Simulator::render(const std::vector<uint8_t> &request, Fault fault)
{
    std::vector<uint8_t> req = request;
    if (fault == Fault::Exception) {
        modbus_reply_exception(m_renderer, req.data(), MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE);
    } else {
        if (fault == Fault::WrongSlave)
            req[0] = static_cast<uint8_t>(m_options.address % 247 + 1);
        modbus_reply(m_renderer, req.data(), static_cast<int>(req.size()), m_device.mapping());
    }
    std::vector<uint8_t> rsp(MODBUS_RTU_MAX_ADU_LENGTH);
    const ssize_t n = read(m_renderFds[1], rsp.data(), rsp.size());
    rsp.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return rsp;
}

void Simulator::handleFrame(const uint8_t *frame, size_t len)
{
    const bool crcOk = len >= 4 && crc16Modbus(frame, static_cast<uint16_t>(len - 2))
                                       == (frame[len - 2] | frame[len - 1] << 8);
    if (!crcOk) {
        // A real slave stays quiet on a frame it cannot read.
        logLine("junk len=%zu hex=%s", len, hex(frame, len).c_str());
        return;
    }
    const int addr = frame[0];
    const int fn = frame[1];
    char what[96];
    if (len == 8 && fn == MODBUS_FC_WRITE_SINGLE_REGISTER)
        std::snprintf(what, sizeof what, "addr=%d fn=%d start=%d count=1 value=%d", addr, fn,
                      frame[2] << 8 | frame[3], frame[4] << 8 | frame[5]);
    else if (len == 8)
        std::snprintf(what, sizeof what, "addr=%d fn=%d start=%d count=%d", addr, fn, frame[2] << 8 | frame[3],
                      frame[4] << 8 | frame[5]);
    else
        std::snprintf(what, sizeof what, "addr=%d fn=%d len=%zu", addr, fn, len);

    if (addr != m_options.address && addr != MODBUS_BROADCAST_ADDRESS) {
        logLine("req %s reply=ignored", what);
        return;
    }
    // A broadcast is carried out and never answered (libmodbus sends nothing for it).
    const Fault fault = addr == MODBUS_BROADCAST_ADDRESS ? Fault::None : takeFault();
    if (fault == Fault::Silence) {
        logLine("req %s reply=silence", what);
        return;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    m_device.refresh(seconds, local);

    std::vector<uint8_t> rsp = render(std::vector<uint8_t>(frame, frame + len), fault);
    const char *outcome = faultName(fault);
    if (addr == MODBUS_BROADCAST_ADDRESS)
        outcome = "broadcast";
    else if (fault == Fault::None && rsp.size() > 1 && (rsp[1] & 0x80))
        outcome = "exception";
    switch (fault) {
    case Fault::BadCrc:
        rsp.back() ^= 0xFF;
        break;
    case Fault::Truncated:
        rsp.resize(rsp.size() > kTruncatedBytes ? rsp.size() - kTruncatedBytes : 1);
        break;
    case Fault::Garbage:
        rsp.resize(kGarbageBytes);
        for (uint8_t &b : rsp) {
            m_garbageSeed = m_garbageSeed * 1103515245u + 12345u;
            b = static_cast<uint8_t>(m_garbageSeed >> 16);
        }
        break;
    default:
        break;
    }
    if (!rsp.empty() && !simio::writeAll(m_line, rsp.data(), rsp.size()))
        std::fprintf(stderr, "line write: %s\n", strerror(errno));
    logLine("req %s reply=%s", what, outcome);
}

void Simulator::handleControl(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string word; in >> word;)
        w.push_back(word);
    if (w.empty())
        return;
    long a = 0, b = 0;
    bool ok = false;
    if (w[0] == "fault" && w.size() == 2 && w[1] == "none") {
        m_fault = Fault::None;
        m_faultCount = 0;
        ok = true;
    } else if (w[0] == "fault" && (w.size() == 2 || w.size() == 3)) {
        for (const auto &n : kFaultNames) {
            if (n.fault != Fault::None && w[1] == n.name) {
                long count = 1;
                if (w.size() == 3 && w[2] == "always")
                    count = -1;
                else if (w.size() == 3 && (!parseInt(w[2], &count) || count < 1))
                    break;
                m_fault = n.fault;
                m_faultCount = count;
                ok = true;
            }
        }
    } else if (w[0] == "bit" && w.size() == 3 && parseInt(w[1], &a) && parseInt(w[2], &b) && (b == 0 || b == 1)) {
        ok = m_device.setDiscreteInput(static_cast<int>(a), b == 1);
    } else if (w[0] == "reg" && w.size() == 3 && parseInt(w[1], &a) && parseInt(w[2], &b)) {
        ok = m_device.pinInputRegister(static_cast<int>(a), static_cast<int>(b));
    } else if (w[0] == "hreg" && w.size() == 3 && parseInt(w[1], &a) && parseInt(w[2], &b)) {
        ok = m_device.setHoldingRegister(static_cast<int>(a), static_cast<int>(b));
    } else if (w[0] == "drift" && w.size() == 2 && (w[1] == "on" || w[1] == "off")) {
        m_device.setDrift(w[1] == "on");
        ok = true;
    } else if (w[0] == "quit" && w.size() == 1) {
        g_stop = 1;
        ok = true;
    }
    std::printf("%s %s\n", ok ? "ok" : "error", line.c_str());
}

void Simulator::logLine(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(m_log, format, args);
    va_end(args);
    std::fputc('\n', m_log);
}

bool parseOptions(int argc, char **argv, Options *o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        const std::string value = hasValue ? argv[i + 1] : std::string();
        bool used = true;
        if (arg == "--steady") {
            o->steady = true;
            continue;
        }
        if (!hasValue)
            return false;
        if (arg == "--family")
            o->family = value;
        else if (arg == "--address")
            used = parseInt(value, &o->address) && o->address >= 1 && o->address <= 247;
        else if (arg == "--link")
            o->link = value;
        else if (arg == "--device")
            o->device = value;
        else if (arg == "--baud")
            used = parseInt(value, &o->baud) && o->baud > 0;
        else if (arg == "--parity" && (value == "N" || value == "E" || value == "O"))
            o->parity = value[0];
        else if (arg == "--data-bits")
            used = parseInt(value, &o->dataBits);
        else if (arg == "--stop-bits")
            used = parseInt(value, &o->stopBits);
        else if (arg == "--log")
            o->log = value;
        else if (arg == "--control")
            o->control = value;
        else
            used = false;
        if (!used)
            return false;
        ++i;
    }
    return parseFamily(o->family) != 0;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parseOptions(argc, argv, &options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    simio::installStopSignals(onSignal);

    Simulator sim(options, static_cast<Family>(parseFamily(options.family)));
    if (!sim.open())
        return 1;
    return sim.run();
}
