// kestrava-modemsim: a GSM modem in PDU mode on a pseudo-terminal of its own, for the SMS
// tests and tools/run. It answers the AT commands the program sends as a modem does (echo
// until ATE0, identity, operator, service centre, signal quality, the "> " prompt, the
// message reference), decodes every SMS-SUBMIT PDU it receives and logs it, and spoils
// replies on request: silence, ERROR, "+CMS ERROR: 500", a reply in pieces, a late reply,
// or the port vanishing and coming back.
//
// The PDU decoder here is written apart from the program's encoder on purpose: each
// checks the other.
#include "tools/common/simio.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kUsage[] =
    "usage: kestrava-modemsim [options]\n"
    "  --link PATH       also make PATH a symbolic link to the pty (the program's modem port)\n"
    "  --log FILE        log to FILE instead of standard output\n"
    "  --control PATH    read control lines from a FIFO made at PATH too\n"
    "  --csq N           rssi of the +CSQ reply, 0..31 or 99 (default 21)\n"
    "  --late-ms N       delay of a late reply (default 1500)\n"
    "  --split-ms N      gap between the pieces of a split reply (default 150)\n"
    "  --restart-ms N    time a reset takes until the start-up report (default 300)\n"
    "Standard output starts with 'ready path=<pty path>'. Control lines, from standard input\n"
    "and the FIFO, each answered with 'ok ...' or 'error ...':\n"
    "  fault silence|error|cms500|split|late [N|always] [PREFIX]\n"
    "              the next N replies (default 1) to commands starting with PREFIX (AT+CMGS,\n"
    "              AT+CSQ, ...; PDU for a message after the prompt; default any) are spoilt\n"
    "  fault none  no more faults\n"
    "  vanish      the port disappears (the pty closes, the link goes)\n"
    "  appear      a new pty appears at the link\n"
    "  csq N       the signal from now on\n"
    "  quit\n"
    "Log lines: 'cmd text=<command> reply=<how>' per command; per message\n"
    "'sms ref=R to=<number> type=<hex> dcs=<hex> udl=N reply=<how> text=<decoded text>'\n"
    "(the text runs to the end of the line; a line feed in it shows as \\n), or\n"
    "'badpdu reason=<why> hex=<pdu>' for one that does not decode.\n";

volatile sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

// The GSM 03.38 default alphabet and its extension table, as UTF-8.
const char *const kGsm[128] = {
    "@", "£", "$", "¥", "è", "é", "ù", "ì", "ò", "Ç", "\n", "Ø", "ø", "\r", "Å", "å",
    "Δ", "_", "Φ", "Γ", "Λ", "Ω", "Π", "Ψ", "Σ", "Θ", "Ξ", "",  "Æ", "æ", "ß", "É",
    " ", "!", "\"", "#", "¤", "%", "&", "'", "(", ")", "*", "+", ",", "-", ".", "/",
    "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", ":", ";", "<", "=", ">", "?",
    "¡", "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M", "N", "O",
    "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z", "Ä", "Ö", "Ñ", "Ü", "§",
    "¿", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o",
    "p", "q", "r", "s", "t", "u", "v", "w", "x", "y", "z", "ä", "ö", "ñ", "ü", "à",
};
const struct
{
    int code;
    const char *text;
} kGsmExtension[] = {{0x0A, "\f"}, {0x14, "^"}, {0x28, "{"}, {0x29, "}"}, {0x2F, "\\"},
                     {0x3C, "["},  {0x3D, "~"}, {0x3E, "]"}, {0x40, "|"}, {0x65, "€"}};

// A command line or a message is at most this long; more without an end is noise.
constexpr size_t kMaxInput = 1024;
// 3GPP TS 27.005 3.2.5: the error a modem gives for a PDU it cannot take.
constexpr int kCmsInvalidPdu = 304;
// A modem's start-up report comes a moment after the reset is acknowledged.
constexpr int kRestartMs = 300;

enum class Fault { None, Silence, Error, Cms500, Split, Late };
const struct
{
    Fault fault;
    const char *name;
} kFaultNames[] = {{Fault::None, "normal"}, {Fault::Silence, "silence"}, {Fault::Error, "error"},
                   {Fault::Cms500, "cms500"}, {Fault::Split, "split"},    {Fault::Late, "late"}};

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
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    *out = v;
    return true;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void appendUtf8(std::string *out, unsigned cp)
{
    if (cp < 0x80) {
        *out += char(cp);
    } else if (cp < 0x800) {
        *out += char(0xC0 | (cp >> 6));
        *out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out += char(0xE0 | (cp >> 12));
        *out += char(0x80 | ((cp >> 6) & 0x3F));
        *out += char(0x80 | (cp & 0x3F));
    } else {
        *out += char(0xF0 | (cp >> 18));
        *out += char(0x80 | ((cp >> 12) & 0x3F));
        *out += char(0x80 | ((cp >> 6) & 0x3F));
        *out += char(0x80 | (cp & 0x3F));
    }
}

