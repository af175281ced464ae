#pragma once
// What the fuzz targets that work on files share: the check that stops the run, the
// application object Qt's file and database classes need, and a scratch folder.
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>

inline void check(bool condition)
{
    if (!condition)
        std::abort();
}

// Made once and never destroyed: the fuzzer ends the process with exit(), and Qt's
// own clean-up at that point must not meet an application object already gone.
// Warnings are dropped: damaged input is named in one on nearly every run.
inline void startFuzzApplication(int *argc, char ***argv)
{
    new QCoreApplication(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
}

// In memory where the system offers it: every input writes and syncs files, and a disk
// would make each run wait for them.
inline QTemporaryDir *makeScratchFolder()
{
    const QString shm = QStringLiteral("/dev/shm");
    auto *folder = QDir(shm).exists() ? new QTemporaryDir(shm + QStringLiteral("/kestrava-fuzz-XXXXXX"))
                                      : new QTemporaryDir;
    check(folder->isValid());
    return folder;
}
