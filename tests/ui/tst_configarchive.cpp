// Export, import and restore of the settings folder, against real files in a temporary
// folder and real zip archives (written here with QuaZip, checked with Python's zipfile).
#include "core/paths.h"
#include "core/settings.h"
#include "tests/support/recordingdialogs.h"
#include "tests/support/testenv.h"
#include "ui/configarchive.h"
#include "core/dialogs.h"
#include "ui/mainwindow.h"
#include "ui/packzip.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QQuickItem>
#include <QQuickWidget>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

using namespace ConfigArchive;

namespace {

using FileTree = QMap<QString, QByteArray>;

struct ZipEntry
{
    QString name;
    QByteArray data;
};

// method 0 stores the bytes as they are, so a test can find and damage them.
void writeZip(const QString &path, const QList<ZipEntry> &entries, int method = Z_DEFLATED)
{
    QuaZip zip(path);
    QVERIFY(zip.open(QuaZip::mdCreate));
    for (const ZipEntry &e : entries) {
        QuaZipFile f(&zip);
        QVERIFY(f.open(QIODevice::WriteOnly, QuaZipNewInfo(e.name), nullptr, 0, method,
                       method == 0 ? 0 : Z_DEFAULT_COMPRESSION));
        QCOMPARE(f.write(e.data), e.data.size());
        f.close();
        QCOMPARE(f.getZipError(), ZIP_OK);
    }
    zip.close();
    QCOMPARE(zip.getZipError(), ZIP_OK);
}

void writeFile(const QString &path, const QByteArray &data)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(data), data.size());
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Every entry under dir, links not followed: files by content, folders and links marked.
FileTree snapshot(const QString &dir)
{
    FileTree tree;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir base(dir);
    while (it.hasNext()) {
        const QFileInfo fi(it.next());
        const QString rel = base.relativeFilePath(fi.filePath());
        if (fi.isSymLink())
            tree.insert(rel, "link -> " + fi.symLinkTarget().toUtf8());
        else if (fi.isDir())
            tree.insert(rel, "<folder>");
        else
            tree.insert(rel, readFile(fi.filePath()));
    }
    return tree;
}

// Names and compression methods of an archive, read by an independent zip reader,
// which also checks every entry's CRC.
QList<QPair<QString, int>> pythonListing(const QString &zipPath)
{
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"),
             {QStringLiteral("-c"),
              QStringLiteral("import json, sys, zipfile\n"
                             "z = zipfile.ZipFile(sys.argv[1])\n"
                             "assert z.testzip() is None\n"
                             "print(json.dumps([[i.filename, i.compress_type] for i in z.infolist()]))\n"),
              zipPath});
    if (!py.waitForFinished(30000) || py.exitCode() != 0) {
        qWarning() << py.readAllStandardError();
        return {{QStringLiteral("<python failed>"), -1}};
    }
    QList<QPair<QString, int>> out;
    for (const QJsonValue &v : QJsonDocument::fromJson(py.readAllStandardOutput()).array())
        out.append({v.toArray().at(0).toString(), v.toArray().at(1).toInt()});
    return out;
}

// The time stored with an entry (local time, to two seconds), read by Python's zipfile.
QDateTime pythonEntryTime(const QString &zipPath, const QString &name)
{
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"),
             {QStringLiteral("-c"),
              QStringLiteral("import sys, zipfile\n"
                             "t = zipfile.ZipFile(sys.argv[1]).getinfo(sys.argv[2]).date_time\n"
                             "print('%04d-%02d-%02dT%02d:%02d:%02d' % t)\n"),
              zipPath, name});
    if (!py.waitForFinished(30000) || py.exitCode() != 0)
        return {};
    return QDateTime::fromString(QString::fromLatin1(py.readAllStandardOutput().trimmed()), Qt::ISODate);
}

QByteArray binaryBytes(int n, int seed)
{
    QByteArray b(n, Qt::Uninitialized);
    quint32 x = quint32(seed) * 2654435761u + 1;
    for (int i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        b[i] = char(x >> 24);
    }
    return b;
}

} // namespace

