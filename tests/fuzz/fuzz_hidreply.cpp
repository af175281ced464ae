// Arbitrary bytes as a USB-HID device's answer: the reply check on the raw bytes, and a
// whole read transaction (reply read, check, conversion, decoder) on a fake device that
// sends them in 8-byte reports, with pauses or without end.
//
// Input: byte 0 picks the transaction, byte 1 the device's behaviour, the rest is the
// reply as the device sends it.
#include "core/settings.h"
#include "device/serial_thread.h"
#include "tests/support/eventqueues.h"
#include "tests/support/fakelinks.h"

#include <QLoggingCategory>
#include <QWriteLocker>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {
struct Target
{
    int id;
    const char *protocol;
};
const Target kTargets[] = {
    {1, "2"},  {2, "2"},  {7, "2"},  {8, "2"},  {9, "2"},  {10, "2"}, {11, "2"}, {12, "2"}, {13, "2"},
    {14, "2"}, {21, "4"}, {22, "4"}, {23, "4"}, {24, "4"}, {25, "4"}, {26, "4"}, {27, "4"}, {28, "4"},
};
const HidFault kFaults[] = {HidFault::None, HidFault::Gap, HidFault::Endless, HidFault::Truncated};

struct Harness
{
    FakeHidBackend hid;
    FakeModbusBackend modbus;
    serial_thread thread;
    Harness()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("kestrava.*=false"));
        QWriteLocker l(&settingsLock);
        deviceSettings.comAddr = QStringLiteral("1");
        thread.setBackends(&modbus, &hid);
    }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Harness *h = new Harness;
    if (size < 2)
        return 0;
    const Target &t = kTargets[data[0] % (sizeof kTargets / sizeof kTargets[0])];
    const HidFault fault = kFaults[data[1] % (sizeof kFaults / sizeof kFaults[0])];
    const uint8_t *reply = data + 2;
    const int length = int(size - 2);

    // Exactly the bytes given: any read past them is caught by AddressSanitizer.
    uint8_t *exact = new uint8_t[size_t(length) + 1];
    std::memcpy(exact, reply, size_t(length));
    h->thread.verifyReply(exact, length, t.id);
    delete[] exact;

    h->hid = FakeHidBackend();
    h->thread.closeHid();
    h->hid.scriptedReplies = {QByteArray(reinterpret_cast<const char *>(reply), length)};
    h->hid.faults = {fault};
    h->thread.queryBlock(t.id, QString::fromLatin1(t.protocol));
    h->thread.closeHid();

    discardAllEvents();
    return 0;
}
