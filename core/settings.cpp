#include "core/settings.h"

#include "core/clock.h"
#include "core/helpers.h"
#include "core/logging.h"
#include "core/paths.h"
#include "core/schedule.h"
#include "core/sqlutil.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QReadLocker>
#include <QSaveFile>
#include <QSettings>

#include <algorithm>
#include <atomic>

namespace {
// Set at start when "param.ini" is damaged, cleared once its copy is kept.
// Guard: damagedCopyMutex (the flag is atomic so that a clean file costs no lock).
std::atomic<bool> paramIniDamaged{false};
QMutex damagedCopyMutex;
// Set at start when "param.ini" holds values the INI reader must not see and the file
// could not be replaced by a safe one. Written before any thread starts, read after.
std::atomic<bool> paramIniUnreadable{false};

// The text after "=" on the line of key, in the general section, as the file holds it.
QString rawIniText(const QString &path, const char *key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    bool general = true;
    const QByteArray wanted(key);
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('[')) {
            general = line == "[General]";
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (general && eq > 0 && line.left(eq).trimmed() == wanted)
            return QString::fromUtf8(line.mid(eq + 1).trimmed());
    }
    return QString();
}

// The INI reader turns a value reading "@Variant(...)" or "@DateTime(...)" into binary
// stream data and trusts the lengths inside it: one damaged or crafted line can make it
// ask for gigabytes and end the program at every start. Nothing this program stores is
// such a value, so text that could read as one is kept from the reader. The test is on
// the text with every character the reader may drop on the way removed (quotes,
// backslashes, line ends); a numeric escape can spell any letter and counts as suspect
// by itself (the writer uses one only for a control character in a text).
bool mayReadAsStream(const QByteArray &text)
{
    QByteArray kept;
    kept.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '\\' && i + 1 < text.size()) {
            const char next = text.at(i + 1);
            if (next == 'x' || next == 'X' || (next >= '0' && next <= '7'))
                return true;
        }
        if (c != '\\' && c != '"' && c != '\r' && c != '\n')
            kept.append(c);
    }
    return kept.contains("Variant(") || kept.contains("DateTime(");
}

// The lines of text with those that may read as stream data left out. A line ending in
// an odd number of backslashes goes on in the next, so such lines go or stay together.
QByteArray withoutStreamLines(const QByteArray &text)
{
    QByteArray result;
    QByteArray group;
    const auto endGroup = [&] {
        if (!mayReadAsStream(group))
            result += group;
        group.clear();
    };
    for (qsizetype start = 0; start < text.size();) {
        const qsizetype newline = text.indexOf('\n', start);
        const qsizetype end = newline < 0 ? text.size() : newline + 1;
        group += text.mid(start, end - start);
        start = end;
        qsizetype last = group.size();
        while (last > 0 && (group.at(last - 1) == '\n' || group.at(last - 1) == '\r'))
            --last;
        qsizetype slashes = 0;
        while (slashes < last && group.at(last - 1 - slashes) == '\\')
            ++slashes;
        if (slashes % 2 == 0)
            endGroup();
    }
    endGroup();
    // A quoted value may span lines as well: what still could read as a stream goes whole.
    return mayReadAsStream(result) ? QByteArray() : result;
}

// Keeps the file as the damaged copy and leaves in its place only the lines the reader can
// take safely. When the file cannot be replaced, the loaders and writers leave it alone.
void setStreamLinesAside(const QByteArray &content)
{
    const QString copy = appPaths.paramIniPath + QLatin1String(kDamagedCopySuffix);
    qCWarning(lcCore) << appPaths.paramIniPath
                      << "is damaged: it holds values that would read as binary data; the file is kept as" << copy
                      << "and the settings on those lines load as defaults";
    QFile::remove(copy);
    QSaveFile cleaned(appPaths.paramIniPath);
    const bool replaced = QFile::copy(appPaths.paramIniPath, copy) && cleaned.open(QIODevice::WriteOnly)
        && cleaned.write(withoutStreamLines(content)) >= 0 && cleaned.commit();
    if (!replaced) {
        qCWarning(lcCore) << "cannot set" << appPaths.paramIniPath
                          << "aside; every setting loads as its default and none is saved until it is removed";
        paramIniUnreadable = true;
    }
}

// The path the loaders read: none while the file cannot be read safely.
QString paramIniReadPath()
{
    return paramIniUnreadable ? QString() : appPaths.paramIniPath;
}

