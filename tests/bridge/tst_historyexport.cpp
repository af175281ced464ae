// Clearing and CSV export of history files, against real files and the recording dialog
// seam: every kind and family, the dialog's answers, missing and hostile periods, quoting,
// targets that cannot be written, and clears that cannot delete.
#include "bridge/qmlobject.h"
#include "core/dialogs.h"
#include "core/events.h"
#include "core/paths.h"
#include "core/settings.h"
#include "history/csvwriter.h"
#include "history/historybrowser.h"
#include "tests/bridge/bridgefixture.h"
#include "tests/bridge/historyfixture.h"
#include "tests/core/dbfixture.h"
#include "tests/support/recordingdialogs.h"
#include "tests/support/sqlitelock.h"
#include "tests/support/testenv.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(HistoryKind)

namespace {
QString opRequest(const QString &type, const QString &operation, const QString &datetime)
{
    return QStringLiteral("{\"type\":\"%1\",\"operation\":\"%2\",\"datetime\":\"%3\"}").arg(type, operation, datetime);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void setLang(const QString &lang)
{
    QWriteLocker l(&settingsLock);
    systemSettings.lang = lang;
}
}

class TestHistoryExport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void exports_data();
    void exports();
    void csvQuoting_data();
    void csvQuoting();
    void cancelledDialogTouchesNothing();
    void missingOrHostilePeriodWritesHeaderOnly_data();
    void missingOrHostilePeriodWritesHeaderOnly();
    void unwritableTargetIsReported_data();
    void unwritableTargetIsReported();
    void unreadableHistoryWritesNothing_data();
    void unreadableHistoryWritesNothing();
    void refusedTargetIsLeftAsItIs_data();
    void refusedTargetIsLeftAsItIs();
    void eventCodeWithoutNumberHasNoText_data();
    void eventCodeWithoutNumberHasNoText();
    void twoExportsInARow();
    void clears_data();
    void clears();
    void hostileClearDeletesNothing_data();
    void hostileClearDeletesNothing();
    void failedClearKeepsThePage();
    void otherOperationsDoNothing();

private:
    QString target(const QString &name) const { return env->root() + QLatin1Char('/') + name; }
    // The save dialog starts there, with the export's name.
    QString documents() const { return env->root() + QStringLiteral("/home/Documents"); }
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<ScopedHome> home;
    std::unique_ptr<qmlobject> bridge;
    RecordingDialogs answers;
};

void TestHistoryExport::init()
{
    env = std::make_unique<TestEnv>();
    home = std::make_unique<ScopedHome>(env->root() + QStringLiteral("/home"), true);
    loadAllSettings();
    initEventTexts();
    bridge = std::make_unique<qmlobject>();
    setDeviceState(QStringLiteral("0"), Masks(), CommOk);
    answers = RecordingDialogs();
    setDialogs(&answers);
}

void TestHistoryExport::cleanup()
{
    setDialogs(nullptr);
    bridge.reset();
    home.reset();
    env.reset();
    QCOMPARE(QSqlDatabase::connectionNames(), QStringList());
}

