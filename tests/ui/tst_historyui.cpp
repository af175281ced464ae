// The History and Charts pages in the real window with the program's own qml/ file and
// real history files: every kind and chart in both languages (with screenshots), paging,
// Clear that asks first, and Save as CSV through the dialog seam.
#include "ui/mainwindow.h"

#include "core/dialogs.h"
#include "core/events.h"
#include "core/historyfiles.h"
#include "core/paths.h"
#include "core/settings.h"
#include "tests/bridge/historyfixture.h"
#include "tests/support/qmlwindow.h"
#include "tests/support/recordingdialogs.h"
#include "tests/support/testenv.h"

#include <QQuickItem>
#include <QQuickWidget>
#include <QtTest>

#include <memory>

namespace {
const QString kProgramQml = QStringLiteral(KESTRAVA_SOURCE_DIR "/qml/qmlmain.qml");
const QDate kDay(2026, 1, 15);

QVariant prop(const QString &itemName, const char *property)
{
    QQuickItem *i = pageItem(itemName);
    return i ? i->property(property) : QVariant();
}

QStringList firstCells(const QString &pageName)
{
    QStringList out;
    for (const QVariant &row : prop(pageName, "rows").toList())
        out << row.toList().value(0).toString();
    return out;
}

// A day of the three-phase UPS with every kind of history: a curve with a missed save,
// 25 snapshots, a month of days, a year of months, years, 12 events and 3 SMS.
void writeHistory()
{
    const DeviceFamily f = DeviceFamily::ThreePhaseUps;
    QList<QStringList> curve;
    for (int slot = 72; slot < 216; ++slot) {
        if (slot >= 130 && slot < 136)
            continue; // a missed save
        const double x = (slot - 144) / 72.0;
        curve << dayRow(slot * 5 / 60, slot * 5 % 60, QString::number(8.0 * (1 - x * x), 'f', 2));
    }
    QVERIFY(writeHistoryRows(HistoryFile::DayGen, f, periodText(HistoryPeriod::Day, kDay), curve));
    QList<QStringList> snapshots;
    for (int i = 0; i < 25; ++i)
        snapshots << analogRow(f, QStringLiteral("2026/01/15 %1:%2").arg(8 + i / 12, 2, 10, QLatin1Char('0'))
                                      .arg(i % 12 * 5, 2, 10, QLatin1Char('0')));
    QVERIFY(writeHistoryRows(HistoryFile::AnalogData, f, "20260115", snapshots));
    QList<QStringList> days;
    for (int d = 1; d <= 15; ++d)
        days << QStringList{QString::number(d), QStringLiteral("2026/01/%1").arg(d, 2, 10, QLatin1Char('0')),
                            QString::number(20 + (d * 7) % 13)};
    QVERIFY(writeHistoryRows(HistoryFile::MonthGen, f, "202601", days));
    QList<QStringList> months;
    for (int m = 1; m <= 12; ++m)
        months << QStringList{QString::number(m), QStringLiteral("2026/%1").arg(m, 2, 10, QLatin1Char('0')),
                              QString::number(300 + 250 * std::sin(m / 2.0))};
    QVERIFY(writeHistoryRows(HistoryFile::YearGen, f, "2026", months));
    QVERIFY(writeHistoryRows(HistoryFile::TotalGen, f, QString(), {{"2024", "3200"}, {"2025", "4100"}, {"2026", "350"}}));
    QList<QStringList> events;
    for (int i = 0; i < 12; ++i)
        events << eventRow(f, QStringLiteral("2026/01/15 10:%1:00").arg(i, 2, 10, QLatin1Char('0')), QString::number(i * 5));
    QVERIFY(writeHistoryRows(HistoryFile::EventLog, f, "202601", events));
    QVERIFY(writeHistoryRows(HistoryFile::SmsLog, f, "202601",
                             {{"2026-01-15 10:00:00", "5550100", "Battery low", "1"},
                              {"2026-01-15 10:05:00", "5550100", "Communication failed", "0"},
                              {"2026-01-15 10:06:00", "5550101", "Communication failed", "1"}}));
}
} // namespace

