// The History and Charts pages in the real window with the program's own qml/ file and
// real history files: every kind and chart in both languages (with screenshots), paging,
// headings in words with the time and event kept in view, Clear that asks first, Save as
// CSV through the dialog seam, a bar for every day, month and year, and round axis steps.
#include "ui/mainwindow.h"

#include "bridge/qmlobject.h"
#include "history/historybrowser.h"

#include "core/dialogs.h"
#include "core/events.h"
#include "core/historyfiles.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/translation.h"
#include "tests/bridge/historyfixture.h"
#include "tests/support/qmlwindow.h"
#include "tests/support/recordingdialogs.h"
#include "tests/support/sqlitelock.h"
#include "tests/support/testenv.h"

#include <QJSValue>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWidget>
#include <QtTest>

#include <memory>

namespace {
const QString kProgramQml = QStringLiteral(KESTRAVA_SOURCE_DIR "/qml/qmlmain.qml");
const QDate kDay(2026, 1, 15);

// A row per language of the program: "1" English, "0" Chinese.
void addLanguageRows()
{
    QTest::addColumn<QString>("lang");
    QTest::newRow("English") << "1";
    QTest::newRow("Chinese") << "0";
}

void setLang(const QString &lang)
{
    {
        QWriteLocker l(&settingsLock);
        systemSettings.lang = lang;
    }
    initEventTexts();
}

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
    void recordHeadings_data();
    void recordHeadings();
    void everyHeadingHasWords_data();
    void everyHeadingHasWords();
    void pagingThroughADay();
    void clearAsksFirst();
    void saveAsCsv();
    void busyFileIsSaidOnThePage_data();
    void busyFileIsSaidOnThePage();
    void barsForEveryPeriod_data();
    void barsForEveryPeriod();
    void roundAxisSteps_data();
    void roundAxisSteps();

private:
    void openWindow();
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<ScopedHome> home;
    std::unique_ptr<MainWindow> window;
    RecordingDialogs answers;
};

void TestHistoryUi::init()
{
    // The clock stands elsewhere, so the history thread writes none of the files shown.
    env = std::make_unique<TestEnv>(QDateTime(QDate(2026, 3, 4), QTime(10, 15)));
    home = std::make_unique<ScopedHome>(env->root() + QStringLiteral("/home"), true);
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
    home.reset();
    env.reset();
}

void TestHistoryUi::openWindow()
{
    window = std::make_unique<MainWindow>();
    window->loadQmlView(kProgramQml);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    // The history page is built as it first comes into view; the day it shows is set
    // there, as a user would pick it, and the window goes back to its first page.
    showPage(QStringLiteral("history"));
    QTRY_VERIFY(pageItem(QStringLiteral("historyPage")));
    const QDateTime day(kDay, QTime(12, 0));
    pageItem(QStringLiteral("historyPicker"))->setProperty("date", day);
    settle();
    showPage(QStringLiteral("overview"));
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
    addLanguageRows();
}

void TestHistoryUi::pagesInBothLanguages()
{
    QFETCH(QString, lang);
    setLang(lang);
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
        {"chartday", 216}, {"chartmonth", 31}, {"chartyear", 12}, {"charttotal", 15}};
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

void TestHistoryUi::recordHeadings_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("pinned");
    QTest::addColumn<QStringList>("first");
    // The device is not talking, so the pages carry the default columns.
    QTest::newRow("snapshots, English") << "1" << "record_analogdata" << 1
                                        << QStringList{"Time", "Battery voltage (V)", "Battery current (A)"};
    QTest::newRow("snapshots, Chinese") << "0" << "record_analogdata" << 1
                                        << QStringList{"时间", "电池电压 (V)", "电池电流 (A)"};
    QTest::newRow("events, English") << "1" << "record_eventdata" << 2
                                     << QStringList{"Time", "Event", "Battery voltage (V)"};
    QTest::newRow("events, Chinese") << "0" << "record_eventdata" << 2
                                     << QStringList{"时间", "事件", "电池电压 (V)"};
}

