#pragma once

#include "serial/CommDevice.h"
#include "serial/CommTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <termios.h>

namespace quav {

// Line-error flags, with the bit values of the classic COM port error word.
inline constexpr std::uint32_t CE_RXOVER = 0x0001;   ///< receive buffer overflow
inline constexpr std::uint32_t CE_OVERRUN = 0x0002;  ///< UART overrun
inline constexpr std::uint32_t CE_RXPARITY = 0x0004; ///< parity error
inline constexpr std::uint32_t CE_FRAME = 0x0008;    ///< framing error
inline constexpr std::uint32_t CE_BREAK = 0x0010;    ///< break condition

/// The termios speed for a baud rate; none when the system has no constant for it. 0 has
/// none on purpose: B0 would hang up the line and drop DTR.
std::optional<speed_t> SpeedForBaudRate(std::int32_t baudRate);

/// Sets up `t` for the port: raw 8-bit bytes, no echo, no flow control, modem lines left to
/// the program (CLOCAL, no HUPCL, no RTS/CTS handshake). Baud rate, parity and stop bits are
/// set when the system supports them; a value that it does not support leaves that setting
/// as it was in `t`.
void ConfigureTermios(termios& t, std::int32_t baudRate, TParity parity, TStopBits stopBits);

/// The error flags for the difference between two readings of the line counters.
std::uint32_t LineErrorFlags(const LineCounters& before, const LineCounters& after);

/// The text delivered for a line error, e.g. "Comm Event: CE_FRAME and CE_OVERRUN, EvtMask = 10".
std::string DescribeLineErrors(std::uint32_t flags);

} // namespace quav