// Names with sizes or markers, so a failed comparison shows which file differs.
char *toString(const FileTree &tree)
{
    QStringList lines;
    for (auto it = tree.cbegin(); it != tree.cend(); ++it)
        lines.append(it.key() + QLatin1Char('=')
                     + (it.value().startsWith('<') || it.value().startsWith("link")
                            ? QString::fromUtf8(it.value())
                            : QString::number(it.value().size()) + QStringLiteral(" bytes ")
                                  + QString::number(qChecksum(it.value()))));
    return qstrdup(lines.join(QStringLiteral(", ")).toUtf8().constData());
}

class TestConfigArchive : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void roundTripGivesIdenticalFiles();
    void packFolderReportsAndNamesEntries();
    void exportReplacesOnlyTheChosenFile_data();
    void exportReplacesOnlyTheChosenFile();
    void failedPackingKeepsTheChosenFile();
    void exportDoesNotFollowLinks();
    void hostileArchiveChangesNothing_data();
    void hostileArchiveChangesNothing();
    void importWritesEntries_data();
    void importWritesEntries();
    void failedRenameRestoresFolder();
    void restoreRemovesOnlyFilesOnOk_data();
    void restoreRemovesOnlyFilesOnOk();
    void importLeavesOutUnloggableNumbers_data();
    void importLeavesOutUnloggableNumbers();
    void importAsksFirst_data();
    void importAsksFirst();
    void dialogTexts_data();
    void dialogTexts();
    void qmlRequestsReachTheArchive_data();
    void qmlRequestsReachTheArchive();

private:
    QString param(const QString &name) const { return appPaths.paramDir + QLatin1Char('/') + name; }
    void fillParamFolder();

    std::unique_ptr<TestEnv> env;
    RecordingDialogs fake;
    QWidget window;
    QStringList configTexts;
    QString outside;  // a folder beside the data folder that nothing may write into
    QString archives; // where the tests keep their archives
};

void TestConfigArchive::init()
{
    env = std::make_unique<TestEnv>();
    fake = RecordingDialogs();
    setDialogs(&fake);
    {
        QWriteLocker l(&settingsLock);
        systemSettings.lang = QStringLiteral("1");
    }
    outside = env->root() + QStringLiteral("/outside");
    archives = env->root() + QStringLiteral("/archives");
    QVERIFY(QDir().mkpath(outside));
    QVERIFY(QDir().mkpath(archives));
    writeFile(outside + QStringLiteral("/secret.txt"), "not for the archive");
}

void TestConfigArchive::cleanup()
{
    setDialogs(nullptr);
    env.reset();
}

void TestConfigArchive::fillParamFolder()
{
    writeFile(param("param.ini"), "[General]\nlang=1\ncomProtocol=3\n");
    writeFile(param("smtprec.db"), binaryBytes(5000, 1));
    writeFile(param("smsrec.db"), binaryBytes(3072, 2));
    writeFile(param("schedule.db"), binaryBytes(8192, 3));
}

void TestConfigArchive::roundTripGivesIdenticalFiles()
{
    fillParamFolder();
    writeFile(param("empty.dat"), QByteArray());
    writeFile(param("sub/notes.txt"), "a file in a subfolder\n");
    writeFile(param("sub/deeper/x.bin"), binaryBytes(70000, 4));
    writeFile(param(QStringLiteral("备注.txt")), "non-ASCII name");
    const FileTree before = snapshot(appPaths.paramDir);

    fake.saveAnswer = archives + QStringLiteral("/backup.zip");
    handleOutputConfig(&window, configTexts);
    QVERIFY(QFileInfo(fake.saveAnswer).isFile());

    fake.boxAnswer = RecordingDialogs::Accept;
    handleRestoreConfig(&window, configTexts);
    QVERIFY(QDir(appPaths.paramDir).removeRecursively());
    QVERIFY(QDir().mkpath(appPaths.paramDir));

    fake.openAnswer = fake.saveAnswer;
    handleInputConfig(&window, configTexts);
    QCOMPARE(snapshot(appPaths.paramDir), before);
}

