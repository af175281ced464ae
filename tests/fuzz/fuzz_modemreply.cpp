// Arbitrary bytes as a GSM modem's reply, split anywhere: the reply must come out the
// same however the bytes were split over reads, stay within its bounds, and give the
// identity, network and signal fields without reading past anything.
//
// Input: byte 0 picks the kind of reply awaited, byte 1 seeds the split points, the rest
// is the reply as the modem sends it.
#include "notify/modemreply.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
const ModemReply::Kind kKinds[] = {ModemReply::Command, ModemReply::Prompt, ModemReply::Submit,
                                   ModemReply::Startup};

void check(bool condition)
{
    if (!condition)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const ModemReply::Kind kind = kKinds[data[0] % 4];
    uint32_t seed = data[1] + 1u;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 2), int(size - 2));

    ModemReply whole(kind);
    whole.feed(bytes);

    ModemReply pieces(kind);
    for (int at = 0; at < bytes.size();) {
        seed = seed * 1103515245u + 12345u;
        const int n = 1 + int((seed >> 16) % 9);
        pieces.feed(bytes.mid(at, n));
        at += n;
    }

    check(whole.isDone() == pieces.isDone());
    check(whole.final() == pieces.final());
    check(whole.errorCode() == pieces.errorCode());
    check(whole.sawPrompt() == pieces.sawPrompt());
    check(whole.messageReference() == pieces.messageReference());
    check(whole.lines() == pieces.lines());
    check(whole.lines().size() <= ModemReply::kMaxLines);
    for (const QByteArray &line : whole.lines())
        check(!line.isEmpty() && line.size() <= ModemReply::kMaxLineBytes);
    check(whole.sawPrompt() ? kind == ModemReply::Prompt : true);

    const int quality = modemSignalQuality(whole);
    check(quality == kSignalQualityUnknown || (quality >= 0 && quality <= 100));
    check(modemIdentityLine(whole).size() <= ModemReply::kMaxLineBytes);
    check(modemQuotedField(whole, "+COPS:").size() <= ModemReply::kMaxLineBytes);
    (void)whole.outcome();
    return 0;
}