// Headings in words, none cut short; the time (and the event) stay whole and in view while
// the other columns scroll; the table is as tall as its rows, the buttons right below it.
void TestHistoryUi::recordHeadings()
{
    QFETCH(QString, lang);
    QFETCH(QString, kind);
    QFETCH(int, pinned);
    QFETCH(QStringList, first);
    setLang(lang);
    QmlWarningRecorder warnings;
    openWindow();
    showPage(QStringLiteral("history"));
    QVERIFY(click(QStringLiteral("kind_") + kind));
    const QStringList headings = prop("historyPage", "headings").toStringList();
    QCOMPARE(headings.mid(0, first.size()), first);
    QCOMPARE(headings.size(), 1 + (kind == "record_eventdata" ? 1 : 0) + 23);
    for (int c = 0; c < headings.size(); ++c) {
        QQuickItem *h = pageItem(QStringLiteral("heading_%1").arg(c));
        QVERIFY2(h, qPrintable(headings.at(c)));
        QCOMPARE(h->property("text").toString(), headings.at(c));
        QVERIFY2(!h->property("truncated").toBool(), qPrintable(headings.at(c)));
    }
    const int rows = prop("historyPage", "rows").toList().size();
    QCOMPARE(rows, 10);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < pinned; ++c) {
            QQuickItem *cell = pageItem(QStringLiteral("cell_%1_%2").arg(r).arg(c));
            QVERIFY(cell);
            QVERIFY2(!cell->property("truncated").toBool(), qPrintable(cell->property("text").toString()));
        }
    }
    QQuickItem *table = pageItem(QStringLiteral("historyTable"));
    QQuickItem *scrolled = pageItem(QStringLiteral("scrolledColumns"));
    QQuickItem *time = pageItem(QStringLiteral("cell_0_0"));
    QCOMPARE(table->property("pinnedCount").toInt(), pinned);
    QVERIFY(scrolled->property("contentWidth").toReal() > scrolled->width());
    scrolled->setProperty("contentX", scrolled->property("contentWidth").toReal() - scrolled->width());
    settle();
    // Scrolled to the far right, the time is where it was, and no column lies over it.
    QCOMPARE(time->mapToItem(table, QPointF(0, 0)).x(), 0.0);
    QVERIFY(scrolled->x() >= time->width() - 0.5);
    QQuickItem *last = pageItem(QStringLiteral("cell_0_%1").arg(headings.size() - 1));
    QVERIFY(last->mapToItem(table, QPointF(last->width(), 0)).x() <= table->width() + 0.5);
    savePageShot(QStringLiteral("history-%1-scrolled-%2").arg(kind, lang));
    // Ten rows fill the table, and the pager follows it with no room for more.
    const qreal rowsBottom = pageItem(QStringLiteral("row_9"))->mapToItem(table, QPointF(0, 30)).y();
    QVERIFY2(table->height() - rowsBottom < 20, qPrintable(QString::number(table->height() - rowsBottom)));
    const qreal pagerTop = pageItem(QStringLiteral("pageFirst"))->mapToItem(table, QPointF(0, 0)).y();
    QVERIFY2(pagerTop - table->height() < 40, qPrintable(QString::number(pagerTop - table->height())));
    QVERIFY2(warnings.text().isEmpty(), qPrintable(warnings.text()));
}

void TestHistoryUi::everyHeadingHasWords_data()
{
    addLanguageRows();
}

// Every heading the program can send, of every family and column set, has words of its
// own in the page's table.
void TestHistoryUi::everyHeadingHasWords()
{
    QFETCH(QString, lang);
    QStringList keys;
    {
        const ChineseTranslatorScope zh(lang);
        RecordSnapshot ups;
        ups.communicating = true;
        ups.batMask = ups.inputMask = ups.outputMask = ups.bypassMask = ups.pvMask = 0xffff;
        qmlobject::buildDeviceRecordHeader(keys, 2, ups);
        RecordSnapshot inverter;
        inverter.family = DeviceFamily::Inverter;
        inverter.communicating = true;
        qmlobject::buildDeviceRecordHeader(keys, 2, inverter);
        qmlobject::buildDefaultRecordHeader(keys, 2);
    }
    QCOMPARE(keys.size(), 2 + 32 + 2 + 17 + 2 + 23);
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQml\nimport \"historytexts.js\" as Texts\n"
                      "QtObject { function words(lang, key) { return Texts.isKnownHeading(key) ? Texts.heading(lang, key) : \"\" } }",
                      QUrl::fromLocalFile(QStringLiteral(KESTRAVA_SOURCE_DIR "/qml/pages/probe.qml")));
    std::unique_ptr<QObject> probe(component.create());
    QVERIFY2(probe, qPrintable(component.errorString()));
    for (const QString &key : keys) {
        QVariant words;
        QVERIFY(QMetaObject::invokeMethod(probe.get(), "words", Q_RETURN_ARG(QVariant, words), Q_ARG(QVariant, lang),
                                          Q_ARG(QVariant, key)));
        QVERIFY2(!words.toString().isEmpty(), qPrintable(key));
        if (lang == "1")
            QVERIFY2(words.toString() != key && words.toString().at(0).isUpper(), qPrintable(key));
    }
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
    // Nothing to save either.
    QVERIFY(!click(QStringLiteral("historySave")));
    QCOMPARE(answers.saveCalls.size(), 0);
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
    // In the user's documents, with the export's own name and only CSV files on view.
    QCOMPARE(answers.saveCalls.at(0).dir, env->root() + QStringLiteral("/home/Documents/MonthReport202601.csv"));
    QCOMPARE(answers.saveCalls.at(0).filter, QStringLiteral("CSV File(*.csv)"));
    QFile csv(answers.saveAnswer);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    QCOMPARE(lines.size(), 17); // header, 15 days, the end after the last line
    QCOMPARE(lines.at(0), QByteArray("Date,Gen(KWH)"));
    QVERIFY(lines.at(1).startsWith("2026/01/15,"));
    QCOMPARE(answers.texts(), QStringList{QStringLiteral("Saved 15 rows to %1.").arg(answers.saveAnswer)});
}

