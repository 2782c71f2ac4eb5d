#pragma once

#include <cstdint>

namespace quav {

/// One byte in or out at a 16-bit processor I/O port address.
///
/// This is the seam between the bus code and whatever stands behind the ports: the real
/// ports (DirectPortIo), the modem lines of a tty (SerialLineIo) or the simulated decoder
/// board. Both operations take effect immediately and in program order, because the bus
/// timing rests on them. Implementations never throw.
class PortIo
{
public:
    virtual ~PortIo() = default;

    /// Reads one byte from the port.
    virtual std::uint8_t ReadPort(std::uint16_t port) = 0;
    /// Writes one byte to the port.
    virtual void WritePort(std::uint16_t port, std::uint8_t value) = 0;
};

} // namespace quav