QString text(const QSettings &ini, const char *key, const QString &fallback)
{
    const QVariant value = ini.value(QLatin1String(key), fallback);
    // An unquoted value with commas, as a hand edit may leave it, reads as a list: the
    // value is the text as written, commas and spaces where they stand.
    if (value.userType() == QMetaType::QStringList)
        return rawIniText(ini.fileName(), key);
    return value.toString();
}

bool keepDamagedCopy()
{
    const QString copy = appPaths.paramIniPath + QLatin1String(kDamagedCopySuffix);
    QFile::remove(copy);
    if (!QFile::copy(appPaths.paramIniPath, copy)) {
        qCWarning(lcCore) << "cannot keep a copy of the damaged" << appPaths.paramIniPath << "as" << copy
                          << "; the file is not rewritten";
        return false;
    }
    // The one warning was given at start; this only says where the copy went.
    qCInfo(lcCore) << "the damaged" << appPaths.paramIniPath << "was kept as" << copy << "before it is rewritten";
    return true;
}

template<typename Record, int N>
void loadKeys(const QSettings &ini, Record &record, const SettingsKey<Record> (&keys)[N])
{
    for (const SettingsKey<Record> &k : keys) {
        // An empty default loads as the null text, as a key that was never written.
        const QString fallback = *k.fallback ? QString::fromLatin1(k.fallback) : QString();
        record.*k.member = text(ini, k.key, fallback);
    }
}

template<typename Record, int N>
QLatin1String keyOf(const SettingsKey<Record> (&keys)[N], QString Record::*member)
{
    for (const SettingsKey<Record> &k : keys) {
        if (k.member == member)
            return QLatin1String(k.key);
    }
    Q_ASSERT_X(false, "paramKey", "a member without a \"param.ini\" key");
    return QLatin1String("");
}

// Reads one recipient table (column 0 the address or number, column 1 the event mask).
// False, with a warning, when the file exists but its table could not be read: busy
// beyond the connection's wait (another process holds it), damaged, or not ours.
bool loadRecipients(const QString &connection, const QString &path, const QString &table,
                    QStringList *addresses, QStringList *masks)
{
    addresses->clear();
    masks->clear();
    if (!QFileInfo::exists(path))
        return true;
    DbConnection db(connection, path, DbConnection::ReadExisting);
    bool ok = db.isOpen();
    const QList<QStringList> rows =
        ok ? db.selectRows(QStringLiteral("select * from %1").arg(table), {}, &ok) : QList<QStringList>();
    if (!ok) {
        qCWarning(lcCore) << "recipients could not be read from" << path
                          << "; the file is kept as it is until a new list is saved";
        return false;
    }
    for (const QStringList &row : rows) {
        // A table with fewer than two columns is not ours; keep the lists parallel.
        if (row.size() < 2)
            continue;
        addresses->append(row.at(0));
        masks->append(row.at(1));
    }
    return true;
}

bool saveRecipients(const QString &connection, const QString &path, const QString &table,
                    const QString &createSql, const QStringList &addresses, const QStringList &masks,
                    QString *failure)
{
    QList<QVariantList> rows;
    rows.reserve(addresses.size());
    for (int i = 0; i < addresses.size(); ++i)
        rows.append({addresses.at(i), masks.value(i)});
    QString reason;
    const bool saved = replaceTableInFile(connection, path, table, createSql,
                                          QStringLiteral("insert into %1 values(?,?)").arg(table), rows, &reason);
    if (!saved)
        qCWarning(lcCore).noquote() << "recipients not saved to" << path << ":" << reason;
    if (!saved && failure)
        *failure = reason;
    return saved;
}
}

bool saveEmailRecipients(const QStringList &recipients, const QStringList &eventFlags, QString *failure)
{
    return saveRecipients(QStringLiteral("saveemailrec"), appPaths.smtpRecDbPath, QStringLiteral("emailrec"),
                          QStringLiteral("create table emailrec(recipient varchar,eventflag varchar)"),
                          recipients, eventFlags, failure);
}

bool saveSmsRecipients(const QStringList &phones, const QStringList &eventFlags, QString *failure)
{
    return saveSmsRecipientsAt(appPaths.smsRecDbPath, phones, eventFlags, failure);
}

bool readSmsRecipientsAt(const QString &path, QStringList *phones, QStringList *eventFlags)
{
    return loadRecipients(QStringLiteral("initsmsrec"), path, QStringLiteral("smsrec"), phones, eventFlags);
}

