#include "ui/configarchive.h"

#include "core/logging.h"
#include "core/paths.h"
#include "core/schedule.h"
#include "core/settings.h"
#include "core/textformats.h"
#include "core/translation.h"
#include "core/dialogs.h"
#include "ui/packzip.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipfileinfo.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QReadLocker>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace ConfigArchive {

namespace {

enum ConfigText {
    TitleText,
    ImportConfirmText,
    OpenCaptionText,
    FilterText,
    SaveCaptionText,
    RestoreConfirmText,
    OkText,
    CancelText,
    ConfigTextCount
};

const char *const kConfigSources[ConfigTextCount] = {
    QT_TRANSLATE_NOOP("MainWindow", "Parameter Settings"),
    QT_TRANSLATE_NOOP("MainWindow", "The current configuration will be lost if use this configuration file,confirm to continue?"),
    QT_TRANSLATE_NOOP("MainWindow", "Open"),
    QT_TRANSLATE_NOOP("MainWindow", "Configuration File(*.zip)"),
    QT_TRANSLATE_NOOP("MainWindow", "Save As"),
    QT_TRANSLATE_NOOP("MainWindow", "The current configuration will be lost if restore default configuration,confirm to continue?"),
    QT_TRANSLATE_NOOP("MainWindow", "OK"),
    QT_TRANSLATE_NOOP("MainWindow", "Cancel"),
};

// After an import that left numbers out; %1 the numbers, one a line.
const char *const kDroppedNumbersText = QT_TRANSLATE_NOOP(
    "MainWindow", "These SMS numbers were left out of the imported settings, as a number may not hold \"@\" or \"|\":\n%1");

const QString kBoxStyle = QStringLiteral("background-color: rgb(255, 255, 255);");

// The history thread rewrites "schedule.db" with the write side of scheduleListLock
// held; holding the read side while the folder is packed, filled or emptied keeps a
// half-written database out of the archive and the folder.
class ParamFolderGuard
{
public:
    ParamFolderGuard() : m_lock(&scheduleListLock) {}

private:
    QReadLocker m_lock;
};

struct StagedEntry
{
    QString target;
    bool folder = false;
    QByteArray data;
};

// Linux takes 255 bytes for a name and 4096 for a path. Each file is first written as
// its name plus a suffix of 7 (QSaveFile's ".XXXXXX"), and the path leaves room for it.
constexpr qsizetype kMaxNameBytes = 255;
constexpr qsizetype kMaxPathBytes = 4095;
constexpr qsizetype kSaveFileSuffixBytes = 7;

// Whether the file system will take target as a name: checked for every entry before
// anything is written, as a name refused half-way through would leave a folder in part
// replaced.
bool nameFits(const QString &target)
{
    if (QFile::encodeName(target).size() + kSaveFileSuffixBytes > kMaxPathBytes)
        return false;
    const QStringList parts = target.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (QFile::encodeName(part).size() + kSaveFileSuffixBytes > kMaxNameBytes)
            return false;
    }
    return true;
}

bool isInside(const QString &path, const QString &folder)
{
    return path.startsWith(folder + QLatin1Char('/'));
}

// The name as written in the archive: relative, "/" between folder names, and no way
// up. Anything else came from another system or from someone aiming outside.
bool isPlainEntryName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name.contains(QChar(0)))
        return false;
    if (name.size() >= 2 && name.at(1) == QLatin1Char(':') && name.at(0).isLetter())
        return false;
    const QStringList parts = name.split(QLatin1Char('/'));
    return !parts.contains(QStringLiteral(".."));
}

// Whether writing target stays in the folder once links already in it are followed:
// the deepest part of the path that exists decides where a write would land.
bool landsInside(const QString &target, const QString &folder, const QString &canonicalFolder)
{
    QString probe = target;
    while (probe != folder) {
        const QFileInfo fi(probe);
        if (fi.isSymLink() || fi.exists()) {
            const QString resolved = fi.canonicalFilePath();
            return !resolved.isEmpty() && !canonicalFolder.isEmpty()
                && (resolved == canonicalFolder || isInside(resolved, canonicalFolder));
        }
        const QString up = fi.path();
        if (up == probe)
            return false;
        probe = up;
    }
    return true;
}