void TestHistoryExport::exports_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<HistoryKind>("kind");
    QTest::addColumn<QString>("defaultName");
    QTest::addColumn<QString>("firstLines");

    QTest::newRow("day, inverter, Chinese") << "3" << "0" << HistoryKind::ReportDay << "DayReport20260115.csv"
                                            << QString::fromUtf8("日期,功率(W)\n2026/01/15 00:10,7\n");
    QTest::newRow("day, UPS, English") << "0" << "1" << HistoryKind::ReportDay << "DayReport20260115.csv"
                                       << "Date,Power(KW)\n2026/01/15 00:10,7\n";
    QTest::newRow("month") << "1" << "1" << HistoryKind::ReportMonth << "MonthReport202601.csv"
                           << "Date,Gen(KWH)\n2026/01/02,4\n";
    QTest::newRow("year, Chinese") << "2" << "0" << HistoryKind::ReportYear << "YearReport2026.csv"
                                   << QString::fromUtf8("日期,发电量(KWH)\n2026/02,40\n");
    QTest::newRow("snapshots, inverter") << "4" << "1" << HistoryKind::AnalogRecord
                                         << "DataRecord_ZQ700_4000KX20260115.csv"
                                         << "DateTime,InputVolt(V),InputFreq(Hz),BypVolt(V),BypFreq(Hz),OutputVolt(V),"
                                            "OutputFreq(Hz),OutputActivePower(W),OutputApparentPower(W),"
                                            "OutputLoadPercent(%),OutputPowerFactor,MachineTemp,BattVolt(V),"
                                            "BattRemainCap,PVVolt(V),PVPower(W),PVDayGen(KWH),PVTotalGen(KWH)\n"
                                            "2026/01/15 10:05,a1,a2,a3,a4,a5,a6,a7,a8,a9,a10,a11,a12,a13,a14,a15,"
                                            "a16,a17\n";
    QTest::newRow("snapshots, single-phase") << "1" << "1" << HistoryKind::AnalogRecord << "DataRecord_s20260115.csv"
                                             << "";
    QTest::newRow("events, three-phase") << "0" << "1" << HistoryKind::EventRecord << "EventRecord202601.csv" << "";
    QTest::newRow("events, single-phase") << "1" << "1" << HistoryKind::EventRecord << "EventRecord_s202601.csv"
                                          << "";
    QTest::newRow("events, inverter") << "3" << "1" << HistoryKind::EventRecord << "ZQ700_4000KXEventRecord202601.csv"
                                      << "";
    QTest::newRow("SMS, Chinese") << "0" << "0" << HistoryKind::SmsRecord << "SMSRecord202601.csv"
                                  << QString::fromUtf8("日期时间,手机号码,事件描述\n2026/01/15 10:05:00,5552,短信\n");
}

void TestHistoryExport::exports()
{
    QFETCH(QString, protocol);
    QFETCH(QString, lang);
    QFETCH(HistoryKind, kind);
    QFETCH(QString, defaultName);
    QFETCH(QString, firstLines);
    setProtocol(protocol);
    setLang(lang);
    const DeviceFamily family = deviceFamily(protocol);
    const HistoryFile file = historyKindFile(kind);
    const QString period = periodText(historyPeriod(file), QDate(2026, 1, 15));
    QList<QStringList> rows;
    switch (kind) {
    case HistoryKind::ReportDay: rows = {dayRow(0, 5, "6"), dayRow(0, 10, "7")}; break;
    case HistoryKind::ReportMonth: rows = {{"1", "2026/01/01", "3"}, {"2", "2026/01/02", "4"}}; break;
    case HistoryKind::ReportYear: rows = {{"1", "2026/01", "30"}, {"2", "2026/02", "40"}}; break;
    case HistoryKind::AnalogRecord:
        rows = {analogRow(family, "2026/01/15 10:00"), analogRow(family, "2026/01/15 10:05")};
        break;
    case HistoryKind::EventRecord:
        rows = {eventRow(family, "2026/01/15 10:00:00", "56"), eventRow(family, "2026/01/15 10:05:00", "5")};
        break;
    case HistoryKind::SmsRecord:
        rows = {{"2026/01/15 10:00:00", "5551", "a", "1"}, {"2026/01/15 10:05:00", "5552", QString::fromUtf8("短信"), "0"}};
        break;
    }
    QVERIFY(writeHistoryRows(file, family, period, rows));
    answers.saveAnswer = target("out.csv");

    bridge->handleOperReportRecord(opRequest(historyKindType(kind), "save", period));

    QCOMPARE(answers.saveCalls.size(), 1);
    const bool zh = lang == QLatin1String("0");
    QCOMPARE(answers.saveCalls.at(0),
             (RecordingDialogs::FileCall{nullptr, zh ? QString::fromUtf8("另存为") : QStringLiteral("Save As"),
                                         documents() + QLatin1Char('/') + defaultName,
                                         zh ? QString::fromUtf8("CSV 文件(*.csv)") : QStringLiteral("CSV File(*.csv)")}));
    // The end is told, with what was written where.
    QCOMPARE(answers.icons(), QList<QMessageBox::Icon>{QMessageBox::Information});
    QCOMPARE(answers.texts(), QStringList{(zh ? QString::fromUtf8("已将 2 行保存到 %1。") : QStringLiteral("Saved 2 rows to %1."))
                                              .arg(QDir::toNativeSeparators(answers.saveAnswer))});
    const QString csv = QString::fromUtf8(readAll(answers.saveAnswer));
    QStringList lines = csv.split('\n');
    QCOMPARE(lines.size(), 4); // header, two rows, the empty text after the last line end
    QCOMPARE(lines.last(), QString());
    if (!firstLines.isEmpty())
        QCOMPARE(lines.mid(0, 2).join('\n') + '\n', firstLines);

    const QList<const char *> sources = csvHeaderSources(kind, family);
    QCOMPARE(lines.at(0).count(',') + 1, sources.size());
    if (kind == HistoryKind::EventRecord) {
        // The newest first; its last field is the event text of the stored code.
        const QStringList &texts = family == DeviceFamily::Inverter ? inverterEventTexts : upsEventTexts;
        QCOMPARE(lines.at(0).section(',', -1), QStringLiteral("Description"));
        QCOMPARE(lines.at(1).section(',', 0, 1), QStringLiteral("2026/01/15 10:05:00,v1"));
        QCOMPARE(lines.at(1).section(',', -1), csvField(texts.at(5)));
        QCOMPARE(lines.at(2).section(',', -1), csvField(texts.at(56)));
        QCOMPARE(lines.at(1).count(','), lines.at(0).count(','));
    }
    if (kind == HistoryKind::AnalogRecord)
        QCOMPARE(lines.at(1).count(','), historyColumnCount(file, family) - 1);
    // The header list of the kind keeps the texts of this export.
    const QStringList *header = kind == HistoryKind::ReportDay     ? &bridge->dayHeader
                                : kind == HistoryKind::ReportMonth ? &bridge->monthHeader
                                : kind == HistoryKind::ReportYear  ? &bridge->yearHeader
                                : kind == HistoryKind::AnalogRecord ? &bridge->analogHeader
                                : kind == HistoryKind::EventRecord ? &bridge->eventHeader
                                                                   : &bridge->smsHeader;
    QCOMPARE(header->join(','), lines.at(0));
    // The export's translator is gone again.
    QCOMPARE(QCoreApplication::translate("qmlobject", "Date"), QStringLiteral("Date"));
}