struct DecodedSms
{
    std::string number;
    int type = 0;
    int dcs = 0;
    int udl = 0;
    std::string text;
    size_t tpduOctets = 0;
};

// An SMS-SUBMIT (TS 23.040 9.2.2.2) from its hex text; false with the reason in why.
bool decodeSubmit(const std::string &hex, DecodedSms *sms, std::string *why)
{
    if (hex.size() % 2) {
        *why = "odd-length";
        return false;
    }
    std::vector<int> o;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = hexDigit(hex[i]), lo = hexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) {
            *why = "not-hex";
            return false;
        }
        o.push_back(hi << 4 | lo);
    }
    size_t p = 0;
    auto need = [&](size_t n) { return p + n <= o.size(); };
    if (!need(1)) {
        *why = "empty";
        return false;
    }
    p += 1 + size_t(o[0]); // service-centre field
    sms->tpduOctets = o.size() - p;
    if (!need(3)) {
        *why = "short";
        return false;
    }
    const int first = o[p++];
    if ((first & 0x03) != 0x01) {
        *why = "not-submit";
        return false;
    }
    const int vpf = (first >> 3) & 0x03;
    ++p; // message reference
    const int digits = o[p++];
    if (digits > 20 || !need(1 + size_t(digits + 1) / 2)) {
        *why = "bad-address";
        return false;
    }
    sms->type = o[p++];
    for (int i = 0; i < digits; ++i) {
        const int octet = o[p + size_t(i / 2)];
        const int d = i % 2 ? octet >> 4 : octet & 0x0F;
        if (d > 9) {
            *why = "bad-digit";
            return false;
        }
        sms->number += char('0' + d);
    }
    if (sms->type == 0x91)
        sms->number.insert(0, "+");
    p += size_t(digits + 1) / 2;
    if (!need(2)) {
        *why = "short";
        return false;
    }
    ++p; // protocol identifier
    sms->dcs = o[p++];
    const size_t vpLength = vpf == 2 ? 1 : vpf == 0 ? 0 : 7;
    if (!need(vpLength + 1)) {
        *why = "short";
        return false;
    }
    p += vpLength;
    sms->udl = o[p++];
    const size_t dataOctets = o.size() - p;
    if (sms->dcs == 0x00) {
        if (sms->udl > 160 || dataOctets != (size_t(sms->udl) * 7 + 7) / 8) {
            *why = "bad-length";
            return false;
        }
        bool escape = false;
        for (int i = 0; i < sms->udl; ++i) {
            const size_t bit = size_t(i) * 7;
            unsigned v = unsigned(o[p + bit / 8]) >> (bit % 8);
            if (bit % 8 > 1)
                v |= unsigned(o[p + bit / 8 + 1]) << (8 - bit % 8);
            v &= 0x7F;
            if (escape) {
                escape = false;
                const char *t = " ";
                for (const auto &e : kGsmExtension)
                    if (e.code == int(v))
                        t = e.text;
                sms->text += t;
            } else if (v == 0x1B) {
                escape = true;
            } else {
                sms->text += kGsm[v];
            }
        }
    } else if (sms->dcs == 0x08) {
        if (sms->udl > 140 || sms->udl % 2 || dataOctets != size_t(sms->udl)) {
            *why = "bad-length";
            return false;
        }
        for (size_t i = 0; i + 1 < dataOctets; i += 2) {
            unsigned cp = unsigned(o[p + i] << 8 | o[p + i + 1]);
            if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < dataOctets) {
                const unsigned low = unsigned(o[p + i + 2] << 8 | o[p + i + 3]);
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
            appendUtf8(&sms->text, cp);
        }
    } else {
        *why = "unknown-coding";
        return false;
    }
    return true;
}

struct Options
{
    std::string link;
    std::string log;
    std::string control;
    long csq = 21;
    long lateMs = 1500;
    long splitMs = 150;
    long restartMs = kRestartMs;
};

using Clock = std::chrono::steady_clock;

