#include "ui/packzip.h"

#include "core/logging.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
// Copy buffer; the settings files are a few kilobytes, so most fit in one read.
constexpr qint64 kCopyChunkBytes = 64 * 1024;
}

PackZip::PackZip(const QString &sourceFolder, const QString &targetFolder, const QString &archiveFile)
    : savedDir(QDir::currentPath()), srcDir(sourceFolder), destDir(targetFolder), archivePath(archiveFile)
{
}

PackZip::~PackZip()
{
    QDir::setCurrent(savedDir);
}

void PackZip::failZip()
{
    emit ZipError();
    QDir::setCurrent(savedDir);
}

void PackZip::packFolder()
{
    if (!destDir.endsWith(QLatin1Char('/')) || !srcDir.endsWith(QLatin1Char('/'))) {
        failZip();
        return;
    }
    zipName = QFileInfo(srcDir.chopped(1)).fileName() + QStringLiteral(".zip");
    zipPath = archivePath.isEmpty() ? destDir + zipName : archivePath;

    fileList.clear();
    collectFiles(srcDir);
    if (fileList.isEmpty()) {
        qCWarning(lcUi) << "nothing to pack in" << srcDir;
        failZip();
        return;
    }

    // The archive grows in a temporary file beside its final name and replaces that
    // name in one rename once it is complete, so a failure never leaves a shortened
    // archive and an existing file of that name is never removed first.
    QSaveFile out(zipPath);
    if (!out.open(QIODevice::WriteOnly)) {
        qCWarning(lcUi) << "cannot create" << zipPath << out.errorString();
        failZip();
        return;
    }
    QuaZip zip(&out);
    // QuaZip would commit the save file on close, also after a failed entry.
    zip.setAutoClose(false);
    if (!zip.open(QuaZip::mdCreate)) {
        qCWarning(lcUi) << "cannot create archive" << zipPath << zip.getZipError();
        failZip();
        return;
    }
    const bool packed = packInto(zip);
    zip.close();
    if (!packed || zip.getZipError() != ZIP_OK || !out.commit()) {
        qCWarning(lcUi) << "packing failed, archive discarded:" << zipPath;
        failZip();
        return;
    }
    emit Status(100);
    emit ZipEnd(zipPath);
}

bool PackZip::packInto(QuaZip &zip)
{
    const QDir src(srcDir);
    const qsizetype n = fileList.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QString &path = fileList.at(i);
        // Relative to the packed folder however its path is spelled, so no entry name
        // carries a folder prefix or an absolute path.
        const QString name = src.relativeFilePath(path);
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly)) {
            qCWarning(lcUi) << "cannot read" << path << in.errorString();
            return false;
        }
        QuaZipFile entry(&zip);
        if (!entry.open(QIODevice::WriteOnly, QuaZipNewInfo(name, path), nullptr, 0, Z_DEFLATED,
                        Z_DEFAULT_COMPRESSION, false, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY)) {
            qCWarning(lcUi) << "cannot add entry" << name << entry.getZipError();
            return false;
        }
        bool copied = true;
        while (copied && !in.atEnd()) {
            const QByteArray chunk = in.read(kCopyChunkBytes);
            copied = !chunk.isEmpty() && entry.write(chunk) == chunk.size();
        }
        if (!copied || in.error() != QFileDevice::NoError || zip.getZipError() != ZIP_OK) {
            qCWarning(lcUi) << "cannot pack" << path << in.errorString() << zip.getZipError();
            return false;
        }
        entry.close();
        if (entry.getZipError() != ZIP_OK || zip.getZipError() != ZIP_OK) {
            qCWarning(lcUi) << "cannot close entry" << name << entry.getZipError();
            return false;
        }
        emit Status(int(100 * i / n));
    }
    return true;
}

void PackZip::collectFiles(const QString &dir)
{
    const QDir folder(dir);
    if (!folder.exists())
        return;
    const QString archiveFile = zipPath.isEmpty() ? QString() : QFileInfo(zipPath).absoluteFilePath();
    // Links are left out: one to a folder could lead the walk round in a circle or out of
    // the folder, one to a file would pack a file that lives elsewhere.
    const QFileInfoList entries = folder.entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &fi : entries) {
        if (fi.isDir())
            collectFiles(fi.absoluteFilePath());
        else if (fi.fileName() != zipName && fi.absoluteFilePath() != archiveFile)
            fileList.append(fi.absoluteFilePath());
    }
}
