// The generation files: the day curve, the day, month and year energy rows, and the
// inverter's two working files of every day.
#include "history/data_thread.h"

#include "history/historyio.h"

#include "core/devicestate.h"
#include "core/helpers.h"
#include "core/historyfiles.h"
#include "core/logging.h"

namespace {
const QString kZeroText = QStringLiteral("0");

// The inverter's PV power (W), stored as the device thread holds it.
constexpr int kInverterPvPowerIndex = 131;

QString pathOf(HistoryFile file, DeviceFamily family, const QDateTime &now)
{
    return historyFilePath(file, family, now.date());
}

// The mean of the PV power samples since the last save, emptied here; the current PV power
// when no sample came (a communication change has just emptied them).
QString takeMeanPvPower(DeviceFamily family)
{
    double sum = 0;
    int count = 0;
    QString current;
    {
        QWriteLocker locker(&upsInfo.lock);
        count = upsInfo.pvPowerSampleCount;
        for (int i = 0; i < count; ++i)
            sum += upsInfo.pvPowerSamples[i];
        if (count == 0)
            current = upsInfo.values[PVPower];
        upsInfo.pvPowerSampleCount = 0;
    }
    if (count == 0)
        return formatUpsValue(current, family);
    return QStringLiteral("%1").arg(sum / count, 0, 'f', upsDecimals(family));
}
}