ImportResult readArchive(const QString &archiveFile, const QString &paramDir,
                         QList<StagedEntry> &entries)
{
    const QFileInfo file(archiveFile);
    if (!file.isFile())
        return ImportResult::NotReadable;
    if (file.size() > kMaxArchiveBytes)
        return ImportResult::TooLarge;

    // Read from memory: the unzipper reads a damaged header byte by byte past the end
    // of the file, and each of those reads from the file would be a system call, which
    // made a few hundred damaged bytes take seconds.
    QFile source(archiveFile);
    if (!source.open(QIODevice::ReadOnly))
        return ImportResult::NotReadable;
    QBuffer bytes;
    bytes.setData(source.readAll());
    if (source.error() != QFileDevice::NoError)
        return ImportResult::NotReadable;
    QuaZip zip(&bytes);
    if (!zip.open(QuaZip::mdUnzip)) {
        qCWarning(lcUi) << "not a readable zip archive:" << archiveFile << zip.getZipError();
        return ImportResult::Damaged;
    }
    const int count = zip.getEntriesCount();
    if (count < 0)
        return ImportResult::Damaged;
    if (count > kMaxEntries) {
        qCWarning(lcUi) << "archive has too many entries:" << archiveFile << count;
        return ImportResult::TooLarge;
    }
    if (count == 0)
        return ImportResult::Imported;

    const QString folder = QDir::cleanPath(paramDir);
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    QMap<QString, qsizetype> byTarget; // a later entry of the same name wins
    qint64 total = 0;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFileInfo64 info;
        if (!zip.getCurrentFileInfo(&info))
            return ImportResult::Damaged;
        const QString name = info.name;
        const QString target = QDir::cleanPath(folder + QLatin1Char('/') + name);
        const bool isFolder = name.endsWith(QLatin1Char('/'));
        if (!isPlainEntryName(name) || !(isInside(target, folder) || (isFolder && target == folder))
            || !landsInside(target, folder, canonicalFolder)) {
            qCWarning(lcUi) << "archive entry would land outside the settings folder:" << name;
            return ImportResult::UnsafeName;
        }
        if (!nameFits(target)) {
            qCWarning(lcUi) << "archive entry name too long for the file system:" << name.left(80);
            return ImportResult::UnsafeName;
        }
        if (info.uncompressedSize > quint64(kMaxEntryBytes)) {
            qCWarning(lcUi) << "archive entry too large:" << name << info.uncompressedSize;
            return ImportResult::TooLarge;
        }

        StagedEntry staged{target, isFolder, {}};
        if (!isFolder) {
            QuaZipFile entry(&zip);
            if (!entry.open(QIODevice::ReadOnly)) {
                qCWarning(lcUi) << "cannot open archive entry" << name << entry.getZipError();
                return ImportResult::Damaged;
            }
            // One byte beyond the stated size shows an entry that is longer than it says.
            staged.data = entry.read(qint64(info.uncompressedSize) + 1);
            entry.close();
            if (staged.data.size() != qint64(info.uncompressedSize) || entry.getZipError() != UNZ_OK) {
                qCWarning(lcUi) << "archive entry damaged:" << name << entry.getZipError();
                return ImportResult::Damaged;
            }
            total += staged.data.size();
            if (total > kMaxArchiveBytes) {
                qCWarning(lcUi) << "archive entries too large together:" << archiveFile;
                return ImportResult::TooLarge;
            }
        }
        const auto known = byTarget.constFind(target);
        if (known != byTarget.constEnd() && entries.at(*known).folder == isFolder) {
            entries[*known] = staged;
        } else {
            byTarget.insert(target, entries.size());
            entries.append(staged);
        }
    }
    if (zip.getZipError() != UNZ_OK) {
        qCWarning(lcUi) << "zip archive damaged:" << archiveFile << zip.getZipError();
        return ImportResult::Damaged;
    }
    return ImportResult::Imported;
}

// Leaves the numbers that cannot stand in a row of the SMS log page out of a staged
// "smsrec.db" and returns them; nothing when the table could not be rewritten. A table
// that does not read as ours is imported as it is: the loader reports it at the next start.
std::optional<QStringList> dropUnloggableNumbers(StagedEntry &entry)
{
    const QTemporaryDir dir;
    const QString path = dir.filePath(QFileInfo(appPaths.smsRecDbPath).fileName());
    {
        QFile file(path);
        if (!dir.isValid() || !file.open(QIODevice::WriteOnly) || file.write(entry.data) != entry.data.size())
            return std::nullopt;
    }
    QStringList phones, masks;
    if (!readSmsRecipientsAt(path, &phones, &masks))
        return QStringList();
    QStringList dropped, keptPhones, keptMasks;
    for (qsizetype i = 0; i < phones.size(); ++i) {
        if (fitsFieldRow(phones.at(i))) {
            keptPhones << phones.at(i);
            keptMasks << masks.value(i);
        } else {
            dropped << phones.at(i);
        }
    }
    if (dropped.isEmpty())
        return dropped;
    if (!saveSmsRecipientsAt(path, keptPhones, keptMasks))
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    entry.data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return dropped;
}

CommitFunction &commitFunction()
{
    static CommitFunction commit;
    return commit;
}

bool commitFile(QSaveFile &file)
{
    const CommitFunction &commit = commitFunction();
    return commit ? commit(file) : file.commit();
}

