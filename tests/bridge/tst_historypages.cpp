// History pages and charts against real history files: the rows of a page, its count, its
// headings and cells per family and link state, hostile period texts, and the chart texts.
#include "bridge/qmlobject.h"
#include "core/devicestate.h"
#include "core/events.h"
#include "core/paths.h"
#include "core/settings.h"
#include "history/historybrowser.h"
#include "tests/bridge/bridgefixture.h"
#include "tests/bridge/historyfixture.h"
#include "tests/support/sqlitelock.h"
#include "tests/support/testenv.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(DeviceFamily)

namespace {
QString familyProtocol(DeviceFamily family)
{
    switch (family) {
    case DeviceFamily::Inverter: return QStringLiteral("3");
    case DeviceFamily::ThreePhaseUps: return QStringLiteral("0");
    case DeviceFamily::SinglePhaseUps: break;
    }
    return QStringLiteral("1");
}

QString request(const QString &type, const QString &datetime, const QString &page)
{
    return QStringLiteral("{\"type\":\"%1\",\"datetime\":\"%2\",\"page\":\"%3\"}").arg(type, datetime, page);
}

// The headings of the default column set.
QString defaultKeys()
{
    return QStringLiteral("BatteryVolt(V)#BatteryCurr(A)#BatteryTemp(C)#InputPowerFac#InputFreq(Hz)#InputVolt(V)#"
                          "InputCurr(A)#InputActPower(KW)#OutputFrq(Hz)#OutputPowerFac#OutputVolt(V)#OutputCurr(A)#"
                          "OutputActivePower(KW)#OutputLoadPercent(%)#BypassFreq(Hz)#BypassVol(V)#BypassCurr(A)#"
                          "BypassActPower(KW)#PVVolt(V)#PVCurr(A)#PVPower(KW)#PVDayGen(KWH)#PVTotalGen(KWH)");
}

// The day report rows 0..n-1 newest first from `from` on, as a value text.
QString dayRowsText(int from, int to)
{
    QStringList rows;
    for (int i = from; i >= to; --i)
        rows << QStringLiteral("2026/01/15 %1:%2|p%3")
                    .arg(i * 5 / 60, 2, 10, QLatin1Char('0'))
                    .arg(i * 5 % 60, 2, 10, QLatin1Char('0'))
                    .arg(i);
    return rows.join(QLatin1Char('@'));
}
}

class TestHistoryPages : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void reportPages_data();
    void reportPages();
    void missingFileReplies_data();
    void missingFileReplies();
    void familyChangeFindsOtherFiles();
    void recordColumns_data();
    void recordColumns();
    void eventCodesOutOfRange_data();
    void eventCodesOutOfRange();
    void cellsAsStored();
    void unreadableFiles();
    void busyFileIsAnsweredAsBusy_data();
    void busyFileIsAnsweredAsBusy();
    void unknownTypeGetsNoReply();
    void largeEventLog();
    void pagesFollowTheFile();
    void charts_data();
    void charts();
    void chartFileChoice();

private:
    // Sends a page request; the one reply's arguments.
    QList<QVariant> page(const QString &text);
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<qmlobject> bridge;
};

void TestHistoryPages::init()
{
    env = std::make_unique<TestEnv>();
    loadAllSettings();
    initEventTexts();
    bridge = std::make_unique<qmlobject>();
    setDeviceState(QStringLiteral("0"), Masks(), CommLost);
}

void TestHistoryPages::cleanup()
{
    bridge.reset();
    env.reset();
    QCOMPARE(QSqlDatabase::connectionNames(), QStringList());
}

QList<QVariant> TestHistoryPages::page(const QString &text)
{
    QSignalSpy report(bridge.get(), &qmlobject::sigReport);
    QSignalSpy analog(bridge.get(), &qmlobject::sigAnalogDataRecord);
    QSignalSpy events(bridge.get(), &qmlobject::sigEventDataRecord);
    QSignalSpy sms(bridge.get(), &qmlobject::sigSMSDataRecord);
    bridge->handleReportRecord(text);
    const int replies = int(report.count() + analog.count() + events.count() + sms.count());
    if (replies != 1) {
        qWarning() << "replies:" << replies;
        return {};
    }
    for (QSignalSpy *spy : {&report, &analog, &events, &sms}) {
        if (spy->count())
            return spy->takeFirst();
    }
    return {};
}

