#include "broadcast/PacketCoding.h"

#include <array>
#include <bit>

namespace quav::packet_coding {

namespace {

constexpr int Bit(unsigned value, int n)
{
    return static_cast<int>((value >> n) & 1U);
}

// ETS 300 706, 8.2: the bits go out as P1 D1 P2 D2 P3 D3 P4 D4 (bit 0 first). P1 to P3
// each give odd parity over three data bits, P4 over the whole byte.
constexpr std::uint8_t Encode(unsigned nibble)
{
    const int d1 = Bit(nibble, 0);
    const int d2 = Bit(nibble, 1);
    const int d3 = Bit(nibble, 2);
    const int d4 = Bit(nibble, 3);
    const int p1 = 1 ^ d1 ^ d3 ^ d4;
    const int p2 = 1 ^ d1 ^ d2 ^ d4;
    const int p3 = 1 ^ d1 ^ d2 ^ d3;
    const int p4 = 1 ^ p1 ^ d1 ^ p2 ^ d2 ^ p3 ^ d3 ^ d4;
    return static_cast<std::uint8_t>(p1 | d1 << 1 | p2 << 2 | d2 << 3 | p3 << 4 | d3 << 5 | p4 << 6 |
                                     d4 << 7);
}

constexpr std::array<std::uint8_t, 16> EncodeTable = [] {
    std::array<std::uint8_t, 16> t{};
    for (unsigned n = 0; n < 16; ++n) {
        t[n] = Encode(n);
    }
    return t;
}();

// The code words lie at least four bits apart, so a byte is either within one bit of
// exactly one of them (correctable) or at least two bits from all (rejected).
constexpr std::uint8_t Rejected = 0xFF;
constexpr std::array<std::uint8_t, 256> DecodeTable = [] {
    std::array<std::uint8_t, 256> t{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        t[byte] = Rejected;
        for (unsigned n = 0; n < 16; ++n) {
            if (std::popcount(static_cast<unsigned>(byte ^ EncodeTable[n])) <= 1) {
                t[byte] = static_cast<std::uint8_t>(n);
            }
        }
    }
    return t;
}();

static_assert(EncodeTable[0] == 0x15 && EncodeTable[15] == 0xEA, "ETS 300 706 table 8.2");

} // namespace

std::uint8_t Hamming84Encode(std::uint8_t nibble)
{
    return EncodeTable[nibble & 0x0F];
}

static_assert(Rejected == Hamming84Rejected);
const std::array<std::uint8_t, 256> Hamming84Table = DecodeTable;

const std::array<std::array<std::uint16_t, 256>, 2> AddressTables = [] {
    std::array<std::array<std::uint16_t, 256>, 2> t{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        const unsigned n = DecodeTable[byte];
        t[0][byte] = static_cast<std::uint16_t>(n == Rejected ? AddressRejected : n);
        t[1][byte] = static_cast<std::uint16_t>(n == Rejected ? AddressRejected : n << 4);
    }
    return t;
}();

bool HasOddParity(std::uint8_t byte)
{
    return (std::popcount(static_cast<unsigned>(byte)) & 1) != 0;
}

std::uint8_t WithOddParity(std::uint8_t code)
{
    const auto seven = static_cast<std::uint8_t>(code & 0x7F);
    return HasOddParity(seven) ? seven : static_cast<std::uint8_t>(seven | 0x80);
}

} // namespace quav::packet_coding
