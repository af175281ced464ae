#pragma once
// The device thread: the one thread that talks to the power device. Every other second
// it executes the oldest queued command word or runs one step of the poll plan, keeps
// the link state and posts the communication events.
//
// Threads: the constructor, the destructor and stop() run in the GUI thread; run() and
// everything it calls run in the device thread. Tests may call the public transaction
// members on an object that was never started. The decoders are free functions
// (device/decoders.h). The user interface's settings, controls and schedule reach it only
// through the shared settings and the command queue (bridge/devicerequests.h).
#include "device/devicelinks.h"

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <cstdint>
#include <memory>

class QTextCodec;
struct TransactionSpec;

// The settings the device thread works with, copied in one hold of settingsLock (and of
// scheduleListLock for preAlarm) so that one pass never mixes old and new values.
struct DeviceLinkSettings
{
    QString comProtocol;
    QString comAddr;
    QString inverterSelectName;
    QString dev_boudrate;
    QString dev_databit;
    QString dev_checkbit;
    QString dev_stopbit;
    QString countdownOffITime;
    QString delayStartITime;
    QString preAlarm;
    double depthDischarge = 0;
};
DeviceLinkSettings readDeviceLinkSettings();

class serial_thread : public QThread
{
    Q_OBJECT
public:
    serial_thread();
    ~serial_thread() override;

    // Asks run() to end after the transaction in progress; returns at once.
    void stop();

    // Replaces the transports (tests, fuzz targets); the caller keeps ownership and
    // calls this before start(). Null restores the real back end. Closes open handles.
    void setBackends(ModbusBackend *modbus, HidBackend *hid);

    // One pass of run(): reads the clock and, on a change of the second, applies the
    // port and transport rules and the command or poll slot. Tests drive the loop with
    // a fixed clock through beginLoop() and loopPass().
    void beginLoop();
    void loopPass();

    void setCommState(int state);
    bool pollStep(const QString &protocol, uint16_t step);

    // Transactions (device thread).
    bool openModbusPort();
    void closeModbus();
    bool openHid();
    void closeHid();
    bool checkHidWritten(int written);
    // Collects one reply into buffer (capacity bytes); returns the bytes collected.
    int readHidReply(uint8_t *buffer, int capacity, int expectedLength);
    bool verifyReply(const uint8_t *reply, int length, int id) const;
    bool queryBlock(int id, const QString &protocol);

    // Commands (device thread). Removes the oldest queued word and executes it; false
    // when the queue was empty (the slot then polls instead).
    bool executeNextCommand(const QString &protocol);
    // values: the texts queued with the word (QueuedCommand); empty for the word's own.
    void executeCommand(const QString &protocol, const QString &word, const QStringList &values = {});

    // Read-only views for tests and diagnostics.
    uint16_t currentPollIndex() const { return pollIndex; }
    int currentFailCount() const { return failCount; }
    bool modbusOpen() const { return modbusCtx != nullptr; }
    bool hidOpen() const { return hidDevice != nullptr; }
    bool lastPollSucceeded() const { return lastPollOk; }
    // True once beginLoop() has read the clock.
    bool loopStarted() const { return lastSecond != 0; }

protected:
    void run() override;

private:
    uint32_t readSecond() const;
    void waitForNextReading();
    void runSecondChange(const DeviceLinkSettings &s);
    bool queryHid(const TransactionSpec &spec, const DeviceLinkSettings &settings);
    bool querySerial(const TransactionSpec &spec, const DeviceLinkSettings &settings);
    bool decodeBlock(const TransactionSpec &spec, const uint16_t *registers, const uint8_t *inputs);
    // comAddr as a slave address, or -1 (nothing may be sent); warns once per bad text.
    int slaveAddress(const QString &comAddr, int base);
    void sendCommandWrite(const QString &protocol, uint16_t reg, uint16_t value,
                          const DeviceLinkSettings &settings);

    ModbusBackend *modbusBackend;
    HidBackend *hidBackend;
    // Wakes the loop's pause early when stop() is called.
    QMutex wakeMutex;
    QWaitCondition wakeCondition;
    // The settings copy of the current pass; outside a pass each call reads its own.
    DeviceLinkSettings passSettings;
    bool inPass = false;
    bool addressWarned = false;
    QString warnedAddress;
    DeviceLinkSettings linkSettings() const { return inPass ? passSettings : readDeviceLinkSettings(); }

    // Device-link members; device thread only unless noted.
    QString portNameSnapshot;
    QString baudSnapshot = QStringLiteral("0");
    QString dataBitsSnapshot = QStringLiteral("0");
    QString paritySnapshot = QStringLiteral("0");
    QString stopBitsSnapshot = QStringLiteral("0");
    QString protocolSnapshot;
    std::atomic<bool> stopRequested{false}; // written by the GUI thread
    uint32_t nowSecond = 0;
    uint32_t lastSecond = 0;
    uint8_t tickCount = 0;
    int8_t failCount = 0;
    uint16_t pollIndex = 0;
    std::unique_ptr<ModbusLink> modbusCtx;
    bool lastPollOk = false;
    QTextCodec *gbkCodec = nullptr; // null when the platform lacks the codec
    std::unique_ptr<HidDevice> hidDevice;
    // Why the latest open of the active transport failed; empty when it is open.
    QString openFault;
    // The open fault last logged: a port that stays missing is retried every poll step,
    // and logged once when the problem starts and once when it ends.
    QString reportedOpenFault;
    void reportOpenFault();
};
