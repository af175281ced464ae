#pragma once
// The four settings records, their "param.ini" keys and the start-up loaders.
//
// Guard: settingsLock. Every writer (the settings slots on the GUI thread, the language
// change, the SMS thread for the modem members, the history thread for strNextTestTime)
// holds its write side while it changes a record; a reader in another thread copies what
// it needs under the read side and works on the copy. Never held across a database,
// file, device, modem or network access; no other lock is taken while it is held.
// The schedule's lead time, also a top-level "param.ini" key, is no member here: it
// belongs to the schedule group and its lock (core/schedule.h).
#include <QList>
#include <QPair>
#include <QReadWriteLock>
#include <QString>
#include <QStringList>
#include <QVariant>

struct SystemSettings
{
    QString lang;
    QString dev_boudrate;
    QString dev_databit;
    QString dev_checkbit;
    QString dev_stopbit;
    QString msg_boudrate;
    QString msg_databit;
    QString msg_checkbit;
    QString msg_stopbit;
};

struct DeviceSettings
{
    QString comProtocol;
    QString comType;
    QString comAddr;
    QString inverterSelectName;
    QString testInterval;
    QString testTimePerWeek;
    QString selftestTime;
    QString selftestType;
    double depthDischarge = 0;
    QString manBypassSwitch;
    QString countdownOffITime;
    QString delayStartITime;
    QString longctlSelected;
    QString strNextTestTime;
};

struct EmailSettings
{
    QString serverHostaddr;
    QString serverHostPort;
    QString senderAddr;
    QString serverAuthFlag;
    QString senderAccount;
    QString senderPassword; // in clear here; scrambled in "param.ini"
    QString sslFlag;
    QStringList mailRecipients;
    QStringList mailEventFlags;
    QString genRDFlag;
    QString genRDay;
    QString genRMFlag;
    QString genRMonth;
    QString genRYFlag;
    QString genRYear;
    // False while "smtprec.db" exists but could not be read at start (and has not been
    // saved since): the lists above are then empty for want of a read, not by the user's
    // choice, and the table is rewritten only with a list the user has changed.
    bool recipientsRead = true;
};

enum class TestSmsState { None, Queued, Sent, Failed };
// Why a test SMS to a number that no SMS can be addressed to was not sent; the settings
// page shows it, translated.
inline constexpr const char *kTestSmsBadNumber = "The number is not valid";

// The port setting's name for no port at all, the default of both port settings.
inline constexpr const char *kNoPortName = "None";
// Whether a port setting names a port: neither blank nor kNoPortName.
bool portChosen(const QString &name);
// Whether the device and the modem would share one port; two settings without a port
// share nothing.
bool portsClash(const QString &devicePort, const QString &modemPort);

struct SmsSettings
{
    QString smsFlag;
    QString SMSSelectName;
    QStringList smsPhones;
    QStringList smsEventFlags;
    QString smsTestPhone;
    qint32 connect = 0; // modem link state; read from "param.ini", never written
    QString modemManufacturer;
    QString modemModel;
    QString modemSoftwareVersion;
    QString modemOperator;
    QString modemServiceCentre;
    qint32 modemSignalQuality = 0;
    // The same for "smsrec.db" and the two lists above.
    bool recipientsRead = true;
    // The latest test SMS and what became of it, for the settings page. The bridge
    // numbers each request and marks it queued; the SMS thread reports the outcome of that
    // request alone, so an older test that ends late does not overwrite a newer one.
    quint64 testSmsRequest = 0;
    TestSmsState testSmsState = TestSmsState::None;
    QString testSmsReason; // why it was not sent
};

// Records the outcome of test SMS request `request` when it is still the latest one.
// Takes the write side of settingsLock; any thread.
void setTestSmsOutcome(quint64 request, TestSmsState state, const QString &reason = QString());

extern SystemSettings systemSettings;
extern DeviceSettings deviceSettings;
extern EmailSettings emailSettings;
extern SmsSettings smsSettings;
extern QReadWriteLock settingsLock;

// systemSettings.lang, copied under the read side of settingsLock.
QString currentLang();

// Default SMTP server: a host on the local network, until the user enters theirs.
inline constexpr const char *kDefaultServerHostaddr = "192.168.1.1";

// Looks at "param.ini" once at start, before the loaders: a file that does not parse
// (binary garbage, UTF-16, NUL bytes) leaves the loaders on defaults, so it is named in
// one warning, and writeParamKeys keeps a copy of it as "param.ini.damaged" (replacing
// an older copy) before it first rewrites the file. False when the file is damaged.
bool checkParamIni();
inline constexpr const char *kDamagedCopySuffix = ".damaged";

void loadSystemSettings();
void loadDeviceSettings();
void loadEmailSettings();
void loadSmsSettings();
// checkParamIni, then the four above, in that order (the start-up order).
void loadAllSettings();

// Rewrite a recipient table whole from parallel lists (entry i of masks belongs to entry
// i of the addresses), in one transaction with bound values, so a crash leaves the old
// table or the new one and an apostrophe is stored as it is. The caller passes copies
// taken under settingsLock and calls without holding it. The file is replaced only by a
// complete one (replaceTableInFile). False when not saved, with the reason in failure.
bool saveEmailRecipients(const QStringList &recipients, const QStringList &eventFlags,
                         QString *failure = nullptr); // "smtprec.db"
bool saveSmsRecipients(const QStringList &phones, const QStringList &eventFlags,
                       QString *failure = nullptr); // "smsrec.db"