void TestConfigArchive::packFolderReportsAndNamesEntries()
{
    writeFile(param("smtprec.db"), "c");
    writeFile(param("Schedule.db"), "b");
    writeFile(param("param.ini"), "a");
    writeFile(param("smsrec.db"), "d");
    // An archive of the folder's own name is never packed, in subfolders neither.
    writeFile(param("param.zip"), "old archive");
    QVERIFY(QDir().mkpath(param("sub")));
    writeFile(param("sub/param.zip"), "old archive");
    const QString workingDir = QDir::currentPath();
    const QDateTime modified(QDate(2024, 3, 9), QTime(17, 45, 30));
    {
        QFile f(param("param.ini"));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(modified, QFileDevice::FileModificationTime));
    }

    PackZip packer(appPaths.paramDir + QLatin1Char('/'), archives + QLatin1Char('/'));
    QSignalSpy status(&packer, &PackZip::Status);
    QSignalSpy end(&packer, &PackZip::ZipEnd);
    QSignalSpy error(&packer, &PackZip::ZipError);
    packer.packFolder();

    QList<int> percents;
    for (const QList<QVariant> &s : status)
        percents.append(s.at(0).toInt());
    QCOMPARE(percents, (QList<int>{0, 25, 50, 75, 100}));
    QCOMPARE(error.count(), 0);
    QCOMPARE(end.count(), 1);
    const QString zipPath = archives + QStringLiteral("/param.zip");
    QCOMPARE(end.at(0).at(0).toString(), zipPath);
    QCOMPARE(QDir::currentPath(), workingDir);
    const QList<QPair<QString, int>> deflated = {
        {"param.ini", 8}, {"Schedule.db", 8}, {"smsrec.db", 8}, {"smtprec.db", 8}};
    QCOMPARE(pythonListing(zipPath), deflated);
    QCOMPARE(pythonEntryTime(zipPath, QStringLiteral("param.ini")), modified);
}

void TestConfigArchive::exportReplacesOnlyTheChosenFile_data()
{
    QTest::addColumn<QString>("chosenName");
    QTest::addColumn<bool>("filled");
    QTest::addColumn<bool>("chosenExists");

    QTest::newRow("new file") << "backup.zip" << true << false;
    QTest::newRow("over an existing file") << "backup.zip" << true << true;
    QTest::newRow("named param.zip") << "param.zip" << true << true;
    QTest::newRow("empty param folder") << "backup.zip" << false << true;
    QTest::newRow("empty param folder, param.zip") << "param.zip" << false << true;
}

void TestConfigArchive::exportReplacesOnlyTheChosenFile()
{
    QFETCH(QString, chosenName);
    QFETCH(bool, filled);
    QFETCH(bool, chosenExists);
    if (filled)
        fillParamFolder();
    // Someone else's file of the working name of old, beside the chosen one.
    writeFile(archives + QStringLiteral("/param.zip"), "unrelated");
    const QString chosen = archives + QLatin1Char('/') + chosenName;
    if (chosenExists)
        writeFile(chosen, "previous content");
    const FileTree before = snapshot(archives);

    fake.saveAnswer = chosen;
    handleOutputConfig(&window, configTexts);

    FileTree expected = before;
    if (filled) {
        QCOMPARE(pythonListing(chosen).size(), 4);
        expected.insert(chosenName, readFile(chosen));
    }
    QCOMPARE(snapshot(archives), expected);
}