void TestHistoryPages::reportPages_data()
{
    QTest::addColumn<DeviceFamily>("family");
    QTest::addColumn<QString>("pageText");
    QTest::addColumn<QString>("rows");
    const QList<std::pair<const char *, DeviceFamily>> families = {
        {"inverter", DeviceFamily::Inverter},
        {"three-phase", DeviceFamily::ThreePhaseUps},
        {"single-phase", DeviceFamily::SinglePhaseUps}};
    for (const auto &[name, family] : families) {
        auto row = [&](const char *what) -> QTestData & { return QTest::addRow("%s, %s", name, what) << family; };
        row("page 0: the ten newest") << "0" << dayRowsText(24, 15);
        row("page 2: the five oldest") << "2" << dayRowsText(4, 0);
        row("page 3: past the end") << "3" << "";
        row("page abc reads as 0") << "abc" << dayRowsText(24, 15);
        row("page -1") << "-1" << "";
        row("page beyond 64 bits") << "99999999999999999999999" << "";
        row("page whose first row overflows 32 bits") << "300000000" << "";
    }
}

void TestHistoryPages::reportPages()
{
    QFETCH(DeviceFamily, family);
    QFETCH(QString, pageText);
    QFETCH(QString, rows);
    QList<QStringList> stored;
    for (int i = 0; i < 25; ++i)
        stored << dayRow(i * 5 / 60, i * 5 % 60, QStringLiteral("p%1").arg(i));
    QVERIFY(writeHistoryRows(HistoryFile::DayGen, family, QStringLiteral("20260115"), stored));
    setProtocol(familyProtocol(family));

    const QList<QVariant> reply = page(request(QStringLiteral("report_day"), QStringLiteral("20260115"), pageText));
    QCOMPARE(reply.size(), 4);
    QCOMPARE(reply.at(0).toString(), QStringLiteral("report_day"));
    QCOMPARE(reply.at(1).toString(), pageText);
    QCOMPARE(reply.at(2).toString(), QStringLiteral("25"));
    QCOMPARE(reply.at(3).toString(), rows);
}

void TestHistoryPages::missingFileReplies_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("datetime");
    QTest::addColumn<QVariantList>("reply");
    const QVariantList emptyRecord{"0", "0", "{\"key\":\"\",\"value\":\"\"}"};
    const QVariantList emptySms{"0", "0", ""};
    // Each kind has a file of the period 2026-01-15 / 2026-01 / 2026 in place.
    const QList<std::tuple<const char *, const char *, QVariantList>> kinds = {
        {"report_day", "20260115", QVariantList{"report_day", "0", "0", ""}},
        {"report_month", "202601", QVariantList{"report_month", "0", "0", ""}},
        {"report_year", "2026", QVariantList{"report_year", "0", "0", ""}},
        {"record_analogdata", "20260115", emptyRecord},
        {"record_eventdata", "202601", emptyRecord},
        {"record_smsdata", "202601", emptySms}};
    for (const auto &[type, good, reply] : kinds) {
        const QString period = QString::fromLatin1(good);
        QTest::addRow("%s: another period", type) << type << QStringLiteral("19990101").left(period.size()) << reply;
        QTest::addRow("%s: period of another form", type) << type << (period.size() == 6 ? "20260115" : "202601")
                                                         << reply;
        QTest::addRow("%s: no period", type) << type << "" << reply;
        QTest::addRow("%s: climbs out", type) << type << "/../../" + period << reply;
        QTest::addRow("%s: absolute", type) << type << "/" << reply;
        QTest::addRow("%s: digits of another script", type) << type << QString(period.size(), QChar(0x0661))
                                                           << reply;
        QTest::addRow("%s: period with a suffix", type) << type << period + ".db" << reply;
    }
}