class Modem
{
public:
    explicit Modem(const Options &o) : m_options(o), m_csq(o.csq) {}
    ~Modem();
    bool open();
    int run();

private:
    bool makePty();
    void closePty();
    void handleByte(char c);
    void handleCommand(const std::string &command);
    void handlePdu(const std::string &hex);
    Fault takeFault(const std::string &command);
    // Queues a reply for the line, spoilt by the fault; how is what the log says.
    void reply(const std::string &text, Fault fault);
    void flushDue();
    void handleControl(const std::string &line);
    void logLine(const char *format, ...) __attribute__((format(printf, 2, 3)));

    struct Piece
    {
        Clock::time_point due;
        std::string bytes;
    };
    struct Plan
    {
        Fault fault;
        long count; // -1 always
        std::string prefix;
    };

    Options m_options;
    long m_csq;
    int m_master = -1;
    int m_keepSlave = -1;
    std::string m_path;
    bool m_madeFifo = false;
    simio::LineReader m_stdin{STDIN_FILENO, {}};
    simio::LineReader m_fifo;
    FILE *m_log = stdout;
    bool m_echo = true; // a modem echoes until told ATE0
    bool m_pduMode = false;
    long m_pduOctets = 0;
    std::string m_input;
    std::deque<Piece> m_out;
    std::vector<Plan> m_plans;
    int m_reference = 0;
};

Modem::~Modem()
{
    closePty();
    if (!m_options.link.empty())
        unlink(m_options.link.c_str());
    if (m_fifo.fd >= 0)
        close(m_fifo.fd);
    if (m_madeFifo)
        unlink(m_options.control.c_str());
    if (m_log && m_log != stdout)
        fclose(m_log);
}

bool Modem::makePty()
{
    termios raw{};
    cfmakeraw(&raw);
    char name[256] = {};
    if (openpty(&m_master, &m_keepSlave, name, &raw, nullptr) != 0) {
        std::fprintf(stderr, "cannot make a pty: %s\n", strerror(errno));
        return false;
    }
    fcntl(m_master, F_SETFL, O_NONBLOCK);
    m_path = name;
    if (!m_options.link.empty() && !simio::makeLink(m_path, m_options.link))
        return false;
    return true;
}

void Modem::closePty()
{
    if (m_master >= 0)
        close(m_master);
    if (m_keepSlave >= 0)
        close(m_keepSlave);
    m_master = m_keepSlave = -1;
    m_out.clear();
    m_input.clear();
    m_pduMode = false;
}

bool Modem::open()
{
    if (!simio::openLog(m_options.log, &m_log))
        return false;
    if (!m_options.link.empty() && !simio::mayReplaceLink(m_options.link)) {
        m_options.link.clear();
        return false;
    }
    if (!makePty())
        return false;
    if (!m_options.control.empty() && !simio::openControlFifo(m_options.control, &m_fifo.fd, &m_madeFifo))
        return false;
    std::printf("ready path=%s\n", m_path.c_str());
    return true;
}

int Modem::run()
{
    while (!g_stop) {
        pollfd fds[3];
        nfds_t n = 0;
        const int lineIndex = m_master >= 0 ? int(n) : -1;
        if (lineIndex >= 0)
            fds[n++] = {m_master, POLLIN, 0};
        const int stdinIndex = m_stdin.fd >= 0 ? int(n) : -1;
        if (stdinIndex >= 0)
            fds[n++] = {m_stdin.fd, POLLIN, 0};
        const int fifoIndex = m_fifo.fd >= 0 ? int(n) : -1;
        if (fifoIndex >= 0)
            fds[n++] = {m_fifo.fd, POLLIN, 0};

        int timeout = -1;
        if (!m_out.empty()) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(m_out.front().due - Clock::now());
            timeout = int(std::max<long long>(0, wait.count()));
        }
        const int ready = poll(fds, n, timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "poll: %s\n", strerror(errno));
            return 1;
        }
        flushDue();
        if (lineIndex >= 0 && m_master >= 0 && (fds[lineIndex].revents & POLLIN)) {
            char buf[512];
            const ssize_t got = read(m_master, buf, sizeof buf);
            for (ssize_t i = 0; i < got; ++i)
                handleByte(buf[i]);
        }
        std::vector<std::string> lines;
        if (stdinIndex >= 0 && (fds[stdinIndex].revents & (POLLIN | POLLHUP)) && !m_stdin.fill(&lines))
            m_stdin.fd = -1;
        if (fifoIndex >= 0 && (fds[fifoIndex].revents & POLLIN))
            m_fifo.fill(&lines);
        for (const std::string &line : lines)
            handleControl(line);
    }
    return 0;
}