class TestHistoryUi : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void pagesInBothLanguages_data();
    void pagesInBothLanguages();
    void pagingThroughADay();
    void clearAsksFirst();
    void saveAsCsv();

private:
    void openWindow();
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<MainWindow> window;
    RecordingDialogs answers;
};

void TestHistoryUi::init()
{
    // The clock stands elsewhere, so the history thread writes none of the files shown.
    env = std::make_unique<TestEnv>(QDateTime(QDate(2026, 3, 4), QTime(10, 15)));
    loadAllSettings();
    answers = RecordingDialogs();
    setDialogs(&answers);
    writeHistory();
}

void TestHistoryUi::cleanup()
{
    window.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    setDialogs(nullptr);
    env.reset();
}

void TestHistoryUi::openWindow()
{
    window = std::make_unique<MainWindow>();
    window->loadQmlView(kProgramQml);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QTRY_VERIFY(pageItem(QStringLiteral("historyPage")));
    const QDateTime day(kDay, QTime(12, 0));
    pageItem(QStringLiteral("historyPicker"))->setProperty("date", day);
    settle();
}

// The charts page builds its chart views only while it is on view.
static void showCharts()
{
    showPage(QStringLiteral("charts"));
    QTRY_VERIFY(pageItem(QStringLiteral("dayChart")));
    pageItem(QStringLiteral("chartPicker"))->setProperty("date", QDateTime(kDay, QTime(12, 0)));
    settle();
}

void TestHistoryUi::pagesInBothLanguages_data()
{
    QTest::addColumn<QString>("lang");
    QTest::newRow("English") << "1";
    QTest::newRow("Chinese") << "0";
}

void TestHistoryUi::pagesInBothLanguages()
{
    QFETCH(QString, lang);
    {
        QWriteLocker l(&settingsLock);
        systemSettings.lang = lang;
    }
    initEventTexts();
    QmlWarningRecorder warnings;
    openWindow();

    showPage(QStringLiteral("history"));
    const QList<std::tuple<const char *, int, int>> kinds = {
        {"report_day", 138, 10}, {"report_month", 15, 10}, {"report_year", 12, 10},
        {"record_analogdata", 25, 10}, {"record_eventdata", 12, 10}, {"record_smsdata", 3, 3}};
    for (const auto &[type, count, shown] : kinds) {
        QVERIFY2(click(QStringLiteral("kind_") + QLatin1String(type)), type);
        QCOMPARE(prop("historyPage", "count").toInt(), count);
        QCOMPARE(prop("historyPage", "rows").toList().size(), shown);
        QVERIFY(!prop("historyPage", "headings").toStringList().isEmpty());
        savePageShot(QStringLiteral("history-%1-%2").arg(QLatin1String(type), lang));
    }
    // The SMS results in words, the events with their texts.
    QCOMPARE(prop("historyPage", "rows").toList().at(0).toList().at(3).toString(),
             lang == "0" ? QString::fromUtf8("已发送") : QStringLiteral("Sent"));

    showCharts();
    const QList<std::pair<const char *, int>> charts = {
        {"chartday", 216}, {"chartmonth", 15}, {"chartyear", 12}, {"charttotal", 15}};
    for (const auto &[flag, values] : charts) {
        QVERIFY2(click(QStringLiteral("chart_") + QLatin1String(flag)), flag);
        const char *list = QByteArray(flag) == "chartday" ? "dayValues" : "barValues";
        QCOMPARE(prop("chartsPage", list).toList().size(), values);
        QVERIFY(!prop("chartEmpty", "visible").toBool());
        QTest::qWait(50);
        savePageShot(QStringLiteral("chart-%1-%2").arg(QLatin1String(flag), lang));
    }
    // The missed save shows as zeros, and the curve goes on in its own slots.
    const QVariantList day = (click(QStringLiteral("chart_chartday")), prop("chartsPage", "dayValues").toList());
    QCOMPARE(day.at(131).toString(), QStringLiteral("0"));
    QCOMPARE(day.at(144).toString(), QStringLiteral("8.00"));
    // A period without a file says so.
    QVERIFY(click(QStringLiteral("periodBack"), QStringLiteral("chartPicker")));
    QVERIFY(prop("chartEmpty", "visible").toBool());
    QVERIFY2(warnings.text().isEmpty(), qPrintable(warnings.text()));
}

