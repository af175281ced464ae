// The history browser's slots: report and record pages, clearing and CSV export, charts.
// GUI thread. Each slot copies what it needs of the shared state (protocol, language, the
// link state and masks, the event texts) first, then has history/historybrowser read,
// export or delete the file with no lock held. A period text from a request names a file only
// when it is exactly the digits of its kind's period; anything else is a missing file.
#include "bridge/qmlobject.h"

#include "bridge/bridgecommon.h"
#include "core/dialogs.h"
#include "core/events.h"
#include "core/logging.h"
#include "core/paths.h"
#include "core/textformats.h"
#include "core/translation.h"
#include "history/historybrowser.h"

#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>

#include <functional>

namespace {

// The answer of a page of a missing file, and of a clear.
void emitEmptyPage(qmlobject &bridge, HistoryKind kind)
{
    const QString zero = QStringLiteral("0");
    switch (kind) {
    case HistoryKind::ReportDay:
    case HistoryKind::ReportMonth:
    case HistoryKind::ReportYear:
        emit bridge.sigReport(historyKindType(kind), zero, zero, QString());
        break;
    case HistoryKind::AnalogRecord:
        emit bridge.sigAnalogDataRecord(zero, zero, recordPageJson({}, QString()));
        break;
    case HistoryKind::EventRecord:
        emit bridge.sigEventDataRecord(zero, zero, recordPageJson({}, QString()));
        break;
    case HistoryKind::SmsRecord:
        emit bridge.sigSMSDataRecord(zero, zero, QString());
        break;
    }
}

void fillHeader(QStringList &list, HistoryKind kind)
{
    list.clear();
    for (const char *source : csvHeaderSources(kind, deviceFamily(bridgeProtocol())))
        list << QCoreApplication::translate("qmlobject", source);
}

// Tells the user how a clear or an export ended, in the language of the program; text is
// the translated message.
void showHistoryBox(const QString &lang, QMessageBox::Icon icon, const std::function<QString()> &text)
{
    const ChineseTranslatorScope zh(lang);
    QMessageBox box;
    box.setIcon(icon);
    box.setWindowTitle(QCoreApplication::translate("qmlobject", "History"));
    box.setText(text());
    box.setStandardButtons(QMessageBox::Ok);
    dialogs().execMessageBox(box);
}

void showHistoryFailure(const QString &lang, const char *text, const QString &file, const QString &reason)
{
    showHistoryBox(lang, QMessageBox::Warning, [&] {
        return QCoreApplication::translate("qmlobject", text).arg(QDir::toNativeSeparators(file), reason);
    });
}

void showExportDone(const QString &lang, qint64 rows, const QString &file)
{
    showHistoryBox(lang, QMessageBox::Information, [&] {
        const QString target = QDir::toNativeSeparators(file);
        if (rows == 1)
            return QCoreApplication::translate("qmlobject", "Saved 1 row to %1.").arg(target);
        return QCoreApplication::translate("qmlobject", "Saved %1 rows to %2.").arg(rows).arg(target);
    });
}

const char kClearFailedText[] = QT_TRANSLATE_NOOP("qmlobject", "The history file %1 could not be deleted: %2");
const char kExportFailedText[] = QT_TRANSLATE_NOOP("qmlobject", "The CSV file %1 could not be written: %2");
const char kExportRefusedText[] = QT_TRANSLATE_NOOP("qmlobject", "The CSV file %1 was not written: %2.");
const char kExportBusyText[] = QT_TRANSLATE_NOOP(
    "qmlobject", "Nothing was exported: the history file %1 is in use by another program (%2). Try again in a moment.");
const char kExportUnreadableText[] =
    QT_TRANSLATE_NOOP("qmlobject", "Nothing was exported: the history file %1 could not be read: %2");

} // namespace

void qmlobject::buildDeviceRecordHeader(QStringList &keys, int kind, const RecordSnapshot &snapshot)
{
    appendRecordHeadings(keys, kind, deviceRecordColumns(snapshot));
}

void qmlobject::buildDefaultRecordHeader(QStringList &keys, int kind)
{
    appendRecordHeadings(keys, kind, defaultRecordColumns());
}