void TestConfigArchive::failedPackingKeepsTheChosenFile()
{
    fillParamFolder();
    const QString chosen = archives + QStringLiteral("/backup.zip");
    writeFile(chosen, "previous content");
    PackZip packer(appPaths.paramDir + QLatin1Char('/'), archives + QLatin1Char('/'), chosen);
    // After the first file is packed the next one vanishes, so packing fails half way.
    connect(&packer, &PackZip::Status, this, [this] { QFile::remove(param("schedule.db")); });
    QSignalSpy end(&packer, &PackZip::ZipEnd);
    QSignalSpy error(&packer, &PackZip::ZipError);
    packer.packFolder();

    QCOMPARE(error.count(), 1);
    QCOMPARE(end.count(), 0);
    QCOMPARE(snapshot(archives), (FileTree{{"backup.zip", "previous content"}}));
}

void TestConfigArchive::exportDoesNotFollowLinks()
{
    fillParamFolder();
    QVERIFY(QFile::link(appPaths.paramDir, param("loop")));
    QVERIFY(QFile::link(outside, param("outside")));
    QVERIFY(QFile::link(outside + QStringLiteral("/secret.txt"), param("secret.txt")));
    const QString chosen = archives + QStringLiteral("/backup.zip");
    QVERIFY(exportParamFolder(appPaths.paramDir, chosen));
    const QList<QPair<QString, int>> expected = {
        {"param.ini", 8}, {"schedule.db", 8}, {"smsrec.db", 8}, {"smtprec.db", 8}};
    QCOMPARE(pythonListing(chosen), expected);
}

void TestConfigArchive::hostileArchiveChangesNothing_data()
{
    QTest::addColumn<QList<ZipEntry>>("entries");
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("expected");

    const ZipEntry good{QStringLiteral("param.ini"), "[General]\nlang=0\n"};
    const auto row = [&](const char *name, const QList<ZipEntry> &hostile, const char *damage,
                         ImportResult result) {
        QTest::newRow(name) << (QList<ZipEntry>{good} + hostile) << QString::fromLatin1(damage)
                            << int(result);
    };
    const QByteArray evil = "written by a hostile archive";
    row("dot-dot", {{"../evil.txt", evil}}, "", ImportResult::UnsafeName);
    row("dot-dot far up", {{"../../outside/evil.txt", evil}}, "", ImportResult::UnsafeName);
    row("dot-dot inside a path", {{"sub/../../evil.txt", evil}}, "", ImportResult::UnsafeName);
    row("dot-dot folder entry", {{"../evil/", {}}}, "", ImportResult::UnsafeName);
    row("absolute", {{"<outside>/evil.txt", evil}}, "", ImportResult::UnsafeName);
    row("backslash", {{"..\\evil.txt", evil}}, "", ImportResult::UnsafeName);
    row("drive letter", {{"C:/evil.txt", evil}}, "", ImportResult::UnsafeName);
    row("drive-relative", {{"C:evil.txt", evil}}, "", ImportResult::UnsafeName);
    row("through a link out of the folder", {{"out/evil.txt", evil}}, "", ImportResult::UnsafeName);
    row("onto a dangling link", {{"gone.ini", evil}}, "", ImportResult::UnsafeName);
    // Names the file system refuses are refused before anything is written, so that the
    // good param.ini in front of them is not replaced either.
    row("name of 4000 characters", {{QString(4000, QLatin1Char('a')), evil}}, "", ImportResult::UnsafeName);
    row("name of 250 bytes (no room for the temporary name)", {{QString(250, QLatin1Char('n')), evil}}, "",
        ImportResult::UnsafeName);
    row("name of 90 Chinese characters (270 bytes)", {{QString(90, QChar(0x8bbe)), evil}}, "",
        ImportResult::UnsafeName);
    row("path beyond 4095 bytes", {{QStringList(25, QString(200, QLatin1Char('d'))).join('/') + "/x.ini", evil}}, "",
        ImportResult::UnsafeName);
    row("oversized entry", {{"big.db", QByteArray(kMaxEntryBytes + 1, '\0')}}, "",
        ImportResult::TooLarge);
    QList<ZipEntry> many;
    for (int i = 0; i < kMaxEntries; ++i)
        many.append({QStringLiteral("f%1").arg(i), "x"});
    row("too many entries", many, "", ImportResult::TooLarge);
    QList<ZipEntry> large;
    for (int i = 0; i < 5; ++i)
        large.append({QStringLiteral("large%1.db").arg(i), QByteArray(13 * 1024 * 1024, '\0')});
    row("entries too large together", large, "", ImportResult::TooLarge);
    row("oversized archive file", {}, "grow", ImportResult::TooLarge);
    row("truncated file", {{"smtprec.db", binaryBytes(20000, 5)}}, "truncate", ImportResult::Damaged);
    row("damaged entry", {{"smsrec.db", binaryBytes(20000, 6)}}, "flip", ImportResult::Damaged);
    row("not a zip file", {}, "text", ImportResult::Damaged);
}

