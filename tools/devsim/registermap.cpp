#include "tools/devsim/registermap.h"

#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace {

// The mapping spans every address a poll plan or a command word reaches: discrete inputs
// 0 to 200, input registers up to the end of the identity block at 0x8039, holding
// registers up to the last inverter command register 0xF010.
constexpr int kInputBits = 256;
constexpr int kInputRegisters = 0x803A;
constexpr int kHoldingRegisters = 0xF011;
constexpr double kPi = 3.14159265358979323846;

} // namespace

enum class Area { Input, Holding };
enum class Shape {
    Fixed,     // a: the raw value (a negative value is stored as a two's-complement word)
    Wave,      // a + b * sin(...), one cycle every c seconds
    Counter32, // a + b per second, high word first over two registers
    Clock,     // three registers of BCD: year:month, day:hour, minute:second
    GbkText,   // text in GBK over eight registers, low byte first
    ByteText,  // Latin-1 text, two characters per register, high byte first
};

struct MapRow
{
    unsigned families;
    Area area;
    int reg;
    Shape shape;
    double a;
    double b;
    double c;
    const char *text;
};

namespace {

using Row = MapRow;

constexpr unsigned T = FamilyThree, S = FamilySingle, U = FamilyThree | FamilySingle, I = FamilyInverter;

constexpr Row fixed(unsigned f, int reg, double v) { return {f, Area::Input, reg, Shape::Fixed, v, 0, 0, nullptr}; }
constexpr Row wave(unsigned f, int reg, double mid, double swing, double period)
{
    return {f, Area::Input, reg, Shape::Wave, mid, swing, period, nullptr};
}
constexpr Row counter(unsigned f, int reg, double start, double perSecond)
{
    return {f, Area::Input, reg, Shape::Counter32, start, perSecond, 0, nullptr};
}
constexpr Row clock(unsigned f, int reg) { return {f, Area::Input, reg, Shape::Clock, 0, 0, 0, nullptr}; }
constexpr Row gbk(unsigned f, int reg, const char *utf8) { return {f, Area::Input, reg, Shape::GbkText, 0, 0, 0, utf8}; }
constexpr Row setting(unsigned f, int reg, double v) { return {f, Area::Holding, reg, Shape::Fixed, v, 0, 0, nullptr}; }
constexpr Row settingText(unsigned f, int reg, const char *latin1)
{
    return {f, Area::Holding, reg, Shape::ByteText, 0, 0, 0, latin1};
}

// Raw register values; the program scales them (three-phase mostly x0.1, single-phase
// mostly x0.01, inverter x0.1). Triples are phases A, B, C. Unlisted registers read 0.
const Row kRows[] = {
    // UPS status and capability masks: every status bit and every field implemented.
    fixed(U, 0, 0xFFFF), fixed(U, 1, 0x0FFF), // status bits 0..15 and 16..27
    fixed(U, 2, 0x0079),                      // temperature, device clock, work mode
    wave(U, 3, 352, 15, 600),                 // system temperature 35.2 C
    clock(U, 6),
    fixed(U, 9, 2),     // work mode
    fixed(U, 19, 0x007F), // battery mode and registers 21..26
    fixed(U, 20, 1),    // battery mode
    fixed(U, 21, 0),    // battery discharge time
    wave(U, 23, 985, 10, 900), // remaining capacity 98.5 %
    wave(T, 24, 4320, 20, 700), wave(S, 24, 5436, 20, 700), // battery voltage 432.0 V / 54.36 V
    wave(T, 25, 5, 30, 500), wave(S, 25, 50, 300, 500),     // battery current, signed: charges and discharges
    wave(U, 26, 253, 10, 1100),                             // battery temperature 25.3 C
    fixed(U, 36, 0x03FE), // input fields 39..47
    fixed(T, 39, 99), fixed(S, 39, 98), // input power factor
    counter(T, 40, 123456, 0.05), counter(S, 40, 1234560, 0.5), // input energy
    wave(T, 42, 5000, 5, 60), wave(T, 48, 5001, 5, 60), wave(T, 54, 4999, 5, 60), wave(S, 42, 5000, 5, 60),
    wave(T, 43, 2301, 8, 300), wave(T, 49, 2298, 8, 300), wave(T, 55, 2310, 8, 300), wave(S, 43, 23010, 80, 300),
    // input currents and powers (44..47 per phase): applyPhysics()
    fixed(U, 60, 0x07FE), // output fields 63..72
    wave(U, 63, 5000, 2, 90), // output frequency 50.00 Hz
    fixed(U, 64, 95),         // output power factor
    counter(T, 65, 98765, 0.04), counter(S, 65, 987650, 0.4), // output energy
    wave(T, 67, 2200, 3, 200), wave(T, 73, 2201, 3, 200), wave(T, 79, 2199, 3, 200), wave(S, 67, 22000, 30, 200),
    // output currents and powers (68..71 per phase): applyPhysics()
    wave(T, 72, 456, 20, 400), wave(T, 78, 449, 20, 400), wave(T, 84, 462, 20, 400), wave(S, 72, 456, 20, 400), // load %
    fixed(U, 85, 0x001E), // bypass fields 87..90
    wave(U, 87, 5000, 3, 120),
    wave(T, 88, 2301, 6, 300), wave(T, 91, 2298, 6, 300), wave(T, 94, 2310, 6, 300), wave(S, 88, 23010, 60, 300),
    fixed(U, 89, 0), fixed(T, 92, 0), fixed(T, 95, 0),
    fixed(U, 90, 0), fixed(T, 93, 0), fixed(T, 96, 0),
    fixed(U, 102, 0x01FF), // per-input table, PV mode and registers 105..111
    fixed(T, 103, 0x000F), fixed(S, 103, 0x0003), // PV inputs present
    fixed(U, 104, 1),                             // PV mode
    wave(T, 105, 3805, 50, 900), wave(S, 105, 38050, 500, 900),   // PV voltage 380.5 V
    wave(T, 106, 82, 20, 1200), wave(S, 106, 820, 200, 1200),     // PV current
    // PV power (107), the energy counters (108:111), the output and input powers and
    // currents and the battery's remaining time follow from these: applyPhysics().

    // UPS identity block from 0x8000.
    gbk(T, 0x8004, "KS-3310 10kVA"), gbk(S, 0x8004, "KS-1106 6kVA"),
    gbk(T, 0x800C, "三相在线式UPS"), gbk(S, 0x800C, "单相在线式UPS"),
    gbk(U, 0x8014, "Kestrava 模拟"),
    fixed(U, 0x801C, 12),  // protocol version 1.2
    fixed(U, 0x801D, 105), // monitor version 10.5
    fixed(U, 0x801E, 10),  // control version 1

    // UPS settings block (holding registers 0..67).
    setting(U, 0, 0xFFFF), setting(U, 1, 0xFFFF), setting(U, 2, 0xFFFF), // every setting register implemented
    setting(U, 10, 185), // discharge depth
    setting(U, 11, 10), setting(U, 12, 10), // countdown-off and delayed-start times
    setting(U, 31, 0x00F0), setting(U, 32, 0x0F00), setting(U, 33, 0x0000), // PV hour bands
    setting(U, 34, 0x00FF), setting(U, 35, 0x00FF), setting(U, 36, 0x00FF), // grid hour bands
    setting(U, 37, 0x0001), setting(U, 38, 0x0002), setting(U, 39, 0x0003), // anti-reflux hour bands
    setting(U, 40, 1), // working mode: grid

    // Inverter live values (input registers 0..144, x0.1 unless noted).
    wave(I, 1, 2301, 8, 300),   // input voltage
    wave(I, 7, 500, 1, 120),    // input frequency
    wave(I, 11, 2299, 8, 300),  // bypass voltage
    wave(I, 20, 500, 1, 120),   // bypass frequency
    wave(I, 26, 2300, 3, 200),  // output voltage
    wave(I, 32, 500, 1, 90),    // output frequency
    wave(I, 41, 456, 20, 400),  // output load %
    wave(I, 47, 536, 5, 700),   // battery voltage
    wave(I, 50, 985, 10, 900),  // battery capacity %
    fixed(I, 75, 1),            // battery state (int)
    // 89 and 90 (PV and battery power in W), 35 and 38 (output powers) and 134 follow
    // from the others: applyPhysics().
    fixed(I, 114, 98),            // x0.01
    wave(I, 129, 3805, 50, 900),  // PV voltage
    wave(I, 131, 24790, 6000, 1200), // PV power, W

    // Inverter settings (holding registers 0..51).
    setting(I, 20, 12),  // protocol version
    setting(I, 21, 105), // monitor version x0.01
    settingText(I, 28, "Kestrava Sim Co."), // manufacturer, 16 characters
    settingText(I, 44, "KX-4000SIM"),       // type, 10 characters
};

// PV input n (1 to 8) occupies twelve registers from 126 + 12 (n - 1): voltage, current,
// status (fault bits 0x1F98), energy of the day and lifetime energy.
constexpr int kPvTableStart = 126;
constexpr int kPvInputStride = 12;

std::vector<Row> pvInputRows()
{
    std::vector<Row> rows;
    for (int n = 1; n <= 4; ++n) {
        const unsigned f = n <= 2 ? U : T; // two inputs on the single-phase model, four on the three-phase
        const int b = kPvTableStart + kPvInputStride * (n - 1);
        rows.push_back(wave(f, b, 3800 + 5 * n, 40, 900));
        rows.push_back(wave(f, b + 1, 40 + n, 10, 1200));
        rows.push_back(fixed(f, b + 4, 0));
        rows.push_back(counter(f, b + 5, 120 + n, 0.01));
        rows.push_back(counter(f, b + 7, 45000 + 100 * n, 0.01));
    }
    return rows;
}

void putWord(uint16_t *regs, int reg, double value)
{
    regs[reg] = static_cast<uint16_t>(std::lround(value) & 0xFFFF);
}

uint16_t bcd(int n) { return static_cast<uint16_t>(((n / 10) % 10) << 4 | (n % 10)); }

// Text as GBK bytes, cut or padded with zeros to `size`; empty when the conversion fails.
std::string gbkBytes(const char *utf8, size_t size)
{
    std::string out(size, '\0');
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return out;
    std::string in(utf8);
    char *inPtr = in.data();
    size_t inLeft = in.size();
    char *outPtr = out.data();
    size_t outLeft = size;
    iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    return out;
}

} // namespace

