#!/usr/bin/python3
"""An independent Modbus-RTU slave for the cross-check of the serial transport.

Debian's pymodbus serves slave 1 with the fixed values below on the serial port given as
the only argument (one end of a socat pty pair). Prints "ready" once the port is open and
"write ADDRESS VALUE" for every holding register the master writes.
"""
import asyncio
import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server.async_io import ModbusSerialServer
from pymodbus.transaction import ModbusRtuFramer


class LoggedBlock(ModbusSequentialDataBlock):
    def setValues(self, address, values):  # noqa: N802 (pymodbus's name)
        for i, value in enumerate(values if isinstance(values, list) else [values]):
            print(f"write {address + i} {value}", flush=True)
        super().setValues(address, values)


def registers():
    ir = [0] * 0x8040
    ir[3] = 421                                   # system temperature
    ir[43], ir[49], ir[55] = 2301, 2298, 2310     # input voltage, three phases
    ir[67], ir[73], ir[79] = 2200, 2210, 2190     # output voltage
    ir[90], ir[93], ir[96] = 1500, 1400, 0xFF9C   # bypass power, phase C -100
    ir[110], ir[111] = 1, 0                       # lifetime PV energy 65536
    ir[102], ir[103] = 0x0001, 0x0005             # per-input table; inputs 1 and 3
    ir[126], ir[150] = 3805, 3900                 # their voltages
    ir[0x8004], ir[0x8005] = 0x4241, 0x4443       # name "ABCD", low byte first
    ir[0x801C] = 12                               # protocol version
    di = [0] * 64
    di[3] = di[20] = 1
    hr = [0] * 68
    hr[0], hr[40] = 0x1234, 2
    return di, ir, hr


def main(port):
    di, ir, hr = registers()
    slave = ModbusSlaveContext(
        di=ModbusSequentialDataBlock(0, di),
        co=ModbusSequentialDataBlock(0, [0] * 8),
        ir=ModbusSequentialDataBlock(0, ir),
        hr=LoggedBlock(0, hr),
        zero_mode=True,
    )
    context = ModbusServerContext(slaves={1: slave}, single=False)

    async def serve():
        server = ModbusSerialServer(context, ModbusRtuFramer, port=port, baudrate=9600)
        await server.start()
        print("ready", flush=True)
        await server.serve_forever()

    asyncio.run(serve())


if __name__ == "__main__":
    main(sys.argv[1])
