#include "core/settings.h"

#include "core/clock.h"
#include "core/helpers.h"
#include "core/logging.h"
#include "core/paths.h"
#include "core/schedule.h"
#include "core/sqlutil.h"

#include <QDateTime>
#include <QReadLocker>
#include <QSettings>

namespace {
QString text(const QSettings &ini, const char *key, const QString &fallback)
{
    const QVariant value = ini.value(QLatin1String(key), fallback);
    // An unquoted value with commas, as a hand edit may leave it, reads as a list.
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1String(", "));
    return value.toString();
}

// Reads one recipient table (column 0 the address or number, column 1 the event mask).
void loadRecipients(const QString &connection, const QString &path, const QString &table,
                    QStringList *addresses, QStringList *masks)
{
    addresses->clear();
    masks->clear();
    DbConnection db(connection, path, DbConnection::ReadExisting);
    if (!db.isOpen())
        return;
    const QList<QStringList> rows = db.selectRows(QStringLiteral("select * from %1").arg(table));
    for (const QStringList &row : rows) {
        // A table with fewer than two columns is not ours; keep the lists parallel.
        if (row.size() < 2)
            continue;
        addresses->append(row.at(0));
        masks->append(row.at(1));
    }
}

bool saveRecipients(const QString &connection, const QString &path, const QString &table,
                    const QString &createSql, const QStringList &addresses, const QStringList &masks)
{
    QList<QVariantList> rows;
    rows.reserve(addresses.size());
    for (int i = 0; i < addresses.size(); ++i)
        rows.append({addresses.at(i), masks.value(i)});
    DbConnection db(connection, path, DbConnection::CreateIfMissing);
    const bool saved = db.rewriteTable(table, createSql, QStringLiteral("insert into %1 values(?,?)").arg(table), rows);
    if (!saved)
        qCWarning(lcCore) << "recipients not saved to" << path;
    return saved;
}
}

bool saveEmailRecipients(const QStringList &recipients, const QStringList &eventFlags)
{
    return saveRecipients(QStringLiteral("saveemailrec"), appPaths.smtpRecDbPath, QStringLiteral("emailrec"),
                          QStringLiteral("create table emailrec(recipient varchar,eventflag varchar)"),
                          recipients, eventFlags);
}

bool saveSmsRecipients(const QStringList &phones, const QStringList &eventFlags)
{
    return saveRecipients(QStringLiteral("savesmsrec"), appPaths.smsRecDbPath, QStringLiteral("smsrec"),
                          QStringLiteral("create table smsrec(recnumber varchar,eventflag varchar)"), phones,
                          eventFlags);
}

void loadSystemSettings()
{
    const QSettings ini(appPaths.paramIniPath, QSettings::IniFormat);
    SystemSettings &s = systemSettings;
    // Start-up runs before any thread: the schedule's lead time needs no lock here.
    preAlarm = text(ini, "preAlarm", QString());
    s.lang = text(ini, "lang", QStringLiteral("1"));
    s.dev_boudrate = text(ini, "dev_boudrate", QStringLiteral("2"));
    s.dev_databit = text(ini, "dev_databit", QStringLiteral("3"));
    s.dev_checkbit = text(ini, "dev_checkbit", QStringLiteral("1"));
    s.dev_stopbit = text(ini, "dev_stopbit", QStringLiteral("1"));
    s.msg_boudrate = text(ini, "msg_boudrate", QStringLiteral("4"));
    s.msg_databit = text(ini, "msg_databit", QStringLiteral("3"));
    s.msg_checkbit = text(ini, "msg_checkbit", QStringLiteral("1"));
    s.msg_stopbit = text(ini, "msg_stopbit", QStringLiteral("1"));
}

void loadDeviceSettings()
{
    const QSettings ini(appPaths.paramIniPath, QSettings::IniFormat);
    DeviceSettings &d = deviceSettings;
    d.comProtocol = text(ini, "comProtocol", QStringLiteral("0"));
    d.comType = text(ini, "comType", QStringLiteral("0"));
    d.comAddr = text(ini, "comAddr", QStringLiteral("1"));
    d.inverterSelectName = text(ini, "inverterSelectName", QStringLiteral("None"));
    d.testInterval = text(ini, "testInterval", QStringLiteral("0"));
    d.testTimePerWeek = text(ini, "testTimePerWeek", QStringLiteral("0"));
    d.selftestTime = text(ini, "selftestTime", QStringLiteral("08:00"));
    d.selftestType = text(ini, "selftestType", QStringLiteral("0"));
    d.depthDischarge = ini.value(QStringLiteral("depthDischarge"), 1.85).toDouble();
    d.manBypassSwitch = text(ini, "manBypassSwitch", QStringLiteral("0"));
    d.countdownOffITime = text(ini, "countdownOffITime", QStringLiteral("10"));
    d.delayStartITime = ini.value(QStringLiteral("delayStartITime"), 10).toString();
    d.longctlSelected = text(ini, "longctlSelected", QString());
    d.strNextTestTime = text(ini, "strNextTestTime", QString());

    const QString now = appClock().now().toString(QLatin1String(kMinuteFormat));
    d.strNextTestTime = catchUpSelfTestTime(d.strNextTestTime, d.testInterval, now);
}