void TestHistoryUi::pagingThroughADay()
{
    openWindow();
    showPage(QStringLiteral("history"));
    QVERIFY(click(QStringLiteral("kind_record_analogdata")));
    QCOMPARE(firstCells("historyPage").first(), QStringLiteral("2026/01/15 10:00"));
    QVERIFY(!click(QStringLiteral("pagePrevious")));
    QVERIFY(click(QStringLiteral("pageNext")));
    QCOMPARE(prop("historyPage", "pageNo").toInt(), 1);
    QCOMPARE(firstCells("historyPage").first(), QStringLiteral("2026/01/15 09:10"));
    QVERIFY(click(QStringLiteral("pageLast")));
    QCOMPARE(prop("historyPage", "pageNo").toInt(), 2);
    QCOMPARE(firstCells("historyPage"), (QStringList{"2026/01/15 08:20", "2026/01/15 08:15", "2026/01/15 08:10",
                                                     "2026/01/15 08:05", "2026/01/15 08:00"}));
    QVERIFY(!click(QStringLiteral("pageNext")));
    QCOMPARE(prop("pageInfo", "text").toString(), QStringLiteral("Page 3 of 3 · 25 rows"));
    QVERIFY(click(QStringLiteral("pageFirst")));
    QCOMPARE(prop("historyPage", "pageNo").toInt(), 0);
    // Another day has no file: the empty page.
    QVERIFY(click(QStringLiteral("periodForward"), QStringLiteral("historyPicker")));
    QCOMPARE(prop("historyPage", "count").toInt(), 0);
    QVERIFY(prop("historyEmpty", "visible").toBool());
    QVERIFY(!pageItem(QStringLiteral("historyClear"))->isEnabled());
}

void TestHistoryUi::clearAsksFirst()
{
    const QString path = historyFilePath(HistoryFile::EventLog, DeviceFamily::ThreePhaseUps, QStringLiteral("202601"));
    openWindow();
    showPage(QStringLiteral("history"));
    QVERIFY(click(QStringLiteral("kind_record_eventdata")));
    QVERIFY(click(QStringLiteral("historyClear")));
    QVERIFY(prop("clearConfirm", "visible").toBool());
    QVERIFY(click(QStringLiteral("cancelClear")));
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(prop("historyPage", "count").toInt(), 12);
    QVERIFY(click(QStringLiteral("historyClear")));
    QVERIFY(click(QStringLiteral("confirmClear")));
    QVERIFY(!prop("clearConfirm", "visible").toBool());
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(prop("historyPage", "count").toInt(), 0);
    QCOMPARE(answers.boxes.size(), 0);
}

void TestHistoryUi::saveAsCsv()
{
    openWindow();
    showPage(QStringLiteral("history"));
    QVERIFY(click(QStringLiteral("kind_report_month")));
    answers.saveAnswer = env->root() + QStringLiteral("/month.csv");
    QVERIFY(click(QStringLiteral("historySave")));
    QCOMPARE(answers.saveCalls.size(), 1);
    QCOMPARE(answers.saveCalls.at(0).dir, QStringLiteral("MonthReport202601.csv"));
    QFile csv(answers.saveAnswer);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    QCOMPARE(lines.size(), 17); // header, 15 days, the end after the last line
    QCOMPARE(lines.at(0), QByteArray("Date,Gen(KWH)"));
    QVERIFY(lines.at(1).startsWith("2026/01/15,"));
}

QTEST_MAIN(TestHistoryUi)
#include "tst_historyui.moc"
