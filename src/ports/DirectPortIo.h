#pragma once

#include "ports/PortIo.h"

#include <bitset>
#include <cstdint>
#include <span>
#include <string>

namespace quav {

/// Real processor I/O ports on x86 Linux (ioperm, inb, outb).
///
/// A write to an arbitrary port can do real harm on a PC, so this backend only ever touches
/// the ports it was given at construction (the adapter ports of the line adapters), and only
/// after Open() has obtained the kernel's permission for exactly those. Every other access
/// is refused: a refused read yields 0xFF, as an empty ISA bus does, and a refused write is
/// dropped. Single-threaded, like the bus code that uses it.
class DirectPortIo final : public PortIo
{
public:
    explicit DirectPortIo(std::span<const std::uint16_t> allowedPorts);
    ~DirectPortIo() override;

    DirectPortIo(const DirectPortIo&) = delete;
    DirectPortIo& operator=(const DirectPortIo&) = delete;

    /// True where this build can reach the ports at all (x86 Linux).
    static bool Supported();

    /// Asks the kernel for the allowed ports. Returns an empty string on success, otherwise
    /// a German message that says what is missing. On failure no permission is kept.
    std::string Open();
    bool IsOpen() const { return m_open; }
    /// The message for a refused ioperm: missing rights, or a kernel without ioperm.
    static std::string PortAccessRefusedText(int errorNumber);

    /// True when an access to the port would reach the hardware.
    bool Allows(std::uint16_t port) const { return m_open && m_allowed.test(port); }
    /// True when the port is one of those given at construction, open or not.
    bool IsAdapterPort(std::uint16_t port) const { return m_allowed.test(port); }

    std::uint8_t ReadPort(std::uint16_t port) override;
    void WritePort(std::uint16_t port, std::uint8_t value) override;

private:
    void Release();

    std::bitset<65536> m_allowed;
    bool m_open = false;
};

} // namespace quav
