// Execution of queued command words: one event, then one register write.
#include "device/serial_thread.h"

#include "core/clock.h"
#include "core/commandqueue.h"
#include "core/devicestate.h"
#include "core/events.h"
#include "core/helpers.h"
#include "core/logging.h"
#include "core/protocolcode.h"
#include "device/transactions.h"
#include "history/historyshared.h"

#include <QReadLocker>

#include <cmath>

namespace {

// The register a word writes per protocol code; kNone sends nothing on that code.
constexpr int kNone = -1;
// The hour words pick their register from the device's working mode.
constexpr int kHourBand = -2;
// A working mode's day is set in three bands of eight hours.
constexpr qsizetype kHourBands = 3;

enum class CommandValue {
    AllOnes,        // 0xFFFF: "do it"
    AllOnesOrLead,  // 0xFFFF; the inverter takes the minutes to wait before it acts
    BypassOn,       // 0xFF00
    BypassOff,      // 0x00FF
    CountdownOff,
    DelayOn,
    DepthDischarge,
    HourBand0,
    HourBand1,
    HourBand2,
};

struct CommandRow
{
    const char *word;
    int event;            // 0: none
    CommandValue value;
    int reg[5];           // protocol codes "0" to "4"
};

const CommandRow kCommands[] = {
    {"selfTest1Min", EventSelfTest1Min, CommandValue::AllOnes, {5, 5, 5, 0xF008, 0xF008}},
    {"dischargeLow", EventDischargeLow, CommandValue::AllOnes, {6, 6, 6, 0xF009, 0xF009}},
    {"cancelTest", EventCancelTest, CommandValue::AllOnes, {8, 8, 8, 0xF00A, 0xF00A}},
    {"countdownOffInverter", EventCountdownOff, CommandValue::CountdownOff, {11, 11, 11, kNone, 11}},
    {"delayOnInverter", EventDelayOn, CommandValue::DelayOn, {12, 12, 12, kNone, 12}},
    {"cancelShutdown", EventCancelShutdown, CommandValue::AllOnes, {9, 9, 9, 0xF010, 0xF010}},
    // The inverter takes shutdown and start-up over USB-HID at the same registers as over
    // its serial link, as it does its other words.
    {"shutdown", EventShutdownOrTurnOn, CommandValue::AllOnesOrLead, {28, 28, 28, 0xF00E, 0xF00E}},
    {"startupInverter", EventStartupOrTurnOff, CommandValue::AllOnesOrLead, {18, 18, 18, 0xF00F, 0xF00F}},
    {"turnOnInverter", EventShutdownOrTurnOn, CommandValue::AllOnes, {kNone, kNone, kNone, 0xF000, 0xF000}},
    {"turnOffInverter", EventStartupOrTurnOff, CommandValue::AllOnes, {kNone, kNone, kNone, 0xF001, 0xF001}},
    {"cancelAlarmVoice", EventBypassOnOrCancelAlarm, CommandValue::AllOnes, {kNone, kNone, kNone, 0xF00B, 0xF00B}},
    {"OnBypassSwitch", EventBypassOnOrCancelAlarm, CommandValue::BypassOn, {7, 7, 7, kNone, 7}},
    {"OffBypassSwitch", EventBypassOffOrClearGen, CommandValue::BypassOff, {7, 7, 7, kNone, 7}},
    {"cleartotalgen", EventBypassOffOrClearGen, CommandValue::AllOnes, {kNone, kNone, kNone, 0xF00C, 0xF00C}},
    {"depthDischarge", EventDepthDischarge, CommandValue::DepthDischarge, {10, 10, 10, kNone, 10}},
    {"hour0-7", 0, CommandValue::HourBand0, {kHourBand, kHourBand, kHourBand, kNone, kHourBand}},
    {"hour8-15", 0, CommandValue::HourBand1, {kHourBand, kHourBand, kHourBand, kNone, kHourBand}},
    {"hour16-23", 0, CommandValue::HourBand2, {kHourBand, kHourBand, kHourBand, kNone, kHourBand}},
};

const CommandRow *findCommand(const QString &word)
{
    for (const CommandRow &row : kCommands)
        if (word == QLatin1String(row.word))
            return &row;
    return nullptr;
}

// The protocol code as a column of the table, or -1 for a code outside "0" to "4".
int protocolColumn(const QString &protocol)
{
    if (protocol.size() != 1 || protocol[0] < QLatin1Char('0') || protocol[0] > QLatin1Char('4'))
        return -1;
    return protocol[0].unicode() - '0';
}

// A register value from a setting's text: a decimal number that fits the register, 0
// otherwise. Keeping only the low 16 bits would turn a lead time of 65537 minutes into
// 1 minute, or -1 into 65535, and send that to the device as if it had been asked for.
uint16_t registerValue(const QString &text)
{
    return numberOrZero<ushort>(text);
}

// depthDischarge holds the received hundredths divided by 100; the register takes the
// hundredths again, or 0 when they do not fit it (negative, too large, not finite).
uint16_t depthDischargeValue(double depth)
{
    const double hundredths = std::round(depth * 100);
    if (!std::isfinite(hundredths) || hundredths < 0 || hundredths > 0xFFFF)
        return 0;
    return uint16_t(hundredths);
}

// The registers of the three hour bands of each working mode: photovoltaic, grid,
// and any other (anti-reflux).
int hourBandRegister(int band)
{
    uint16_t mode;
    {
        QReadLocker lock(&upsInfo.lock);
        mode = upsInfo.inverterMode;
    }
    const int first = mode == 0 ? 31 : mode == 1 ? 34 : 37;
    return first + band;
}

} // namespace

