// The checksum, the number formats, the UTF-8 conversions, the password scramble and
// the serial-port names.
#include "core/helpers.h"

#include <QtTest>

class TestHelpers : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { setSerialPortLister({}); }
    void crc_data();
    void crc();
    void crcOfFrameWithItsCrcIsZero_data();
    void crcOfFrameWithItsCrcIsZero();
    void formats_data();
    void formats();
    void numberOrZero_data();
    void numberOrZero();
    void utf8();
    void scramble_data();
    void scramble();
    void scrambledForm_data();
    void scrambledForm();
    void serialPortNames_data();
    void serialPortNames();
    void serialPortOpenPath_data();
    void serialPortOpenPath();
};

namespace {
uint16_t crcOf(const QByteArray &bytes)
{
    return crc16Modbus(reinterpret_cast<const uint8_t *>(bytes.constData()), uint16_t(bytes.size()));
}
}

void TestHelpers::crc_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("crc");
    QTest::addColumn<QByteArray>("wire");
    QTest::addRow("check string") << QByteArray("123456789") << 0x4B37 << QByteArray::fromHex("374B");
    QTest::addRow("empty") << QByteArray() << 0xFFFF << QByteArray::fromHex("FFFF");
    // Request bodies (bytes 1 to 6 of the USB-HID reports) and the CRC bytes they carry.
    QTest::addRow("read discrete inputs") << QByteArray::fromHex("010200000020") << 0xD279 << QByteArray::fromHex("79D2");
    QTest::addRow("read holding") << QByteArray::fromHex("01030000002A") << 0x15C4 << QByteArray::fromHex("C415");
    QTest::addRow("read input 0x8000") << QByteArray::fromHex("010480000014") << 0xC5D9 << QByteArray::fromHex("D9C5");
    QTest::addRow("bypass on") << QByteArray::fromHex("01060007FF00") << 0xFB79 << QByteArray::fromHex("79FB");
    QTest::addRow("self-test") << QByteArray::fromHex("01060005FFFF") << 0x7B98 << QByteArray::fromHex("987B");
}

void TestHelpers::crc()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, crc);
    QFETCH(QByteArray, wire);
    const uint16_t result = crcOf(bytes);
    QCOMPARE(int(result), crc);
    const char lowFirst[2] = {char(result & 0xFF), char(result >> 8)};
    QCOMPARE(QByteArray(lowFirst, 2), wire);
}

void TestHelpers::crcOfFrameWithItsCrcIsZero_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addRow("id 1") << QByteArray::fromHex("01020000002079D2");
    QTest::addRow("id 2") << QByteArray::fromHex("01030000002AC415");
    QTest::addRow("id 13") << QByteArray::fromHex("010480000014D9C5");
    QTest::addRow("bypass on") << QByteArray::fromHex("01060007FF0079FB");
}

void TestHelpers::crcOfFrameWithItsCrcIsZero()
{
    QFETCH(QByteArray, frame);
    QCOMPARE(int(crcOf(frame)), 0);
}

void TestHelpers::formats_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("two");
    QTest::addColumn<QString>("one");
    QTest::addRow("round") << "230.456" << "230.46" << "230.5";
    QTest::addRow("integer") << "5" << "5.00" << "5.0";
    QTest::addRow("negative") << "-1" << "-1.00" << "-1.0";
    QTest::addRow("empty") << "" << "0.00" << "0.0";
    QTest::addRow("letters") << "abc" << "0.00" << "0.0";
    QTest::addRow("decimal comma") << "1,5" << "0.00" << "0.0";
    QTest::addRow("per phase") << "0.0/0.0/0.0" << "0.00" << "0.0";
    QTest::addRow("exponent") << "1.5e3" << "1500.00" << "1500.0";
    QTest::addRow("sign") << "+2.5" << "2.50" << "2.5";
    QTest::addRow("carry") << "99.96" << "99.96" << "100.0";
    QTest::addRow("large") << "123456789" << "123456789.00" << "123456789.0";
    QTest::addRow("inf") << "inf" << "0.00" << "0.0";
    QTest::addRow("-inf") << "-inf" << "0.00" << "0.0";
    QTest::addRow("nan") << "nan" << "0.00" << "0.0";
    QTest::addRow("overflow") << "1e999" << "0.00" << "0.0";
}

void TestHelpers::formats()
{
    QFETCH(QString, text);
    QFETCH(QString, two);
    QFETCH(QString, one);
    QCOMPARE(format2Decimals(text), two);
    QCOMPARE(format1Decimal(text), one);
}

// Each type's out-of-range and not-a-number texts give 0, never Qt's infinity or a
// wrapped value.
void TestHelpers::numberOrZero_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("asFloat");
    QTest::addColumn<double>("asDouble");
    QTest::addColumn<uint>("asUShort");
    QTest::addColumn<uint>("asUInt");
    QTest::addColumn<qlonglong>("asLongLong");
    QTest::addRow("integer") << "65535" << 65535.0 << 65535.0 << 65535u << 65535u << 65535LL;
    QTest::addRow("past 16 bits") << "65536" << 65536.0 << 65536.0 << 0u << 65536u << 65536LL;
    QTest::addRow("past 32 bits") << "4294967296" << 4294967296.0 << 4294967296.0 << 0u << 0u << 4294967296LL;
    QTest::addRow("negative") << "-1" << -1.0 << -1.0 << 0u << 0u << -1LL;
    QTest::addRow("fraction") << "2.5" << 2.5 << 2.5 << 0u << 0u << 0LL;
    QTest::addRow("float overflow") << "1e39" << 0.0 << 1e39 << 0u << 0u << 0LL;
    QTest::addRow("double overflow") << "1e999" << 0.0 << 0.0 << 0u << 0u << 0LL;
    QTest::addRow("letters") << "x" << 0.0 << 0.0 << 0u << 0u << 0LL;
    QTest::addRow("empty") << "" << 0.0 << 0.0 << 0u << 0u << 0LL;
}