void TestHistoryPages::missingFileReplies()
{
    QFETCH(QString, type);
    QFETCH(QString, datetime);
    QFETCH(QVariantList, reply);
    const DeviceFamily f = DeviceFamily::ThreePhaseUps;
    QVERIFY(writeHistoryRows(HistoryFile::DayGen, f, QStringLiteral("20260115"), {dayRow(1, 0, "1")}));
    QVERIFY(writeHistoryRows(HistoryFile::MonthGen, f, QStringLiteral("202601"), {{"1", "2026/01/01", "3"}}));
    QVERIFY(writeHistoryRows(HistoryFile::YearGen, f, QStringLiteral("2026"), {{"1", "2026/01", "3"}}));
    QVERIFY(writeHistoryRows(HistoryFile::AnalogData, f, QStringLiteral("20260115"),
                             {analogRow(f, "2026/01/15 10:00")}));
    QVERIFY(writeHistoryRows(HistoryFile::EventLog, f, QStringLiteral("202601"),
                             {eventRow(f, "2026/01/15 10:00:00", "1")}));
    QVERIFY(writeHistoryRows(HistoryFile::SmsLog, f, QStringLiteral("202601"), {{"2026/01/15", "555", "x", "1"}}));
    const QStringList before = QDir(env->root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    // A page of the right form to show the files are there.
    const QString good = type.startsWith("report_day") || type == "record_analogdata" ? "20260115"
                         : type == "report_year"                                      ? "2026"
                                                                                      : "202601";
    const QList<QVariant> shown = page(request(type, good, "0"));
    QCOMPARE(shown.at(shown.size() - 2).toString(), QStringLiteral("1")); // dcount

    QList<QVariant> got = page(request(type, datetime, "4"));
    QCOMPARE(QVariantList(got), reply);
    QCOMPARE(QDir(env->root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

void TestHistoryPages::familyChangeFindsOtherFiles()
{
    QVERIFY(writeHistoryRows(HistoryFile::MonthGen, DeviceFamily::ThreePhaseUps, "202601",
                             {{"1", "2026/01/01", "3.5"}}));
    const QString req = request("report_month", "202601", "0");
    QCOMPARE(page(req).at(3).toString(), QStringLiteral("2026/01/01|3.5"));
    setProtocol("1");
    QCOMPARE(QVariantList(page(req)), (QVariantList{"report_month", "0", "0", ""}));
    setProtocol("4");
    QCOMPARE(QVariantList(page(req)), (QVariantList{"report_month", "0", "0", ""}));
}

void TestHistoryPages::recordColumns_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("commState");
    QTest::addColumn<int>("batMask");
    QTest::addColumn<bool>("everyMask");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("firstRow");

    const QString defaultKeys = ::defaultKeys();
    const QList<int> defaultPositions{4, 5, 6, 7, 9, 10, 11, 12, 15, 16, 18, 19, 20, 23, 24, 25, 26, 27, 28, 29,
                                      30, 31, 32};
    auto cells = [](const QString &prefix, const QList<int> &positions, int rowLength) {
        QStringList out;
        for (int p : positions)
            out << (p < rowLength ? prefix + QString::number(p) : QString());
        return out.join(QLatin1Char('|'));
    };
    const QString t = QStringLiteral("2026/01/15 10:00:00");
    const QString ta = QStringLiteral("2026/01/15 10:00");

    QTest::newRow("UPS, battery volt and current, events")
        << "0" << int(CommOk) << 0x30 << false << "1" << "record_eventdata"
        << "DateTime#Event Description#BatteryVolt(V)#BatteryCurr(A)"
        << t + "|" + upsEventTexts.at(5) + "|v4|v5";
    QTest::newRow("UPS, no masks, events") << "0" << int(CommOk) << 0 << false << "1" << "record_eventdata"
                                           << "DateTime#Event Description" << t + "|" + upsEventTexts.at(5);
    QTest::newRow("UPS, no masks, snapshots") << "1" << int(CommOk) << 0 << false << "1" << "record_analogdata"
                                              << "DateTime" << ta;
    QTest::newRow("UPS, every mask, snapshots")
        << "0" << int(CommOk) << 0 << true << "1" << "record_analogdata"
        << "DateTime#BatteryDischageTime#BatteryRemainTime#BatteryRemmainCap#BatteryVolt(V)#BatteryCurr(A)#"
           "BatteryTemp(C)#InputPowerFac#InputGenC(KW)#InputFreq(Hz)#InputVolt(V)#InputCurr(A)#"
           "InputActPower(KW)#InputAppPower(KVA)#InputWattPower(KVar)#OutputFrq(HZ)#OutputPowerFac#"
           "OutputGen(KW)#OutputVolt(V)#OutputCurr(A)#OutputActivePower(KW)#OutputAppPower(KVA)#"
           "OutputWattPower(KVar)#OutputLoadPercent(%)#BypassFreq(Hz)#BypassVol(V)#BypassCurr(A)#"
           "BypassActPower(KW)#PVVolt(V)#PVCurr(A)#PVPower(KW)#PVDayGen(KWH)#PVTotalGen(KWH)"
        << ta + "|" + cells("a", {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                                  17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32}, 33);
    QTest::newRow("UPS, half a 32-bit value announced") << "0" << int(CommOk) << 0 << false << "1"
                                                        << "record_analogdata" << "DateTime" << ta;
    QTest::newRow("UPS, not communicating, events")
        << "0" << int(CommLost) << 0xFFFF << true << "1" << "record_eventdata"
        << "DateTime#Event Description#" + defaultKeys
        << t + "|" + upsEventTexts.at(5) + "|" + cells("v", defaultPositions, 33);
    QTest::newRow("inverter, communicating, events")
        << "3" << int(CommOk) << 0 << false << "1" << "record_eventdata"
        << "DateTime#Event Description#InputVolt(V)#InputFreq(Hz)#BypVolt(V)#BypFreq(Hz)#OutputVolt(V)#"
           "OutputFreq(Hz)#OutputActivePower(W)#OutputApparentPower(VA)#OutputLoadPercent(%)#"
           "OutputPowerFactor#MachineTemp#BattVolt(V)#BattRemainCap#PVVolt(V)#PVPower(W)#PVDayGen(KWH)#"
           "PVTotalGen(KWH)"
        << t + "|" + inverterEventTexts.at(5) + "|"
               + cells("v", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}, 18);
    QTest::newRow("inverter, not communicating, snapshots: positions past the row are empty")
        << "4" << int(CommConnecting) << 0 << false << "1" << "record_analogdata" << "DateTime#" + defaultKeys
        << ta + "|" + cells("a", defaultPositions, 18);
    QTest::newRow("UPS, battery volt and current, Chinese")
        << "0" << int(CommOk) << 0x30 << false << "0" << "record_eventdata"
        << QString::fromUtf8("日期时间#事件描述#电池电压(V)#电池电流(A)") << t + "|" + upsEventTexts.at(5) + "|v4|v5";
    QTest::newRow("not communicating, Chinese")
        << "0" << int(CommLost) << 0 << false << "0" << "record_analogdata"
        << QString::fromUtf8(
               "日期时间#电池电压(V)#电池电流(A)#电池温度(C)#输入功率因数#输入频率(Hz)#输入电压(V)#输入电流(A)#"
               "输入有功功率(KW)#输出频率(Hz)#输出功率因数#输出电压(V)#输出电流(A)#输出有功功率(KW)#输出负载(%)#"
               "旁路频率(Hz)#旁路电压(V)#旁路电流(A)#旁路有功功率(KW)#PV电压(V)#PV电流(A)#PV功率(KW)#"
               "PV日发电量(KWH)#PV总发电量(KWH)")
        << ta + "|" + cells("a", defaultPositions, 33);
}

void TestHistoryPages::recordColumns()
{
    QFETCH(QString, protocol);
    QFETCH(int, commState);
    QFETCH(int, batMask);
    QFETCH(bool, everyMask);
    QFETCH(QString, lang);
    QFETCH(QString, type);
    QFETCH(QString, keys);
    QFETCH(QString, firstRow);
    Masks m = everyMask ? allMasks() : Masks();
    if (!everyMask) {
        m.bat = uint16_t(batMask);
        m.input = 0x4; // half of the input energy: selects nothing
    }
    setDeviceState(protocol, m, commState);
    {
        QWriteLocker l(&settingsLock);
        systemSettings.lang = lang;
    }
    // The event texts of the moment, built in English; only the headings follow lang here.
    initEventTexts();
    const DeviceFamily family = deviceFamily(protocol);
    const bool events = type == QLatin1String("record_eventdata");
    const QString period = events ? QStringLiteral("202601") : QStringLiteral("20260115");
    if (events)
        QVERIFY(writeHistoryRows(HistoryFile::EventLog, family, period,
                                 {eventRow(family, "2026/01/15 09:00:00", "4"),
                                  eventRow(family, "2026/01/15 10:00:00", "5")}));
    else
        QVERIFY(writeHistoryRows(HistoryFile::AnalogData, family, period,
                                 {analogRow(family, "2026/01/15 09:55"), analogRow(family, "2026/01/15 10:00")}));

    const QList<QVariant> reply = page(request(type, period, "0"));
    QCOMPARE(reply.size(), 3);
    QCOMPARE(reply.at(1).toString(), QStringLiteral("2"));
    const QJsonObject json = QJsonDocument::fromJson(reply.at(2).toString().toUtf8()).object();
    QCOMPARE(json.value("key").toString(), keys);
    QCOMPARE(json.value("value").toString().split('@').first(), firstRow);
    QCOMPARE(recordColumnKeys.join('#'), keys);
    // Headings and cells of a page always match.
    QCOMPARE(json.value("value").toString().split('@').last().count('|'), keys.count('#'));
}

void TestHistoryPages::eventCodesOutOfRange_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("known");
    QTest::newRow("UPS, last code") << "0" << "77" << true;
    QTest::newRow("UPS, one past the table") << "0" << "78" << false;
    QTest::newRow("UPS, negative") << "1" << "-1" << false;
    QTest::newRow("UPS, huge") << "0" << "4294967296" << false;
    QTest::newRow("inverter, discharge depth code") << "3" << "77" << true;
    QTest::newRow("inverter, one past the table") << "4" << "78" << false;
    QTest::newRow("inverter, negative") << "3" << "-2" << false;
    QTest::newRow("UPS, not a number") << "0" << "abc" << false;
    QTest::newRow("inverter, not a number") << "3" << "x1" << false;
    QTest::newRow("UPS, empty text") << "1" << "" << false;
    QTest::newRow("UPS, NULL") << "0" << "NULL" << false;
    QTest::newRow("inverter, no code column") << "4" << "DROP" << false;
}

void TestHistoryPages::eventCodesOutOfRange()
{
    QFETCH(QString, protocol);
    QFETCH(QString, code);
    QFETCH(bool, known);
    setDeviceState(protocol, Masks(), CommOk);
    const DeviceFamily family = deviceFamily(protocol);
    QVERIFY(writeHistoryRows(HistoryFile::EventLog, family, "202601", {eventRow(family, "2026/01/15 10:00:00", code)}));
    const QString path = historyFilePath(HistoryFile::EventLog, family, QStringLiteral("202601"));
    if (code == "NULL")
        QCOMPARE(runSqlite3(path, "update alarmdata set Description=NULL"), QString());
    if (code == "DROP")
        QCOMPARE(runSqlite3(path, "alter table alarmdata drop column Description"), QString());
    const QList<QVariant> reply = page(request("record_eventdata", "202601", "0"));
    const QJsonObject json = QJsonDocument::fromJson(reply.at(2).toString().toUtf8()).object();
    const QStringList table = family == DeviceFamily::Inverter ? inverterEventTexts : upsEventTexts;
    const QString text = known ? table.at(code.toInt()) : QString();
    QVERIFY(!known || !text.isEmpty());
    // The time, the event text, then the inverter's value columns.
    QCOMPARE(json.value("value").toString().section('|', 0, 1), QStringLiteral("2026/01/15 10:00:00|") + text);
}

void TestHistoryPages::cellsAsStored()
{
    const QString odd = QStringLiteral("a|b@c#d\"e");
    QVERIFY(writeHistoryRows(HistoryFile::DayGen, DeviceFamily::ThreePhaseUps, "20260115", {dayRow(1, 0, odd)}));
    QVERIFY(writeHistoryRows(HistoryFile::SmsLog, DeviceFamily::ThreePhaseUps, "202601",
                             {{"2026/01/15 10:00:00", "555\"1", odd, "1"}}));
    QVERIFY(writeHistoryRows(HistoryFile::AnalogData, DeviceFamily::ThreePhaseUps, "20260115",
                             {{"2026/01/15 10:00", "x", "y", "z", odd}}));
    QCOMPARE(page(request("report_day", "20260115", "0")).at(3).toString(), "2026/01/15 01:00|" + odd);
    QCOMPARE(page(request("record_smsdata", "202601", "0")).at(2).toString(),
             "2026/01/15 10:00:00|555\"1|" + odd + "|1");
    // Inside the record page's JSON a quote travels escaped, so the page still parses and
    // shows the cell as stored.
    Masks m;
    m.bat = 0x10;
    setDeviceState("0", m, CommOk);
    const QString json = page(request("record_analogdata", "20260115", "0")).at(2).toString();
    QCOMPARE(QJsonDocument::fromJson(json.toUtf8()).object().value("value").toString(),
             "2026/01/15 10:00|" + odd);
}

void TestHistoryPages::unreadableFiles()
{
    // A file without its table (a zero-length file of the right name).
    const DeviceFamily f = DeviceFamily::ThreePhaseUps;
    const QString path = historyFilePath(HistoryFile::EventLog, f, QStringLiteral("202601"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QList<QVariant> reply = page(request("record_eventdata", "202601", "0"));
    QCOMPARE(reply.at(0).toString(), QStringLiteral("0"));
    QCOMPARE(reply.at(1).toString(), QStringLiteral("0"));
    const QJsonObject json = QJsonDocument::fromJson(reply.at(2).toString().toUtf8()).object();
    QCOMPARE(json.value("key").toString(), "DateTime#Event Description#" + defaultKeys());
    QCOMPARE(json.value("value").toString(), QString());
    QCOMPARE(QFileInfo(path).size(), 0); // a reader never writes
}

void TestHistoryPages::busyFileIsAnsweredAsBusy_data()
{
    QTest::addColumn<QString>("requestText");
    QTest::addColumn<int>("file");
    QTest::addColumn<QString>("answer"); // what sigHistoryBusy carries
    QTest::newRow("day report") << request("report_day", "20260115", "0") << int(HistoryFile::DayGen) << "report_day";
    QTest::newRow("events") << request("record_eventdata", "202601", "1") << int(HistoryFile::EventLog)
                            << "record_eventdata";
    QTest::newRow("SMS log") << request("record_smsdata", "202601", "0") << int(HistoryFile::SmsLog) << "record_smsdata";
    QTest::newRow("day chart") << R"({"dateTime":"20260115","flag":"chartday"})" << int(HistoryFile::DayGen)
                               << "chartday";
    QTest::newRow("total chart") << R"({"dateTime":"","flag":"charttotal"})" << int(HistoryFile::TotalGen)
                                 << "charttotal";
}

void TestHistoryPages::busyFileIsAnsweredAsBusy()
{
    QFETCH(QString, requestText);
    QFETCH(int, file);
    QFETCH(QString, answer);
    const HistoryFile kind = HistoryFile(file);
    const DeviceFamily f = DeviceFamily::ThreePhaseUps;
    const QString period = periodText(historyPeriod(kind), QDate(2026, 1, 15));
    QVERIFY(writeHistoryRows(kind, f, period, {QStringList{"1", "2026/01/15 00:05", "3"}}));
    SqliteLockHolder holder;
    QVERIFY(holder.start({historyFilePath(kind, f, period)}, SqliteLockHolder::kUntilReleased));

    QSignalSpy busy(bridge.get(), &qmlobject::sigHistoryBusy);
    std::vector<std::unique_ptr<QSignalSpy>> others;
    for (const char *reply : {SIGNAL(sigReport(QString, QString, QString, QString)),
                              SIGNAL(sigAnalogDataRecord(QString, QString, QString)),
                              SIGNAL(sigEventDataRecord(QString, QString, QString)),
                              SIGNAL(sigSMSDataRecord(QString, QString, QString)), SIGNAL(sigChartDay(QString)),
                              SIGNAL(sigChartMonth(QString)), SIGNAL(sigChartYear(QString)), SIGNAL(sigChartTotal(QString))})
        others.push_back(std::make_unique<QSignalSpy>(bridge.get(), reply));
    QElapsedTimer timer;
    timer.start();
    if (answer.startsWith("chart"))
        bridge->handlegetChartData(requestText);
    else
        bridge->handleReportRecord(requestText);
    const qint64 waited = timer.elapsed();
    QVERIFY(holder.release());
    qsizetype otherReplies = 0;
    for (const auto &spy : others)
        otherReplies += spy->count();
    // The one answer says the file is busy, in place of an empty page the user would
    // take for a period without history.
    QCOMPARE(otherReplies, 0);
    QCOMPARE(busy.count(), 1);
    QCOMPARE(busy.at(0).at(0).toString(), answer);
    // Far below the seconds a statement waits elsewhere: the window did not freeze.
    QVERIFY2(waited < 2000, qPrintable(QString::number(waited)));
}

void TestHistoryPages::unknownTypeGetsNoReply()
{
    QVERIFY(writeHistoryRows(HistoryFile::DayGen, DeviceFamily::ThreePhaseUps, "20260115", {dayRow(1, 0, "1")}));
    QSignalSpy report(bridge.get(), &qmlobject::sigReport);
    for (const char *text : {"{\"type\":\"Report_day\",\"datetime\":\"20260115\"}", "{\"type\":\"report_week\"}",
                             "not json", ""})
        bridge->handleReportRecord(QString::fromLatin1(text));
    QCOMPARE(report.count(), 0);
}

void TestHistoryPages::largeEventLog()
{
    const DeviceFamily f = DeviceFamily::ThreePhaseUps;
    QVERIFY(writeHistoryRows(HistoryFile::EventLog, f, "202601", {}));
    const QString path = historyFilePath(HistoryFile::EventLog, f, QStringLiteral("202601"));
    // 400 000 events, one every 6 s from 2026-01-01; row n has code n % 78 and value "n".
    QStringList values{"strftime('%Y/%m/%d %H:%M:%S', 1767225600 + n * 6, 'unixepoch')"};
    for (int p = 1; p < 33; ++p)
        values << "n";
    values << "n % 78";
    const QString sql = QStringLiteral("with recursive s(n) as (select 0 union all select n + 1 from s where n < 399999) "
                                       "insert into alarmdata select %1 from s;")
                            .arg(values.join(','));
    QCOMPARE(runSqlite3(path, sql), QString());
    Masks m;
    m.bat = 0x10; // one value column: position 4
    setDeviceState("0", m, CommOk);

    auto rowText = [](qint64 n) {
        const QDateTime t = QDateTime::fromSecsSinceEpoch(1767225600 + n * 6, Qt::UTC);
        return QStringLiteral("%1|%2|%3")
            .arg(t.toString("yyyy/MM/dd hh:mm:ss"), upsEventTexts.at(int(n % 78)), QString::number(n));
    };
    auto pageText = [&](qint64 newest, qint64 count) {
        QStringList rows;
        for (qint64 n = newest; n > newest - count; --n)
            rows << rowText(n);
        return rows.join('@');
    };
    const QList<std::tuple<QString, qint64, qint64>> pages = {
        {"0", 399999, 10}, {"19999", 200009, 10}, {"20000", 199999, 10}, {"39999", 9, 10}, {"40000", -1, 0}};
    for (const auto &[number, newest, count] : pages) {
        QElapsedTimer timer;
        timer.start();
        const QList<QVariant> reply = page(request("record_eventdata", "202601", number));
        qInfo() << "page" << number << timer.elapsed() << "ms";
        QCOMPARE(reply.at(1).toString(), QStringLiteral("400000"));
        const QJsonObject json = QJsonDocument::fromJson(reply.at(2).toString().toUtf8()).object();
        QCOMPARE(json.value("value").toString(), count ? pageText(newest, count) : QString());
    }
}

void TestHistoryPages::pagesFollowTheFile()
{
    const DeviceFamily f = DeviceFamily::ThreePhaseUps;
    QList<QStringList> rows;
    for (int i = 0; i < 12; ++i)
        rows << eventRow(f, QStringLiteral("2026/01/15 10:%1:00").arg(i, 2, 10, QLatin1Char('0')), "1");
    QVERIFY(writeHistoryRows(HistoryFile::EventLog, f, "202601", rows));
    auto first = [&](const QString &pageNo) {
        const QList<QVariant> reply = page(request("record_eventdata", "202601", pageNo));
        const QString value = QJsonDocument::fromJson(reply.at(2).toString().toUtf8()).object().value("value").toString();
        return reply.at(1).toString() + " " + value.section('|', 0, 0);
    };
    QCOMPARE(first("0"), QStringLiteral("12 2026/01/15 10:11:00"));
    QCOMPARE(first("1"), QStringLiteral("12 2026/01/15 10:01:00"));
    // The writer appends: the next page request sees the new row at once.
    QVERIFY(writeHistoryRows(HistoryFile::EventLog, f, "202601", {eventRow(f, "2026/01/15 10:30:00", "2")}));
    QCOMPARE(first("0"), QStringLiteral("13 2026/01/15 10:30:00"));
    // An older row written late goes to its place in time.
    QVERIFY(writeHistoryRows(HistoryFile::EventLog, f, "202601", {eventRow(f, "2026/01/15 09:00:00", "2")}));
    QCOMPARE(first("1"), QStringLiteral("14 2026/01/15 10:02:00"));
    // A cleared file written again from the start.
    QVERIFY(QFile::remove(historyFilePath(HistoryFile::EventLog, f, QStringLiteral("202601"))));
    QVERIFY(writeHistoryRows(HistoryFile::EventLog, f, "202601", {eventRow(f, "2026/01/15 11:00:00", "2")}));
    QCOMPARE(first("0"), QStringLiteral("1 2026/01/15 11:00:00"));
    // Two rows of one time keep the order they were written in, the later first.
    QVERIFY(writeHistoryRows(HistoryFile::EventLog, f, "202601", {eventRow(f, "2026/01/15 11:00:00", "7")}));
    const QList<QVariant> tie = page(request("record_eventdata", "202601", "0"));
    const QString value = QJsonDocument::fromJson(tie.at(2).toString().toUtf8()).object().value("value").toString();
    QCOMPARE(value.split('@').value(0).section('|', 1, 1), upsEventTexts.at(7));
    QCOMPARE(value.split('@').value(1).section('|', 1, 1), upsEventTexts.at(2));
}

void TestHistoryPages::charts_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QString>("reply");
    auto zeros = [](int n) { return QStringList(n, QStringLiteral("0")).join('#'); };
    QTest::newRow("day: the example") << "chartday"
                                      << QList<QStringList>{dayRow(0, 10, "120"), dayRow(0, 15, "130"),
                                                            dayRow(0, 30, "150")}
                                      << "0#0#120#130#0#0#150";
    QTest::newRow("day: first row at midnight") << "chartday" << QList<QStringList>{dayRow(0, 0, "7"), dayRow(0, 5, "8")}
                                                << "7#8";
    QTest::newRow("day: first row at six") << "chartday" << QList<QStringList>{dayRow(6, 0, "9")}
                                           << zeros(72) + "#9";
    QTest::newRow("day: two rows of one slot, the first stays")
        << "chartday" << QList<QStringList>{dayRow(1, 0, "1"), dayRow(1, 2, "2"), dayRow(1, 5, "3")} << zeros(12) + "#1#3";
    QTest::newRow("day: a missed save keeps later rows in their slots")
        << "chartday" << QList<QStringList>{dayRow(0, 10, "1"), dayRow(0, 40, "2"), dayRow(0, 45, "3")}
        << "0#0#1#0#0#0#0#0#2#3";
    QTest::newRow("day: a whole day") << "chartday"
                                      << [] {
                                             QList<QStringList> r;
                                             for (int s = 0; s < 288; ++s)
                                                 r << dayRow(s * 5 / 60, s * 5 % 60, "1");
                                             return r;
                                         }()
                                      << QStringList(288, "1").join('#');
    QTest::newRow("day: no rows") << "chartday" << QList<QStringList>{} << "";
    QTest::newRow("month: days 1, 2 and 5") << "chartmonth"
                                            << QList<QStringList>{{"1", "2026/01/01", "3.5"}, {"2", "2026/01/02", "4"},
                                                                  {"5", "2026/01/05", "1.25"}}
                                            << "1|3.5@2|4@5|1.25";
    QTest::newRow("year: months") << "chartyear" << QList<QStringList>{{"1", "2026/01", "30"}, {"3", "2026/03", "41"}}
                                  << "1|30@3|41";
    QTest::newRow("total: two years padded to fifteen")
        << "charttotal" << QList<QStringList>{{"2023", "100"}, {"2024", "200"}}
        << "2023|100@2024|200@2022|0@2021|0@2020|0@2019|0@2018|0@2017|0@2016|0@2015|0@2014|0@2013|0@2012|0@2011|0@"
           "2010|0";
    QList<QStringList> sixteen;
    QStringList sixteenText;
    for (int y = 2000; y < 2016; ++y) {
        sixteen << QStringList{QString::number(y), QString::number(y - 1999)};
        sixteenText << QStringLiteral("%1|%2").arg(y).arg(y - 1999);
    }
    QTest::newRow("total: sixteen years as stored") << "charttotal" << sixteen << sixteenText.join('@');
    QTest::newRow("total: no rows") << "charttotal" << QList<QStringList>{} << "";
    QStringList bottom{"-2147483648|1"};
    for (qint64 y = -2147483649LL; bottom.size() < 15; --y)
        bottom << QStringLiteral("%1|0").arg(y);
    QTest::newRow("total: the first year at the bottom of int")
        << "charttotal" << QList<QStringList>{{"-2147483648", "1"}} << bottom.join('@');
    QTest::newRow("month: no rows") << "chartmonth" << QList<QStringList>{} << "";
}

void TestHistoryPages::charts()
{
    QFETCH(QString, flag);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QString, reply);
    const std::optional<ChartKind> kind = chartKindOf(flag);
    QVERIFY(kind);
    const HistoryFile file = chartKindFile(*kind);
    const QString period = periodText(historyPeriod(file), QDate(2026, 1, 15));
    QVERIFY(writeHistoryRows(file, DeviceFamily::ThreePhaseUps, period, rows));
    QSignalSpy day(bridge.get(), &qmlobject::sigChartDay);
    QSignalSpy month(bridge.get(), &qmlobject::sigChartMonth);
    QSignalSpy year(bridge.get(), &qmlobject::sigChartYear);
    QSignalSpy total(bridge.get(), &qmlobject::sigChartTotal);
    bridge->handlegetChartData(QStringLiteral("{\"dateTime\":\"%1\",\"flag\":\"%2\"}").arg(period, flag));
    QSignalSpy *spy = *kind == ChartKind::Day ? &day : *kind == ChartKind::Month ? &month
                      : *kind == ChartKind::Year ? &year : &total;
    QCOMPARE(day.count() + month.count() + year.count() + total.count(), 1);
    QCOMPARE(spy->count(), 1);
    QCOMPARE(spy->at(0).at(0).toString(), reply);
}

void TestHistoryPages::chartFileChoice()
{
    QVERIFY(writeHistoryRows(HistoryFile::DayGen, DeviceFamily::ThreePhaseUps, "20240501", {dayRow(0, 0, "3")}));
    QVERIFY(writeHistoryRows(HistoryFile::DayGen, DeviceFamily::Inverter, "20240501", {dayRow(0, 0, "4")}));
    QSignalSpy day(bridge.get(), &qmlobject::sigChartDay);
    QSignalSpy month(bridge.get(), &qmlobject::sigChartMonth);
    QSignalSpy total(bridge.get(), &qmlobject::sigChartTotal);
    QSignalSpy report(bridge.get(), &qmlobject::sigReport);
    auto ask = [&](const QString &dateTime, const QString &flag) {
        bridge->handlegetChartData(QStringLiteral("{\"dateTime\":\"%1\",\"flag\":\"%2\"}").arg(dateTime, flag));
    };
    ask("20240501", "chartday");
    setProtocol("4");
    ask("20240501", "chartday");
    ask("/../../20240501", "chartday");
    ask("202405", "chartmonth");    // missing file
    ask("", "charttotal");          // missing file
    ask("20240501", "chartweek");   // no such chart: no reply
    bridge->handlegetChartData("not json");
    QCOMPARE(day.count(), 3);
    QCOMPARE(day.at(0).at(0).toString(), QStringLiteral("3"));
    QCOMPARE(day.at(1).at(0).toString(), QStringLiteral("4"));
    QCOMPARE(day.at(2).at(0).toString(), QString());
    QCOMPARE(month.count(), 1);
    QCOMPARE(month.at(0).at(0).toString(), QString());
    QCOMPARE(total.count(), 1);
    QCOMPARE(total.at(0).at(0).toString(), QString());
    QCOMPARE(report.count(), 0);
    // A chart never creates the files it looks for.
    QVERIFY(!QFileInfo::exists(historyFilePath(HistoryFile::TotalGen, DeviceFamily::Inverter, QString())));
    QVERIFY(!QFileInfo::exists(historyFilePath(HistoryFile::MonthGen, DeviceFamily::Inverter, QStringLiteral("202405"))));
}

QTEST_MAIN(TestHistoryPages)
#include "tst_historypages.moc"
