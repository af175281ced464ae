#include "notify/smspdu.h"

#include <QHash>

namespace {

// The GSM 03.38 default alphabet, indexed by septet code. 0x1B is the escape to the
// extension table and stands for no character of its own.
const char16_t kGsmDefault[128] = {
    u'@',    u'\u00A3', u'$',     u'\u00A5', u'\u00E8', u'\u00E9', u'\u00F9', u'\u00EC',
    u'\u00F2', u'\u00C7', u'\n',  u'\u00D8', u'\u00F8', u'\r',    u'\u00C5', u'\u00E5',
    u'\u0394', u'_',    u'\u03A6', u'\u0393', u'\u039B', u'\u03A9', u'\u03A0', u'\u03A8',
    u'\u03A3', u'\u0398', u'\u039E', 0,      u'\u00C6', u'\u00E6', u'\u00DF', u'\u00C9',
    u' ',    u'!',      u'"',     u'#',      u'\u00A4', u'%',      u'&',      u'\'',
    u'(',    u')',      u'*',     u'+',      u',',      u'-',      u'.',      u'/',
    u'0',    u'1',      u'2',     u'3',      u'4',      u'5',      u'6',      u'7',
    u'8',    u'9',      u':',     u';',      u'<',      u'=',      u'>',      u'?',
    u'\u00A1', u'A',    u'B',     u'C',      u'D',      u'E',      u'F',      u'G',
    u'H',    u'I',      u'J',     u'K',      u'L',      u'M',      u'N',      u'O',
    u'P',    u'Q',      u'R',     u'S',      u'T',      u'U',      u'V',      u'W',
    u'X',    u'Y',      u'Z',     u'\u00C4', u'\u00D6', u'\u00D1', u'\u00DC', u'\u00A7',
    u'\u00BF', u'a',    u'b',     u'c',      u'd',      u'e',      u'f',      u'g',
    u'h',    u'i',      u'j',     u'k',      u'l',      u'm',      u'n',      u'o',
    u'p',    u'q',      u'r',     u's',      u't',      u'u',      u'v',      u'w',
    u'x',    u'y',      u'z',     u'\u00E4', u'\u00F6', u'\u00F1', u'\u00FC', u'\u00E0',
};

constexpr char kGsmEscape = 0x1B;

// The extension table: each character takes the escape and this code.
const struct
{
    char16_t character;
    char code;
} kGsmExtension[] = {
    {u'\f', 0x0A}, {u'^', 0x14}, {u'{', 0x28}, {u'}', 0x29}, {u'\\', 0x2F},
    {u'[', 0x3C},  {u'~', 0x3D}, {u']', 0x3E}, {u'|', 0x40}, {u'\u20AC', 0x65},
};

const QHash<char16_t, QByteArray> &gsmCodes()
{
    static const QHash<char16_t, QByteArray> codes = [] {
        QHash<char16_t, QByteArray> h;
        for (int i = 0; i < 128; ++i)
            if (i != kGsmEscape)
                h.insert(kGsmDefault[i], QByteArray(1, char(i)));
        for (const auto &e : kGsmExtension)
            h.insert(e.character, QByteArray() + kGsmEscape + e.code);
        return h;
    }();
    return codes;
}

// The data coding schemes of TS 23.038 4: default alphabet and UCS2, no class.
const char *codingScheme(SmsAlphabet alphabet) { return alphabet == SmsAlphabet::Gsm7 ? "00" : "08"; }

// Two lower-case hex digits.
QString hexOctet(int value) { return QStringLiteral("%1").arg(value & 0xFF, 2, 16, QLatin1Char('0')); }

} // namespace

