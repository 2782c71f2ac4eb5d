#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace quav {

/// Where the three adapters sit in the PC's I/O space and how their bits are wired.
/// Shared by the line adapters, the simulated board and the tests.
namespace adapter {

/// The values of the Device setting.
enum class DeviceKind : std::uint8_t
{
    SerialModule = 0, ///< "PC-Videotextmodul" on the modem lines of a COM port
    Vd3000s = 1,      ///< Wiegand VD3000S card
    CtCard = 2,       ///< c't VT-Steckkarte
};

/// COM port base addresses, indexed by Port - 1 (COM1 to COM4).
inline constexpr std::array<std::uint16_t, 4> ComBase{0x3F8, 0x2F8, 0x3E8, 0x2E8};
/// VD3000S card base addresses, indexed by VDPort.
inline constexpr std::array<std::uint16_t, 4> Vd3000sBase{0x250, 0x300, 0x330, 0x3E0};
/// c't card base addresses, indexed by ctsPort.
inline constexpr std::array<std::uint16_t, 6> CtBase{0x100, 0x1F0, 0x200, 0x220, 0x300, 0x3E0};

inline constexpr std::uint16_t ModemControlOffset = 4; ///< UART modem control register
inline constexpr std::uint16_t ModemStatusOffset = 6;  ///< UART modem status register
inline constexpr std::uint16_t Vd3000sRegisterOffset = 1;

// Serial module: DTR carries SDA (set = high), RTS carries SCL inverted (set = low),
// and SDA comes back inverted on DCD (set = low).
inline constexpr std::uint8_t McrDtr = 0x01;
inline constexpr std::uint8_t McrRts = 0x02;
inline constexpr std::uint8_t MsrDcd = 0x80;

// VD3000S register: a set bit pulls its line low; SDA is read back in bit 3.
inline constexpr std::uint8_t VdScl = 0x01;
inline constexpr std::uint8_t VdSda = 0x02;
inline constexpr std::uint8_t VdSdaIn = 0x08;

// c't card: reading one of four strobe addresses sets a line; SDA is bit 0 of base + 2.
inline constexpr std::uint16_t CtSclHigh = 0;
inline constexpr std::uint16_t CtSclLow = 1;
inline constexpr std::uint16_t CtSdaHigh = 2;
inline constexpr std::uint16_t CtSdaLow = 3;
inline constexpr std::uint8_t CtSdaIn = 0x01;

/// COM base of a port number 1 to 4; nothing for any other number.
constexpr std::optional<std::uint16_t> ComBaseOf(std::uint8_t port)
{
    if (port < 1 || port > ComBase.size()) {
        return std::nullopt;
    }
    return ComBase[port - 1];
}

constexpr std::optional<std::uint16_t> Vd3000sBaseOf(std::uint8_t index)
{
    if (index >= Vd3000sBase.size()) {
        return std::nullopt;
    }
    return Vd3000sBase[index];
}

constexpr std::optional<std::uint16_t> CtBaseOf(std::uint8_t index)
{
    if (index >= CtBase.size()) {
        return std::nullopt;
    }
    return CtBase[index];
}

/// Every port any adapter may touch: the two modem registers of each COM port, each
/// VD3000S register and the four strobes of each c't base. Nothing else is ever accessed.
constexpr auto AllAdapterPorts()
{
    std::array<std::uint16_t, ComBase.size() * 2 + Vd3000sBase.size() + CtBase.size() * 4> ports{};
    std::size_t n = 0;
    for (std::uint16_t base : ComBase) {
        ports[n++] = static_cast<std::uint16_t>(base + ModemControlOffset);
        ports[n++] = static_cast<std::uint16_t>(base + ModemStatusOffset);
    }
    for (std::uint16_t base : Vd3000sBase) {
        ports[n++] = static_cast<std::uint16_t>(base + Vd3000sRegisterOffset);
    }
    for (std::uint16_t base : CtBase) {
        for (std::uint16_t strobe = 0; strobe < 4; ++strobe) {
            ports[n++] = static_cast<std::uint16_t>(base + strobe);
        }
    }
    return ports;
}

} // namespace adapter
} // namespace quav
