#include "core/textformats.h"

#include "core/logging.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {
// The record tables of the history pages: fields of a row, and rows.
constexpr QLatin1Char kFieldSeparator('|');
constexpr QLatin1Char kRowSeparator('@');

// ECMAScript writes a number without an exponent while its decimal exponent n
// (value = 0.d1d2... x 10^n) lies in (-6, 21].
constexpr int kMaxPlainExponent = 21;
constexpr int kMinPlainExponent = -6;

QString arrayText(const QJsonArray &array)
{
    // Array.prototype.join: null items (and holes) give the empty text.
    QString out;
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (i > 0)
            out += QLatin1Char(',');
        const QJsonValue item = array.at(i);
        if (!item.isNull() && !item.isUndefined())
            out += ecmaText(item);
    }
    return out;
}
}

QString ecmaNumberText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    if (value == 0)
        return QStringLiteral("0");
    if (value < 0)
        return QLatin1Char('-') + ecmaNumberText(-value);

    // The shortest digits that read back as the same double, in the form d.ddde±x.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    *result.ptr = '\0';
    char *e = std::strchr(buffer, 'e');
    const int exponent = std::atoi(e + 1);
    *e = '\0';
    QByteArray digits;
    for (const char *p = buffer; *p; ++p) {
        if (*p != '.')
            digits += *p;
    }
    const int k = int(digits.size());
    const int n = exponent + 1;

    QByteArray out;
    if (k <= n && n <= kMaxPlainExponent) {
        out = digits + QByteArray(n - k, '0');
    } else if (0 < n && n <= kMaxPlainExponent) {
        out = digits.left(n) + '.' + digits.mid(n);
    } else if (kMinPlainExponent < n && n <= 0) {
        out = "0." + QByteArray(-n, '0') + digits;
    } else {
        out = digits.left(1);
        if (k > 1)
            out += '.' + digits.mid(1);
        out += 'e';
        out += n - 1 >= 0 ? '+' : '-';
        out += QByteArray::number(std::abs(n - 1));
    }
    return QString::fromLatin1(out);
}

QString ecmaText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double:
        return ecmaNumberText(value.toDouble());
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Array:
        return arrayText(value.toArray());
    case QJsonValue::Object:
        return QStringLiteral("[object Object]");
    case QJsonValue::Undefined:
        break;
    }
    return QString();
}

namespace {
// A text with commas counts as a list; a JSON array is one, and each of its items is
// checked in turn.
bool textWithinLimits(const QString &text)
{
    if (text.size() <= kMaxRequestText)
        return true;
    if (text.size() > kMaxRequestListText)
        return false;
    const QStringList entries = text.split(QLatin1Char(','));
    if (entries.size() > kMaxRequestListEntries)
        return false;
    for (const QString &entry : entries) {
        if (entry.size() > kMaxRequestText)
            return false;
    }
    return true;
}

bool valueWithinLimits(const QJsonValue &value)
{
    if (value.isString())
        return textWithinLimits(value.toString());
    if (value.isArray()) {
        const QJsonArray array = value.toArray();
        if (array.size() > kMaxRequestListEntries)
            return false;
        for (const QJsonValue &item : array) {
            if (!valueWithinLimits(item))
                return false;
        }
        // Read as a text, the array is the list of its items.
        return textWithinLimits(ecmaText(value));
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
            if (it.key().size() > kMaxRequestText || !valueWithinLimits(it.value()))
                return false;
        }
    }
    return true;
}
}

RequestJson::RequestJson(const QString &text)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return;
    const QJsonObject object = doc.object();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (it.key().size() > kMaxRequestText || !valueWithinLimits(it.value())) {
            qCWarning(lcCore).noquote() << "request refused: member" << it.key().left(64)
                                        << "is longer than any setting may be; nothing is stored";
            return;
        }
    }
    m_object = object;
    m_isObject = true;
}

RequestJson::RequestJson(const QJsonValue &value)
{
    if (value.isObject()) {
        m_object = value.toObject();
        m_isObject = true;
    }
}

bool RequestJson::isArray(const QString &key) const
{
    const auto it = m_object.constFind(key);
    return it != m_object.constEnd() && it.value().isArray();
}

QList<RequestJson> RequestJson::items(const QString &key) const
{
    QList<RequestJson> out;
    const auto it = m_object.constFind(key);
    if (it == m_object.constEnd() || !it.value().isArray())
        return out;
    const QJsonArray array = it.value().toArray();
    out.reserve(array.size());
    for (const QJsonValue &item : array)
        out.append(RequestJson(item));
    return out;
}

