#include "history/csvwriter.h"

#include <QIODevice>

namespace {
// Lines are gathered into blocks of about this size before each write to the device.
constexpr qsizetype kBlockBytes = 256 * 1024;

bool needsQuotes(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n')
            return true;
    }
    return false;
}

// The same rule on the UTF-8 bytes: the four characters are ASCII, so no byte of another
// character is taken for one of them.
void appendField(QByteArray &out, QByteArrayView bytes)
{
    if (!needsQuotes(bytes)) {
        out.append(bytes);
        return;
    }
    out += '"';
    for (const char c : bytes) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}
} // namespace

QByteArray csvFieldBytes(QByteArrayView utf8)
{
    QByteArray out;
    appendField(out, utf8);
    return out;
}

QString csvField(const QString &text)
{
    return QString::fromUtf8(csvFieldBytes(text.toUtf8()));
}

CsvWriter::CsvWriter(QIODevice &out) : m_out(out)
{
    m_block.reserve(kBlockBytes + 4096);
}

void CsvWriter::appendQuoted(QByteArrayView utf8)
{
    appendField(m_block, utf8);
}

void CsvWriter::addLine(const QStringList &fields)
{
    for (const QString &field : fields)
        addField(field.toUtf8());
    endLine();
}

bool CsvWriter::endLine()
{
    m_block += '\n';
    m_inLine = false;
    if (m_block.size() >= kBlockBytes)
        writeBlock();
    return !m_failed;
}

bool CsvWriter::finish()
{
    return writeBlock();
}

bool CsvWriter::writeBlock()
{
    if (!m_failed && m_out.write(m_block) != m_block.size())
        m_failed = true;
    m_block.clear();
    return !m_failed;
}
