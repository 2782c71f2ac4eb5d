#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace quav {

/// Byte protection of teletext packets (ETS 300 706, 8.2 and 8.3).
///
/// Bytes are taken as they lie in a T42 stream: bit 0 is the first bit transmitted. The
/// address and header bytes are Hamming 8/4 coded (four data bits and four protection bits
/// each, single errors corrected, double errors detected); the text bytes carry seven data
/// bits and an odd-parity bit in bit 7.
namespace packet_coding {

/// The Hamming 8/4 byte that carries the low four bits of `nibble`.
std::uint8_t Hamming84Encode(std::uint8_t nibble);

/// Hamming84Decode as a table, for the paths that decode every packet: the four data bits
/// of each byte, or Hamming84Rejected.
inline constexpr std::uint8_t Hamming84Rejected = 0xFF;
extern const std::array<std::uint8_t, 256> Hamming84Table;

/// The four data bits of a Hamming 8/4 byte, with a single bit error corrected; nothing
/// when the byte holds two or more errors and cannot be trusted.
inline std::optional<std::uint8_t> Hamming84Decode(std::uint8_t byte)
{
    const std::uint8_t value = Hamming84Table[byte];
    if (value == Hamming84Rejected) {
        return std::nullopt;
    }
    return value;
}

/// True when the byte has an odd number of set bits, as every transmitted text byte must.
bool HasOddParity(std::uint8_t byte);

/// The seven-bit code `code` with bit 7 set or cleared to give the byte odd parity.
std::uint8_t WithOddParity(std::uint8_t code);

} // namespace packet_coding
} // namespace quav
