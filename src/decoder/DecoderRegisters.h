#pragma once

#include <cstdint>

namespace quav {

/// The decoder chip's side of the bus, shared by the driver, the simulated chip and the
/// tests: bus addresses, registers and the page memory layout.
namespace decoder {

inline constexpr std::uint8_t WriteAddress = 0x22;
inline constexpr std::uint8_t ReadAddress = 0x23;

/// Register numbers. A write transfer carries a register number and then values for it
/// and for the registers after it.
enum class Register : std::uint8_t
{
    Control = 0,     ///< set to 1 around the status read, back to 0 after it
    Mode = 1,        ///< set to 4 at every status query
    PageRequest = 2, ///< followed by the seven page-request bytes
    ReadStore = 8,   ///< read position: page store
    ReadRow = 9,     ///< read position: row
    ReadColumn = 10, ///< read position: column
    Status = 11,     ///< the status byte, read back
};

constexpr std::uint8_t operator+(Register r)
{
    return static_cast<std::uint8_t>(r);
}

inline constexpr int RowLength = 40;    ///< bytes per row of page memory
inline constexpr int PageRowCount = 24; ///< rows 0 to 23 make up the page
inline constexpr int StatusRow = 25;    ///< the row with subcode, language and flags
inline constexpr int StatusRowLength = 10;
inline constexpr int BlankedColumns = 7; ///< columns 0 to 6 of row 0 are the chip's own

// Status row bytes that the driver reads.
inline constexpr int StatusSubcodeUnits = 2;     ///< bits 0-3
inline constexpr int StatusSubcodeTens = 3;      ///< bits 0-2
inline constexpr int StatusSubcodeHundreds = 4;  ///< bits 0-3
inline constexpr int StatusSubcodeThousands = 5; ///< bits 0-1
inline constexpr int StatusLanguage = 7;         ///< bits 1-3: national option
inline constexpr int StatusMissingA = 8;         ///< bit 4 set: page not received
inline constexpr int StatusMissingB = 9;         ///< bit 5 set: page not received
inline constexpr std::uint8_t StatusMissingABit = 0x10;
inline constexpr std::uint8_t StatusMissingBBit = 0x20;

// Status byte (register 11): signal state in bits 0 and 1.
inline constexpr std::uint8_t SignalNoVideo = 0;
inline constexpr std::uint8_t SignalNoTeletext = 1;
inline constexpr std::uint8_t SignalTeletext = 2;

} // namespace decoder
} // namespace quav