void TestHistoryUi::barsForEveryPeriod_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QList<QStringList>>("stored");
    QTest::addColumn<QStringList>("labels"); // first and last
    QTest::addColumn<int>("bars");
    QTest::addColumn<QVariantMap>("values"); // the bars that are not 0, by label
    QTest::newRow("a month with one day") << "chartmonth" << QDate(2026, 11, 11)
                                          << QList<QStringList>{{"11", "2026/11/11", "5.5"}}
                                          << QStringList{"1", "30"} << 30 << QVariantMap{{"11", 5.5}};
    QTest::newRow("February, days out of order") << "chartmonth" << QDate(2028, 2, 1)
                                                 << QList<QStringList>{{"29", "2028/02/29", "2"}, {"3", "2028/02/03", "1.25"}}
                                                 << QStringList{"1", "29"} << 29 << QVariantMap{{"3", 1.25}, {"29", 2}};
    QTest::newRow("a year with two months") << "chartyear" << QDate(2026, 6, 1)
                                            << QList<QStringList>{{"3", "2026/03", "120"}, {"12", "2026/12", "80.5"}}
                                            << QStringList{"1", "12"} << 12 << QVariantMap{{"3", 120}, {"12", 80.5}};
    QTest::newRow("years with a gap") << "charttotal" << QDate(2026, 6, 1)
                                      << QList<QStringList>{{"2020", "900"}, {"2026", "350"}}
                                      // the reply adds thirteen years before the first
                                      << QStringList{"2007", "2026"} << 20 << QVariantMap{{"2020", 900}, {"2026", 350}};
}

