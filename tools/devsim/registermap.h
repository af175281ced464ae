#pragma once
// The simulated device's registers: one table of the three register maps (three-phase
// UPS, single-phase UPS, inverter) applied to a libmodbus mapping, with values that
// move slowly over time and registers a test can pin to a value of its own.
#include <modbus/modbus.h>

#include <ctime>
#include <string>
#include <vector>

struct MapRow;

enum Family : unsigned { FamilyThree = 1, FamilySingle = 2, FamilyInverter = 4 };

// Parses "three", "single" or "inverter"; 0 for anything else.
unsigned parseFamily(const std::string &name);

class SimDevice
{
public:
    explicit SimDevice(Family family);
    ~SimDevice();
    SimDevice(const SimDevice &) = delete;
    SimDevice &operator=(const SimDevice &) = delete;

    modbus_mapping_t *mapping() const { return m_map; }

    // Brings the input registers to their values at `seconds` since the start (a frozen
    // device shows the middle of each wave and the counters at their start) and the
    // device clock to `local`. Holding
    // registers keep what was last written, by the master or by a control command.
    void refresh(double seconds, const std::tm &local);

    void setDrift(bool on) { m_drift = on; }
    // False when the address lies outside the mapping.
    bool setDiscreteInput(int input, bool on);
    bool pinInputRegister(int reg, int value);
    bool setHoldingRegister(int reg, int value);

private:
    // Derives the powers, currents, load, battery power, remaining time and energy
    // counters from the voltages, load and PV current of the table, so that the figures
    // agree as on a real device: power = voltage x current x power factor, load = power
    // / rating, the battery's sign by charge or discharge, energy that grows with power.
    void applyPhysics(double seconds);
    // Writes one input register unless a control command pinned it.
    void put(int reg, double raw);
    double raw(int reg) const;
    double signedRaw(int reg) const;

    Family m_family;
    double m_lastSeconds = -1;
    double m_pvEnergyKwh = 0; // generated since the start, when values move
    modbus_mapping_t *m_map = nullptr;
    bool m_drift = true;
    std::vector<MapRow> m_rows;  // the input-register rows of this family
    std::vector<bool> m_pinned; // input registers set by a control command
};