// A copy of a file about to be replaced, in its own folder under a short name of its
// own; "" when it could not be made.
QString keepAside(const QString &target)
{
    QFile in(target);
    QTemporaryFile aside(QFileInfo(target).path() + QStringLiteral("/.import-XXXXXX"));
    aside.setAutoRemove(false);
    if (!in.open(QIODevice::ReadOnly) || !aside.open())
        return QString();
    const QByteArray data = in.readAll();
    if (in.error() != QFileDevice::NoError || aside.write(data) != data.size() || !aside.flush()) {
        aside.remove();
        return QString();
    }
    aside.setPermissions(in.permissions());
    return aside.fileName();
}

// What one commit changed, so that a later failure can undo it.
struct Replaced
{
    QString target;
    QString aside; // the old file's copy; "" when there was no old file
};

// Puts the folder back as it was: each replaced file from its copy (one rename, which
// replaces the new file), each new file removed, then each folder the import made.
void undoImport(const std::vector<Replaced> &done, const QStringList &madeFolders)
{
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
        if (it->aside.isEmpty()) {
            if (!QFile::remove(it->target))
                qCWarning(lcUi) << "cannot remove" << it->target << "after a failed import";
        } else if (std::rename(QFile::encodeName(it->aside).constData(), QFile::encodeName(it->target).constData())
                   != 0) {
            qCWarning(lcUi) << "cannot put back" << it->target << "; its old content is in" << it->aside;
        }
    }
    for (auto it = madeFolders.crbegin(); it != madeFolders.crend(); ++it)
        QDir().rmdir(*it);
}

ImportResult moveIntoPlace(const QList<StagedEntry> &entries)
{
    // The folders to make, parents first, so that a failure can remove them again.
    QStringList madeFolders;
    for (const StagedEntry &e : entries) {
        const QString dir = e.folder ? e.target : QFileInfo(e.target).path();
        QStringList missing;
        for (QString up = dir; !QFileInfo::exists(up); up = QFileInfo(up).path())
            missing.prepend(up);
        if (!QDir().mkpath(dir)) {
            qCWarning(lcUi) << "cannot create folder" << dir;
            undoImport({}, madeFolders + missing);
            return ImportResult::WriteFailed;
        }
        madeFolders += missing;
    }
    // Every file is written to its temporary first; only when all are written does the
    // first one replace its target, so a failed write leaves the folder's files alone.
    std::vector<std::unique_ptr<QSaveFile>> written;
    for (const StagedEntry &e : entries) {
        if (e.folder)
            continue;
        auto out = std::make_unique<QSaveFile>(e.target);
        if (!out->open(QIODevice::WriteOnly)) {
            // For example a folder of that name: this entry is skipped, the others go on.
            qCWarning(lcUi) << "cannot write" << e.target << out->errorString();
            continue;
        }
        if (out->write(e.data) != e.data.size()) {
            qCWarning(lcUi) << "cannot write" << e.target << out->errorString();
            undoImport({}, madeFolders);
            return ImportResult::WriteFailed;
        }
        written.push_back(std::move(out));
    }
    // The files about to be replaced are copied aside, and kept until every rename has
    // succeeded: a rename that fails puts the whole folder back as it was.
    std::vector<Replaced> plan;
    for (const auto &out : written) {
        Replaced r{out->fileName(), QString()};
        if (QFileInfo(r.target).isFile()) {
            r.aside = keepAside(r.target);
            if (r.aside.isEmpty()) {
                qCWarning(lcUi) << "cannot keep a copy of" << r.target << "; nothing is replaced";
                for (const Replaced &p : plan)
                    QFile::remove(p.aside);
                undoImport({}, madeFolders);
                return ImportResult::WriteFailed;
            }
        }
        plan.push_back(r);
    }
    std::vector<Replaced> done;
    for (size_t i = 0; i < written.size(); ++i) {
        if (!commitFile(*written[i])) {
            qCWarning(lcUi) << "cannot replace" << plan[i].target << written[i]->errorString()
                            << "; the settings folder is put back as it was";
            undoImport(done, madeFolders);
            for (size_t j = i; j < plan.size(); ++j)
                QFile::remove(plan[j].aside);
            return ImportResult::WriteFailed;
        }
        done.push_back(plan[i]);
    }
    for (const Replaced &r : done)
        QFile::remove(r.aside);
    return ImportResult::Imported;
}

} // namespace

void initConfigTexts(QStringList &configTexts)
{
    configTexts.clear();
    for (const char *source : kConfigSources)
        configTexts.append(QCoreApplication::translate("MainWindow", source));
}