void loadEmailSettings()
{
    {
        const QSettings ini(appPaths.paramIniPath, QSettings::IniFormat);
        EmailSettings &e = emailSettings;
        e.serverHostaddr = text(ini, "serverHostaddr", QLatin1String(kDefaultServerHostaddr));
        e.serverHostPort = text(ini, "serverHostPort", QStringLiteral("25"));
        e.senderAddr = text(ini, "senderAddr", QString());
        e.serverAuthFlag = text(ini, "serverAuthFlag", QStringLiteral("1"));
        e.senderAccount = text(ini, "senderAccount", QString());
        e.senderPassword = scramblePassword(text(ini, "senderPassword", QString()), ScrambleDecode);
        e.sslFlag = text(ini, "sslFlag", QStringLiteral("1"));
        e.genRDFlag = text(ini, "genRDFlag", QStringLiteral("0"));
        e.genRDay = text(ini, "genRDay", QString());
        e.genRMFlag = text(ini, "genRMFlag", QStringLiteral("0"));
        e.genRMonth = text(ini, "genRMonth", QString());
        e.genRYFlag = text(ini, "genRYFlag", QStringLiteral("0"));
        e.genRYear = text(ini, "genRYear", QString());
    }
    loadRecipients(QStringLiteral("initemailrec"), appPaths.smtpRecDbPath, QStringLiteral("emailrec"),
                   &emailSettings.mailRecipients, &emailSettings.mailEventFlags);
}

void loadSmsSettings()
{
    {
        const QSettings ini(appPaths.paramIniPath, QSettings::IniFormat);
        SmsSettings &s = smsSettings;
        s.SMSSelectName = text(ini, "SMSSelectName", QStringLiteral("None"));
        s.smsFlag = text(ini, "smsFlag", QStringLiteral("0"));
        s.connect = ini.value(QStringLiteral("connect"), 0).toInt();
    }
    loadRecipients(QStringLiteral("initsmsrec"), appPaths.smsRecDbPath, QStringLiteral("smsrec"),
                   &smsSettings.smsPhones, &smsSettings.smsEventFlags);
}

QString currentLang()
{
    QReadLocker locker(&settingsLock);
    return systemSettings.lang;
}

void loadAllSettings()
{
    loadSystemSettings();
    loadDeviceSettings();
    loadEmailSettings();
    loadSmsSettings();
}

QString catchUpSelfTestTime(const QString &nextTestTime, const QString &testInterval, const QString &now)
{
    // "0" and unknown interval codes do not repeat: a past test time is spent.
    int days = 0;
    if (testInterval == QLatin1String("1"))
        days = 7;
    else if (testInterval == QLatin1String("2"))
        days = 14;
    return catchUpDueTime(nextTestTime, days, now);
}

const EmailSettingsKey kEmailKeys[kEmailKeyCount] = {
    {"serverHostaddr", &EmailSettings::serverHostaddr},
    {"serverHostPort", &EmailSettings::serverHostPort},
    {"senderAddr", &EmailSettings::senderAddr},
    {"serverAuthFlag", &EmailSettings::serverAuthFlag},
    {"senderAccount", &EmailSettings::senderAccount},
    {"senderPassword", &EmailSettings::senderPassword},
    {"sslFlag", &EmailSettings::sslFlag},
    {"genRDFlag", &EmailSettings::genRDFlag},
    {"genRDay", &EmailSettings::genRDay},
    {"genRMFlag", &EmailSettings::genRMFlag},
    {"genRMonth", &EmailSettings::genRMonth},
    {"genRYFlag", &EmailSettings::genRYFlag},
    {"genRYear", &EmailSettings::genRYear},
};

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

bool writeParamKeys(const ParamKeys &keys)
{
    QSettings ini(appPaths.paramIniPath, QSettings::IniFormat);
    for (const auto &kv : keys)
        ini.setValue(kv.first, kv.second);
    ini.sync();
    if (ini.status() != QSettings::NoError) {
        qCWarning(lcCore) << "cannot write" << appPaths.paramIniPath;
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
    bool ok = false;
    const int n = code.toInt(&ok);
    return (ok && n >= 1 && n <= 7) ? rates[n - 1] : 9600;
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