void TestHistoryExport::csvQuoting_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("field");
    QTest::newRow("plain") << "12.5" << "12.5";
    QTest::newRow("comma") << "1,5" << "\"1,5\"";
    QTest::newRow("double quote") << "say \"hi\"" << "\"say \"\"hi\"\"\"";
    QTest::newRow("comma and double quote") << "a, \"b\"" << "\"a, \"\"b\"\"\"";
    QTest::newRow("line feed") << "a\nb" << "\"a\nb\"";
    QTest::newRow("carriage return") << "a\rb" << "\"a\rb\"";
    QTest::newRow("semicolon and blanks stay") << " a; b " << " a; b ";
    QTest::newRow("non-ASCII as UTF-8") << QString::fromUtf8("短信 ü") << QString::fromUtf8("短信 ü");
}

void TestHistoryExport::csvQuoting()
{
    QFETCH(QString, value);
    QFETCH(QString, field);
    QVERIFY(writeHistoryRows(HistoryFile::SmsLog, DeviceFamily::ThreePhaseUps, "202601",
                             {{"2026/01/15 10:00:00", "5551", value, "1"}}));
    answers.saveAnswer = target("sms.csv");
    bridge->handleOperReportRecord(opRequest("record_smsdata", "save", "202601"));
    QCOMPARE(readAll(answers.saveAnswer),
             ("DateTime,phone,event\n2026/01/15 10:00:00,5551," + field + "\n").toUtf8());
}

void TestHistoryExport::cancelledDialogTouchesNothing()
{
    const QStringList before = folderSnapshot(appPaths.dayGenDbDir) + folderSnapshot(env->root());
    answers.saveAnswer.clear();
    bridge->handleOperReportRecord(opRequest("report_day", "save", "20260115"));
    QCOMPARE(answers.saveCalls.size(), 1);
    QCOMPARE(folderSnapshot(appPaths.dayGenDbDir) + folderSnapshot(env->root()), before);
    QCOMPARE(answers.boxes.size(), 0);
}