void TestHelpers::numberOrZero()
{
    QFETCH(QString, text);
    QFETCH(double, asFloat);
    QFETCH(double, asDouble);
    QFETCH(uint, asUShort);
    QFETCH(uint, asUInt);
    QFETCH(qlonglong, asLongLong);
    QCOMPARE(::numberOrZero<float>(text), float(asFloat));
    QCOMPARE(::numberOrZero<double>(text), asDouble);
    QCOMPARE(uint(::numberOrZero<ushort>(text)), asUShort);
    QCOMPARE(::numberOrZero<uint>(text), asUInt);
    QCOMPARE(::numberOrZero<qlonglong>(text), asLongLong);
}

void TestHelpers::utf8()
{
    QCOMPARE(toUtf8Bytes(QString()), QByteArray());
    QCOMPARE(toUtf8Bytes(QStringLiteral("é€")), QByteArray("\xc3\xa9\xe2\x82\xac"));
    QCOMPARE(fromUtf8Bytes(QByteArray()), QString());
    QCOMPARE(fromUtf8Bytes(QByteArray("\xc3\xa9")), QStringLiteral("é"));
    QCOMPARE(fromUtf8Bytes(QByteArray("a\xff")), QString(QStringLiteral("a") + QChar(QChar::ReplacementCharacter)));
}

void TestHelpers::scramble_data()
{
    QTest::addColumn<QString>("password");
    QTest::addRow("empty") << "";
    QTest::addRow("one byte") << "x";
    QTest::addRow("word") << "secret";
    QTest::addRow("ini specials") << "a,b;c=d\"e'f#g\\h[i]";
    QString printable;
    for (char c = 0x20; c < 0x7F; ++c)
        printable += QLatin1Char(c);
    QTest::addRow("every printable") << printable;
    QTest::addRow("long") << QString(200, QLatin1Char('Z'));
}

void TestHelpers::scramble()
{
    QFETCH(QString, password);
    const QString stored = scramblePassword(password, ScrambleEncode);
    QCOMPARE(stored.toUtf8().size(), password.toUtf8().size());
    QVERIFY(!stored.contains(QChar(QChar::ReplacementCharacter)));
    if (!password.isEmpty())
        QVERIFY(stored != password);
    QCOMPARE(scramblePassword(stored, ScrambleDecode), password);
    // Each byte is XORed with a key of its plain position and the order reversed: two
    // passwords of one length differ, stored, exactly where they differ, mirrored.
    const QByteArray plain = password.toUtf8();
    const QByteArray other(plain.size(), 'A');
    const QByteArray a = stored.toUtf8();
    const QByteArray b = scramblePassword(QString::fromLatin1(other), ScrambleEncode).toUtf8();
    const int n = plain.size();
    for (int j = 0; j < n; ++j)
        QCOMPARE(char(a.at(n - 1 - j) ^ b.at(n - 1 - j)), char(plain.at(j) ^ other.at(j)));
}

// The stored form is an external format: a changed key sequence would lock every user
// out of the password already in their "param.ini".
void TestHelpers::scrambledForm_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("stored");
    QTest::addRow("empty") << "" << "";
    QTest::addRow("one byte") << "x" << "|";
    QTest::addRow("word") << "secret" << "|dkqnw";
    QTest::addRow("ini specials") << "a,b;c=d\"e'f#g\\h[i] %" << "(&C~Ka^}0j\"x4k5b\"p'e";
}

void TestHelpers::scrambledForm()
{
    QFETCH(QString, password);
    QFETCH(QString, stored);
    QCOMPARE(scramblePassword(password, ScrambleEncode), stored);
    QCOMPARE(scramblePassword(stored, ScrambleDecode), password);
}

void TestHelpers::serialPortNames_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("expected");
    QTest::addRow("first value") << 0 << "value" << "ttyS0";
    QTest::addRow("first key") << 0 << "key" << "/dev/ttyS0";
    QTest::addRow("second value") << 1 << "value" << "ttyUSB0";
    QTest::addRow("past last") << 2 << "value" << "nokey";
    QTest::addRow("negative") << -1 << "key" << "nokey";
    QTest::addRow("other mode") << 0 << "name" << "";
}

void TestHelpers::serialPortNames()
{
    QFETCH(int, index);
    QFETCH(QString, mode);
    QFETCH(QString, expected);
    setSerialPortLister([] {
        return QList<SerialPortEntry>{{QStringLiteral("/dev/ttyS0"), QStringLiteral("ttyS0")},
                                      {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("ttyUSB0")}};
    });
    QCOMPARE(serialPortCount(), 2);
    QCOMPARE(getSerialPortName(index, mode), expected);
}

void TestHelpers::serialPortOpenPath_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");
    QTest::addRow("pty path") << "/dev/pts/7" << "/dev/pts/7";
    QTest::addRow("system name") << "ttyUSB0" << "/dev/ttyUSB0";
}

void TestHelpers::serialPortOpenPath()
{
    QFETCH(QString, name);
    QFETCH(QString, path);
    QCOMPARE(::serialPortOpenPath(name), path);
}

QTEST_GUILESS_MAIN(TestHelpers)
#include "tst_helpers.moc"
