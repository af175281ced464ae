// The read transactions over both transports: request frames, reply checks, the USB-HID
// reply read against a fake report device, the serial link against a fake context, the
// line parameters and the real back ends where they run here.
#include "core/settings.h"
#include "device/hiddevice_hidapi.h"
#include "device/serial_thread.h"
#include "device/transactions.h"
#include "tests/device/devicefixture.h"
#include "tests/support/testenv.h"

#include <QtTest>

#include <hidapi.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

Q_DECLARE_METATYPE(HidFault)
Q_DECLARE_METATYPE(ModbusFault)

namespace {
QByteArray bytes(const QString &hexText) { return QByteArray::fromHex(hexText.toLatin1()); }
// n zero bytes as hex text, for the long replies of the table rows.
QString zeros(int n) { return QStringLiteral(" 00").repeated(n) + QLatin1Char(' '); }

} // namespace

class TestDeviceLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void hidRequestFrames_data();
    void hidRequestFrames();
    void verifyReply_data();
    void verifyReply();
    void hidTransaction_data();
    void hidTransaction();
    void hidReplyReadIsBounded();
    void hidDeviceOpensOnDemandWithExactIds();
    void serialTransaction_data();
    void serialTransaction();
    void serialLineParameters_data();
    void serialLineParameters();
    void idOutsideProtocolSendsNothing();
    void transactionsOfEachProtocol_data();
    void transactionsOfEachProtocol();
    void exactHidMatch();
    void realRtuBackend();

private:
    std::unique_ptr<DeviceFixture> f;
};

void TestDeviceLink::init()
{
    f = std::make_unique<DeviceFixture>();
    setLinkSettings(QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("/dev/null-device"));
}

void TestDeviceLink::cleanup()
{
    f.reset();
}

void TestDeviceLink::hidRequestFrames_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("comAddr");
    QTest::addColumn<QString>("request");
    QTest::newRow("id 1 status inputs") << "2" << 1 << "1" << "00 01 02 00 00 00 20 79 D2";
    QTest::newRow("id 2 settings block") << "2" << 2 << "1" << "00 01 03 00 00 00 2A C4 15";
    QTest::newRow("id 13 identity") << "2" << 13 << "1" << "00 01 04 80 00 00 14 D9 C5";
    QTest::newRow("id 1 ignores comAddr") << "2" << 1 << "10" << "00 01 02 00 00 00 20 79 D2";
    QTest::newRow("id 21 to hex comAddr") << "4" << 21 << "10" << "00 10 04 00 00 00 20 F2 93";
    QTest::newRow("id 27 to hex comAddr") << "4" << 27 << "10" << "00 10 02 00 78 00 50 FB 6E";
    QTest::newRow("id 28 to address 1") << "4" << 28 << "10" << "00 01 03 00 14 00 20 04 16";
}

void TestDeviceLink::hidRequestFrames()
{
    QFETCH(QString, protocol);
    QFETCH(int, id);
    QFETCH(QString, comAddr);
    QFETCH(QString, request);
    setLinkSettings(protocol, comAddr);
    f->thread.queryBlock(id, protocol);
    QCOMPARE(f->hid.requests.size(), 1);
    QCOMPARE(f->hid.requests.first().toHex(' ').toUpper(), request.toLatin1());
}

