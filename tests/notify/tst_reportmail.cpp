// The report mail: its CSV written from a real generation file, the multipart mail as a
// real server (aiosmtpd) receives it and Python's e-mail package reads it, the exact wire
// lines at a scripted peer, and the base64 line breaks of the attachment.
#include "notify/mailfile.h"
#include "notify/smtp.h"

#include "core/devicestate.h"
#include "core/historyfiles.h"
#include "core/paths.h"
#include "core/settings.h"
#include "history/data_thread.h"
#include "tests/notify/smtpfixture.h"
#include "tests/support/testenv.h"

#include <QDir>
#include <QHostInfo>
#include <QJsonArray>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {
const QString kSender = QStringLiteral("kestrava@example.com");
const QStringList kTwo{QStringLiteral("alice@example.com"), QStringLiteral("bob@example.com")};

SmtpConfig6 plainConfig(quint16 port)
{
    return {smtpSenderName(kSender), kSender, QStringLiteral("127.0.0.1"), QString::number(port),
            QStringLiteral("1"), QStringLiteral("1")};
}

void useSettings(const QString &protocol, const QString &lang)
{
    QWriteLocker locker(&settingsLock);
    deviceSettings.comProtocol = protocol;
    systemSettings.lang = lang;
}

QStringList sendReport(Smtp &smtp, const QStringList &to, const QString &period)
{
    QSignalSpy results(&smtp, &Smtp::ErrorCloseAll);
    smtp.sendReportMail(to, period, period, period);
    QStringList out;
    for (const QList<QVariant> &args : results)
        out << args.at(0).toString();
    return out;
}

// The two columns a report lists, as the command-line tool reads them from the file.
QString sqliteCsv(const QString &path, const QString &sql)
{
    QProcess tool;
    tool.start(QStringLiteral("sqlite3"), {QStringLiteral("-readonly"), QStringLiteral("-separator"),
                                           QStringLiteral(","), path, sql});
    if (!tool.waitForFinished(10000) || tool.exitCode() != 0)
        return QStringLiteral("sqlite3 failed: ") + QString::fromUtf8(tool.readAllStandardError());
    return QString::fromUtf8(tool.readAllStandardOutput());
}

void setPvValues(const QString &dayGen, const QString &inverterPower)
{
    QWriteLocker locker(&upsInfo.lock);
    upsInfo.values[PVDayGen] = dayGen;
    inverterInfo.values[131] = inverterPower;
}

QString lf(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}
}

class TestReportMail : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void reportAtRealServer_data();
    void reportAtRealServer();
    void reportOfTheHistoryThreadsFiles_data();
    void reportOfTheHistoryThreadsFiles();
    void reportFileAsWritten();
    void reportWithoutGenerationFile();
    void failedReportLeavesNoFile();
    void unreadableGenerationFile_data();
    void unreadableGenerationFile();
    void unknownPeriodWritesNothing();
    void wireLines();
    void base64Lines_data();
    void base64Lines();
    void unreadableAttachment();

private:
    SmtpServer server;
    std::unique_ptr<TestEnv> env;
};

void TestReportMail::initTestCase()
{
    QVERIFY2(server.start(), qPrintable(server.error()));
}

void TestReportMail::init()
{
    // 18:00 on the 8th: the day report lists the rows written so far today.
    env = std::make_unique<TestEnv>(QDateTime(QDate(2026, 5, 8), QTime(18, 0)));
    server.clearMessages();
}

void TestReportMail::cleanup()
{
    env.reset();
}

