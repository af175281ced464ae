#pragma once
// What a protocol code (comProtocol, as stored in "param.ini") means: the device family,
// the transport it is spoken over, and the family the device-settings page shows for it.
// This file alone compares codes; everything else asks it. Stateless; any thread.
#include <QString>

enum class DeviceFamily { Inverter, ThreePhaseUps, SinglePhaseUps };
enum class DeviceTransport { Serial, Hid };

// "3"/"4" inverter, "0" three-phase UPS, any other code single-phase UPS.
DeviceFamily deviceFamily(const QString &comProtocol);
// "0", "1" and "3" serial Modbus-RTU; "2", "4" and any unknown code USB-HID.
DeviceTransport deviceTransport(const QString &comProtocol);

// The family the settings page shows for a code: "1" for "1" and "2", "2" for "3" and
// "4", any other code unchanged.
QString familyOfProtocol(const QString &comProtocol);
// The code for a family of the settings page and a port type (comType "0" serial, "1"
// USB-HID). A family spoken over both transports with another port type keeps the
// current code; any other family text is the code itself.
QString protocolForFamily(const QString &family, const QString &comType, const QString &currentProtocol);