void TestHistoryExport::missingOrHostilePeriodWritesHeaderOnly_data()
{
    QTest::addColumn<QString>("datetime");
    QTest::addColumn<QString>("defaultName");
    QTest::newRow("no file for the period") << "202501" << "EventRecord202501.csv";
    QTest::newRow("no period") << "" << "EventRecord.csv";
    QTest::newRow("climbs out") << "/../../../x" << "EventRecord.csv";
    QTest::newRow("absolute") << "/" << "EventRecord.csv";
    QTest::newRow("the period and more") << "202601/../202601" << "EventRecord.csv";
}

void TestHistoryExport::missingOrHostilePeriodWritesHeaderOnly()
{
    QFETCH(QString, datetime);
    QFETCH(QString, defaultName);
    // A file the hostile texts would reach if they were used as they come.
    QVERIFY(writeHistoryRows(HistoryFile::EventLog, DeviceFamily::ThreePhaseUps, "202601",
                             {eventRow(DeviceFamily::ThreePhaseUps, "2026/01/15 10:00:00", "5")}));
    const QStringList before = folderSnapshot(appPaths.alarmDbDir);
    answers.saveAnswer = target("events.csv");
    bridge->handleOperReportRecord(opRequest("record_eventdata", "save", datetime));
    QCOMPARE(answers.saveCalls.at(0).dir, documents() + QLatin1Char('/') + defaultName);
    const QByteArray csv = readAll(answers.saveAnswer);
    QCOMPARE(csv.count('\n'), 1);
    QVERIFY(csv.startsWith("DateTime,BatteryDischageTime(M),"));
    QCOMPARE(folderSnapshot(appPaths.alarmDbDir), before); // no empty database appeared
}

void TestHistoryExport::unwritableTargetIsReported_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("folder that takes no files") << "/proc/kestrava-export.csv";
    QTest::newRow("folder that does not exist") << "missing-folder/out.csv";
    QTest::newRow("target that is a folder") << "folder";
}

void TestHistoryExport::unwritableTargetIsReported()
{
    QFETCH(QString, where);
    QVERIFY(writeHistoryRows(HistoryFile::DayGen, DeviceFamily::ThreePhaseUps, "20260115", {dayRow(0, 5, "6")}));
    QVERIFY(QDir(env->root()).mkdir("folder"));
    answers.saveAnswer = where.startsWith('/') ? where : target(where);
    const QStringList before = folderSnapshot(env->root());
    bridge->handleOperReportRecord(opRequest("report_day", "save", "20260115"));
    QCOMPARE(answers.boxes.size(), 1);
    QCOMPARE(answers.boxes.at(0).icon, QMessageBox::Warning);
    QVERIFY2(answers.boxes.at(0).text.startsWith("The CSV file "), qPrintable(answers.boxes.at(0).text));
    QCOMPARE(folderSnapshot(env->root()), before);
    QVERIFY(!QFileInfo::exists(where) || where == "folder");
}

void TestHistoryExport::unreadableHistoryWritesNothing_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("boxText");
    QTest::newRow("held locked by another program") << "lock" << "is in use by another program";
    QTest::newRow("cut short after its first page") << "truncate" << "could not be read";
    QTest::newRow("header overwritten") << "garble" << "could not be read";
}

void TestHistoryExport::unreadableHistoryWritesNothing()
{
    QFETCH(QString, damage);
    QFETCH(QString, boxText);
    const DeviceFamily f = DeviceFamily::ThreePhaseUps;
    QList<QStringList> rows;
    for (int i = 0; i < 200; ++i)
        rows << eventRow(f, QStringLiteral("2026/01/15 10:%1:00").arg(i % 60, 2, 10, QLatin1Char('0')), "5");
    QVERIFY(writeHistoryRows(HistoryFile::EventLog, f, "202601", rows));
    const QString history = historyFilePath(HistoryFile::EventLog, f, QStringLiteral("202601"));
    SqliteLockHolder holder;
    if (damage == "lock") {
        QVERIFY(holder.start({history}, SqliteLockHolder::kUntilReleased));
    } else {
        QFile file(history);
        QVERIFY(file.open(QIODevice::ReadWrite));
        if (damage == "truncate")
            QVERIFY(file.resize(4096)); // the schema page alone: the table's pages are gone
        else
            QCOMPARE(file.write(QByteArray(100, 'x')), 100);
    }
    answers.saveAnswer = target("events.csv");
    QFile old(answers.saveAnswer);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older export\n");
    old.close();

    bridge->handleOperReportRecord(opRequest("record_eventdata", "save", "202601"));
    if (damage == "lock")
        QVERIFY(holder.release());
    QCOMPARE(answers.boxes.size(), 1);
    QCOMPARE(answers.boxes.at(0).icon, QMessageBox::Warning);
    const QString text = answers.boxes.at(0).text;
    QVERIFY2(text.startsWith("Nothing was exported") && text.contains(boxText)
                 && text.contains(QFileInfo(history).fileName()),
             qPrintable(text));
    QCOMPARE(readAll(answers.saveAnswer), QByteArray("an older export\n"));
    QCOMPARE(QDir(env->root()).entryList({"events.csv*"}, QDir::Files), QStringList{"events.csv"});
}

