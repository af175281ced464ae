// Arbitrary bytes as a settings archive chosen for import: the import must take any
// file without crashing, and on every result but Imported leave the param folder exactly
// as it was.
//
// Input: the whole archive file.
#include "ui/configarchive.h"

#include "tests/fuzz/fuzzsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>

#include <cstddef>
#include <cstdint>

namespace {
QTemporaryDir *folder = nullptr;
QString paramDir;
QString archivePath;
const QByteArray kIni = "[General]\nlang=1\ncomProtocol=0\n";

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    check(file.write(bytes) == bytes.size());
}

// Every file under the folder (hidden ones included) with its bytes.
QMap<QString, QByteArray> snapshot()
{
    QMap<QString, QByteArray> files;
    QDirIterator it(paramDir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        files.insert(it.filePath(), file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>"));
    }
    return files;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    startFuzzApplication(argc, argv);
    folder = makeScratchFolder();
    paramDir = folder->filePath(QStringLiteral("param"));
    archivePath = folder->filePath(QStringLiteral("chosen.zip"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    check(QDir(paramDir).removeRecursively());
    check(QDir().mkpath(paramDir));
    writeFile(paramDir + QStringLiteral("/param.ini"), kIni);
    writeFile(paramDir + QStringLiteral("/smtprec.db"), QByteArray("not a database"));
    writeFile(archivePath, QByteArray(reinterpret_cast<const char *>(data), int(size)));
    const QMap<QString, QByteArray> before = snapshot();

    const ConfigArchive::ImportResult result = ConfigArchive::importArchive(archivePath, paramDir);
    if (result != ConfigArchive::ImportResult::Imported)
        check(snapshot() == before);
    // Nothing lands beside the folder.
    const QStringList beside = QDir(folder->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    check(beside == QStringList({QStringLiteral("chosen.zip"), QStringLiteral("param")}));
    return 0;
}
