#pragma once
// Export, import and restore of the "param" folder: the bodies of MainWindow's three
// archive slots. GUI thread only; every question to the user goes through dialogs().
// Nothing is shown afterwards and nothing is reloaded: what the folder holds takes
// effect at the next start.
#include <QString>
#include <QStringList>

#include <functional>

class QSaveFile;
class QWidget;

namespace ConfigArchive {

// Settings files are a few kilobytes; these bounds are far above any real folder and
// keep a hostile archive from filling memory or the disk.
inline constexpr qint64 kMaxEntryBytes = 16 * 1024 * 1024;
inline constexpr qint64 kMaxArchiveBytes = 64 * 1024 * 1024; // the zip file, and all entries together
// Every file of an import is staged (an open temporary file) before the first one
// replaces its target, so the count stays well under the usual limit of open files.
inline constexpr int kMaxEntries = 256;

// Clears configTexts and appends the eight dialog texts (translation context
// MainWindow) in the language of the catalogues installed at the time of the call.
void initConfigTexts(QStringList &configTexts);

// Each installs the Chinese catalogues for its whole run when lang is "0" (so the
// texts Qt puts into the dialogs follow), rebuilds configTexts, asks, then acts.
void handleOutputConfig(QWidget *window, QStringList &configTexts);
void handleInputConfig(QWidget *window, QStringList &configTexts);
void handleRestoreConfig(QWidget *window, QStringList &configTexts);

// The work behind the slots, without dialogs.

// Packs paramDir into archiveFile, which is replaced only by a complete archive.
// Returns whether the archive was written.
bool exportParamFolder(const QString &paramDir, const QString &archiveFile);

enum class ImportResult {
    Imported,    // every entry is in place (a target that cannot be opened is skipped)
    NotReadable, // no such file
    TooLarge,    // the file, an entry, the entries together or their count is over its bound
    UnsafeName,  // an entry would land outside paramDir, or its name is longer than the
                 // file system takes (a name of 255 bytes, a path of 4095, with room for
                 // the temporary name each file is first written under)
    Damaged,     // not a zip archive, or an entry does not read back whole and intact
    WriteFailed, // a folder or file could not be written, and the folder is as it was
};
// Reads and checks the whole archive first; only when every entry is sound does it
// move the files into place, each replacing its target in one rename, with a copy of
// every replaced file kept until the last rename has succeeded. On any result but
// Imported, nothing in paramDir has changed (the log names a file that could not be put
// back and the copy that holds it).
// The SMS numbers of the archive's "smsrec.db" that would split the rows of the SMS log
// page (they hold "@" or "|") are left out of the imported table and listed in
// droppedNumbers; the rest of the archive is imported as it is.
ImportResult importArchive(const QString &archiveFile, const QString &paramDir,
                           QStringList *droppedNumbers = nullptr);

// Test seam: the step that puts one written file into place (QSaveFile::commit, one
// rename). A test replaces it to make a rename fail half-way, which no file system here
// lets it provoke for real; an empty function restores the real one.
using CommitFunction = std::function<bool(QSaveFile &)>;
void setCommitFunction(CommitFunction commit);

// Removes every file directly in paramDir, hidden ones included; links and
// subfolders stay. A file that cannot be removed is skipped.
void removeParamFiles(const QString &paramDir);

} // namespace ConfigArchive