void qmlobject::handleReportRecord(QString request)
{
    const RequestJson req(request);
    const QString type = req.value(QStringLiteral("type"));
    const QString datetime = req.value(QStringLiteral("datetime"));
    const QString pageText = req.value(QStringLiteral("page"));
    qCDebug(lcBridge) << "type" << type;
    const std::optional<HistoryKind> kind = historyKindOf(type);
    if (!kind)
        return;

    const QString protocol = bridgeProtocol();
    const RecordSnapshot snapshot = takeRecordSnapshot(protocol);
    const QString path = historyKindPath(*kind, snapshot.family, datetime);
    if (!historyFileExists(path)) {
        emitEmptyPage(*this, *kind);
        return;
    }
    const QStringList eventTexts = *kind == HistoryKind::EventRecord ? eventTextTable(protocol) : QStringList();
    const HistoryPage page = readHistoryPage(*kind, path, pageConnectionName(*kind, snapshot.family),
                                             pageNumberOf(pageText), snapshot, eventTexts);
    qCDebug(lcBridge) << "flagflag" << page.opened;
    qCDebug(lcBridge) << "rcount" << page.count;
    if (page.busy) {
        qCWarning(lcBridge).noquote() << "history file busy, page not read:" << path << page.error;
        emit sigHistoryBusy(type);
        return;
    }
    if (!page.error.isEmpty())
        qCWarning(lcBridge).noquote() << "history file not read:" << path << page.error;

    FieldRowText rows;
    for (const QStringList &cells : page.rows)
        rows.addRow(cells);
    const QString count = QString::number(page.count);

    if (isRecordPageKind(*kind)) {
        // A file that does not open keeps the headings of the last page built.
        if (page.opened) {
            const int pageKind = *kind == HistoryKind::AnalogRecord ? 1 : 2;
            recordColumnKeys.clear();
            const ChineseTranslatorScope zh(bridgeLang());
            if (snapshot.communicating)
                buildDeviceRecordHeader(recordColumnKeys, pageKind, snapshot);
            else
                buildDefaultRecordHeader(recordColumnKeys, pageKind);
        }
        const QString json = recordPageJson(recordColumnKeys, rows.text());
        if (*kind == HistoryKind::AnalogRecord)
            emit sigAnalogDataRecord(pageText, count, json);
        else
            emit sigEventDataRecord(pageText, count, json);
        return;
    }
    if (*kind == HistoryKind::SmsRecord)
        emit sigSMSDataRecord(pageText, count, rows.text());
    else
        emit sigReport(type, pageText, count, rows.text());
}

void qmlobject::handleOperReportRecord(QString request)
{
    const RequestJson req(request);
    const QString type = req.value(QStringLiteral("type"));
    const QString operation = req.value(QStringLiteral("operation"));
    const QString datetime = req.value(QStringLiteral("datetime"));
    if (!historyKindOf(type))
        return;
    if (operation == QLatin1String("save"))
        saveReportRecord(datetime, type);
    else if (operation == QLatin1String("clear"))
        clearReportRecord(datetime, type);
}

void qmlobject::clearReportRecord(const QString &datetime, const QString &type)
{
    const std::optional<HistoryKind> kind = historyKindOf(type);
    if (!kind)
        return;
    const QString path = historyKindPath(*kind, deviceFamily(bridgeProtocol()), datetime);
    QString error;
    if (!removeHistoryFile(path, &error)) {
        qCWarning(lcBridge) << "cannot delete" << path << error;
        showHistoryFailure(bridgeLang(), kClearFailedText, path, error);
        return;
    }
    emitEmptyPage(*this, *kind);
}

