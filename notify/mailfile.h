#pragma once
// The file part of a report mail: a file's bytes in base64 (MailFile) and the MIME part
// that carries them as an attachment (Attachment). Both read their file once, when built.
//
// Thread: used by the thread that builds the mail (the e-mail thread); no shared state.
#include <QFileInfo>
#include <QObject>
#include <QString>

class QFile;

class MailFile : public QObject
{
public:
    // Reads the whole file; a file that cannot be opened gives an empty base64 text.
    explicit MailFile(QFile *file);
    ~MailFile() override;

    // Breaks the base64 text into lines in place (75 characters, then 74 each, as the
    // receivers of these mails have always read them; RFC 2045 allows up to 76) and
    // returns it. Call once per object.
    virtual QString &toString();
    QString fullPath() const { return filePath; }

protected:
    QString base64Text;
    QString fileName; // without folder: the name the receiver sees
    QString filePath; // the name the QFile holds, folder included
    QFileInfo fileInfo;
};

class Attachment : public MailFile
{
public:
    explicit Attachment(QFile *file);
    ~Attachment() override;

    // The part's header lines, the broken base64 text and a closing line end.
    QString &toString() override;

private:
    QString headerText;
    QString partText;
};