void TestDeviceLink::verifyReply_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("id 1 good") << 1 << "01 02 04 55 55 55 55 05 51" << true;
    QTest::newRow("id 1 good, report padding") << 1 << "01 02 04 55 55 55 55 05 51 00 00 00 00 00 00 00" << true;
    QTest::newRow("id 1 byte count 3") << 1 << "01 02 03 55 55 55 97 31" << false;
    QTest::newRow("id 7 any function") << 7 << "01 03 2A" + zeros(42) + "2E D8" << true;
    QTest::newRow("id 7 good") << 7 << "01 04 2A" + zeros(42) + "6B ED" << true;
    QTest::newRow("id 10 wrong function") << 10 << "01 03 14" + zeros(20) + "A3 67" << false;
    QTest::newRow("id 10 good") << 10 << "01 04 14" + zeros(20) + "95 81" << true;
    QTest::newRow("id 10 CRC swapped") << 10 << "01 04 14" + zeros(20) + "81 95" << false;
    QTest::newRow("id 10 slave 2") << 10 << "02 04 14" + zeros(20) + "C1 64" << false;
    QTest::newRow("id 10 cut before CRC") << 10 << "01 04 14" + zeros(20) << false;
    QTest::newRow("id 2 good") << 2 << "01 03 54" + zeros(84) + "99 95" << true;
    QTest::newRow("id 21 good") << 21
                                << "01 04 40 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 "
                                   "18 19 1A 1B 1C 1D 1E 1F 20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F 30 31 "
                                   "32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F E1 62"
                                << true;
    // An exception reply carries a valid CRC over its own short length.
    QTest::newRow("id 21 exception reply") << 21 << "01 84 02 C2 C1" << false;
    QTest::newRow("id 21 short reply, own CRC good") << 21 << "01 04 02 00 00 B9 30" << false;
    QTest::newRow("id 26 good") << 26 << "01 02 0F FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF 85 4C" << true;
    QTest::newRow("id 26 byte count past the buffer") << 26 << "01 02 FF FF FF" << false;
    QTest::newRow("empty") << 1 << "" << false;
    QTest::newRow("serial-only id") << 3 << "01 04 02 00 00 B9 30" << false;
}

void TestDeviceLink::verifyReply()
{
    QFETCH(int, id);
    QFETCH(QString, reply);
    QFETCH(bool, accepted);
    const QByteArray b = bytes(reply);
    QCOMPARE(f->thread.verifyReply(reinterpret_cast<const uint8_t *>(b.constData()), b.size(), id), accepted);
}

void TestDeviceLink::hidTransaction_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("id");
    QTest::addColumn<HidFault>("fault");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("openAfter");
    QTest::newRow("good reply over six reports") << "2" << 7 << HidFault::None << true << true;
    QTest::newRow("good inputs in two reports") << "2" << 1 << HidFault::None << true << true;
    QTest::newRow("good inverter alarms") << "4" << 26 << HidFault::None << true << true;
    QTest::newRow("silent") << "2" << 7 << HidFault::Silent << false << true;
    QTest::newRow("short write closes") << "2" << 7 << HidFault::ShortWrite << false << false;
    QTest::newRow("exception") << "2" << 7 << HidFault::Exception << false << true;
    QTest::newRow("exception inverter") << "4" << 22 << HidFault::Exception << false << true;
    QTest::newRow("reply from slave 16") << "4" << 21 << HidFault::WrongSlave << false << true;
    QTest::newRow("bad CRC") << "2" << 10 << HidFault::BadCrc << false << true;
    QTest::newRow("last report missing") << "2" << 2 << HidFault::Truncated << false << true;
    QTest::newRow("pause inside the reply") << "2" << 2 << HidFault::Gap << true << true;
    QTest::newRow("endless after a good reply") << "4" << 21 << HidFault::Endless << true << true;
}

void TestDeviceLink::hidTransaction()
{
    QFETCH(QString, protocol);
    QFETCH(int, id);
    QFETCH(HidFault, fault);
    QFETCH(bool, ok);
    QFETCH(bool, openAfter);
    setLinkSettings(protocol, QStringLiteral("10"));
    f->hid.faults = {fault};
    QCOMPARE(f->thread.queryBlock(id, protocol), ok);
    QCOMPARE(f->thread.hidOpen(), openAfter);
    QCOMPARE(f->hid.shutdowns, openAfter ? 0 : 1);
    // The first report is awaited 500 ms, every further one 800 ms.
    if (fault != HidFault::ShortWrite) {
        QVERIFY(!f->hid.readWaits.isEmpty());
        QCOMPARE(f->hid.readWaits.first(), 500);
        for (int i = 1; i < f->hid.readWaits.size(); ++i)
            QVERIFY(f->hid.readWaits.at(i) <= 800);
    }
    // The device is opened again by the next transaction after a short write.
    if (!openAfter) {
        QVERIFY(f->thread.queryBlock(id, protocol));
        QCOMPARE(f->hid.openedIds.size(), 2);
    }
}