bool saveSmsRecipientsAt(const QString &path, const QStringList &phones, const QStringList &eventFlags,
                         QString *failure)
{
    return saveRecipients(QStringLiteral("savesmsrec"), path, QStringLiteral("smsrec"),
                          QStringLiteral("create table smsrec(recnumber varchar,eventflag varchar)"), phones,
                          eventFlags, failure);
}

bool portChosen(const QString &name)
{
    return !name.trimmed().isEmpty() && name != QLatin1String(kNoPortName);
}

bool portsClash(const QString &devicePort, const QString &modemPort)
{
    return portChosen(devicePort) && devicePort == modemPort;
}

bool eventMaskSelects(quint64 mask, int code, int lastMaskedCode)
{
    if (code > lastMaskedCode)
        return true;
    return code >= 0 && ((mask >> (code / 2)) & 1u);
}

bool eventMaskSelects(const QString &mask, int code, int lastMaskedCode)
{
    return eventMaskSelects(mask.toULongLong(), code, lastMaskedCode);
}

QStringList recipientsOfEvent(const QStringList &addresses, const QStringList &masks, int code, int lastMaskedCode)
{
    QStringList out;
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        if (!addresses.at(i).isEmpty() && eventMaskSelects(masks.value(i), code, lastMaskedCode))
            out << addresses.at(i);
    }
    return out;
}

bool mayRewriteRecipients(bool recipientsRead, const QStringList &storedAddresses, const QStringList &storedMasks,
                          const QStringList &addresses, const QStringList &masks)
{
    if (recipientsRead)
        return true;
    // The page shows what the failed read left, which the request carries back padded
    // to one empty entry; only a list with something in it is the user's own.
    const auto blank = [](const QStringList &list) {
        return std::all_of(list.begin(), list.end(), [](const QString &item) { return item.isEmpty(); });
    };
    if (storedAddresses.isEmpty() && storedMasks.isEmpty())
        return !(blank(addresses) && blank(masks));
    return addresses != storedAddresses || masks != storedMasks;
}

void loadSystemSettings()
{
    const QSettings ini(paramIniReadPath(), QSettings::IniFormat);
    loadKeys(ini, systemSettings, kSystemKeys);
    // Start-up runs before any thread: the schedule's lead time needs no lock here.
    preAlarm = text(ini, kPreAlarmKey, QString());
}

void loadDeviceSettings()
{
    const QSettings ini(paramIniReadPath(), QSettings::IniFormat);
    DeviceSettings &d = deviceSettings;
    loadKeys(ini, d, kDeviceKeys);
    d.depthDischarge = ini.value(QLatin1String(kDepthDischargeKey), kDefaultDepthDischarge).toDouble();

    const QString now = appClock().now().toString(QLatin1String(kMinuteFormat));
    d.strNextTestTime = catchUpSelfTestTime(d.strNextTestTime, d.testInterval, now);
}

void loadEmailSettings()
{
    {
        const QSettings ini(paramIniReadPath(), QSettings::IniFormat);
        EmailSettings &e = emailSettings;
        loadKeys(ini, e, kEmailKeys);
        e.senderPassword = scramblePassword(e.senderPassword, ScrambleDecode);
    }
    emailSettings.recipientsRead = loadRecipients(QStringLiteral("initemailrec"), appPaths.smtpRecDbPath,
                                                  QStringLiteral("emailrec"), &emailSettings.mailRecipients,
                                                  &emailSettings.mailEventFlags);
}

void loadSmsSettings()
{
    {
        const QSettings ini(paramIniReadPath(), QSettings::IniFormat);
        SmsSettings &s = smsSettings;
        loadKeys(ini, s, kSmsKeys);
        s.connect = ini.value(QLatin1String(kModemConnectKey), 0).toInt();
    }
    smsSettings.recipientsRead =
        readSmsRecipientsAt(appPaths.smsRecDbPath, &smsSettings.smsPhones, &smsSettings.smsEventFlags);
}

QString currentLang()
{
    QReadLocker locker(&settingsLock);
    return systemSettings.lang;
}

void setTestSmsOutcome(quint64 request, TestSmsState state, const QString &reason)
{
    QWriteLocker locker(&settingsLock);
    if (request == 0 || request != smsSettings.testSmsRequest)
        return;
    smsSettings.testSmsState = state;
    smsSettings.testSmsReason = reason;
}