void TestConfigArchive::hostileArchiveChangesNothing()
{
    QFETCH(QList<ZipEntry>, entries);
    QFETCH(QString, damage);
    QFETCH(int, expected);
    fillParamFolder();
    QVERIFY(QFile::link(outside, param("out")));
    QVERIFY(QFile::link(outside + QStringLiteral("/gone.ini"), param("gone.ini")));
    for (ZipEntry &e : entries)
        e.name.replace(QStringLiteral("<outside>"), outside);

    const QString zipPath = archives + QStringLiteral("/hostile.zip");
    writeZip(zipPath, entries, damage == QLatin1String("flip") ? 0 : Z_DEFLATED);
    QByteArray bytes = readFile(zipPath);
    if (damage == QLatin1String("truncate"))
        bytes.truncate(bytes.size() / 2);
    if (damage == QLatin1String("flip")) {
        const qsizetype at = bytes.indexOf(entries.last().data.left(64));
        QVERIFY(at > 0);
        bytes[at + 1000] = char(bytes[at + 1000] ^ 0x5a);
    }
    if (damage == QLatin1String("text"))
        bytes = "[General]\nlang=0\n";
    writeFile(zipPath, bytes);
    if (damage == QLatin1String("grow")) // sparse, so this costs no disk
        QVERIFY(QFile(zipPath).resize(kMaxArchiveBytes + 1));

    const FileTree before = snapshot(env->root());
    QCOMPARE(int(importArchive(zipPath, appPaths.paramDir)), expected);
    QCOMPARE(snapshot(env->root()), before);
    QVERIFY(!QFileInfo::exists(env->root() + QStringLiteral("/evil.txt")));
}

void TestConfigArchive::importWritesEntries_data()
{
    QTest::addColumn<QList<ZipEntry>>("entries");
    QTest::addColumn<FileTree>("changes");

    QTest::newRow("shorter param.ini") << QList<ZipEntry>{{"param.ini", "[General]\n"}}
                                       << FileTree{{"param.ini", "[General]\n"}};
    QTest::newRow("file in a new subfolder")
        << QList<ZipEntry>{{"sub/a.txt", "A"}}
        << FileTree{{"sub", "<folder>"}, {"sub/a.txt", "A"}};
    QTest::newRow("folder entry makes only its folder")
        << QList<ZipEntry>{{"emptydir/", {}}} << FileTree{{"emptydir", "<folder>"}};
    QTest::newRow("target that is a folder is skipped")
        << QList<ZipEntry>{{"blocked.db", "X"}, {"smsrec.db", "new"}}
        << FileTree{{"smsrec.db", "new"}};
    QTest::newRow("later entry of the same name wins")
        << QList<ZipEntry>{{"schedule.db", "first"}, {"./schedule.db", "second"}}
        << FileTree{{"schedule.db", "second"}};
}

void TestConfigArchive::importWritesEntries()
{
    QFETCH(QList<ZipEntry>, entries);
    QFETCH(FileTree, changes);
    fillParamFolder();
    writeFile(param("param.ini"), "[General]\nlang=1\n" + QByteArray(4000, ';'));
    QVERIFY(QDir().mkpath(param("blocked.db")));
    const QString zipPath = archives + QStringLiteral("/a.zip");
    writeZip(zipPath, entries);

    FileTree expected = snapshot(appPaths.paramDir);
    expected.insert(changes);
    QCOMPARE(importArchive(zipPath, appPaths.paramDir), ImportResult::Imported);
    QCOMPARE(snapshot(appPaths.paramDir), expected);
}

