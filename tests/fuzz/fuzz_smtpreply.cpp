// Arbitrary bytes as everything an SMTP server sends over one dialogue, split anywhere:
// the replies must come out the same however the bytes were split over reads, every
// reply's text must be whole lines, and a code must be three digits or nothing.
//
// Input: byte 0 seeds the split points, the rest is the server's side of the dialogue.
#include "notify/smtp.h"

#include <QList>
#include <QPair>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

using Replies = QList<QPair<QString, QString>>; // text, code

// Feeds the reader chunk by chunk as reads would, taking every reply that completes.
Replies readAll(const QList<QByteArray> &chunks, QByteArray &rest)
{
    Replies replies;
    QString text;
    QString code;
    for (const QByteArray &chunk : chunks) {
        rest += chunk;
        while (takeSmtpReplyLines(rest, text, code)) {
            replies.append({text, code});
            text.clear();
            code.clear();
        }
    }
    check(rest.indexOf('\n') < 0);
    return replies;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    uint32_t seed = data[0] + 1u;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), int(size - 1));

    QByteArray wholeRest;
    const Replies whole = readAll({bytes}, wholeRest);

    QList<QByteArray> chunks;
    for (int at = 0; at < bytes.size();) {
        seed = seed * 1103515245u + 12345u;
        const int n = 1 + int((seed >> 16) % 9);
        chunks.append(bytes.mid(at, n));
        at += n;
    }
    QByteArray piecesRest;
    check(readAll(chunks, piecesRest) == whole);
    check(piecesRest == wholeRest);

    for (const auto &[text, code] : whole) {
        check(text.endsWith(QLatin1Char('\n')));
        check(code.isEmpty() || (code.size() == 3 && isAsciiDigit(code.at(0)) && isAsciiDigit(code.at(1)) && isAsciiDigit(code.at(2))));
        const QStringList lines = text.split(QLatin1Char('\n'));
        // The final line, then the empty rest after its "\n".
        check(lines.size() >= 2 && lines.last().isEmpty());
        if (!code.isEmpty())
            check(lines.at(lines.size() - 2).startsWith(code));
        // Bytes before the '-' may decode to fewer characters; the '-' stays.
        for (int i = 0; i + 2 < lines.size(); ++i)
            check(lines.at(i).contains(QLatin1Char('-')));
    }
    return 0;
}