bool checkParamIni()
{
    paramIniDamaged = false;
    paramIniUnreadable = false;
    QFile file(appPaths.paramIniPath);
    if (!file.exists() || file.size() == 0)
        return true;
    const QByteArray content = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    file.close();
    if (mayReadAsStream(content)) {
        setStreamLinesAside(content);
        return false;
    }
    // The INI reader reports what it cannot parse, but takes NUL bytes without a word.
    bool damaged = content.contains('\0');
    if (!damaged) {
        const QSettings ini(paramIniReadPath(), QSettings::IniFormat);
        ini.allKeys(); // the status of some parse errors is set only once a key is looked up
        damaged = ini.status() == QSettings::FormatError;
    }
    if (!damaged)
        return true;
    qCWarning(lcCore) << appPaths.paramIniPath
                      << "is damaged: the settings it holds may load as defaults; a copy is kept as"
                      << (appPaths.paramIniPath + QLatin1String(kDamagedCopySuffix)) << "before it is rewritten";
    paramIniDamaged = true;
    return false;
}

void loadAllSettings()
{
    checkParamIni();
    loadSystemSettings();
    loadDeviceSettings();
    loadEmailSettings();
    loadSmsSettings();
}

namespace {
// "0" and unknown interval codes do not repeat.
int selfTestPeriodDays(const QString &testInterval)
{
    if (testInterval == QLatin1String("1"))
        return 7;
    if (testInterval == QLatin1String("2"))
        return 14;
    return 0;
}
}

QString catchUpSelfTestTime(const QString &nextTestTime, const QString &testInterval, const QString &now)
{
    return catchUpDueTime(nextTestTime, selfTestPeriodDays(testInterval), now);
}

QString pullBackSelfTestTime(const QString &nextTestTime, const QString &testInterval, const QString &before,
                             const QString &now)
{
    return pullBackAfterClockStep(nextTestTime, selfTestPeriodDays(testInterval), before, now);
}

const SettingsKey<SystemSettings> kSystemKeys[kSystemKeyCount] = {
    {"lang", &SystemSettings::lang, "1"},
    {"dev_boudrate", &SystemSettings::dev_boudrate, "2"},
    {"dev_databit", &SystemSettings::dev_databit, "3"},
    {"dev_checkbit", &SystemSettings::dev_checkbit, "1"},
    {"dev_stopbit", &SystemSettings::dev_stopbit, "1"},
    {"msg_boudrate", &SystemSettings::msg_boudrate, "4"},
    {"msg_databit", &SystemSettings::msg_databit, "3"},
    {"msg_checkbit", &SystemSettings::msg_checkbit, "1"},
    {"msg_stopbit", &SystemSettings::msg_stopbit, "1"},
};

const SettingsKey<DeviceSettings> kDeviceKeys[kDeviceKeyCount] = {
    {"comProtocol", &DeviceSettings::comProtocol, "0"},
    {"comType", &DeviceSettings::comType, "0"},
    {"comAddr", &DeviceSettings::comAddr, "1"},
    {"inverterSelectName", &DeviceSettings::inverterSelectName, kNoPortName},
    {"testInterval", &DeviceSettings::testInterval, "0"},
    {"testTimePerWeek", &DeviceSettings::testTimePerWeek, "0"},
    {"selftestTime", &DeviceSettings::selftestTime, "08:00"},
    {"selftestType", &DeviceSettings::selftestType, "0"},
    {"manBypassSwitch", &DeviceSettings::manBypassSwitch, "0"},
    {"countdownOffITime", &DeviceSettings::countdownOffITime, "10"},
    {"delayStartITime", &DeviceSettings::delayStartITime, "10"},
    {"longctlSelected", &DeviceSettings::longctlSelected, ""},
    {"strNextTestTime", &DeviceSettings::strNextTestTime, ""},
};

const EmailSettingsKey kEmailKeys[kEmailKeyCount] = {
    {"serverHostaddr", &EmailSettings::serverHostaddr, kDefaultServerHostaddr},
    {"serverHostPort", &EmailSettings::serverHostPort, "25"},
    {"senderAddr", &EmailSettings::senderAddr, ""},
    {"serverAuthFlag", &EmailSettings::serverAuthFlag, "1"},
    {"senderAccount", &EmailSettings::senderAccount, ""},
    {"senderPassword", &EmailSettings::senderPassword, ""},
    {"sslFlag", &EmailSettings::sslFlag, "1"},
    {"genRDFlag", &EmailSettings::genRDFlag, "0"},
    {"genRDay", &EmailSettings::genRDay, ""},
    {"genRMFlag", &EmailSettings::genRMFlag, "0"},
    {"genRMonth", &EmailSettings::genRMonth, ""},
    {"genRYFlag", &EmailSettings::genRYFlag, "0"},
    {"genRYear", &EmailSettings::genRYear, ""},
};

