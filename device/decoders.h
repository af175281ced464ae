#pragma once
// The decoders: one register or discrete-input block of a poll transaction into the
// shared device state (upsInfo, inverterInfo, settingsValid; core/devicestate.h).
//
// Called by the device thread after a transaction, and by tests and fuzz targets with
// blocks of their own. Each stores under one write hold of upsInfo.lock and posts the
// events of a change after release. A block shorter than its transaction is refused
// whole. The ids are those of device/transactions.h.
#include <QString>
#include <QtGlobal>

class QTextCodec;

// What a block's rendering depends on besides its words.
struct DecodeContext
{
    // The protocol code of the moment: "0" gives the three-phase renderings of the UPS
    // values, every other code the single-phase ones.
    QString comProtocol;
    // Identity texts are GBK; null (a platform without the codec) reads them as Latin-1.
    QTextCodec *gbkCodec = nullptr;
};

// The platform's GBK codec, or null when it has none.
QTextCodec *platformGbkCodec();

// False when the block cannot be decoded (shorter than its transaction); true for a
// stored block and for an id the decoder does not decode.
bool parseModbusBlock(const DecodeContext &context, int id, const quint16 *block, int count);
bool parseHidBlock(const DecodeContext &context, int id, const quint16 *block, int count);
bool parseInverterModelBlock(int id, const quint16 *block, int count);
bool checkStatusBits(int id, const quint8 *inputs, int count);

// The pieces that more than one transaction carries; a short block stores nothing.
// The UPS settings block (holding registers 0 to 40).
void updateSettingRegisters(const quint16 *block, int count);
// The identity block from 0x8000 (name and type) and the versions block from 0x8014.
void parseDeviceIdentity(QTextCodec *gbkCodec, const quint16 *block, int count);
void parseDeviceVersions(QTextCodec *gbkCodec, const quint16 *block, int count);