void TestDeviceLink::hidReplyReadIsBounded()
{
    // Garbage without end from the first report on: the read stops, within its buffer.
    QVERIFY(f->thread.openHid());
    f->hid.scriptedReplies = {QByteArray()};
    f->hid.faults = {HidFault::Endless};
    const HidRequest request = buildHidRequest(1, ModbusFunction::ReadInputRegisters, 0, 21);
    f->hid.openDevice->write(request.data(), request.size());

    uint8_t buffer[16 + 8];
    std::memset(buffer, 0x11, sizeof buffer);
    QCOMPARE(f->thread.readHidReply(buffer, 16, 47), 16);
    for (size_t i = 16; i < sizeof buffer; ++i)
        QCOMPARE(buffer[i], uint8_t(0x11)); // nothing written past the capacity
    QVERIFY(f->hid.readWaits.size() <= 2 + 4);

    // A whole transaction on the babbling device ends as well.
    f->hid.readWaits.clear();
    f->thread.queryBlock(2, QStringLiteral("2"));
    QVERIFY(f->hid.readWaits.size() <= 96 / 8 + 4);
}

void TestDeviceLink::hidDeviceOpensOnDemandWithExactIds()
{
    f->hid.present = false;
    QVERIFY(!f->thread.queryBlock(7, QStringLiteral("2")));
    QVERIFY(f->hid.requests.isEmpty());
    f->hid.present = true;
    QVERIFY(f->thread.queryBlock(7, QStringLiteral("2")));
    QCOMPARE(f->hid.openedIds.size(), 2);
    QCOMPARE(f->hid.openedIds.last(), qMakePair(uint16_t(0x0001), uint16_t(0x0000)));
    f->thread.closeHid();
    QCOMPARE(f->hid.shutdowns, 1);
    QCOMPARE(f->hid.devicesAlive, 0);
}

void TestDeviceLink::serialTransaction_data()
{
    QTest::addColumn<QString>("comAddr");
    QTest::addColumn<ModbusFault>("fault");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("sentToSlave"); // -1: nothing sent
    QTest::addColumn<bool>("openAfter");
    QTest::newRow("good") << "1" << ModbusFault::None << true << 1 << true;
    QTest::newRow("address 247") << "247" << ModbusFault::None << true << 247 << true;
    QTest::newRow("decimal 10") << "10" << ModbusFault::None << true << 10 << true;
    QTest::newRow("empty address") << "" << ModbusFault::None << false << -1 << false;
    QTest::newRow("address not a number") << "abc" << ModbusFault::None << false << -1 << false;
    QTest::newRow("broadcast 0") << "0" << ModbusFault::None << false << -1 << false;
    QTest::newRow("address 248") << "248" << ModbusFault::None << false << -1 << false;
    QTest::newRow("read error closes") << "1" << ModbusFault::Error << false << 1 << false;
    QTest::newRow("short read keeps the port") << "1" << ModbusFault::Short << false << 1 << true;
}

void TestDeviceLink::serialTransaction()
{
    QFETCH(QString, comAddr);
    QFETCH(ModbusFault, fault);
    QFETCH(bool, ok);
    QFETCH(int, sentToSlave);
    QFETCH(bool, openAfter);
    setLinkSettings(QStringLiteral("0"), comAddr);
    f->modbus.faults = {fault};
    QCOMPARE(f->thread.queryBlock(3, QStringLiteral("0")), ok);
    QCOMPARE(f->thread.modbusOpen(), openAfter);
    if (sentToSlave < 0) {
        QVERIFY(f->modbus.requests.isEmpty());
        return;
    }
    QCOMPARE(f->modbus.requests.size(), 1);
    QCOMPARE(f->modbus.requests.first(), (FakeModbusRequest{sentToSlave, 4, 0, 125}));
    QCOMPARE(f->modbus.linksAlive, openAfter ? 1 : 0);
}

