#pragma once
// The UPS family's input-register map (function 4: the serial block from register 0
// and its USB-HID pieces): where each field lies and which capability mask announces
// it. The device thread's decoders read every field from here, and the live replies
// show a field only while the mask bits of its registers are set, so the two always
// agree on the map.

#include <cstdint>

// The capability masks: bit k of a mask announces the register k places after the
// first register it covers.
enum class UpsMaskArea : uint8_t { Other, Battery, Input, Output, Bypass, Pv };

constexpr int upsMaskFirstRegister(UpsMaskArea area)
{
    switch (area) {
    case UpsMaskArea::Other: return 3;
    case UpsMaskArea::Battery: return 20;
    case UpsMaskArea::Input: return 38;
    case UpsMaskArea::Output: return 62;
    case UpsMaskArea::Bypass: return 86;
    case UpsMaskArea::Pv: return 103;
    }
    return 0;
}

// The registers of the fields that are not entries of values[].
namespace UpsRegister {
inline constexpr int StatusMaskLo = 0;
inline constexpr int StatusMaskHi = 1;
inline constexpr int OtherInfoMask = 2;
inline constexpr int SysTemp = 3;
inline constexpr int DeviceClock = 6; // 6, 7, 8: BCD year-month, day-hour, minute-second
inline constexpr int DeviceClockWidth = 3;
inline constexpr int WorkMode = 9;
inline constexpr int BatFieldMask = 19;
inline constexpr int BatMode = 20;
inline constexpr int InputFieldMask = 36;
inline constexpr int OutputFieldMask = 60;
inline constexpr int BypassFieldMask = 85;
inline constexpr int PvFieldMask = 102;
inline constexpr int PvInputMask = 103;
inline constexpr int PvMode = 104;
// The per-input PV table (a separate transaction): input n (1 to 8) in the twelve
// registers from PvTableFirst + 12 (n - 1); announced by bit 0 of the PV mask.
inline constexpr int PvTableFirst = 126;
inline constexpr int PvTableRegistersPerInput = 12;
} // namespace UpsRegister

// The bit of the PV mask that announces the per-input PV table (the inputs themselves
// are announced by pvInputMask, bit n - 1 for input n).
inline constexpr uint16_t kUpsPvInputTableBit = 0x0001;

struct UpsRegisterPlace
{
    UpsMaskArea area;
    int reg;         // the first register: phase A of a triple, the high half of a 32-bit value
    int width;       // registers behind its mask bits: 2 for a 32-bit value
    int phaseStride; // three-phase devices: registers from one phase to the next; 0 = one figure
};

// Where each entry of ThreePhaseUPSInfo::values lies, in index order.
inline constexpr UpsRegisterPlace kUpsValuePlaces[UpsValueCount] = {
    {UpsMaskArea::Battery, 21, 1, 0}, // BatteryDischageTime
    {UpsMaskArea::Battery, 22, 1, 0}, // BatteryRemainTime
    {UpsMaskArea::Battery, 23, 1, 0}, // BatteryRemmainCap
    {UpsMaskArea::Battery, 24, 1, 0}, // BatteryVolt
    {UpsMaskArea::Battery, 25, 1, 0}, // BatteryCurr
    {UpsMaskArea::Battery, 26, 1, 0}, // BatteryTemp
    {UpsMaskArea::Input, 39, 1, 0},   // InputPowerFac
    {UpsMaskArea::Input, 40, 2, 0},   // InputGenC
    {UpsMaskArea::Input, 42, 1, 6},   // InputFreq
    {UpsMaskArea::Input, 43, 1, 6},   // InputVolt
    {UpsMaskArea::Input, 44, 1, 6},   // InputCurr
    {UpsMaskArea::Input, 45, 1, 6},   // InputActPower
    {UpsMaskArea::Input, 46, 1, 6},   // InputAppPower
    {UpsMaskArea::Input, 47, 1, 6},   // InputWattPower
    {UpsMaskArea::Output, 63, 1, 0},  // OutputFrq
    {UpsMaskArea::Output, 64, 1, 0},  // OutputPowerFac
    {UpsMaskArea::Output, 65, 2, 0},  // OutputGen
    {UpsMaskArea::Output, 67, 1, 6},  // OutputVolt
    {UpsMaskArea::Output, 68, 1, 6},  // OutputCurr
    {UpsMaskArea::Output, 69, 1, 6},  // OutputActivePower
    {UpsMaskArea::Output, 70, 1, 6},  // OutputAppPower
    {UpsMaskArea::Output, 71, 1, 6},  // OutputWattPower
    {UpsMaskArea::Output, 72, 1, 6},  // OutputLoadPercent
    {UpsMaskArea::Bypass, 87, 1, 0},  // BypassFreq
    {UpsMaskArea::Bypass, 88, 1, 3},  // BypassVol
    {UpsMaskArea::Bypass, 89, 1, 3},  // BypassCurr
    {UpsMaskArea::Bypass, 90, 1, 3},  // BypassActPower
    {UpsMaskArea::Pv, 105, 1, 0},     // PVVolt
    {UpsMaskArea::Pv, 106, 1, 0},     // PVCurr
    {UpsMaskArea::Pv, 107, 1, 0},     // PVPower
    {UpsMaskArea::Pv, 108, 2, 0},     // PVDayGen
    {UpsMaskArea::Pv, 110, 2, 0},     // PVTotalGen
};

static_assert(kUpsValuePlaces[PVTotalGen].reg == 110, "one row per value, in index order");