void TestHistoryExport::refusedTargetIsLeftAsItIs_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("reason");
    QTest::newRow("FIFO") << "fifo" << "it is not a regular file";
    QTest::newRow("the history file being exported") << "history" << "it is the history file being exported";
    QTest::newRow("a link to the history file") << "link" << "it is the history file being exported";
    QTest::newRow("another history file") << "other" << "it is a database file, not a CSV file";
}

void TestHistoryExport::refusedTargetIsLeftAsItIs()
{
    QFETCH(QString, what);
    QFETCH(QString, reason);
    const DeviceFamily f = DeviceFamily::ThreePhaseUps;
    QVERIFY(writeHistoryRows(HistoryFile::DayGen, f, "20260115", {dayRow(0, 5, "6"), dayRow(0, 10, "7")}));
    QVERIFY(writeHistoryRows(HistoryFile::DayGen, f, "20260114", {dayRow(0, 5, "8")}));
    const QString history = historyFilePath(HistoryFile::DayGen, f, QStringLiteral("20260115"));
    QString where;
    if (what == "fifo") {
        QVERIFY(QDir(env->root()).mkdir("pipes"));
        where = target("pipes/out.csv");
        QCOMPARE(::mkfifo(QFile::encodeName(where).constData(), 0600), 0);
    } else if (what == "history") {
        where = history;
    } else if (what == "link") {
        where = target("today.csv");
        QVERIFY(QFile::link(history, where));
    } else {
        where = historyFilePath(HistoryFile::DayGen, f, QStringLiteral("20260114"));
    }
    const QStringList before = folderSnapshot(appPaths.dayGenDbDir);
    answers.saveAnswer = where;
    bridge->handleOperReportRecord(opRequest("report_day", "save", "20260115"));
    QCOMPARE(answers.boxes.size(), 1);
    QCOMPARE(answers.boxes.at(0).icon, QMessageBox::Warning);
    QCOMPARE(answers.boxes.at(0).text,
             QStringLiteral("The CSV file %1 was not written: %2.").arg(QDir::toNativeSeparators(where), reason));
    QCOMPARE(folderSnapshot(appPaths.dayGenDbDir), before);
    QCOMPARE(runSqlite3(history, "select count(*) from daygen").trimmed(), QStringLiteral("2"));
    struct stat st {};
    QCOMPARE(::lstat(QFile::encodeName(where).constData(), &st), 0);
    if (what == "fifo")
        QVERIFY(S_ISFIFO(st.st_mode));
    if (what == "link")
        QVERIFY(S_ISLNK(st.st_mode));
}

void TestHistoryExport::eventCodeWithoutNumberHasNoText_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("change"); // run on the file after the row is written
    QTest::newRow("not a number") << "0" << "abc" << "";
    QTest::newRow("empty text") << "1" << "" << "";
    QTest::newRow("NULL") << "3" << "5" << "update alarmdata set Description=NULL";
    QTest::newRow("no code column") << "0" << "5" << "alter table alarmdata drop column Description";
}