unsigned parseFamily(const std::string &name)
{
    if (name == "three")
        return FamilyThree;
    if (name == "single")
        return FamilySingle;
    if (name == "inverter")
        return FamilyInverter;
    return 0;
}

SimDevice::SimDevice(Family family)
    : m_family(family),
      m_map(modbus_mapping_new(0, kInputBits, kHoldingRegisters, kInputRegisters)),
      m_pinned(kInputRegisters, false)
{
    std::vector<Row> rows(std::begin(kRows), std::end(kRows));
    for (const Row &r : pvInputRows())
        rows.push_back(r);
    for (const Row &r : rows) {
        if (!(r.families & m_family))
            continue;
        uint16_t *regs = r.area == Area::Input ? m_map->tab_input_registers : m_map->tab_registers;
        if (r.shape == Shape::GbkText) {
            const std::string bytes = gbkBytes(r.text, 16);
            for (int i = 0; i < 8; ++i)
                regs[r.reg + i] = static_cast<uint16_t>(static_cast<uint8_t>(bytes[2 * i])
                                                        | static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
        } else if (r.shape == Shape::ByteText) {
            const size_t n = std::strlen(r.text);
            for (size_t i = 0; i < n; i += 2) {
                const uint8_t lo = i + 1 < n ? static_cast<uint8_t>(r.text[i + 1]) : 0;
                regs[r.reg + i / 2] = static_cast<uint16_t>(static_cast<uint8_t>(r.text[i]) << 8 | lo);
            }
        } else if (r.area == Area::Holding) {
            putWord(regs, r.reg, r.a);
        } else {
            m_rows.push_back(r);
        }
    }
    std::tm epoch{};
    refresh(0, epoch);
}

SimDevice::~SimDevice() { modbus_mapping_free(m_map); }

namespace {
// The simulated models: a 10 kVA three-phase UPS, a 6 kVA single-phase UPS with a 48 V
// bank of 100 Ah, a 4 kW inverter; the three-phase bank is 432 V, 40 Ah.
constexpr double kThreePhaseRatingKva = 10.0;
constexpr double kSinglePhaseRatingKva = 6.0;
constexpr double kInverterRatingVa = 4000.0;
constexpr double kThreePhaseBankAh = 40.0;
constexpr double kSinglePhaseBankAh = 100.0;
constexpr double kUpsEfficiency = 0.95;
constexpr double kInverterEfficiency = 0.96;
// Counter starts, in the counters' own units (x0.1 kWh three-phase and inverter, x0.01
// kWh single-phase).
constexpr double kThreeDayStart = 125, kThreeTotalStart = 456789;
constexpr double kSingleDayStart = 1250, kSingleTotalStart = 4567890;
constexpr double kInverterTotalStart = 1234567;
}

double SimDevice::raw(int reg) const
{
    return m_map->tab_input_registers[reg];
}

double SimDevice::signedRaw(int reg) const
{
    return static_cast<int16_t>(m_map->tab_input_registers[reg]);
}

void SimDevice::put(int reg, double value)
{
    if (!m_pinned[reg])
        putWord(m_map->tab_input_registers, reg, value);
}

void SimDevice::applyPhysics(double seconds)
{
    const double dt = m_drift && m_lastSeconds >= 0 && seconds > m_lastSeconds ? seconds - m_lastSeconds : 0;
    m_lastSeconds = seconds;

    auto put32 = [this](int reg, double value) {
        const auto v = static_cast<uint32_t>(std::llround(value));
        put(reg, v >> 16);
        put(reg + 1, v & 0xFFFF);
    };

    if (m_family == FamilyInverter) {
        const double outVa = raw(41) * 0.1 / 100.0 * kInverterRatingVa;
        const double outW = outVa * raw(114) * 0.01;
        put(38, outVa * 10);
        put(35, outW * 10);
        const double pvW = raw(131) * 0.1;
        put(89, pvW);                                   // decoded x0.1, shown x10
        put(90, pvW - outW / kInverterEfficiency);      // positive while it charges
        m_pvEnergyKwh += pvW / 1000.0 * dt / 3600.0;
        put32(134, kInverterTotalStart + m_pvEnergyKwh * 10);
        return;
    }

    const bool three = m_family == FamilyThree;
    const double scale = three ? 0.1 : 0.01; // volts, amps, kW, kVA, kWh
    const double perPhaseKva = three ? kThreePhaseRatingKva / 3 : kSinglePhaseRatingKva;
    const double outPf = raw(64) * 0.01;
    const double inPf = raw(39) * 0.01;
    const int phases = three ? 3 : 1;
    // Per phase: output registers 67.. and input registers 43.. six apart.
    double outKwTotal = 0;
    for (int p = 0; p < phases; ++p) {
        const int o = 6 * p;
        const double loadPercent = raw(72 + o) * 0.1;
        const double kva = loadPercent / 100.0 * perPhaseKva;
        const double volts = raw(67 + o) * scale;
        const double kw = kva * outPf;
        put(70 + o, kva / scale);
        put(69 + o, kw / scale);
        put(71 + o, kw / scale);
        put(68 + o, volts > 0 ? kva * 1000.0 / volts / scale : 0);
        outKwTotal += kw;
    }

    const double pvVolts = raw(105) * scale;
    const double pvAmps = raw(106) * scale;
    const double pvKw = pvVolts * pvAmps / 1000.0;
    put(107, pvKw / scale);
    m_pvEnergyKwh += pvKw * dt / 3600.0;
    put32(108, (three ? kThreeDayStart : kSingleDayStart) + m_pvEnergyKwh / scale);
    put32(110, (three ? kThreeTotalStart : kSingleTotalStart) + m_pvEnergyKwh / scale);

    // The battery current comes from the table, signed: positive while it charges.
    const double batVolts = raw(24) * (three ? 0.1 : 0.01);
    const double batAmps = signedRaw(25) * (three ? 0.1 : 0.01);
    const double batKw = batVolts * batAmps / 1000.0;
    const double inKwTotal = std::max(0.0, outKwTotal / kUpsEfficiency + batKw - pvKw);
    for (int p = 0; p < phases; ++p) {
        const int o = 6 * p;
        const double kw = inKwTotal / phases;
        const double volts = raw(43 + o) * scale;
        put(45 + o, kw / scale);
        put(47 + o, kw / scale);
        put(46 + o, inPf > 0 ? kw / inPf / scale : 0);
        put(44 + o, volts > 0 && inPf > 0 ? kw * 1000.0 / (volts * inPf) / scale : 0);
    }

    // Minutes left at this load from the charge held (x0.1 min).
    const double bankKwh = batVolts * (three ? kThreePhaseBankAh : kSinglePhaseBankAh) / 1000.0;
    const double charge = raw(23) * 0.1 / 100.0;
    const double minutes = outKwTotal > 0 ? bankKwh * charge / outKwTotal * 60.0 : 0;
    put(22, std::min(minutes * 10, 65535.0));
}

void SimDevice::refresh(double seconds, const std::tm &local)
{
    uint16_t *regs = m_map->tab_input_registers;
    for (const Row &r : m_rows) {
        const int width = r.shape == Shape::Clock ? 3 : r.shape == Shape::Counter32 ? 2 : 1;
        bool pinned = false;
        for (int i = 0; i < width; ++i)
            pinned = pinned || m_pinned[r.reg + i];
        if (pinned)
            continue;
        switch (r.shape) {
        case Shape::Fixed:
            putWord(regs, r.reg, r.a);
            break;
        case Shape::Wave:
            // The register number shifts the phase, so neighbouring values do not move in
            // step; a frozen device shows the middle value.
            putWord(regs, r.reg, m_drift ? r.a + r.b * std::sin(2 * kPi * seconds / r.c + r.reg) : r.a);
            break;
        case Shape::Counter32: {
            const auto v = static_cast<uint32_t>(r.a + (m_drift ? r.b * seconds : 0));
            regs[r.reg] = static_cast<uint16_t>(v >> 16);
            regs[r.reg + 1] = static_cast<uint16_t>(v & 0xFFFF);
            break;
        }
        case Shape::Clock:
            regs[r.reg] = static_cast<uint16_t>(bcd(local.tm_year % 100) << 8 | bcd(local.tm_mon + 1));
            regs[r.reg + 1] = static_cast<uint16_t>(bcd(local.tm_mday) << 8 | bcd(local.tm_hour));
            regs[r.reg + 2] = static_cast<uint16_t>(bcd(local.tm_min) << 8 | bcd(local.tm_sec));
            break;
        case Shape::GbkText:
        case Shape::ByteText:
            break;
        }
    }
    applyPhysics(seconds);
}

bool SimDevice::setDiscreteInput(int input, bool on)
{
    if (input < 0 || input >= kInputBits)
        return false;
    m_map->tab_input_bits[input] = on ? 1 : 0;
    return true;
}

bool SimDevice::pinInputRegister(int reg, int value)
{
    if (reg < 0 || reg >= kInputRegisters)
        return false;
    m_pinned[reg] = true;
    putWord(m_map->tab_input_registers, reg, value);
    return true;
}

bool SimDevice::setHoldingRegister(int reg, int value)
{
    if (reg < 0 || reg >= kHoldingRegisters)
        return false;
    putWord(m_map->tab_registers, reg, value);
    return true;
}