bool exportParamFolder(const QString &paramDir, const QString &archiveFile)
{
    const QFileInfo target(archiveFile);
    QString destDir = target.absolutePath();
    if (!destDir.endsWith(QLatin1Char('/')))
        destDir += QLatin1Char('/');
    PackZip packer(paramDir + QLatin1Char('/'), destDir, target.absoluteFilePath());
    bool packed = false;
    QObject::connect(&packer, &PackZip::ZipEnd, &packer, [&packed] { packed = true; });
    const ParamFolderGuard guard;
    packer.packFolder();
    return packed;
}

ImportResult importArchive(const QString &archiveFile, const QString &paramDir, QStringList *droppedNumbers)
{
    QList<StagedEntry> entries;
    const ParamFolderGuard guard;
    const ImportResult read = readArchive(archiveFile, paramDir, entries);
    if (read != ImportResult::Imported) {
        qCWarning(lcUi) << "archive refused, settings unchanged:" << archiveFile;
        return read;
    }
    const QString smsRecipients =
        QDir::cleanPath(paramDir) + QLatin1Char('/') + QFileInfo(appPaths.smsRecDbPath).fileName();
    QStringList dropped;
    for (StagedEntry &e : entries) {
        if (e.folder || e.target != smsRecipients)
            continue;
        const std::optional<QStringList> out = dropUnloggableNumbers(e);
        if (!out) {
            qCWarning(lcUi) << "cannot leave the unusable SMS numbers out of" << archiveFile << "; settings unchanged";
            return ImportResult::WriteFailed;
        }
        dropped = *out;
    }
    const ImportResult result = moveIntoPlace(entries);
    if (result == ImportResult::Imported && !dropped.isEmpty()) {
        qCWarning(lcUi) << "SMS numbers left out of the imported settings, they hold \"@\" or \"|\":" << dropped;
        if (droppedNumbers)
            *droppedNumbers = dropped;
    }
    return result;
}

void setCommitFunction(CommitFunction commit)
{
    commitFunction() = std::move(commit);
}

void removeParamFiles(const QString &paramDir)
{
    const ParamFolderGuard guard;
    const QStringList names = QDir(paramDir).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QString &name : names) {
        const QString path = QStringLiteral("%1/%2").arg(paramDir, name);
        if (!QFile::remove(path))
            qCWarning(lcUi) << "cannot remove" << path;
    }
}

void handleOutputConfig(QWidget *window, QStringList &configTexts)
{
    const ChineseTranslatorScope zh(currentLang());
    initConfigTexts(configTexts);
    const QString chosen = dialogs().getSaveFileName(window, configTexts.at(SaveCaptionText), documentsFolder(),
                                                     configTexts.at(FilterText));
    if (chosen.isEmpty())
        return;
    exportParamFolder(appPaths.paramDir, chosen);
}

void handleInputConfig(QWidget *window, QStringList &configTexts)
{
    const ChineseTranslatorScope zh(currentLang());
    initConfigTexts(configTexts);
    QMessageBox box(window);
    box.setWindowTitle(configTexts.at(TitleText));
    box.setText(configTexts.at(ImportConfirmText));
    box.setIcon(QMessageBox::Information);
    box.setStyleSheet(kBoxStyle);
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    if (dialogs().execMessageBox(box) != box.button(QMessageBox::Ok))
        return;
    const QString chosen = dialogs().getOpenFileName(window, configTexts.at(OpenCaptionText), documentsFolder(),
                                                     configTexts.at(FilterText));
    if (chosen.isEmpty())
        return;
    QStringList dropped;
    if (importArchive(chosen, appPaths.paramDir, &dropped) != ImportResult::Imported || dropped.isEmpty())
        return;
    QMessageBox told(window);
    told.setWindowTitle(configTexts.at(TitleText));
    told.setText(QCoreApplication::translate("MainWindow", kDroppedNumbersText).arg(dropped.join(QLatin1Char('\n'))));
    told.setIcon(QMessageBox::Warning);
    told.setStyleSheet(kBoxStyle);
    told.setStandardButtons(QMessageBox::Ok);
    dialogs().execMessageBox(told);
}

void handleRestoreConfig(QWidget *window, QStringList &configTexts)
{
    const ChineseTranslatorScope zh(currentLang());
    initConfigTexts(configTexts);
    QMessageBox box(window);
    box.setIcon(QMessageBox::Information);
    box.setWindowTitle(configTexts.at(TitleText));
    box.setText(configTexts.at(RestoreConfirmText));
    box.setStyleSheet(kBoxStyle);
    const QPushButton *ok = box.addButton(configTexts.at(OkText), QMessageBox::AcceptRole);
    box.addButton(configTexts.at(CancelText), QMessageBox::RejectRole);
    if (dialogs().execMessageBox(box) != ok)
        return;
    removeParamFiles(appPaths.paramDir);
}

} // namespace ConfigArchive