void TestConfigArchive::failedRenameRestoresFolder()
{
    fillParamFolder();
    writeFile(param("locked.ini"), "old locked");
    // The third rename fails after two have succeeded (one of them a new file in a new
    // folder); the fourth is never tried.
    QStringList tried;
    setCommitFunction([&tried](QSaveFile &file) {
        tried << QFileInfo(file.fileName()).fileName();
        if (file.fileName().endsWith(QLatin1String("/locked.ini"))) {
            file.cancelWriting();
            file.commit();
            return false;
        }
        return file.commit();
    });
    const auto restore = qScopeGuard([] { setCommitFunction({}); });
    const QString zipPath = archives + QStringLiteral("/a.zip");
    writeZip(zipPath, {{"param.ini", "[General]\nlang=0\n"}, {"sub/new.ini", "new"}, {"locked.ini", "new locked"},
                       {"schedule.db", "new schedule"}});

    const FileTree before = snapshot(env->root());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot replace .*locked.ini")));
    QCOMPARE(importArchive(zipPath, appPaths.paramDir), ImportResult::WriteFailed);
    QCOMPARE(tried, (QStringList{"param.ini", "new.ini", "locked.ini"}));
    QCOMPARE(snapshot(env->root()), before);

    // With every rename succeeding the same archive goes in whole, leaving no copies.
    setCommitFunction({});
    QCOMPARE(importArchive(zipPath, appPaths.paramDir), ImportResult::Imported);
    FileTree expected = before;
    const QString prefix = QDir(env->root()).relativeFilePath(appPaths.paramDir) + QLatin1Char('/');
    expected.insert(prefix + "param.ini", "[General]\nlang=0\n");
    expected.insert(prefix + "sub", "<folder>");
    expected.insert(prefix + "sub/new.ini", "new");
    expected.insert(prefix + "locked.ini", "new locked");
    expected.insert(prefix + "schedule.db", "new schedule");
    QCOMPARE(snapshot(env->root()), expected);
}

void TestConfigArchive::restoreRemovesOnlyFilesOnOk_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("removed");
    QTest::newRow("OK") << int(RecordingDialogs::Accept) << true;
    QTest::newRow("Cancel") << int(RecordingDialogs::Reject) << false;
    QTest::newRow("closed or Escape") << int(RecordingDialogs::Close) << false;
}

void TestConfigArchive::restoreRemovesOnlyFilesOnOk()
{
    QFETCH(int, answer);
    QFETCH(bool, removed);
    fillParamFolder();
    writeFile(param(".hidden"), "h");
    writeFile(param("sub/keep.txt"), "stays");
    QVERIFY(QFile::link(outside + QStringLiteral("/secret.txt"), param("link.txt")));
    const FileTree before = snapshot(env->root());

    fake.boxAnswer = RecordingDialogs::Answer(answer);
    handleRestoreConfig(&window, configTexts);

    FileTree expected = before;
    if (removed) {
        const QString p = QDir(env->root()).relativeFilePath(appPaths.paramDir) + QLatin1Char('/');
        for (const char *name : {"param.ini", "smtprec.db", "smsrec.db", "schedule.db", ".hidden"})
            expected.remove(p + QLatin1String(name));
    }
    QCOMPARE(snapshot(env->root()), expected);
    QCOMPARE(fake.boxes.size(), 1);
}

void TestConfigArchive::importLeavesOutUnloggableNumbers_data()
{
    QTest::addColumn<QStringList>("phones");
    QTest::addColumn<QStringList>("masks");
    QTest::addColumn<QString>("kept"); // the table as the sqlite3 tool prints it
    QTest::addColumn<QStringList>("dropped");

    QTest::newRow("two of three left out")
        << QStringList{"139@0001", "13800000001", "13|9"} << QStringList{"3", "5", "7"} << "13800000001|5"
        << QStringList{"139@0001", "13|9"};
    QTest::newRow("nothing to leave out") << QStringList{"13800000001", "+8613800000002"} << QStringList{"1", "2"}
                                          << "13800000001|1\n+8613800000002|2" << QStringList{};
}