void TestHistoryExport::eventCodeWithoutNumberHasNoText()
{
    QFETCH(QString, protocol);
    QFETCH(QString, code);
    QFETCH(QString, change);
    setProtocol(protocol);
    const DeviceFamily f = deviceFamily(protocol);
    QVERIFY(writeHistoryRows(HistoryFile::EventLog, f, "202601", {eventRow(f, "2026/01/15 10:00:00", code)}));
    const QString history = historyFilePath(HistoryFile::EventLog, f, QStringLiteral("202601"));
    if (!change.isEmpty())
        QCOMPARE(runSqlite3(history, change), QString());
    answers.saveAnswer = target("events.csv");
    bridge->handleOperReportRecord(opRequest("record_eventdata", "save", "202601"));
    QCOMPARE(answers.texts(), QStringList{QStringLiteral("Saved 1 row to %1.").arg(answers.saveAnswer)});
    const QStringList lines = QString::fromUtf8(readAll(answers.saveAnswer)).split('\n');
    QCOMPARE(lines.size(), 3);
    // Not the text of event 0: no text at all.
    QVERIFY2(lines.at(1).endsWith(','), qPrintable(lines.at(1)));
    QCOMPARE(lines.at(1).count(','), lines.at(0).count(','));
}

void TestHistoryExport::twoExportsInARow()
{
    const DeviceFamily f = DeviceFamily::ThreePhaseUps;
    QVERIFY(writeHistoryRows(HistoryFile::EventLog, f, "202601", {eventRow(f, "2026/01/15 10:00:00", "5")}));
    answers.saveAnswer = target("events.csv");
    QFile old(answers.saveAnswer);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older export\n");
    old.close();
    bridge->handleOperReportRecord(opRequest("record_eventdata", "save", "202601"));
    const QByteArray first = readAll(answers.saveAnswer);
    QCOMPARE(first.count('\n'), 2); // replaced whole
    QCOMPARE(QSqlDatabase::connectionNames(), QStringList());
    QVERIFY(writeHistoryRows(HistoryFile::EventLog, f, "202601", {eventRow(f, "2026/01/15 11:00:00", "4")}));
    bridge->handleOperReportRecord(opRequest("record_eventdata", "save", "202601"));
    QCOMPARE(readAll(answers.saveAnswer).count('\n'), 3);
    QCOMPARE(QSqlDatabase::connectionNames(), QStringList());
    QCOMPARE(QDir(env->root()).entryList({"events.csv*"}, QDir::Files), QStringList{"events.csv"});
    QCOMPARE(answers.texts(), (QStringList{QStringLiteral("Saved 1 row to %1.").arg(answers.saveAnswer),
                                           QStringLiteral("Saved 2 rows to %1.").arg(answers.saveAnswer)}));
}

void TestHistoryExport::clears_data()
{
    QTest::addColumn<HistoryKind>("kind");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<bool>("fileThere");
    QTest::addColumn<QVariantList>("reply");
    const QVariantList emptyRecord{"0", "0", "{\"key\":\"\",\"value\":\"\"}"};
    const QList<std::tuple<const char *, HistoryKind, QVariantList>> kinds = {
        {"day", HistoryKind::ReportDay, {"report_day", "0", "0", ""}},
        {"month", HistoryKind::ReportMonth, {"report_month", "0", "0", ""}},
        {"year", HistoryKind::ReportYear, {"report_year", "0", "0", ""}},
        {"snapshots", HistoryKind::AnalogRecord, emptyRecord},
        {"events", HistoryKind::EventRecord, emptyRecord},
        {"SMS", HistoryKind::SmsRecord, {"0", "0", ""}}};
    for (const auto &[name, kind, reply] : kinds) {
        QTest::addRow("%s, inverter", name) << kind << "4" << true << reply;
        QTest::addRow("%s, single-phase", name) << kind << "2" << true << reply;
        QTest::addRow("%s, no file", name) << kind << "0" << false << reply;
    }
}

void TestHistoryExport::clears()
{
    QFETCH(HistoryKind, kind);
    QFETCH(QString, protocol);
    QFETCH(bool, fileThere);
    QFETCH(QVariantList, reply);
    setProtocol(protocol);
    const DeviceFamily family = deviceFamily(protocol);
    const HistoryFile file = historyKindFile(kind);
    const QString period = periodText(historyPeriod(file), QDate(2026, 1, 15));
    const QString path = historyFilePath(file, family, period);
    if (fileThere)
        QVERIFY(writeHistoryRows(file, family, period, {{"x"}}));
    // The neighbours of the file stay: another period, the other families.
    const QString otherPeriod = historyFilePath(file, family, periodText(historyPeriod(file), QDate(2025, 2, 3)));
    QVERIFY(writeHistoryRows(file, family, periodText(historyPeriod(file), QDate(2025, 2, 3)), {{"y"}}));

    QSignalSpy report(bridge.get(), &qmlobject::sigReport);
    QSignalSpy analog(bridge.get(), &qmlobject::sigAnalogDataRecord);
    QSignalSpy events(bridge.get(), &qmlobject::sigEventDataRecord);
    QSignalSpy sms(bridge.get(), &qmlobject::sigSMSDataRecord);
    bridge->handleOperReportRecord(opRequest(historyKindType(kind), "clear", period));
    QCOMPARE(report.count() + analog.count() + events.count() + sms.count(), 1);
    for (QSignalSpy *spy : {&report, &analog, &events, &sms}) {
        if (spy->count())
            QCOMPARE(QVariantList(spy->at(0)), reply);
    }
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(QFileInfo::exists(otherPeriod));
    QCOMPARE(answers.boxes.size(), 0);
}

