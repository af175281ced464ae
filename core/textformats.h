#pragma once
// The texts that travel between the program and the QML side, each written once here:
// the request reader and the builders of the reply formats. Stateless apart from the
// builder being filled; reentrant, usable from any thread.
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

class QJsonValue;

// One request of the QML side: a JSON object text. Each member reads as text by the
// script ToString rule: a string unchanged, a number in its shortest ECMAScript form,
// true/false, null as "null", an array as its items joined by ",". A missing member, or
// any member of a request that is not a JSON object, reads as the empty text.
// What one request may carry. No real setting comes near these, yet every value stored
// from a request stays small enough that each later save is quick and the settings
// folder always fits the archive the program exports and imports again.
// A text: 1 KiB. A list (a text with commas, the way recipient lists travel, or a JSON
// array): a few hundred entries, each a text, and 64 KiB in all.
inline constexpr qsizetype kMaxRequestText = 1024;
inline constexpr qsizetype kMaxRequestListEntries = 500;
inline constexpr qsizetype kMaxRequestListText = 64 * 1024;

class RequestJson
{
public:
    explicit RequestJson(const QString &text);

    // False for an empty text, a text that does not parse, a JSON value that is not an
    // object, or one that holds a value beyond the limits above (traced, naming the
    // member). Setters change nothing then: empty texts would wipe the stored settings.
    bool isObject() const { return m_isObject; }
    QString value(const QString &key) const;
    // The member's text split at every "," with empty parts kept (an empty text gives one
    // empty item), the way recipient lists travel.
    QStringList list(const QString &key) const;
    // True when the member is a JSON array.
    bool isArray(const QString &key) const;
    // The items of an array member, in index order, each read as a request of its own (an
    // item that is not an object reads every key as the empty text); no items for a
    // member that is not an array.
    QList<RequestJson> items(const QString &key) const;

private:
    explicit RequestJson(const QJsonValue &value);
    QJsonObject m_object;
    bool m_isObject = false;
};

// ECMAScript Number::toString of a double: 1.5 -> "1.5", 10 -> "10", 1e21 -> "1e+21",
// 1e-7 -> "1e-7", -0 -> "0".
QString ecmaNumberText(double value);
// ECMAScript ToString of a JSON value as described for RequestJson.
QString ecmaText(const QJsonValue &value);

// A JSON object built by hand: every scalar quoted, lists of quoted texts, nested objects;
// members in the order they are added, no white space. Inside values, '"', '\' and control
// characters are escaped; any other text is inserted unchanged.
class ReplyJson
{
public:
    ReplyJson &add(const char *key, const QString &value);
    ReplyJson &addList(const char *key, const QStringList &items);
    ReplyJson &addObject(const char *key, const ReplyJson &object);
    ReplyJson &addObjectList(const char *key, const QList<ReplyJson> &objects);
    QString text() const;

private:
    void startMember(const char *key);
    QString m_body;
};

// Appends text to out with the escapes of a JSON string value (no surrounding quotes).
void appendJsonEscaped(QString &out, const QString &text);

// Runs of "#", key, "!", value; no items is the empty text. Nothing is escaped.
class TaggedValueText
{
public:
    TaggedValueText &add(const char *key, const QString &value);
    TaggedValueText &addIf(bool gate, const char *key, const QString &value)
    {
        return gate ? add(key, value) : *this;
    }
    const QString &text() const { return m_text; }
    bool isEmpty() const { return m_text.isEmpty(); }

private:
    QString m_text;
};

// A table: fields joined by "|", rows joined by "@"; no rows is the empty text.
class FieldRowText
{
public:
    FieldRowText &addRow(const QStringList &fields);
    const QString &text() const { return m_text; }

private:
    QString m_text;
    bool m_hasRow = false;
};

// Whether a text can be a field of a FieldRowText without splitting its row or the table.
bool fitsFieldRow(const QString &text);

// One page of records: {"key":<titles joined by "#">,"value":<rows as FieldRowText>}.
// With no titles and no rows it is the empty page of a missing database.
QString recordPageJson(const QStringList &columnTitles, const QString &rowsText);

// The on-screen warnings: [{"date":...,"description":...,"kind":...},...] in the order
// added; kind is the word of the event's kind (core/events.h), which the page colours by.
class WarningListJson
{
public:
    WarningListJson &add(const QString &date, const QString &description, const char *kind);
    QString text() const;

private:
    QString m_items;
};

// One day's chart series: slot k (the five minutes from k x 5 minutes after midnight) at
// position k, joined by "#"; a slot without a value holds "0"; the text ends with the last
// slot that has a value; no values is the empty text. Slots outside the day are ignored.
inline constexpr int kDaySlots = 24 * 60 / 5;
QString daySeriesText(const QMap<int, QString> &slotValues);