void TestDeviceLink::serialLineParameters_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("dataBits");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<QString>("stopBits");
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<int>("baudRate");
    QTest::addColumn<int>("dataBitCount");
    QTest::addColumn<char>("parityChar");
    QTest::addColumn<int>("stopBitCount");
    QTest::newRow("9600 8N1") << "ttyUSB0" << "4" << "3" << "1" << "1" << QByteArray("/dev/ttyUSB0") << 9600 << 8 << 'N' << 1;
    QTest::newRow("path as is") << "/tmp/pty0" << "1" << "1" << "2" << "2" << QByteArray("/tmp/pty0") << 1200 << 6 << 'O' << 2;
    QTest::newRow("38400 7E1") << "ttyS0" << "6" << "2" << "3" << "1" << QByteArray("/dev/ttyS0") << 38400 << 7 << 'E' << 1;
    QTest::newRow("code 7 is 115200") << "ttyS0" << "7" << "3" << "1" << "1" << QByteArray("/dev/ttyS0") << 115200 << 8 << 'N' << 1;
    QTest::newRow("code 04 is 115200") << "ttyS0" << "04" << "3" << "1" << "1" << QByteArray("/dev/ttyS0") << 115200 << 8 << 'N' << 1;
    QTest::newRow("empty code is 115200") << "ttyS0" << "" << "3" << "1" << "1" << QByteArray("/dev/ttyS0") << 115200 << 8 << 'N' << 1;
    QTest::newRow("bad codes") << "ttyS0" << "4" << "0" << "0" << "3" << QByteArray("/dev/ttyS0") << 9600 << 0 << char(0) << 0;
}

void TestDeviceLink::serialLineParameters()
{
    QFETCH(QString, name);
    QFETCH(QString, baud);
    QFETCH(QString, dataBits);
    QFETCH(QString, parity);
    QFETCH(QString, stopBits);
    {
        QWriteLocker l(&settingsLock);
        deviceSettings.inverterSelectName = name;
        systemSettings.dev_boudrate = baud;
        systemSettings.dev_databit = dataBits;
        systemSettings.dev_checkbit = parity;
        systemSettings.dev_stopbit = stopBits;
    }
    QVERIFY(f->thread.openModbusPort());
    QCOMPARE(f->modbus.opens.size(), 1);
    const SerialLineParams p = f->modbus.opens.first();
    QTEST(p.device, "device");
    QTEST(p.baud, "baudRate");
    QTEST(p.dataBits, "dataBitCount");
    QTEST(p.parity, "parityChar");
    QTEST(p.stopBits, "stopBitCount");
    // Reopening closes the previous context first.
    QVERIFY(f->thread.openModbusPort());
    QCOMPARE(f->modbus.linksAlive, 1);
}

void TestDeviceLink::idOutsideProtocolSendsNothing()
{
    setLinkSettings(QStringLiteral("0"), QStringLiteral("1"));
    QVERIFY(!f->thread.queryBlock(15, QStringLiteral("0")));
    QVERIFY(!f->thread.queryBlock(6, QStringLiteral("1")));
    QVERIFY(!f->thread.queryBlock(20, QStringLiteral("3")));
    QVERIFY(!f->thread.queryBlock(3, QStringLiteral("2")));
    QVERIFY(!f->thread.queryBlock(1, QStringLiteral("5")));
    QVERIFY(f->modbus.requests.isEmpty());
    QVERIFY(f->hid.requests.isEmpty());
}

void TestDeviceLink::transactionsOfEachProtocol_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QList<int>>("ids");
    QTest::addColumn<bool>("serial");
    const QList<int> serialUps{1, 2, 3, 4, 5};
    QTest::newRow("three-phase UPS") << "0" << serialUps << true;
    QTest::newRow("single-phase UPS") << "1" << serialUps << true;
    QTest::newRow("UPS over USB-HID") << "2" << QList<int>{1, 2, 7, 8, 9, 10, 11, 12, 13, 14} << false;
    QTest::newRow("inverter") << "3" << QList<int>{15, 16, 17, 18, 19} << true;
    QTest::newRow("inverter over USB-HID") << "4" << QList<int>{21, 22, 23, 24, 25, 26, 27, 28} << false;
    QTest::newRow("unknown code") << "9" << QList<int>{} << false;
    QTest::newRow("empty") << "" << QList<int>{} << false;
    QTest::newRow("two codes") << "01" << QList<int>{} << false;
    QTest::newRow("blank before") << " 0" << QList<int>{} << false;
}