void TestConfigArchive::importLeavesOutUnloggableNumbers()
{
    QFETCH(QStringList, phones);
    QFETCH(QStringList, masks);
    QFETCH(QString, kept);
    QFETCH(QStringList, dropped);
    const QString made = env->root() + QStringLiteral("/smsrec.db");
    QVERIFY(saveSmsRecipientsAt(made, phones, masks));
    const QString zipPath = archives + QStringLiteral("/a.zip");
    writeZip(zipPath, {{"param.ini", "[General]\nsmsFlag=0\n"}, {"smsrec.db", readFile(made)}});

    fake.boxAnswer = RecordingDialogs::Accept;
    fake.openAnswer = zipPath;
    handleInputConfig(&window, configTexts);
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"), {param("smsrec.db"), QStringLiteral("select * from smsrec")});
    QVERIFY(sqlite.waitForFinished(10000));
    QCOMPARE(QString::fromUtf8(sqlite.readAllStandardOutput()).trimmed(), kept);
    QCOMPARE(readFile(param("param.ini")), QByteArray("[General]\nsmsFlag=0\n"));
    // The confirmation, then the list of what was left out.
    QCOMPARE(fake.boxes.size(), dropped.isEmpty() ? 1 : 2);
    if (!dropped.isEmpty()) {
        QCOMPARE(fake.boxes.last().icon, QMessageBox::Warning);
        QCOMPARE(fake.boxes.last().text, "These SMS numbers were left out of the imported settings, as a number "
                                         "may not hold \"@\" or \"|\":\n" + dropped.join(QLatin1Char('\n')));
    }
}

void TestConfigArchive::importAsksFirst_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("chooseFile");
    QTest::addColumn<int>("fileDialogs");
    QTest::newRow("confirmation refused") << int(RecordingDialogs::Reject) << true << 0;
    QTest::newRow("confirmation closed") << int(RecordingDialogs::Close) << true << 0;
    QTest::newRow("file dialog cancelled") << int(RecordingDialogs::Accept) << false << 1;
}

void TestConfigArchive::importAsksFirst()
{
    QFETCH(int, answer);
    QFETCH(bool, chooseFile);
    QFETCH(int, fileDialogs);
    fillParamFolder();
    const QString zipPath = archives + QStringLiteral("/a.zip");
    writeZip(zipPath, {{"param.ini", "[General]\nlang=0\n"}});
    const FileTree before = snapshot(appPaths.paramDir);

    fake.boxAnswer = RecordingDialogs::Answer(answer);
    fake.openAnswer = chooseFile ? zipPath : QString();
    handleInputConfig(&window, configTexts);
    QCOMPARE(fake.openCalls.size(), fileDialogs);
    QCOMPARE(snapshot(appPaths.paramDir), before);
}

void TestConfigArchive::dialogTexts_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("importButtons");
    // Whether the user has a documents folder, where the file dialogs start; else home.
    QTest::addColumn<bool>("documents");

    QTest::newRow("English") << "1"
                             << QStringList{"Parameter Settings",
                                            "The current configuration will be lost if use this "
                                            "configuration file,confirm to continue?",
                                            "Open",
                                            "Configuration File(*.zip)",
                                            "Save As",
                                            "The current configuration will be lost if restore "
                                            "default configuration,confirm to continue?",
                                            "OK",
                                            "Cancel"}
                             << QStringList{"OK", "Cancel"} << true;
    QTest::newRow("Chinese") << "0"
                             << QStringList{"参数设置",
                                            "使用此配置文件将丢失当前配置，确认继续吗？",
                                            "打开",
                                            "配置文件(*.zip)",
                                            "另存为",
                                            "恢复默认配置将丢失当前配置，确认继续吗？",
                                            "确定",
                                            "取消"}
                             << QStringList{"确定", "取消"} << false;
}