void TestHistoryExport::hostileClearDeletesNothing_data()
{
    QTest::addColumn<QString>("datetime");
    QTest::newRow("climbs out") << "/../../param/smtprec";
    QTest::newRow("climbs out to a period file") << "/../threeUPSdaygen20260115";
    QTest::newRow("absolute") << "/";
    QTest::newRow("empty") << "";
    QTest::newRow("wildcard") << "*";
    QTest::newRow("eight digits and more") << "20260115 ";
}

void TestHistoryExport::hostileClearDeletesNothing()
{
    QFETCH(QString, datetime);
    QVERIFY(writeHistoryRows(HistoryFile::DayGen, DeviceFamily::ThreePhaseUps, "20260115", {dayRow(0, 5, "6")}));
    QVERIFY(runRawStatements(appPaths.paramDir + "/smtprec.db", {"create table emailrec(a varchar)"}));
    const QStringList before = folderSnapshot(appPaths.dayGenDbDir) + folderSnapshot(appPaths.paramDir)
        + folderSnapshot(appPaths.appDir);
    QSignalSpy report(bridge.get(), &qmlobject::sigReport);
    bridge->handleOperReportRecord(opRequest("report_day", "clear", datetime));
    QCOMPARE(report.count(), 1); // the page of a missing file
    QCOMPARE(QVariantList(report.at(0)), (QVariantList{"report_day", "0", "0", ""}));
    QCOMPARE(folderSnapshot(appPaths.dayGenDbDir) + folderSnapshot(appPaths.paramDir) + folderSnapshot(appPaths.appDir),
             before);
}

void TestHistoryExport::failedClearKeepsThePage()
{
    // Something of the file's name that cannot be deleted as a file: a folder with content.
    const QString path = historyFilePath(HistoryFile::MonthGen, DeviceFamily::ThreePhaseUps, QStringLiteral("202601"));
    QVERIFY(QDir().mkpath(path + "/inside"));
    setLang("0");
    QSignalSpy report(bridge.get(), &qmlobject::sigReport);
    bridge->handleOperReportRecord(opRequest("report_month", "clear", "202601"));
    QCOMPARE(report.count(), 0);
    QCOMPARE(answers.boxes.size(), 1);
    QCOMPARE(answers.boxes.at(0).icon, QMessageBox::Warning);
    QVERIFY2(answers.boxes.at(0).text.contains(QString::fromUtf8("无法删除")), qPrintable(answers.boxes.at(0).text));
    QVERIFY(QFileInfo(path).isDir());
}

void TestHistoryExport::otherOperationsDoNothing()
{
    QVERIFY(writeHistoryRows(HistoryFile::DayGen, DeviceFamily::ThreePhaseUps, "20260115", {dayRow(0, 5, "6")}));
    const QStringList before = folderSnapshot(appPaths.dayGenDbDir);
    QSignalSpy report(bridge.get(), &qmlobject::sigReport);
    for (const QString &text : {opRequest("report_day", "Clear", "20260115"), opRequest("Report_day", "clear", "20260115"),
                                opRequest("report_day", "delete", "20260115"), opRequest("report_day", "", "20260115"),
                                QStringLiteral("not json")})
        bridge->handleOperReportRecord(text);
    QCOMPARE(report.count(), 0);
    QCOMPARE(answers.fileDialogCount() + answers.boxes.size(), 0);
    QCOMPARE(folderSnapshot(appPaths.dayGenDbDir), before);
}

QTEST_MAIN(TestHistoryExport)
#include "tst_historyexport.moc"