const SettingsKey<SmsSettings> kSmsKeys[kSmsKeyCount] = {
    {"smsFlag", &SmsSettings::smsFlag, "0"},
    {"SMSSelectName", &SmsSettings::SMSSelectName, kNoPortName},
};

QLatin1String paramKey(QString SystemSettings::*member)
{
    return keyOf(kSystemKeys, member);
}

QLatin1String paramKey(QString DeviceSettings::*member)
{
    return keyOf(kDeviceKeys, member);
}

QLatin1String paramKey(QString EmailSettings::*member)
{
    return keyOf(kEmailKeys, member);
}

QLatin1String paramKey(QString SmsSettings::*member)
{
    return keyOf(kSmsKeys, member);
}

ParamKeys emailParamKeys(const QString *values, int count)
{
    ParamKeys keys;
    for (int i = 0; i < count && i < kEmailKeyCount; ++i) {
        const bool password = kEmailKeys[i].member == &EmailSettings::senderPassword;
        keys.append({QLatin1String(kEmailKeys[i].key),
                     password ? scramblePassword(values[i], ScrambleEncode) : values[i]});
    }
    return keys;
}

bool writeParamKeys(const ParamKeys &keys, QString *failure)
{
    const QString cannotWrite = QStringLiteral("cannot write %1").arg(appPaths.paramIniPath);
    if (paramIniUnreadable) {
        // Writing goes through the reader, which must not see this file.
        if (failure)
            *failure = QStringLiteral("%1 holds damaged values and could not be set aside").arg(appPaths.paramIniPath);
        return false;
    }
    if (paramIniDamaged) {
        QMutexLocker locker(&damagedCopyMutex);
        if (paramIniDamaged) {
            if (!keepDamagedCopy()) {
                if (failure)
                    *failure = writeFailureReason(appPaths.paramIniPath, cannotWrite);
                return false;
            }
            paramIniDamaged = false;
        }
    }
    QSettings ini(appPaths.paramIniPath, QSettings::IniFormat);
    // The file is written whole beside the old one and renamed over it, never in place:
    // a full disk leaves the old file, not a truncated one.
    ini.setAtomicSyncRequired(true);
    for (const auto &kv : keys)
        ini.setValue(kv.first, kv.second);
    ini.sync();
    // A file that did not parse leaves FormatError behind a write that succeeded.
    if (ini.status() == QSettings::AccessError) {
        const QString reason = writeFailureReason(appPaths.paramIniPath, cannotWrite);
        qCWarning(lcCore).noquote() << "cannot write" << appPaths.paramIniPath << ":" << reason;
        if (failure)
            *failure = reason;
        return false;
    }
    return true;
}

int devicePortBaud(const QString &code)
{
    // The codes are matched as texts, like the other line codes: "04" or " 4" is no
    // code of the table and opens at the fallback rate.
    static const int rates[] = {1200, 2400, 4800, 9600, 19200, 38400};
    if (code.size() == 1 && code[0] >= QLatin1Char('1') && code[0] <= QLatin1Char('6'))
        return rates[code[0].unicode() - '1'];
    return 115200;
}

int modemPortBaud(const QString &code)
{
    static const int rates[] = {1200, 2400, 4800, 9600, 19200, 38400, 115200};
    if (code.size() == 1 && code[0] >= QLatin1Char('1') && code[0] <= QLatin1Char('7'))
        return rates[code[0].unicode() - '1'];
    return 9600;
}

int portDataBits(const QString &code, int otherwise)
{
    if (code == QLatin1String("1"))
        return 6;
    if (code == QLatin1String("2"))
        return 7;
    if (code == QLatin1String("3"))
        return 8;
    return otherwise;
}

char portParity(const QString &code, char otherwise)
{
    if (code == QLatin1String("1"))
        return 'N';
    if (code == QLatin1String("2"))
        return 'O';
    if (code == QLatin1String("3"))
        return 'E';
    return otherwise;
}

int portStopBits(const QString &code, int otherwise)
{
    if (code == QLatin1String("1"))
        return 1;
    if (code == QLatin1String("2"))
        return 2;
    return otherwise;
}