void qmlobject::saveReportRecord(const QString &datetime, const QString &type)
{
    const std::optional<HistoryKind> kind = historyKindOf(type);
    if (!kind)
        return;
    const QString lang = bridgeLang();
    const QString protocol = bridgeProtocol();
    const DeviceFamily family = deviceFamily(protocol);
    QString target;
    {
        // The dialog's own buttons and labels follow the program's language too.
        const ChineseTranslatorScope zh(lang);
        target = dialogs().getSaveFileName(nullptr, tr("Save As"),
                                           documentsFolder() + QLatin1Char('/') + defaultCsvName(*kind, family, datetime),
                                           tr("CSV File(*.csv)"));
    }
    if (target.isEmpty())
        return;

    QStringList *header = nullptr;
    {
        const ChineseTranslatorScope zh(lang);
        switch (*kind) {
        case HistoryKind::ReportDay: initDayReportHeader(); header = &dayHeader; break;
        case HistoryKind::ReportMonth: initMonthReportHeader(); header = &monthHeader; break;
        case HistoryKind::ReportYear: initYearReportHeader(); header = &yearHeader; break;
        case HistoryKind::AnalogRecord: initAnalogReportHeader(); header = &analogHeader; break;
        case HistoryKind::EventRecord: initEventReportHeader(); header = &eventHeader; break;
        case HistoryKind::SmsRecord: initSmsReportHeader(); header = &smsHeader; break;
        }
    }
    const QString path = historyKindPath(*kind, family, datetime);
    if (*kind == HistoryKind::ReportDay)
        qCDebug(lcBridge) << "dbfilenamedbfilenamedbfilename" << path;
    const QStringList eventTexts = *kind == HistoryKind::EventRecord ? eventTextTable(protocol) : QStringList();
    const CsvExportResult result =
        writeHistoryCsv(*kind, path, exportConnectionName(*kind, family), *header, eventTexts, target);
    qCDebug(lcBridge) << "flagflagflagflagflagflagflag" << result.opened;
    qCDebug(lcBridge) << "export" << target << "rows" << result.rows << "written" << result.written;
    if (result.written) {
        showExportDone(lang, result.rows, target);
        return;
    }
    qCWarning(lcBridge).noquote() << "export of" << path << "to" << target << "failed:" << result.error;
    switch (result.failure) {
    case CsvExportResult::TargetRefused:
        showHistoryFailure(lang, kExportRefusedText, target, result.error);
        break;
    case CsvExportResult::HistoryBusy:
        showHistoryFailure(lang, kExportBusyText, path, result.error);
        break;
    case CsvExportResult::HistoryUnreadable:
        showHistoryFailure(lang, kExportUnreadableText, path, result.error);
        break;
    case CsvExportResult::None:
    case CsvExportResult::TargetFailed:
        showHistoryFailure(lang, kExportFailedText, target, result.error);
        break;
    }
}

void qmlobject::initDayReportHeader()
{
    fillHeader(dayHeader, HistoryKind::ReportDay);
}

void qmlobject::initMonthReportHeader()
{
    fillHeader(monthHeader, HistoryKind::ReportMonth);
}

void qmlobject::initYearReportHeader()
{
    fillHeader(yearHeader, HistoryKind::ReportYear);
}

void qmlobject::initAnalogReportHeader()
{
    fillHeader(analogHeader, HistoryKind::AnalogRecord);
}

void qmlobject::initEventReportHeader()
{
    fillHeader(eventHeader, HistoryKind::EventRecord);
}

void qmlobject::initSmsReportHeader()
{
    fillHeader(smsHeader, HistoryKind::SmsRecord);
}

void qmlobject::handlegetChartData(QString request)
{
    qCDebug(lcBridge) << "chartchartchart" << request;
    const RequestJson req(request);
    const QString dateTime = req.value(QStringLiteral("dateTime"));
    const QString flag = req.value(QStringLiteral("flag"));
    qCDebug(lcBridge) << "DAETIEM" << dateTime << flag;
    buildChartData(dateTime, flag);
}

void qmlobject::buildChartData(const QString &dateTime, const QString &flag)
{
    const std::optional<ChartKind> kind = chartKindOf(flag);
    if (!kind)
        return;
    const HistoryFile file = chartKindFile(*kind);
    const DeviceFamily family = deviceFamily(bridgeProtocol());
    // The total file has no period; any other needs the digits of its own.
    QString path;
    if (*kind == ChartKind::Total)
        path = historyFilePath(file, family, QString());
    else if (isPeriodText(historyPeriod(file), dateTime))
        path = historyFilePath(file, family, dateTime);
    const bool exists = historyFileExists(path);
    qCDebug(lcBridge) << "existFlag" << exists;
    bool busy = false;
    const QString reply = exists ? chartReply(*kind, path, flag, &busy) : QString();
    if (busy) {
        qCWarning(lcBridge).noquote() << "history file busy, chart not read:" << path;
        emit sigHistoryBusy(flag);
        return;
    }
    switch (*kind) {
    case ChartKind::Day:
        emit sigChartDay(reply);
        break;
    case ChartKind::Month:
        qCDebug(lcBridge) << "monthchart" << reply;
        emit sigChartMonth(reply);
        break;
    case ChartKind::Year:
        qCDebug(lcBridge) << "yearchart" << reply;
        emit sigChartYear(reply);
        break;
    case ChartKind::Total:
        qCDebug(lcBridge) << "strChartstrChart" << reply;
        emit sigChartTotal(reply);
        break;
    }
}