std::optional<SmsNumber> parseSmsNumber(const QString &number, QString *why)
{
    auto refuse = [why](const char *reason) -> std::optional<SmsNumber> {
        if (why)
            *why = QString::fromLatin1(reason);
        return std::nullopt;
    };
    SmsNumber n;
    n.international = number.startsWith(QLatin1Char('+'));
    n.digits = n.international ? number.mid(1) : number;
    if (n.digits.isEmpty())
        return refuse("the number is empty");
    for (const QChar c : n.digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return refuse("the number holds a character other than digits");
    if (n.digits.size() > kSmsMaxNumberDigits)
        return refuse("the number has more digits than an SMS address holds");
    return n;
}

std::optional<QByteArray> gsm7Septets(const QString &text)
{
    const auto &codes = gsmCodes();
    QByteArray septets;
    septets.reserve(text.size());
    for (const QChar c : text) {
        const auto it = codes.constFind(c.unicode());
        if (it == codes.constEnd())
            return std::nullopt;
        septets += it.value();
    }
    return septets;
}

QString encode7bit(const QByteArray &septets)
{
    QString out;
    out.reserve((septets.size() * 7 + 7) / 8 * 2);
    unsigned carry = 0;
    int carryBits = 0;
    for (const char s : septets) {
        carry |= unsigned(uchar(s) & 0x7F) << carryBits;
        carryBits += 7;
        if (carryBits >= 8) {
            out += hexOctet(int(carry & 0xFF));
            carry >>= 8;
            carryBits -= 8;
        }
    }
    if (carryBits > 0)
        out += hexOctet(int(carry));
    return out;
}

QString encodeUcs2(const QString &text)
{
    QString out;
    out.reserve(text.size() * 4);
    for (const QChar c : text)
        out += QStringLiteral("%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    return out;
}

QString buildPduHeader(const SmsNumber &number, SmsAlphabet alphabet)
{
    QString digits = number.digits;
    const int count = int(digits.size());
    if (count % 2)
        digits += QLatin1Char('F');
    for (int i = 0; i + 1 < digits.size(); i += 2)
        std::swap(digits[i], digits[i + 1]);
    return QStringLiteral("001100") + hexOctet(count) + QStringLiteral("91") + digits + QStringLiteral("00")
           + QLatin1String(codingScheme(alphabet)) + QStringLiteral("01");
}

SmsUserData buildPduBody(const QString &text, SmsAlphabet preferred)
{
    SmsUserData d;
    if (preferred == SmsAlphabet::Gsm7) {
        if (std::optional<QByteArray> septets = gsm7Septets(text)) {
            d.alphabet = SmsAlphabet::Gsm7;
            d.text = text;
            if (septets->size() > kSmsMaxSeptets) {
                // Cut whole characters: an escape pair goes as a pair or not at all.
                int kept = 0, characters = 0;
                while (characters < text.size()) {
                    const int width = septets->at(kept) == kGsmEscape ? 2 : 1;
                    if (kept + width > kSmsMaxSeptets)
                        break;
                    kept += width;
                    ++characters;
                }
                septets->truncate(kept);
                d.text = text.left(characters);
                d.shortened = true;
            }
            d.body = hexOctet(int(septets->size())) + encode7bit(*septets);
            return d;
        }
    }
    d.alphabet = SmsAlphabet::Ucs2;
    d.text = text;
    if (d.text.size() > kSmsMaxUcs2Units) {
        int kept = kSmsMaxUcs2Units;
        if (d.text.at(kept - 1).isHighSurrogate())
            --kept;
        d.text.truncate(kept);
        d.shortened = true;
    }
    const QString data = encodeUcs2(d.text);
    d.body = hexOctet(int(data.size() / 2)) + data;
    return d;
}

SmsPdu buildSmsPdu(const SmsNumber &number, const QString &text, SmsAlphabet preferred)
{
    SmsPdu pdu;
    pdu.userData = buildPduBody(text, preferred);
    pdu.hex = buildPduHeader(number, pdu.userData.alphabet) + pdu.userData.body;
    // The leading "00" is the empty service-centre field, which the count leaves out.
    pdu.tpduOctets = int(pdu.hex.size() - 2) / 2;
    return pdu;
}

QByteArray cmgsCommand(const SmsPdu &pdu)
{
    return QStringLiteral("AT+CMGS=%1\r").arg(pdu.tpduOctets, 3, 10, QLatin1Char('0')).toLatin1();
}

QByteArray pduSubmission(const SmsPdu &pdu) { return pdu.hex.toLatin1() + char(0x1A); }