void TestConfigArchive::dialogTexts()
{
    QFETCH(QString, lang);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, importButtons);
    QFETCH(bool, documents);
    const QString home = env->root() + QStringLiteral("/home");
    const ScopedHome user(home, documents);
    const QString start = documents ? home + QStringLiteral("/Documents") : home;
    {
        QWriteLocker l(&settingsLock);
        systemSettings.lang = lang;
    }
    fake.boxAnswer = RecordingDialogs::Accept;
    handleInputConfig(&window, configTexts);
    QCOMPARE(configTexts, texts);
    handleOutputConfig(&window, configTexts);
    fake.boxAnswer = RecordingDialogs::Reject;
    handleRestoreConfig(&window, configTexts);

    const QString style = QStringLiteral("background-color: rgb(255, 255, 255);");
    using Box = RecordingDialogs::BoxSeen;
    QCOMPARE(fake.boxes,
             (QList<Box>{{&window, texts.at(0), texts.at(1), style, importButtons.at(0),
                          QMessageBox::Information, importButtons},
                         {&window, texts.at(0), texts.at(5), style, QString(),
                          QMessageBox::Information, {texts.at(6), texts.at(7)}}}));
    using Call = RecordingDialogs::FileCall;
    QCOMPARE(fake.openCalls, (QList<Call>{{&window, texts.at(2), start, texts.at(3)}}));
    QCOMPARE(fake.saveCalls, (QList<Call>{{&window, texts.at(4), start, texts.at(3)}}));
    // The catalogues go with the slot.
    QCOMPARE(QCoreApplication::translate("MainWindow", "Open"), QStringLiteral("Open"));
}

void TestConfigArchive::qmlRequestsReachTheArchive_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<FileTree>("changes");
    QTest::addColumn<QStringList>("removed");
    QTest::newRow("export") << QByteArray("outputConfigSignal") << FileTree{} << QStringList{};
    QTest::newRow("import") << QByteArray("inputConfigSignal")
                            << FileTree{{"param.ini", "[General]\nlang=0\n"}} << QStringList{};
    QTest::newRow("restore") << QByteArray("restoreconfigSignal") << FileTree{}
                             << QStringList{"param.ini", "schedule.db", "smsrec.db", "smtprec.db"};
}

void TestConfigArchive::qmlRequestsReachTheArchive()
{
    QFETCH(QByteArray, request);
    QFETCH(FileTree, changes);
    QFETCH(QStringList, removed);
    fillParamFolder();
    const QString importFile = archives + QStringLiteral("/in.zip");
    writeZip(importFile, {{"param.ini", "[General]\nlang=0\n"}});
    FileTree expected = snapshot(appPaths.paramDir);
    expected.insert(changes);
    for (const QString &name : removed)
        expected.remove(name);

    MainWindow mainWindow;
    mainWindow.loadQmlView(QStringLiteral(KESTRAVA_SOURCE_DIR "/qml/qmlmain.qml"));
    QVERIFY(declarativeView->rootObject());
    fake.boxAnswer = RecordingDialogs::Accept;
    fake.openAnswer = importFile;
    fake.saveAnswer = archives + QStringLiteral("/out.zip");
    QVERIFY(QMetaObject::invokeMethod(declarativeView->rootObject(), request.constData()));

    QCOMPARE(snapshot(appPaths.paramDir), expected);
    QCOMPARE(QFileInfo::exists(fake.saveAnswer), request == "outputConfigSignal");
    QCOMPARE(fake.boxes.size() + fake.saveCalls.size(), 1);
    QWidget *const parent = &mainWindow;
    for (const RecordingDialogs::BoxSeen &box : fake.boxes)
        QCOMPARE(box.parent, parent);
    for (const RecordingDialogs::FileCall &call : fake.saveCalls)
        QCOMPARE(call.parent, parent);
}

QTEST_MAIN(TestConfigArchive)
#include "tst_configarchive.moc"