// The issue was one fat bar for a month with one day stored.
void TestHistoryUi::barsForEveryPeriod()
{
    QFETCH(QString, flag);
    QFETCH(QDate, date);
    QFETCH(QList<QStringList>, stored);
    QFETCH(QStringList, labels);
    QFETCH(int, bars);
    QFETCH(QVariantMap, values);
    const DeviceFamily f = DeviceFamily::ThreePhaseUps;
    const HistoryFile file = flag == "chartmonth" ? HistoryFile::MonthGen
                             : flag == "chartyear" ? HistoryFile::YearGen
                                                   : HistoryFile::TotalGen;
    const QString period = file == HistoryFile::TotalGen ? QString() : periodText(historyPeriod(file), date);
    QFile::remove(historyFilePath(file, f, period));
    QVERIFY(writeHistoryRows(file, f, period, stored));
    QmlWarningRecorder warnings;
    openWindow();
    showCharts();
    pageItem(QStringLiteral("chartPicker"))->setProperty("date", QDateTime(date, QTime(12, 0)));
    settle();
    QVERIFY(click(QStringLiteral("chart_") + flag));
    const QStringList shown = prop("chartsPage", "barLabels").toStringList();
    const QVariantList heights = prop("chartsPage", "barValues").toList();
    QCOMPARE(shown.size(), bars);
    QCOMPARE(heights.size(), bars);
    QCOMPARE(shown.first(), labels.first());
    QCOMPARE(shown.last(), labels.last());
    for (int i = 0; i < bars; ++i) {
        QCOMPARE(shown.at(i).toInt(), shown.first().toInt() + i);
        QCOMPARE(heights.at(i).toDouble(), values.value(shown.at(i), 0.0).toDouble());
    }
    // Each number stands under its bar, clear of the next.
    for (int i = 0; i + 1 < bars; ++i) {
        QQuickItem *label = pageItem(QStringLiteral("barLabel_%1").arg(i));
        QQuickItem *next = pageItem(QStringLiteral("barLabel_%1").arg(i + 1));
        QVERIFY(label && next);
        QCOMPARE(label->property("text").toString(), shown.at(i));
        QVERIFY2(label->x() + label->width() < next->x(), qPrintable(shown.at(i)));
    }
    savePageShot(QStringLiteral("bars-%1").arg(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-')));
    QVERIFY2(warnings.text().isEmpty(), qPrintable(warnings.text()));
}

void TestHistoryUi::roundAxisSteps_data()
{
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<double>("max");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("format");
    QTest::newRow("nothing") << QVariantList{} << 1.0 << 6 << "%.1f";
    QTest::newRow("under one kW") << QVariantList{"0.3", "0.9"} << 1.0 << 6 << "%.1f";
    QTest::newRow("a sunny day") << QVariantList{"2", "8.00"} << 10.0 << 6 << "%.0f";
    QTest::newRow("days of a month") << QVariantList{32, 20} << 40.0 << 5 << "%.0f";
    QTest::newRow("a round largest value") << QVariantList{100} << 150.0 << 4 << "%.0f";
    QTest::newRow("years") << QVariantList{4100, 3200} << 5000.0 << 6 << "%.0f";
    QTest::newRow("hundredths") << QVariantList{"0.04"} << 0.05 << 6 << "%.2f";
    QTest::newRow("text that is no number") << QVariantList{"", "x", "3"} << 4.0 << 5 << "%.0f";
}

// The ticks of the day chart read 0.3 and 0.8 where they stood at a quarter.
void TestHistoryUi::roundAxisSteps()
{
    QFETCH(QVariantList, values);
    QFETCH(double, max);
    QFETCH(int, ticks);
    QFETCH(QString, format);
    openWindow();
    showPage(QStringLiteral("charts"));
    QVariant result;
    QVERIFY(QMetaObject::invokeMethod(pageItem(QStringLiteral("chartsPage")), "axisScale",
                                      Q_RETURN_ARG(QVariant, result), Q_ARG(QVariant, values)));
    const QVariantMap scale = result.value<QJSValue>().isObject() ? result.value<QJSValue>().toVariant().toMap()
                                                                  : result.toMap();
    QCOMPARE(scale.value("max").toDouble(), max);
    QCOMPARE(scale.value("ticks").toInt(), ticks);
    QCOMPARE(scale.value("format").toString(), format);
    // Every tick is a whole number of steps, and the step is 1, 2 or 5 times a power of ten.
    const double step = max / (ticks - 1);
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    QVERIFY2(qFuzzyCompare(mantissa, 1.0) || qFuzzyCompare(mantissa, 2.0) || qFuzzyCompare(mantissa, 5.0),
             qPrintable(QString::number(step)));
}

void TestHistoryUi::busyFileIsSaidOnThePage_data()
{
    addLanguageRows();
}

// A file another program holds locked: the page says it is busy rather than showing an
// empty period, and the next look after the lock has gone shows the rows again.
void TestHistoryUi::busyFileIsSaidOnThePage()
{
    QFETCH(QString, lang);
    setLang(lang);
    const QString busyText = lang == "0" ? QString::fromUtf8("历史文件正被其他程序占用，请稍后再试。")
                                         : QStringLiteral("The history file is in use by another program. Try again in a moment.");
    const DeviceFamily f = DeviceFamily::ThreePhaseUps;
    QmlWarningRecorder warnings;
    openWindow();
    showPage(QStringLiteral("history"));
    {
        SqliteLockHolder holder;
        QVERIFY(holder.start({historyFilePath(HistoryFile::EventLog, f, QStringLiteral("202601"))}, SqliteLockHolder::kUntilReleased));
        QVERIFY(click(QStringLiteral("kind_record_eventdata")));
        QVERIFY(prop("historyPage", "busy").toBool());
        QVERIFY(prop("historyEmpty", "visible").toBool());
        QCOMPARE(prop("historyEmpty", "text").toString(), busyText);
        // No headings left over from the kind on view before.
        QVERIFY(!prop("historyTable", "visible").toBool());
        savePageShot(QStringLiteral("history-busy-%1").arg(lang));
        QVERIFY(holder.release());
    }
    QVERIFY(click(QStringLiteral("kind_record_analogdata")));
    QVERIFY(click(QStringLiteral("kind_record_eventdata")));
    QVERIFY(!prop("historyPage", "busy").toBool());
    QCOMPARE(prop("historyPage", "count").toInt(), 12);
    QVERIFY(prop("historyTable", "visible").toBool());

    showCharts();
    {
        SqliteLockHolder holder;
        QVERIFY(holder.start({historyFilePath(HistoryFile::YearGen, f, QStringLiteral("2026"))}, SqliteLockHolder::kUntilReleased));
        QVERIFY(click(QStringLiteral("chart_chartyear")));
        QVERIFY(prop("chartEmpty", "visible").toBool());
        QCOMPARE(prop("chartEmpty", "text").toString(), busyText);
        savePageShot(QStringLiteral("chart-busy-%1").arg(lang));
        QVERIFY(holder.release());
    }
    QVERIFY(click(QStringLiteral("chart_chartmonth")));
    QVERIFY(click(QStringLiteral("chart_chartyear")));
    QVERIFY(!prop("chartEmpty", "visible").toBool());
    QCOMPARE(prop("chartsPage", "barValues").toList().size(), 12);
    QVERIFY2(warnings.text().isEmpty(), qPrintable(warnings.text()));
}

QTEST_MAIN(TestHistoryUi)
#include "tst_historyui.moc"