QString formatDayEnergy(double kWh)
{
    QString text = QString::number(kWh, 'f', 2);
    while (text.endsWith(QLatin1Char('0')) && text.contains(QLatin1Char('.')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text == QLatin1String("-0") ? kZeroText : text;
}

QString data_thread::sumGen(const QString &period, int kind, const QString &comProtocol)
{
    return sumGenText(period, kind, deviceFamily(comProtocol)).value_or(QString());
}

std::optional<QString> data_thread::sumGenText(const QString &period, int kind, DeviceFamily family)
{
    if (kind != 5 && kind != 6)
        return QString();
    const GenSum sum = sumGenColumn(kind == 5 ? HistoryFile::MonthGen : HistoryFile::YearGen, family, period);
    if (sum.state == GenSum::Busy)
        return std::nullopt;
    QString result;
    if (sum.state == GenSum::NoTable)
        result = kZeroText;
    else if (sum.state == GenSum::Summed)
        // Fifteen significant digits: every sum of hundredths a lifetime can reach, exactly;
        // the writer rounds it to its one or two decimals.
        result = QString::number(sum.sum, 'g', 15);
    if (kind == 5)
        qCDebug(lcHistory) << "strSumstrSum" << result;
    return result;
}

WriteOutcome data_thread::saveTotalGenByDay(const QDateTime &now)
{
    const HistoryFile file = HistoryFile::TotalGenByDay;
    return writeHistoryRow(QStringLiteral("savetotalgenbyday"), file, DeviceFamily::Inverter,
                    pathOf(file, DeviceFamily::Inverter, now), now, [&] {
                        return QVariantList{now.toString(QLatin1String(kWorkingTimeFormat)),
                                            inverterValueCopy(InverterInfo::kLifetimeEnergyIndex)};
                    });
}

WriteOutcome data_thread::saveDayPower(const QDateTime &now)
{
    const HistoryFile file = HistoryFile::DayGen;
    return writeHistoryRow(QStringLiteral("savedaypower"), file, DeviceFamily::Inverter,
                    pathOf(file, DeviceFamily::Inverter, now), now, [&] {
                        return QVariantList{QString::number(slotOfDay(now.time())),
                                            now.toString(QLatin1String(kSnapshotTimeFormat)),
                                            inverterValueCopy(kInverterPvPowerIndex)};
                    });
}

WriteOutcome data_thread::saveDayGen(const QDateTime &now)
{
    const HistoryFile file = HistoryFile::DayEnergy;
    double kWh = 0;
    bool busy = false;
    // At the day's first save the start value is the total just stored: "0".
    const QString value = energyOfDay(now, &kWh, &busy) ? formatDayEnergy(kWh) : kZeroText;
    if (busy)
        return WriteOutcome::Busy;
    return writeHistoryRow(QStringLiteral("savedaygen"), file, DeviceFamily::Inverter, pathOf(file, DeviceFamily::Inverter, now), now,
                    [&] {
                        return QVariantList{now.toString(QLatin1String(kWorkingTimeFormat)), value};
                    });
}

WriteOutcome data_thread::saveMonthGen(const QDateTime &now)
{
    const HistoryFile file = HistoryFile::MonthGen;
    const QString day = now.toString(QStringLiteral("yyyyMMdd"));
    bool busy = false;
    const QString gen = readLatestDayEnergy(now.date(), &busy);
    if (busy)
        return WriteOutcome::Busy;
    return writeHistoryRow(QStringLiteral("savemonthgen"), file, DeviceFamily::Inverter,
                    pathOf(file, DeviceFamily::Inverter, now), now,
                    [&] { return QVariantList{QString::number(now.date().day()), day, gen}; }, day);
}

WriteOutcome data_thread::saveYearGen(const QDateTime &now)
{
    const HistoryFile file = HistoryFile::YearGen;
    const QString month = now.toString(QStringLiteral("yyyy/MM"));
    const std::optional<QString> sum = sumGenText(now.toString(QStringLiteral("yyyyMM")), 5, DeviceFamily::Inverter);
    if (!sum)
        return WriteOutcome::Busy;
    const QString gen = format2Decimals(*sum);
    return writeHistoryRow(QStringLiteral("saveyeargen"), file, DeviceFamily::Inverter,
                    pathOf(file, DeviceFamily::Inverter, now), now,
                    [&] { return QVariantList{QString::number(now.date().month()), month, gen}; }, month);
}

WriteOutcome data_thread::saveTotalGen(const QDateTime &now)
{
    const HistoryFile file = HistoryFile::TotalGen;
    const QString year = now.toString(QStringLiteral("yyyy"));
    const std::optional<QString> sum = sumGenText(year, 6, DeviceFamily::Inverter);
    if (!sum)
        return WriteOutcome::Busy;
    const QString gen = format2Decimals(*sum);
    return writeHistoryRow(QStringLiteral("savetotalgen"), file, DeviceFamily::Inverter,
                    pathOf(file, DeviceFamily::Inverter, now), now, [&] { return QVariantList{year, gen}; }, year);
}

WriteOutcome data_thread::saveDay(const QDateTime &now, const QString &comProtocol)
{
    const HistoryFile file = HistoryFile::DayGen;
    const DeviceFamily family = deviceFamily(comProtocol);
    // The samples are taken only once the file is open: a failed open keeps them for the next save.
    return writeHistoryRow(QStringLiteral("saveday"), file, family, pathOf(file, family, now), now, [&] {
        return QVariantList{QString::number(slotOfDay(now.time())), now.toString(QLatin1String(kSnapshotTimeFormat)),
                            takeMeanPvPower(family)};
    });
}

WriteOutcome data_thread::saveMonth(const QDateTime &now, const QString &comProtocol)
{
    const HistoryFile file = HistoryFile::MonthGen;
    const DeviceFamily family = deviceFamily(comProtocol);
    const QString day = now.toString(QStringLiteral("yyyy/MM/dd"));
    const QString gen = formatUpsValue(upsValueCopy(PVDayGen), family);
    return writeHistoryRow(QStringLiteral("savemonth"), file, family, pathOf(file, family, now), now,
                    [&] { return QVariantList{QString::number(now.date().day()), day, gen}; }, day);
}

WriteOutcome data_thread::saveYear(const QDateTime &now, const QString &comProtocol)
{
    const HistoryFile file = HistoryFile::YearGen;
    const DeviceFamily family = deviceFamily(comProtocol);
    const QString month = now.toString(QStringLiteral("yyyy/MM"));
    const std::optional<QString> sum = sumGenText(now.toString(QStringLiteral("yyyyMM")), 5, family);
    if (!sum)
        return WriteOutcome::Busy;
    const QString gen = formatUpsValue(*sum, family);
    return writeHistoryRow(QStringLiteral("saveyear"), file, family, pathOf(file, family, now), now,
                    [&] { return QVariantList{QString::number(now.date().month()), month, gen}; }, month);
}

WriteOutcome data_thread::saveTotal(const QDateTime &now, const QString &comProtocol)
{
    const HistoryFile file = HistoryFile::TotalGen;
    const DeviceFamily family = deviceFamily(comProtocol);
    const QString year = now.toString(QStringLiteral("yyyy"));
    const std::optional<QString> sum = sumGenText(year, 6, family);
    if (!sum)
        return WriteOutcome::Busy;
    const QString gen = formatUpsValue(*sum, family);
    return writeHistoryRow(QStringLiteral("savetotal"), file, family, pathOf(file, family, now), now,
                    [&] { return QVariantList{year, gen}; }, year);
}
