#pragma once

#include "bus/LineAdapters.h"
#include "ports/PortIo.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quav::test {

/// A logic analyser and a scriptable I2C slave on the c't card's strobe addresses.
///
/// The c't card suits a test bench: each level operation is one read of its own address,
/// so the analyser knows exactly which operation ran, and it sees the delays through the
/// delay probe. It keeps two records:
///  - `ops`: the line operations in order, as "SdaLow", "SdaHigh", "SclLow", "SclHigh",
///    "SdaRead", with "d" for each delay;
///  - `transcript`: the bus conditions and bytes: "S" start, "P" stop, "22+" a byte the
///    slave acknowledged, "22-" one it did not, and "<FD+" / "<FD-" a byte the slave sent
///    that the master acknowledged or not.
/// The slave follows the wire with its own start/stop detection and bit counting.
class I2cBusAnalyser : public PortIo, public DelayProbe
{
public:
    explicit I2cBusAnalyser(std::uint16_t ctBase = 0x100) : m_base(ctBase) {}

    std::uint8_t ReadPort(std::uint16_t port) override;
    void WritePort(std::uint16_t port, std::uint8_t value) override;
    void OnDelay(std::int32_t count) override;

    /// Decides whether the slave acknowledges a byte written to it; `index` 0 is the address.
    std::function<bool(int index, std::uint8_t byte)> acknowledge = [](int, std::uint8_t) { return true; };
    /// Supplies the bytes of a read transfer, one call per byte.
    std::function<std::uint8_t()> readByte = [] { return std::uint8_t{0}; };

    std::string ops;
    std::string transcript;
    int portWrites = 0;
    int foreignAccesses = 0; ///< accesses outside the four strobe addresses

    bool Sda() const { return m_masterSda && m_slaveSda; }
    bool Scl() const { return m_scl; }

private:
    void Token(std::string& log, const std::string& token);
    void SetLines(bool masterSda, bool scl);
    void OnRisingEdge();
    void OnFallingEdge();

    enum class Phase
    {
        Idle,
        Receive, ///< master sends: address or data
        Transmit ///< slave sends
    };

    std::uint16_t m_base;
    bool m_masterSda = true;
    bool m_slaveSda = true;
    bool m_scl = true;
    bool m_pendingRead = false;
    Phase m_phase = Phase::Idle;
    int m_clocks = 0;
    int m_byteIndex = 0;
    std::uint8_t m_shift = 0;
    bool m_reading = false;
    bool m_lastAck = false;
};

/// Collapses an ops trace of level operations that each carry one delay to their names
/// only ("SdaLow d SclLow d" to "SdaLow SclLow"); fails loudly if a delay is missing.
std::string WithoutDelays(const std::string& ops);

} // namespace quav::test