// The same table in a file of another place (an archive's copy being imported): read as
// the loader reads it (false when it could not be), and rewritten as the setter writes it.
bool readSmsRecipientsAt(const QString &path, QStringList *phones, QStringList *eventFlags);
bool saveSmsRecipientsAt(const QString &path, const QStringList &phones, const QStringList &eventFlags,
                         QString *failure = nullptr);
// Whether a list the user sent may replace a recipient table: always when the table was
// read (recipientsRead), else only when it differs from the lists in memory, which the
// failed read left empty. Keeps an unreadable file from being erased by a save of some
// other field of the page.
bool mayRewriteRecipients(bool recipientsRead, const QStringList &storedAddresses, const QStringList &storedMasks,
                          const QStringList &addresses, const QStringList &masks);

// A recipient's event mask is decimal text whose bit k selects the codes 2k and 2k + 1;
// the settings pages may store every bit of 64 set. Codes after the last masked one go
// to every recipient: e-mail masks reach the link-state codes, SMS masks stop before them.
inline constexpr int kLastEmailMaskedCode = 57;
inline constexpr int kLastSmsMaskedCode = 55;
// Whether mask selects code; text that is no unsigned number of up to 64 bits selects
// no masked code.
bool eventMaskSelects(const QString &mask, int code, int lastMaskedCode);
bool eventMaskSelects(quint64 mask, int code, int lastMaskedCode);
// The addresses (empty entries skipped) whose mask, the entry of masks at the same
// index, selects code, in list order.
QStringList recipientsOfEvent(const QStringList &addresses, const QStringList &masks, int code, int lastMaskedCode);

// Moves a past strNextTestTime on by its interval until it lies after now; "" when
// there is nothing to advance or the interval code is unknown. Used at load and by the
// self-test firing.
QString catchUpSelfTestTime(const QString &nextTestTime, const QString &testInterval, const QString &now);
// strNextTestTime after the clock was set back from before to now (pullBackAfterClockStep
// with the interval's period); unchanged for an interval that does not repeat.
QString pullBackSelfTestTime(const QString &nextTestTime, const QString &testInterval, const QString &before,
                             const QString &now);

// Writes keys to "param.ini" through a settings object of its own, and syncs; the file is
// replaced whole, never written in place. Returns false (with a warning, and the reason
// in words for the user in failure) when the file could not be written, or when the copy
// of a damaged file could not be kept, in which case nothing is written. Any thread.
using ParamKeys = QList<QPair<QString, QVariant>>;
bool writeParamKeys(const ParamKeys &keys, QString *failure = nullptr);

// The stored text members of one settings record: the top-level "param.ini" key (which
// is also the request and reply key of the settings slots), the member and the value a
// missing key loads as. The loaders, the setters and the replies all go through these
// tables, so a key is spelt once.
template<typename Record>
struct SettingsKey
{
    const char *key;
    QString Record::*member;
    const char *fallback;
};
using EmailSettingsKey = SettingsKey<EmailSettings>;

// "lang", then the port codes (device port first, then the modem port), the order of the
// system-settings reply. The schedule's "preAlarm" is no member of this record.
inline constexpr int kSystemKeyCount = 9;
inline constexpr int kPortKeyFirst = 1;
extern const SettingsKey<SystemSettings> kSystemKeys[kSystemKeyCount];

// Every text member of DeviceSettings; depthDischarge is a number and has its key below.
inline constexpr int kDeviceKeyCount = 13;
extern const SettingsKey<DeviceSettings> kDeviceKeys[kDeviceKeyCount];
inline constexpr const char *kDepthDischargeKey = "depthDischarge";
// In volts per cell, the depth the device ships with.
inline constexpr double kDefaultDepthDischarge = 1.85;

// The single e-mail values, in the order of the requests and replies: the seven of the
// SMTP server first (the test e-mail carries those alone), then the report flags and
// times. The password is scrambled in "param.ini" (emailParamKeys, loadEmailSettings).
inline constexpr int kEmailKeyCount = 13;
inline constexpr int kEmailServerKeyCount = 7;
extern const EmailSettingsKey kEmailKeys[kEmailKeyCount];

// The stored text members of SmsSettings; "connect" is a number and has its key below.
// The modem members and the test number are never stored.
inline constexpr int kSmsKeyCount = 2;
extern const SettingsKey<SmsSettings> kSmsKeys[kSmsKeyCount];
inline constexpr const char *kModemConnectKey = "connect";

// The "param.ini" key of a member of one of the tables above. A member that no table
// holds is a programming error: it asserts, and gives "" in a release build.
QLatin1String paramKey(QString SystemSettings::*member);
QLatin1String paramKey(QString DeviceSettings::*member);
QLatin1String paramKey(QString EmailSettings::*member);
QLatin1String paramKey(QString SmsSettings::*member);
// The "param.ini" keys of the first count e-mail values (values[i] belongs to
// kEmailKeys[i]), the password scrambled.
ParamKeys emailParamKeys(const QString *values, int count);

// Port codes as stored in "param.ini", matched as texts ("04" or " 4" is no code).
// Device port: "1".."6" 1200..38400, any other 115200. Modem port: "1".."7"
// 1200..115200; any other code falls back to 9600.
int devicePortBaud(const QString &code);
int modemPortBaud(const QString &code);
// "1" 6, "2" 7, "3" 8; any other code gives `otherwise`.
int portDataBits(const QString &code, int otherwise = 8);
// 'N', 'O' or 'E' for "1", "2", "3"; any other code gives `otherwise`.
char portParity(const QString &code, char otherwise = 'N');
// "1" one, "2" two; any other code gives `otherwise`.
int portStopBits(const QString &code, int otherwise = 1);
