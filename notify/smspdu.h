#pragma once
// SMS-SUBMIT PDUs for a GSM modem in PDU mode (3GPP TS 27.005): the destination address
// in semi-octets (TS 23.040), the user data in the GSM 7-bit default alphabet or in UCS2
// (TS 23.038), written as the hexadecimal text the modem takes after "AT+CMGS=n".
//
// Stateless; callable from any thread.
#include <QByteArray>
#include <QString>

#include <optional>

enum class SmsAlphabet { Gsm7, Ucs2 };

// One SMS carries 140 octets of user data: 160 septets, or 70 UCS2 code units.
inline constexpr int kSmsMaxSeptets = 160;
inline constexpr int kSmsMaxUcs2Units = 70;
// An address field holds at most 10 octets of digits (TS 23.040 9.1.2.5).
inline constexpr int kSmsMaxNumberDigits = 20;

// A destination number as the PDU carries it. A leading "+" marks the number as
// international and is not one of its digits.
struct SmsNumber
{
    QString digits;
    bool international = false;
};

// The number, or nothing (with the reason in why) when it is empty, holds a character
// other than the digits after an optional leading "+", or is too long for one address.
std::optional<SmsNumber> parseSmsNumber(const QString &number, QString *why = nullptr);

// The septet codes of text in the GSM 03.38 default alphabet, a character of the
// extension table as the escape 0x1B and its code; nothing when a character is in neither.
std::optional<QByteArray> gsm7Septets(const QString &text);
// Septets packed seven bits each, least significant bits first, as lower-case hex.
QString encode7bit(const QByteArray &septets);
// Every UTF-16 code unit as four lower-case hex digits.
QString encodeUcs2(const QString &text);

// "001100" (no service centre: the SIM's own; SMS-SUBMIT with a relative validity
// period; reference 0), the digit count, type of address 91, the digits in semi-octet
// order with an "F" pad, then protocol 00, the coding scheme and a validity of 10 minutes.
QString buildPduHeader(const SmsNumber &number, SmsAlphabet alphabet);

struct SmsUserData
{
    SmsAlphabet alphabet = SmsAlphabet::Gsm7;
    QString text;       // what the message carries, after any shortening
    bool shortened = false;
    QString body;       // user-data length as two hex digits, then the user data
};
// GSM 7-bit when preferred and every character has a code there, else UCS2; a text
// longer than one SMS is cut to fit, never inside an escape pair or a surrogate pair.
SmsUserData buildPduBody(const QString &text, SmsAlphabet preferred);

struct SmsPdu
{
    QString hex;        // header and body, without the closing Ctrl-Z
    int tpduOctets = 0; // the count "AT+CMGS=" takes: the octets after the service-centre field
    SmsUserData userData;
};
SmsPdu buildSmsPdu(const SmsNumber &number, const QString &text, SmsAlphabet preferred);

// "AT+CMGS=%03d\r" for the PDU.
QByteArray cmgsCommand(const SmsPdu &pdu);
// The PDU text as written after the prompt: the hex digits and Ctrl-Z.
QByteArray pduSubmission(const SmsPdu &pdu);
