#pragma once

#include "bus/AdapterPorts.h"
#include "sim/I2cSlave.h"

#include <array>
#include <cstdint>

namespace quav {

/// Where the board sits: which adapter, and the setting that selects its address (`Port`
/// 1 to 4 for the serial module, `VDPort` for the VD3000S card, `ctsPort` for the c't card).
struct BoardPlacement
{
    adapter::DeviceKind device = adapter::DeviceKind::SerialModule;
    std::uint8_t index = 1;

    friend bool operator==(const BoardPlacement&, const BoardPlacement&) = default;
};

/// The PC's I/O ports as the board sees them: turns the port accesses of the adapter it
/// sits on into SDA and SCL levels for the I2C slave, and answers everywhere else as a PC
/// without the board would.
///
/// - Serial module: DTR in the modem control register drives SDA (set = high), RTS drives
///   SCL inverted (set = low), and DCD in the modem status register shows SDA inverted
///   (set = low). The register keeps its value like a 16550's (bits 5 to 7 read 0).
/// - VD3000S: a set bit 1 pulls SDA low, a set bit 0 pulls SCL low; a read gives SDA in
///   bit 3 and the two output bits back.
/// - c't card: reading base + 0 to 3 sets SCL high, SCL low, SDA high, SDA low; the read
///   of base + 2 also gives SDA in bit 0 (sampled after the strobe has released SDA).
///
/// Elsewhere: each COM address is a UART with nothing attached (its modem control
/// register keeps what is written, its modem status register reads 0, so DCD is clear and
/// SDA reads high there), and every other port reads 0xFF and drops writes, like an empty
/// ISA bus. Nothing there ever acknowledges.
class AdapterPortDecoder
{
public:
    explicit AdapterPortDecoder(I2cSlave& bus) : m_bus(bus) { SetPlacement({}); }

    /// Moves the board. Its lines start released (bus idle), and the UARTs start with the
    /// modem control register 0, except the board's own, which starts with DTR set so
    /// that SDA is high too.
    void SetPlacement(BoardPlacement placement);
    BoardPlacement Placement() const { return m_placement; }

    /// What the serial driver does to COM `port` (1 to 4) when it is opened (raised: DTR
    /// and RTS set) and when its last user closes it (both cleared). On the board's own
    /// port the bus sees the new levels at once: SCL held low after an open.
    void SetComLines(int port, bool raised);

    // The serial module's two registers are what the bus code hits nearly all the time
    // (it is the default adapter), so they are decoded here, inline.
    std::uint8_t Read(std::uint16_t port)
    {
        if (port == m_mcr && m_mcr != 0) {
            return m_modemControl[m_comIndex];
        }
        if (port == m_msr && m_msr != 0) {
            return m_bus.Sda() ? 0x00 : adapter::MsrDcd;
        }
        return ReadCards(port);
    }
    void Write(std::uint16_t port, std::uint8_t value)
    {
        if (port == m_mcr && m_mcr != 0) {
            m_modemControl[m_comIndex] = static_cast<std::uint8_t>(value & UartMcrBits);
            m_bus.Step((value & adapter::McrRts) == 0, (value & adapter::McrDtr) != 0);
            return;
        }
        WriteCards(port, value);
    }

    /// The ports where the board answers; 0 for those its adapter does not have.
    std::uint16_t ModemControlPort() const { return m_mcr; }
    std::uint16_t ModemStatusPort() const { return m_msr; }
    std::uint16_t Vd3000sPort() const { return m_vd; }
    std::uint16_t CtBasePort() const { return m_ct; }

private:
    static constexpr std::uint8_t UartMcrBits = 0x1F; // DTR, RTS, OUT1, OUT2, LOOP

    std::uint8_t ReadCards(std::uint16_t port);
    void WriteCards(std::uint16_t port, std::uint8_t value);
    std::uint8_t ReadElsewhere(std::uint16_t port) const;
    void WriteElsewhere(std::uint16_t port, std::uint8_t value);

    I2cSlave& m_bus;
    BoardPlacement m_placement;
    std::uint16_t m_mcr = 0;
    std::uint16_t m_msr = 0;
    std::uint16_t m_vd = 0;
    std::uint16_t m_ct = 0;
    std::size_t m_comIndex = 0;                   ///< the board's COM port in m_modemControl
    std::array<std::uint8_t, 4> m_modemControl{}; ///< per COM port
    std::uint8_t m_vdLatch = 0;
};

} // namespace quav