void Modem::handleByte(char c)
{
    if (m_pduMode) {
        if (c == 0x1A) {
            const std::string hex = m_input;
            m_input.clear();
            m_pduMode = false;
            handlePdu(hex);
        } else if (c == 0x1B) { // the message is cancelled
            m_input.clear();
            m_pduMode = false;
            reply("\r\nOK\r\n", Fault::None);
        } else if (c != '\r' && c != '\n' && m_input.size() < kMaxInput) {
            m_input += c;
        }
        return;
    }
    if (m_echo)
        simio::writeAll(m_master, std::string(1, c));
    if (c == '\r') {
        const std::string command = m_input;
        m_input.clear();
        if (!command.empty())
            handleCommand(command);
        return;
    }
    if (c == '\n')
        return;
    if (m_input.size() < kMaxInput)
        m_input += c;
}

Fault Modem::takeFault(const std::string &command)
{
    for (size_t i = 0; i < m_plans.size(); ++i) {
        Plan &plan = m_plans[i];
        if (command.compare(0, plan.prefix.size(), plan.prefix) != 0)
            continue;
        const Fault f = plan.fault;
        if (plan.count > 0 && --plan.count == 0)
            m_plans.erase(m_plans.begin() + long(i));
        return f;
    }
    return Fault::None;
}

void Modem::reply(const std::string &text, Fault fault)
{
    const Clock::time_point now = Clock::now();
    switch (fault) {
    case Fault::Silence:
        return;
    case Fault::Error:
        m_out.push_back({now, "\r\nERROR\r\n"});
        return;
    case Fault::Cms500:
        m_out.push_back({now, "\r\n+CMS ERROR: 500\r\n"});
        return;
    case Fault::Late:
        m_out.push_back({now + std::chrono::milliseconds(m_options.lateMs), text});
        return;
    case Fault::Split: {
        // Pieces further apart than a reader that stops at its first quiet moment waits.
        constexpr size_t kPiece = 3;
        for (size_t i = 0; i < text.size(); i += kPiece)
            m_out.push_back({now + std::chrono::milliseconds(m_options.splitMs * long(i / kPiece)),
                             text.substr(i, kPiece)});
        return;
    }
    case Fault::None:
        break;
    }
    m_out.push_back({now, text});
}

void Modem::flushDue()
{
    const Clock::time_point now = Clock::now();
    while (!m_out.empty() && m_out.front().due <= now && m_master >= 0) {
        simio::writeAll(m_master, m_out.front().bytes);
        m_out.pop_front();
    }
}

