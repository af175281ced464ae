#include "notify/mailfile.h"

#include "core/logging.h"

#include <QFile>

namespace {
// The first base64 line holds 75 characters; every break after it comes 76 positions
// (74 characters and the CR LF of the break before) further on.
constexpr qsizetype kFirstBreak = 75;
constexpr qsizetype kBreakStep = 76;
const QString kLineBreak = QStringLiteral("\r\n");
}

MailFile::MailFile(QFile *file) : fileInfo(*file)
{
    if (file->open(QIODevice::ReadOnly)) {
        base64Text = QString::fromLatin1(file->readAll().toBase64());
        file->close();
    } else if (!file->fileName().isEmpty()) {
        qCWarning(lcNotify) << "mail: cannot read" << file->fileName() << "to attach:" << file->errorString();
    }
    filePath = file->fileName();
    fileName = fileInfo.fileName();
}

MailFile::~MailFile() = default;

QString &MailFile::toString()
{
    for (qsizetype at = kFirstBreak; at < base64Text.size(); at += kBreakStep)
        base64Text.insert(at, kLineBreak);
    return base64Text;
}

Attachment::Attachment(QFile *file) : MailFile(file)
{
    headerText = QStringLiteral("Content-transfer-encoding:Base64\r\n")
        + QStringLiteral("Content-type:application/octet-stream;name=\"%1\"\r\n").arg(fileName)
        + QStringLiteral("Content-disposition:attachment;filename=\"%1\"\r\n\r\n\r\n").arg(fileName);
}

Attachment::~Attachment() = default;

QString &Attachment::toString()
{
    partText = headerText + MailFile::toString() + kLineBreak;
    return partText;
}