void TestReportMail::reportAtRealServer_data()
{
    QTest::addColumn<QString>("period");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<int>("file"); // HistoryFile
    QTest::addColumn<QList<QStringList>>("rows"); // as the history thread stores them
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("csv");

    const QList<QStringList> dayRows{{"1", "2026/05/08 08:00", "0.52"}, {"2", "2026/05/08 08:05", "0.61"},
                                     {"3", "2026/05/08 08:10", "1.07"}};
    QTest::newRow("day, three-phase UPS, English")
        << "day" << "0" << "1" << int(HistoryFile::DayGen) << dayRows << "Day Report" << "DayReport20260508.csv"
        << "Date,Gen\n2026/05/08 08:00,0.52\n2026/05/08 08:05,0.61\n2026/05/08 08:10,1.07\n";
    QTest::newRow("month, inverter, Chinese")
        << "month" << "3" << "0" << int(HistoryFile::MonthGen)
        << QList<QStringList>{{"1", "2026-05-01", "12.5"}, {"2", "2026-05-02", "9.75"}} << "月报表"
        << "MonthReport202605.csv" << "日期,发电量\n2026-05-01,12.5\n2026-05-02,9.75\n";
    QTest::newRow("year, single-phase UPS over HID, English")
        << "year" << "2" << "1" << int(HistoryFile::YearGen)
        << QList<QStringList>{{"1", "2026-04", "310.2"}} << "Year Report" << "YearReport2026.csv"
        << "Date,Gen\n2026-04,310.2\n";
    // A row another program wrote: a field holding a comma and quotes is quoted.
    QTest::newRow("month, a foreign generation text")
        << "month" << "0" << "1" << int(HistoryFile::MonthGen)
        << QList<QStringList>{{"1", "2026-05-01", "12.5"}, {"2", "2026-05-02", "7,5 \"kWh\""}} << "Month Report"
        << "MonthReport202605.csv" << "Date,Gen\n2026-05-01,12.5\n2026-05-02,\"7,5 \"\"kWh\"\"\"\n";
    QTest::newRow("day, Chinese, no row yet")
        << "day" << "4" << "0" << int(HistoryFile::DayGen) << QList<QStringList>{} << "日报表"
        << "DayReport20260508.csv" << "日期,发电量\n";
}

void TestReportMail::reportAtRealServer()
{
    QFETCH(QString, period);
    QFETCH(QString, protocol);
    QFETCH(QString, lang);
    QFETCH(int, file);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QString, subject);
    QFETCH(QString, fileName);
    QFETCH(QString, csv);

    useSettings(protocol, lang);
    QVERIFY(writeGenerationFile(HistoryFile(file), deviceFamily(protocol), env->clock().now().date(), rows));
    Smtp smtp(plainConfig(server.plainPort()));
    QCOMPARE(sendReport(smtp, kTwo, period), QStringList{QStringLiteral("success")});

    // Written in a folder of its own under the temporary folder, not the working folder,
    // and gone once sent.
    QCOMPARE(QFileInfo(smtp.reportFileName()).fileName(), fileName);
    QVERIFY2(smtp.reportFileName().startsWith(QDir::tempPath() + QLatin1Char('/')), qPrintable(smtp.reportFileName()));
    QVERIFY(!QFileInfo::exists(smtp.reportFileName()));
    QVERIFY(!QFileInfo::exists(fileName));

    QCOMPARE(server.messageFiles().size(), 1);
    const QJsonObject m = SmtpServer::parseMessage(server.messageFiles().first());
    QVERIFY2(!m.contains(QLatin1String("failure")), qPrintable(m.value(QLatin1String("failure")).toString()));
    QCOMPARE(m.value(QLatin1String("subject")).toString(), subject);
    QCOMPARE(jsonTexts(m.value(QLatin1String("to"))), kTwo);
    QCOMPARE(m.value(QLatin1String("from_addr")).toString(), kSender);
    QCOMPARE(m.value(QLatin1String("content_type")).toString(), QStringLiteral("multipart/mixed"));
    const QJsonArray parts = m.value(QLatin1String("parts")).toArray();
    QCOMPARE(parts.size(), 2);
    const QJsonObject html = parts.at(0).toObject();
    QCOMPARE(html.value(QLatin1String("content_type")).toString(), QStringLiteral("text/html"));
    QCOMPARE(lf(html.value(QLatin1String("body")).toString()).trimmed(), subject);
    const QJsonObject attachment = parts.at(1).toObject();
    QCOMPARE(attachment.value(QLatin1String("content_type")).toString(), QStringLiteral("application/octet-stream"));
    QCOMPARE(attachment.value(QLatin1String("filename")).toString(), fileName);
    QCOMPARE(attachment.value(QLatin1String("body")).toString(), csv);
}

