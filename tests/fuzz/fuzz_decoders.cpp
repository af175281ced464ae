// libFuzzer target: arbitrary register and input blocks, of any length and for any id,
// through every decoder, under each protocol code and with and without the GBK codec.
//
// Input: byte 0 picks the decoder, byte 1 the transaction id, byte 2 the protocol code
// (low bits) and a missing codec (bit 7); the rest is the block, big-endian registers
// or one byte per discrete input. Each block lives in a buffer of exactly its length,
// so a decoder that reads past it trips AddressSanitizer.
#include "device/decoders.h"
#include "tests/support/eventqueues.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextCodec>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

QTextCodec *gbk = nullptr;

const char *const kProtocols[] = {"0", "1", "2", "3", "4", "9"};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    // Every refused block logs a warning; at fuzzing rates that is all the time spent.
    QLoggingCategory::setFilterRules(QStringLiteral("kestrava.*=false"));
    gbk = platformGbkCodec();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const int decoder = data[0] % 7;
    const int id = data[1] % 32;
    const DecodeContext context{QLatin1String(kProtocols[(data[2] & 0x7F) % 6]), (data[2] & 0x80) ? nullptr : gbk};
    data += 3;
    size -= 3;

    if (decoder == 6) {
        const std::vector<quint8> inputs(data, data + size);
        checkStatusBits(id, inputs.data(), int(inputs.size()));
    } else {
        const size_t count = size / 2;
        std::unique_ptr<quint16[]> block(new quint16[count ? count : 1]);
        for (size_t i = 0; i < count; ++i)
            block[i] = quint16(data[2 * i] << 8 | data[2 * i + 1]);
        const int n = int(count);
        switch (decoder) {
        case 0:
            parseModbusBlock(context, id, block.get(), n);
            break;
        case 1:
            parseHidBlock(context, id, block.get(), n);
            break;
        case 2:
            parseInverterModelBlock(id, block.get(), n);
            break;
        case 3:
            updateSettingRegisters(block.get(), n);
            break;
        case 4:
            parseDeviceIdentity(context.gbkCodec, block.get(), n);
            break;
        case 5:
            parseDeviceVersions(context.gbkCodec, block.get(), n);
            break;
        }
    }
    discardAllEvents();
    return 0;
}
