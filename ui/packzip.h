#pragma once
// Packs one folder into one zip archive. GUI thread; lives for one export.
#include <QObject>
#include <QString>
#include <QStringList>

class PackZip : public QObject
{
    Q_OBJECT

public:
    // srcDir and destDir end in "/". The archive is written to destDir + the folder's
    // name + ".zip", or to archivePath when one is given (the export passes the name the
    // user chose). It replaces a file there only once it is complete: a failed packing
    // leaves whatever was there before, and nothing else in destDir is touched.
    PackZip(const QString &srcDir, const QString &destDir, const QString &archivePath = QString());
    ~PackZip() override;

    void packFolder();
    void collectFiles(const QString &dir);
    void failZip();

signals:
    void ZipEnd(QString fileresult);
    void ZipError();
    void Status(int o);

private:
    bool packInto(class QuaZip &zip);

    QString savedDir;
    QStringList fileList;
    QString srcDir;
    QString destDir;
    QString zipPath;
    QString zipName;
    QString archivePath;
};