void TestReportMail::reportOfTheHistoryThreadsFiles_data()
{
    QTest::addColumn<QString>("period");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("file");
    QTest::addColumn<QString>("query");
    QTest::newRow("month, three-phase UPS") << "month" << "0" << int(HistoryFile::MonthGen)
                                            << "select Date,Gen from monthgen";
    QTest::newRow("year, single-phase UPS") << "year" << "1" << int(HistoryFile::YearGen)
                                            << "select Date,Gen from yeargen";
    QTest::newRow("day, inverter") << "day" << "3" << int(HistoryFile::DayGen) << "select Date,Power from daygen";
}

void TestReportMail::reportOfTheHistoryThreadsFiles()
{
    QFETCH(QString, period);
    QFETCH(QString, protocol);
    QFETCH(int, file);
    QFETCH(QString, query);

    // The history thread's own writers fill the file the report reads.
    useSettings(protocol, QStringLiteral("1"));
    data_thread history;
    const QDateTime saves[] = {QDateTime(QDate(2026, 5, 8), QTime(8, 0)), QDateTime(QDate(2026, 5, 8), QTime(8, 5)),
                               QDateTime(QDate(2026, 5, 8), QTime(17, 55))};
    const char *dayGens[] = {"3.25", "4.5", "12.75"};
    for (int i = 0; i < 3; ++i) {
        setPvValues(QLatin1String(dayGens[i]), QString::number(1200 + 100 * i));
        if (period == QLatin1String("month"))
            history.saveMonth(saves[i], protocol);
        else if (period == QLatin1String("year"))
            history.saveYear(saves[i], protocol);
        else
            history.saveDayPower(saves[i]);
    }
    const QString dbPath = historyFilePath(HistoryFile(file), deviceFamily(protocol), QDate(2026, 5, 8));
    const QString rows = sqliteCsv(dbPath, query);
    QVERIFY2(!rows.isEmpty() && !rows.startsWith(QLatin1String("sqlite3 failed")), qPrintable(rows));

    Smtp smtp(plainConfig(server.plainPort()));
    QCOMPARE(sendReport(smtp, kTwo, period), QStringList{QStringLiteral("success")});
    QCOMPARE(server.messageFiles().size(), 1);
    const QJsonArray parts =
        SmtpServer::parseMessage(server.messageFiles().first()).value(QLatin1String("parts")).toArray();
    QCOMPARE(parts.size(), 2);
    QCOMPARE(parts.at(1).toObject().value(QLatin1String("body")).toString(), QStringLiteral("Date,Gen\n") + rows);
}

void TestReportMail::reportFileAsWritten()
{
    // UTF-8 without a byte order mark, LF line ends, RFC 4180 quoting, read back byte by byte.
    useSettings(QStringLiteral("3"), QStringLiteral("0"));
    QVERIFY(writeGenerationFile(HistoryFile::YearGen, DeviceFamily::Inverter, QDate(2026, 5, 8),
                                {{"1", "2026-04", "310.2"}, {"2", "2026-05", "a\r\nb"}, {"3", "x,\"y\"", "1"}}));
    Smtp smtp;
    smtp.createReportFile(QStringLiteral("year"));
    QFile file(smtp.reportFileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("\xe6\x97\xa5\xe6\x9c\x9f,\xe5\x8f\x91\xe7\x94\xb5\xe9\x87\x8f\n"
                                        "2026-04,310.2\n"
                                        "2026-05,\"a\r\nb\"\n"
                                        "\"x,\"\"y\"\"\",1\n"));
}

