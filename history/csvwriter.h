#pragma once
// The one CSV writer, of the history export and of the report mail's attachment. Fields are
// separated by commas; a field holding a comma, a double quote, CR or LF is quoted with its
// quotes doubled (RFC 4180), any other is written as it is. UTF-8 without a byte order mark,
// and each line ends in LF alone rather than RFC 4180's CRLF: both files have always been
// written so, and what reads them relies on it.
//
// A writer belongs to one thread; the free functions are reentrant.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

class QIODevice;

// One field as the file holds it, from a text or from UTF-8 bytes (as SQLite holds them).
QString csvField(const QString &text);
QByteArray csvFieldBytes(QByteArrayView utf8);

// Gathers lines into blocks and writes a block to the device once it is full, so a large
// export costs few writes; finish() writes the rest. A write the device takes only in part
// fails the writer: nothing later is written, and finish() says false.
class CsvWriter
{
public:
    explicit CsvWriter(QIODevice &out);

    void addLine(const QStringList &fields);
    // A line field by field: the field's UTF-8 bytes, quoted here as they need; or a field
    // that csvFieldBytes made already (a text that many lines repeat, made once).
    void addField(QByteArrayView utf8)
    {
        separate();
        appendQuoted(utf8);
    }
    void addMadeField(QByteArrayView field)
    {
        separate();
        m_block.append(field);
    }
    // Ends the line; writes the block when it is full. False once a write has failed.
    bool endLine();
    bool finish();
    bool failed() const { return m_failed; }

private:
    void separate()
    {
        if (m_inLine)
            m_block += ',';
        m_inLine = true;
    }
    void appendQuoted(QByteArrayView utf8);
    bool writeBlock();

    QIODevice &m_out;
    QByteArray m_block;
    bool m_inLine = false;
    bool m_failed = false;
};
