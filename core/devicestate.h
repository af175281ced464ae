#pragma once
// The latest values read from the power device.
//
// Writer: the device thread (every member of upsInfo, every entry of inverterInfo but
// values[132]); the history thread writes inverterInfo.values[132] and empties the PV
// samples. Readers: the GUI thread and the history thread.
// Guard: upsInfo.lock protects every member below except commState, commStatePrev and
// settingsValid, which are atomic with the device thread as their only writer. A writer
// stores one decoded block under one write hold; a reader copies under the read side and
// formats after release. A holder of the guard may post events; nobody takes the guard
// while holding an event-queue lock or commandQueueLock. Not recursive.
#include <QObject>
#include <QReadWriteLock>
#include <QString>

#include <atomic>
#include <cstdint>

// Indexes of ThreePhaseUPSInfo::values; also the column order of the UPS history tables.
enum UpsValueIndex {
    BatteryDischageTime = 0,
    BatteryRemainTime,
    BatteryRemmainCap,
    BatteryVolt,
    BatteryCurr,
    BatteryTemp,
    InputPowerFac,
    InputGenC,
    InputFreq,
    InputVolt,
    InputCurr,
    InputActPower,
    InputAppPower,
    InputWattPower,
    OutputFrq,
    OutputPowerFac,
    OutputGen,
    OutputVolt,
    OutputCurr,
    OutputActivePower,
    OutputAppPower,
    OutputWattPower,
    OutputLoadPercent,
    BypassFreq,
    BypassVol,
    BypassCurr,
    BypassActPower,
    PVVolt,
    PVCurr,
    PVPower,
    PVDayGen,
    PVTotalGen,
    UpsValueCount
};

struct UnitRecord
{
    QString inputNo;
    QString voltage;
    QString current;
    QString fault;
    QString dayGen;
    QString totalGen;
};

// Link states held in commState.
enum CommState { CommConnecting = 1, CommOk = 2, CommLost = 3 };

// The plain values of ThreePhaseUPSInfo, apart from its lock and its atomics, so that
// the whole set can be copied or replaced by a fresh one in one assignment.
struct UpsDeviceValues
{
    static constexpr int kPvInputRows = 8;
    static constexpr int kStatusBitCount = 32;
    // About 45 samples (serial) or 15 (USB-HID) arrive between two 5-minute saves.
    static constexpr int kMaxPvPowerSamples = 55;

    uint16_t statusMaskLo = 0;
    uint16_t statusMaskHi = 0;
    uint16_t otherInfoMask = 0;
    QString sysTemp;
    QString deviceTime;
    QString workMode;
    uint16_t batFieldMask = 0;
    QString batMode;
    uint16_t inputFieldMask = 0;
    QString values[UpsValueCount];
    uint16_t outputFieldMask = 0;
    uint16_t bypassFieldMask = 0;
    uint16_t pvFieldMask = 0;
    uint16_t pvInputMask = 0;
    uint8_t pvInputCount = 0;
    QString pvMode;
    QString pvTotalGenScaled;
    QString deviceName;
    QString deviceType;
    QString deviceManufacturer;
    QString deviceProtocolVersion;
    QString deviceMonitorVersion;
    QString deviceControlVersion;
    UnitRecord pvInputTable[kPvInputRows];
    uint8_t statusBits[kStatusBitCount] = {};
    uint8_t statusBitsPrev[kStatusBitCount] = {};
    uint16_t gridHourBands[3] = {};
    uint16_t antirefluxHourBands[3] = {};
    uint16_t inverterMode = 0;
    uint16_t supportFlags[3] = {};
    uint16_t pvHourBands[3] = {};
    double pvPowerSamples[kMaxPvPowerSamples] = {};
    // Why the link last failed: kLinkFaultNoReply when the port is open and the device
    // does not answer, else the port and the system's reason for not opening it
    // ("/dev/ttyUSB0: No such file or directory"); empty while polls succeed.
    QString linkFault;
    static constexpr const char *kLinkFaultNoReply = "no reply";
    int pvPowerSampleCount = 0;
};

class ThreePhaseUPSInfo : public QObject, public UpsDeviceValues
{
    Q_OBJECT
public:
    explicit ThreePhaseUPSInfo(QObject *parent = nullptr);
    ~ThreePhaseUPSInfo() override;

    void initSingleValues();
    void initThreePhaseValues();

    // Appends one PV power sample; a sample that arrives while the buffer is full is
    // dropped. Caller holds lock for writing.
    void appendPvPowerSample(double watts);

    std::atomic<int> commState{CommConnecting};
    std::atomic<int> commStatePrev{CommConnecting};
    mutable QReadWriteLock lock;

private:
    void initValues(bool threePhase);
};

struct InverterInfo
{
    static constexpr int kValueCount = 150;
    static constexpr int kAlarmCount = 26;
    static constexpr int kSettingCount = 53;
    // Not a register copy: the PV energy of the day, computed by the history thread
    // from the lifetime energy in values[kLifetimeEnergyIndex].
    static constexpr int kDayEnergyIndex = 132;
    static constexpr int kLifetimeEnergyIndex = 134;

    QString values[kValueCount];
    uint8_t alarms[kAlarmCount] = {};
    uint8_t alarmsPrev[kAlarmCount] = {};
    QString settings[kSettingCount];
};

extern ThreePhaseUPSInfo upsInfo;
extern InverterInfo inverterInfo;
// True once the device's settings block has been decoded since the link was last
// (re)opened or changed state. Device thread writes; anyone reads.
extern std::atomic<bool> settingsValid;