bool serial_thread::executeNextCommand(const QString &protocol)
{
    QueuedCommand command;
    if (!takeCommand(&command))
        return false;
    executeCommand(protocol, command.word, command.values);
    return true;
}

void serial_thread::executeCommand(const QString &protocol, const QString &word, const QStringList &values)
{
    const CommandRow *row = findCommand(word);
    if (!row)
        return;
    if (row->event != 0)
        postEvent(row->event);
    // Read after the word was taken: the slot that queued it stored its values first.
    const DeviceLinkSettings s = readDeviceLinkSettings();

    const int column = protocolColumn(protocol);
    int reg = column < 0 ? kNone : row->reg[column];
    bool haveValue = true;
    uint16_t value = 0xFFFF;
    switch (row->value) {
    case CommandValue::AllOnes:
        break;
    case CommandValue::AllOnesOrLead:
        // The schedule fixes the minutes left to its task; a word queued by other means
        // waits the warning lead time.
        if (deviceFamily(protocol) == DeviceFamily::Inverter)
            value = registerValue(values.isEmpty() ? s.preAlarm : values.first());
        break;
    case CommandValue::BypassOn:
        value = 0xFF00;
        break;
    case CommandValue::BypassOff:
        value = 0x00FF;
        break;
    case CommandValue::CountdownOff:
        value = registerValue(s.countdownOffITime);
        break;
    case CommandValue::DelayOn:
        value = registerValue(s.delayStartITime);
        break;
    case CommandValue::DepthDischarge:
        value = depthDischargeValue(s.depthDischarge);
        break;
    case CommandValue::HourBand0:
    case CommandValue::HourBand1:
    case CommandValue::HourBand2: {
        const int band = int(row->value) - int(CommandValue::HourBand0);
        // A mode setting with fewer than three bands sends none of them, and an hour word
        // queued without its setting's bands has nothing to send.
        haveValue = values.size() >= kHourBands;
        if (haveValue)
            value = registerValue(values.at(band));
        break;
    }
    }
    if (reg == kHourBand)
        reg = hourBandRegister(int(row->value) - int(CommandValue::HourBand0));

    if (reg != kNone && haveValue)
        sendCommandWrite(protocol, uint16_t(reg), value, s);
    else
        qCDebug(lcDevice) << "command" << word << "sends nothing on protocol" << protocol;

    if (word == QLatin1String("cleartotalgen"))
        removeDayCounterFile(appClock().now().date());
}

void serial_thread::sendCommandWrite(const QString &protocol, uint16_t reg, uint16_t value,
                                     const DeviceLinkSettings &s)
{
    if (deviceTransport(protocol) == DeviceTransport::Serial) {
        if (!modbusCtx) {
            qCDebug(lcDevice) << "command write: serial port not open";
            return;
        }
        const int slave = slaveAddress(s.comAddr, 10);
        if (slave < 0)
            return;
        modbusCtx->setSlave(slave);
        // The answer is not examined; a write error leaves the port open.
        modbusCtx->writeRegister(reg, value);
        qCDebug(lcDevice, "command write %04X = %04X", reg, value);
        return;
    }
    if (!hidDevice) {
        qCDebug(lcDevice) << "command write: USB-HID device not open";
        return;
    }
    // Commands over USB-HID always go to address 1; no input report is read.
    const HidRequest request = buildHidRequest(0x01, ModbusFunction::WriteSingleRegister, reg, value);
    hidDevice->write(request.data(), request.size());
    qCDebug(lcDevice, "command write %04X = %04X", reg, value);
}