void TestReportMail::reportWithoutGenerationFile()
{
    useSettings(QStringLiteral("0"), QStringLiteral("1"));
    const QString dbPath = historyFilePath(HistoryFile::MonthGen, DeviceFamily::ThreePhaseUps, QDate(2026, 5, 8));
    Smtp smtp(plainConfig(server.plainPort()));
    QCOMPARE(sendReport(smtp, kTwo, QStringLiteral("month")), QStringList{QStringLiteral("success")});
    // The reader leaves the history folder as it found it.
    QVERIFY(!QFileInfo::exists(dbPath));
    QCOMPARE(server.messageFiles().size(), 1);
    const QJsonArray parts =
        SmtpServer::parseMessage(server.messageFiles().first()).value(QLatin1String("parts")).toArray();
    QCOMPARE(parts.size(), 2);
    QCOMPARE(parts.at(1).toObject().value(QLatin1String("body")).toString(), QStringLiteral("Date,Gen\n"));
}

void TestReportMail::failedReportLeavesNoFile()
{
    useSettings(QStringLiteral("0"), QStringLiteral("1"));
    QVERIFY(writeGenerationFile(HistoryFile::DayGen, DeviceFamily::ThreePhaseUps, QDate(2026, 5, 8),
                                {{"1", "2026/05/08 08:00", "0.52"}}));
    Smtp smtp(plainConfig(unusedPort()));
    QCOMPARE(sendReport(smtp, kTwo, QStringLiteral("day")), QStringList{QStringLiteral("error")});
    QVERIFY(!smtp.reportFileName().isEmpty());
    QVERIFY(!QFileInfo::exists(smtp.reportFileName()));
}

void TestReportMail::unreadableGenerationFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("outcome");
    QTest::addColumn<int>("mails");
    // Not a database: the rows cannot be read, and a mail with an empty list would say
    // the month produced nothing.
    QTest::newRow("not a database") << QByteArray(4096, 'x') << QStringList{"error"} << 0;
    // An empty file is a database without tables: opened and never written, no rows yet.
    QTest::newRow("no table yet") << QByteArray() << QStringList{"success"} << 1;
}

void TestReportMail::unreadableGenerationFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, outcome);
    QFETCH(int, mails);

    useSettings(QStringLiteral("0"), QStringLiteral("1"));
    const QString dbPath = historyFilePath(HistoryFile::MonthGen, DeviceFamily::ThreePhaseUps, QDate(2026, 5, 8));
    QVERIFY(QDir().mkpath(QFileInfo(dbPath).path()));
    QFile file(dbPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    if (mails == 0)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("report: cannot read"));
    Smtp smtp(plainConfig(server.plainPort()));
    QCOMPARE(sendReport(smtp, kTwo, QStringLiteral("month")), outcome);
    QCOMPARE(server.messageFiles().size(), mails);
    QVERIFY(!QFileInfo::exists(smtp.reportFileName()));
    if (mails == 0)
        QCOMPARE(smtp.failureReason(), QStringLiteral("the month report could not be written"));
}

void TestReportMail::unknownPeriodWritesNothing()
{
    Smtp smtp;
    smtp.createReportFile(QStringLiteral("week"));
    QCOMPARE(smtp.reportFileName(), QString());
}