void TestDeviceLink::transactionsOfEachProtocol()
{
    QFETCH(QString, protocol);
    QFETCH(QList<int>, ids);
    QFETCH(bool, serial);
    QList<int> found;
    for (int id = 0; id < 40; ++id) {
        const TransactionSpec *spec = findTransaction(id, protocol);
        if (!spec)
            continue;
        found.append(id);
        QCOMPARE(spec->id, id);
        QCOMPARE(spec->transport == Transport::Serial, serial);
    }
    QCOMPARE(found, ids);
    // Every step of the plan reads one of the code's own transactions.
    for (int step = 0; step < kPollPlanSteps; ++step) {
        const int id = pollPlanId(protocol, step);
        QCOMPARE(id == 0, ids.isEmpty());
        if (id != 0)
            QVERIFY(ids.contains(id));
    }
}

void TestDeviceLink::exactHidMatch()
{
    wchar_t none[] = L"";
    char pathA[] = "a", pathB[] = "b", pathC[] = "c";
    hid_device_info c{};
    c.path = pathC;
    c.vendor_id = 0x0001;
    c.product_id = 0x0000;
    hid_device_info b{};
    b.path = pathB;
    b.vendor_id = 0x0002;
    b.product_id = 0x0000;
    b.next = &c;
    hid_device_info a{};
    a.path = pathA;
    a.vendor_id = 0x0001;
    a.product_id = 0x0005;
    a.next = &b;
    a.serial_number = b.serial_number = c.serial_number = none;
    QCOMPARE(findExactHidDevice(&a, 0x0001, 0x0000), &c);
    c.product_id = 0x0007;
    QCOMPARE(findExactHidDevice(&a, 0x0001, 0x0000), nullptr);
    QCOMPARE(findExactHidDevice(nullptr, 0x0001, 0x0000), nullptr);
}

void TestDeviceLink::realRtuBackend()
{
    SerialLineParams p;
    p.baud = 9600;
    p.parity = 'N';
    p.dataBits = 8;
    p.stopBits = 1;
    p.device = QFile::encodeName(f->env.root() + QStringLiteral("/no-such-port"));
    QVERIFY(!rtuModbusBackend().open(p));

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0);
    QCOMPARE(grantpt(master), 0);
    QCOMPARE(unlockpt(master), 0);
    p.device = QByteArray(ptsname(master));
    // Nobody answers on the pty: the read fails once its response time-out is over. The
    // time it took, or -1 when the port did not open or the read did not fail.
    auto unansweredReadMs = [&p](ModbusBackend &backend) -> qint64 {
        std::unique_ptr<ModbusLink> link = backend.open(p);
        if (!link || !link->setSlave(1))
            return -1;
        QElapsedTimer t;
        t.start();
        uint16_t regs[2];
        return link->readRegisters(0, 2, regs) == -1 ? t.elapsed() : -1;
    };
    const qint64 programWait = unansweredReadMs(rtuModbusBackend());
    QVERIFY2(programWait >= 1400, qPrintable(QString::number(programWait)));
    // A back end of its own waits as told, whole seconds and the rest.
    const qint64 ownWait = unansweredReadMs(*makeRtuModbusBackend({1200, 100}));
    QVERIFY2(ownWait >= 1150 && ownWait < 1400, qPrintable(QString::number(ownWait)));
    p.parity = 0;
    QVERIFY(!rtuModbusBackend().open(p));
    p.parity = 'N';
    p.dataBits = 0;
    QVERIFY(!rtuModbusBackend().open(p));
    ::close(master);
}

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "tst_devicelink.moc"