void Modem::handleCommand(const std::string &command)
{
    std::string upper = command;
    for (char &c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    const Fault fault = takeFault(upper);
    std::string text;
    auto info = [](const std::string &line) { return "\r\n" + line + "\r\n\r\nOK\r\n"; };
    if (upper == "AT") {
        text = "\r\nOK\r\n";
    } else if (upper == "ATE0" || upper == "ATE1") {
        m_echo = upper == "ATE1";
        text = "\r\nOK\r\n";
    } else if (upper == "AT+CMGF=0") {
        text = "\r\nOK\r\n";
    } else if (upper.rfind("AT+CPMS=", 0) == 0) {
        text = info("+CPMS: 0,30,0,30,0,30");
    } else if (upper.rfind("AT+CNMI=", 0) == 0) {
        text = "\r\nOK\r\n";
    } else if (upper == "AT+GMI" || upper == "AT+CGMI") {
        text = info("Kestrava Sim");
    } else if (upper == "AT+GMM" || upper == "AT+CGMM") {
        text = info("KS-GSM1");
    } else if (upper == "AT+GMR" || upper == "AT+CGMR") {
        text = info("KSIM01R01");
    } else if (upper == "AT+COPS?") {
        text = info("+COPS: 0,0,\"SIM NET\"");
    } else if (upper == "AT+CSCA?") {
        text = info("+CSCA: \"+8613800100500\",145");
    } else if (upper == "AT+CSQ") {
        text = info("+CSQ: " + std::to_string(m_csq) + ",99");
    } else if (upper == "AT+CFUN=1,1") {
        text = "\r\nOK\r\n";
        m_echo = true; // a reset restores the defaults
        if (fault == Fault::None)
            m_out.push_back({Clock::now() + std::chrono::milliseconds(m_options.restartMs), "\r\n^SYSSTART\r\n"});
    } else if (upper.rfind("AT+CMGS=", 0) == 0) {
        long octets = 0;
        if (parseInt(upper.substr(8), &octets) && octets > 0 && octets <= 164) {
            text = "\r\n> ";
            if (fault != Fault::Silence && fault != Fault::Error && fault != Fault::Cms500) {
                m_pduMode = true;
                m_pduOctets = octets;
            }
        } else {
            text = "\r\n+CMS ERROR: 304\r\n";
        }
    } else {
        text = "\r\nERROR\r\n";
    }
    logLine("cmd text=%s reply=%s", command.c_str(), faultName(fault));
    reply(text, fault);
}

void Modem::handlePdu(const std::string &hex)
{
    const Fault fault = takeFault("PDU");
    DecodedSms sms;
    std::string why;
    if (!decodeSubmit(hex, &sms, &why) || long(sms.tpduOctets) != m_pduOctets) {
        if (why.empty())
            why = "count-" + std::to_string(m_pduOctets) + "-is-not-" + std::to_string(sms.tpduOctets);
        logLine("badpdu reason=%s hex=%s", why.c_str(), hex.c_str());
        reply("\r\n+CMS ERROR: " + std::to_string(kCmsInvalidPdu) + "\r\n", Fault::None);
        return;
    }
    std::string shown;
    for (char c : sms.text) {
        if (c == '\n')
            shown += "\\n";
        else if (c == '\r')
            shown += "\\r";
        else
            shown += c;
    }
    const bool accepted = fault == Fault::None || fault == Fault::Split || fault == Fault::Late;
    const int ref = accepted ? ++m_reference : 0;
    logLine("sms ref=%d to=%s type=%02x dcs=%02x udl=%d reply=%s text=%s", ref, sms.number.c_str(), sms.type, sms.dcs,
            sms.udl, faultName(fault), shown.c_str());
    reply("\r\n+CMGS: " + std::to_string(ref) + "\r\n\r\nOK\r\n", fault);
}

void Modem::handleControl(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string word; in >> word;)
        w.push_back(word);
    if (w.empty())
        return;
    bool ok = false;
    long n = 0;
    if (w[0] == "fault" && w.size() == 2 && w[1] == "none") {
        m_plans.clear();
        ok = true;
    } else if (w[0] == "fault" && w.size() >= 2 && w.size() <= 4) {
        for (const auto &f : kFaultNames) {
            if (f.fault == Fault::None || w[1] != f.name)
                continue;
            Plan plan{f.fault, 1, std::string()};
            size_t next = 2;
            if (w.size() > next && w[next] == "always") {
                plan.count = -1;
                ++next;
            } else if (w.size() > next && parseInt(w[next], &n)) {
                if (n < 1)
                    break;
                plan.count = n;
                ++next;
            }
            if (w.size() > next)
                plan.prefix = w[next++];
            if (w.size() != next)
                break;
            m_plans.push_back(plan);
            ok = true;
        }
    } else if (w[0] == "vanish" && w.size() == 1 && m_master >= 0) {
        closePty();
        if (!m_options.link.empty())
            unlink(m_options.link.c_str());
        logLine("port vanished");
        ok = true;
    } else if (w[0] == "appear" && w.size() == 1 && m_master < 0) {
        m_echo = true;
        ok = makePty();
        if (ok)
            logLine("port appeared path=%s", m_path.c_str());
    } else if (w[0] == "csq" && w.size() == 2 && parseInt(w[1], &n) && ((n >= 0 && n <= 31) || n == 99)) {
        m_csq = n;
        ok = true;
    } else if (w[0] == "quit" && w.size() == 1) {
        g_stop = 1;
        ok = true;
    }
    std::printf("%s %s\n", ok ? "ok" : "error", line.c_str());
}

void Modem::logLine(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(m_log, format, args);
    va_end(args);
    std::fputc('\n', m_log);
}

bool parseOptions(int argc, char **argv, Options *o)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        const std::string value = argv[i + 1];
        if (arg == "--link")
            o->link = value;
        else if (arg == "--log")
            o->log = value;
        else if (arg == "--control")
            o->control = value;
        else if (arg == "--csq") {
            if (!parseInt(value, &o->csq) || !((o->csq >= 0 && o->csq <= 31) || o->csq == 99))
                return false;
        } else if (arg == "--late-ms") {
            if (!parseInt(value, &o->lateMs) || o->lateMs < 0)
                return false;
        } else if (arg == "--split-ms") {
            if (!parseInt(value, &o->splitMs) || o->splitMs < 0)
                return false;
        } else if (arg == "--restart-ms") {
            if (!parseInt(value, &o->restartMs) || o->restartMs < 0)
                return false;
        } else
            return false;
    }
    return argc % 2 == 1;
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

    Modem modem(options);
    if (!modem.open())
        return 1;
    return modem.run();
}