QString RequestJson::value(const QString &key) const
{
    const auto it = m_object.constFind(key);
    return it == m_object.constEnd() ? QString() : ecmaText(it.value());
}

QStringList RequestJson::list(const QString &key) const
{
    return value(key).split(QLatin1Char(','), Qt::KeepEmptyParts);
}

void appendJsonEscaped(QString &out, const QString &text)
{
    static const char kHex[] = "0123456789abcdef";
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        switch (u) {
        case u'"':
            out += QLatin1String("\\\"");
            break;
        case u'\\':
            out += QLatin1String("\\\\");
            break;
        case u'\b':
            out += QLatin1String("\\b");
            break;
        case u'\f':
            out += QLatin1String("\\f");
            break;
        case u'\n':
            out += QLatin1String("\\n");
            break;
        case u'\r':
            out += QLatin1String("\\r");
            break;
        case u'\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (u < 0x20) {
                out += QLatin1String("\\u00");
                out += QLatin1Char(kHex[u >> 4]);
                out += QLatin1Char(kHex[u & 0xF]);
            } else {
                out += c;
            }
        }
    }
}

namespace {
void appendQuoted(QString &out, const QString &text)
{
    out += QLatin1Char('"');
    appendJsonEscaped(out, text);
    out += QLatin1Char('"');
}
}

void ReplyJson::startMember(const char *key)
{
    if (!m_body.isEmpty())
        m_body += QLatin1Char(',');
    m_body += QLatin1Char('"');
    m_body += QLatin1String(key);
    m_body += QLatin1String("\":");
}

ReplyJson &ReplyJson::add(const char *key, const QString &value)
{
    startMember(key);
    appendQuoted(m_body, value);
    return *this;
}

ReplyJson &ReplyJson::addList(const char *key, const QStringList &items)
{
    startMember(key);
    m_body += QLatin1Char('[');
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i > 0)
            m_body += QLatin1Char(',');
        appendQuoted(m_body, items.at(i));
    }
    m_body += QLatin1Char(']');
    return *this;
}

ReplyJson &ReplyJson::addObject(const char *key, const ReplyJson &object)
{
    startMember(key);
    m_body += object.text();
    return *this;
}

ReplyJson &ReplyJson::addObjectList(const char *key, const QList<ReplyJson> &objects)
{
    startMember(key);
    m_body += QLatin1Char('[');
    for (qsizetype i = 0; i < objects.size(); ++i) {
        if (i > 0)
            m_body += QLatin1Char(',');
        m_body += objects.at(i).text();
    }
    m_body += QLatin1Char(']');
    return *this;
}

QString ReplyJson::text() const
{
    return QLatin1Char('{') + m_body + QLatin1Char('}');
}

TaggedValueText &TaggedValueText::add(const char *key, const QString &value)
{
    m_text += QLatin1Char('#');
    m_text += QLatin1String(key);
    m_text += QLatin1Char('!');
    m_text += value;
    return *this;
}

FieldRowText &FieldRowText::addRow(const QStringList &fields)
{
    if (m_hasRow)
        m_text += kRowSeparator;
    m_text += fields.join(kFieldSeparator);
    m_hasRow = true;
    return *this;
}

bool fitsFieldRow(const QString &text)
{
    return !text.contains(kRowSeparator) && !text.contains(kFieldSeparator);
}

QString recordPageJson(const QStringList &columnTitles, const QString &rowsText)
{
    return ReplyJson()
        .add("key", columnTitles.join(QLatin1Char('#')))
        .add("value", rowsText)
        .text();
}

WarningListJson &WarningListJson::add(const QString &date, const QString &description, const char *kind)
{
    if (!m_items.isEmpty())
        m_items += QLatin1Char(',');
    m_items += ReplyJson().add("date", date).add("description", description).add("kind", QLatin1String(kind)).text();
    return *this;
}

QString WarningListJson::text() const
{
    return QLatin1Char('[') + m_items + QLatin1Char(']');
}

QString daySeriesText(const QMap<int, QString> &slotValues)
{
    QString out;
    int next = 0;
    for (auto it = slotValues.constBegin(); it != slotValues.constEnd(); ++it) {
        if (it.key() < 0 || it.key() >= kDaySlots)
            continue;
        for (; next < it.key(); ++next)
            out += next == 0 ? QStringLiteral("0") : QStringLiteral("#0");
        if (next > 0)
            out += QLatin1Char('#');
        out += it.value();
        next = it.key() + 1;
    }
    return out;
}