void TestReportMail::wireLines()
{
    useSettings(QStringLiteral("0"), QStringLiteral("1"));
    // 57 bytes of CSV: exactly 76 base64 characters, so one break before the last.
    QVERIFY(writeGenerationFile(HistoryFile::DayGen, DeviceFamily::ThreePhaseUps, QDate(2026, 5, 8),
                                {{"1", "2026/05/08 08:00", "0.520"}, {"2", "2026/05/08 08:05", "10.6100"}}));
    const QString csv = QStringLiteral("Date,Gen\n2026/05/08 08:00,0.520\n2026/05/08 08:05,10.6100\n");
    QCOMPARE(csv.size(), 57);
    const QString base64 = QString::fromLatin1(csv.toUtf8().toBase64());

    const QStringList script{">220 ready\r\n", "<", ">250 ok\r\n", "<", ">250 ok\r\n", "<", ">250 ok\r\n",
                             "<", ">354 go ahead\r\n", "<data", ">250 stored\r\n"};
    ScriptedSmtpPeer peer(script);
    const quint16 port = peer.listen();
    QVERIFY(port != 0);
    Smtp smtp(plainConfig(port));
    QCOMPARE(sendReport(smtp, {QStringLiteral("alice@example.com")}, QStringLiteral("day")),
             QStringList{QStringLiteral("success")});
    const QStringList received = peer.finish();
    const qsizetype data = received.indexOf(QStringLiteral("DATA"));
    QVERIFY(data > 0);
    const QStringList lines = received.mid(data + 1, received.indexOf(QStringLiteral("."), data) - data - 1);
    const QStringList expected{
        Smtp::dateHeader(),
        "User-Agent: Mozilla Thunderbird 1.0.6 (Macintosh/20050716)",
        "MIME-Version: 1.0",
        "To: <alice@example.com>",
        "From: \"=?utf-8?B?a2VzdHJhdmE=?=\" <kestrava@example.com>",
        "Subject: =?utf-8?B?RGF5IFJlcG9ydA==?=",
        "Content-type:multipart/mixed;boundary=\"===qzwtestformail\"",
        "",
        "",
        "--===qzwtestformail",
        "Content-Type: text/html; charset=UTF-8;",
        "Content-transfer-encoding: 7BIT",
        "",
        "",
        "",
        "Day Report",
        "",
        "--===qzwtestformail",
        "Content-transfer-encoding:Base64",
        "Content-type:application/octet-stream;name=\"DayReport20260508.csv\"",
        "Content-disposition:attachment;filename=\"DayReport20260508.csv\"",
        "",
        "",
        base64.left(75),
        base64.mid(75),
        "",
        "--===qzwtestformail--",
        "",
    };
    QCOMPARE(lines, expected);
}

void TestReportMail::base64Lines_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QList<int>>("lineLengths");
    QTest::newRow("empty file") << 0 << QList<int>{0};
    QTest::newRow("72 characters: one line") << 54 << QList<int>{72};
    QTest::newRow("76 characters: 75 and 1") << 57 << QList<int>{75, 1};
    QTest::newRow("152 characters: 75, 74 and 3") << 114 << QList<int>{75, 74, 3};
    QTest::newRow("224 characters: 75, 74, 74 and 1") << 168 << QList<int>{75, 74, 74, 1};
}

void TestReportMail::base64Lines()
{
    QFETCH(int, bytes);
    QFETCH(QList<int>, lineLengths);
    QFile file(env->root() + QStringLiteral("/part.csv"));
    QByteArray content;
    for (int i = 0; i < bytes; ++i)
        content += char('A' + i % 26);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    MailFile part(&file);
    const QString text = part.toString();
    QList<int> lengths;
    for (const QString &line : text.split(QStringLiteral("\r\n")))
        lengths << int(line.size());
    QCOMPARE(lengths, lineLengths);
    QCOMPARE(QByteArray::fromBase64(text.toLatin1()), content);
    QCOMPARE(part.fullPath(), file.fileName());
}

void TestReportMail::unreadableAttachment()
{
    // A report file that could not be written still gives a part, named and empty.
    QFile missing(env->root() + QStringLiteral("/DayReport20260508.csv"));
    Attachment part(&missing);
    QCOMPARE(part.toString(), QStringLiteral("Content-transfer-encoding:Base64\r\n"
                                             "Content-type:application/octet-stream;name=\"DayReport20260508.csv\"\r\n"
                                             "Content-disposition:attachment;filename=\"DayReport20260508.csv\"\r\n"
                                             "\r\n\r\n\r\n"));
}

QTEST_GUILESS_MAIN(TestReportMail)
#include "tst_reportmail.moc"
