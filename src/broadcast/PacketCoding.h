#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

/// The packet address as two table look-ups: AddressTables[0][first byte] |
/// AddressTables[1][second byte] is the eight address bits M1 M2 M3 R1 ... R5 (ETS 300 706,
/// 7.1.2), magazine in bits 0 to 2 and row above, or at least AddressRejected when either
/// byte is beyond correction. The result is below 0x200 either way.
inline constexpr unsigned AddressRejected = 0x100;
extern const std::array<std::array<std::uint16_t, 256>, 2> AddressTables;

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

/// The 40 text bytes of a packet's payload as seven-bit codes, a space for each byte whose
/// parity is wrong. `in` and `out` must not overlap.
///
/// Every packet of a recording goes through here, so the bytes are taken 16 or 32 at a time
/// in vector registers where the compiler offers vector types (SSE2, AVX2, NEON, ...), and eight
/// at a time in a 64-bit word elsewhere; both give each byte exactly what a byte-by-byte
/// check would.
inline void DecodeText40(const std::uint8_t* in, std::uint8_t* out);

namespace detail {

#if defined(__GNUC__) || defined(__clang__)
using Words8 = std::uint16_t __attribute__((vector_size(16)));
using Words16 = std::uint16_t __attribute__((vector_size(32)));

/// The codes of the bytes in `x`, 16 or 32 of them. A 32-byte block is two 16-byte ones
/// where the processor has no wider registers; where it has (AVX2), it is one.
template <typename Words>
[[gnu::always_inline]] inline void DecodeTextBlock(const std::uint8_t* in, std::uint8_t* out)
{
    Words x;
    std::memcpy(&x, in, sizeof x);
    // Bit 0 of each byte becomes the parity of that byte. The shifts run across whole 16-bit
    // lanes, so bits of a lane's high byte reach the upper bits of its low byte, never bit 0.
    Words p = x ^ (x >> 4);
    p ^= p >> 2;
    p ^= p >> 1;
    const Words odd = (p & 0x0101) * 0xFF; // 0xFF in each byte whose parity is right
    x = (((x & 0x7F7F) ^ 0x2020) & odd) ^ 0x2020;
    std::memcpy(out, &x, sizeof x);
}
#else
inline std::uint64_t DecodeText8(std::uint64_t x)
{
    constexpr std::uint64_t Ones = 0x0101010101010101ULL;
    // Bit 0 of each byte becomes the parity of that byte; bits shifted in from the
    // neighbouring byte only reach the bits above.
    std::uint64_t p = x ^ (x >> 4);
    p ^= p >> 2;
    p ^= p >> 1;
    const std::uint64_t odd = (p & Ones) * 0xFF; // 0xFF where the parity is right
    return (x & (Ones * 0x7F) & odd) | (Ones * 0x20 & ~odd);
}
#endif

} // namespace detail

inline void DecodeText40(const std::uint8_t* in, std::uint8_t* out)
{
#if defined(__GNUC__) || defined(__clang__)
    // Bytes 0-31 and 24-39: the second block overlaps the first, which only writes the same
    // codes twice because the input is never the output.
    detail::DecodeTextBlock<detail::Words16>(in, out);
    detail::DecodeTextBlock<detail::Words8>(in + 24, out + 24);
#else
    for (std::size_t at = 0; at < 40; at += 8) {
        std::uint64_t x = 0;
        std::memcpy(&x, in + at, sizeof x);
        x = detail::DecodeText8(x);
        std::memcpy(out + at, &x, sizeof x);
    }
#endif
}

} // namespace packet_coding
} // namespace quav
