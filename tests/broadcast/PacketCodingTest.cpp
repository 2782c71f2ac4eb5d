#include "broadcast/PacketCoding.h"

#include "broadcast/Packet.h"

#include <bit>

#include <gtest/gtest.h>

namespace quav {
namespace {

using namespace packet_coding;

// ETS 300 706, 8.2, table of Hamming 8/4 code words for the data values 0 to 15, as bytes
// with the first transmitted bit in bit 0.
constexpr std::uint8_t PublishedCodeWords[16] = {0x15, 0x02, 0x49, 0x5E, 0x64, 0x73, 0x38, 0x2F,
                                                 0xD0, 0xC7, 0x8C, 0x9B, 0xA1, 0xB6, 0xFD, 0xEA};

TEST(Hamming84, EncodesThePublishedCodeWords)
{
    for (std::uint8_t n = 0; n < 16; ++n) {
        SCOPED_TRACE(int(n));
        EXPECT_EQ(Hamming84Encode(n), PublishedCodeWords[n]);
        EXPECT_EQ(Hamming84Encode(static_cast<std::uint8_t>(n | 0xF0)), PublishedCodeWords[n])
            << "high bits ignored";
    }
}

TEST(Hamming84, CorrectsEverySingleBitErrorAndRejectsEveryDoubleOne)
{
    for (std::uint8_t n = 0; n < 16; ++n) {
        const std::uint8_t word = PublishedCodeWords[n];
        EXPECT_EQ(Hamming84Decode(word), n);
        for (int a = 0; a < 8; ++a) {
            SCOPED_TRACE("value " + std::to_string(n) + " bit " + std::to_string(a));
            EXPECT_EQ(Hamming84Decode(static_cast<std::uint8_t>(word ^ (1U << a))), n);
            for (int b = a + 1; b < 8; ++b) {
                EXPECT_EQ(Hamming84Decode(static_cast<std::uint8_t>(word ^ (1U << a) ^ (1U << b))),
                          std::nullopt)
                    << "second bit " << b;
            }
        }
    }
}

TEST(Hamming84, AcceptsExactlyTheBytesWithinOneBitOfACodeWord)
{
    // 16 code words and 8 single errors of each: 144 of the 256 bytes decode.
    int accepted = 0;
    for (int b = 0; b < 256; ++b) {
        accepted += Hamming84Decode(static_cast<std::uint8_t>(b)).has_value() ? 1 : 0;
    }
    EXPECT_EQ(accepted, 144);
}

TEST(OddParity, SetsBitSevenSoThatEveryCodeIsOdd)
{
    const struct
    {
        std::uint8_t code, sent;
    } cases[] = {{0x20, 0x20}, {0x07, 0x07}, {0x41, 0x41 | 0x80}, {0x43, 0x43}, {0x00, 0x80}, {0x7F, 0x7F}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.code));
        EXPECT_EQ(WithOddParity(c.code), c.sent);
    }
    for (int code = 0; code < 256; ++code) {
        const std::uint8_t sent = WithOddParity(static_cast<std::uint8_t>(code));
        EXPECT_TRUE(HasOddParity(sent)) << code;
        EXPECT_EQ(sent & 0x7F, code & 0x7F) << code;
        EXPECT_EQ(HasOddParity(static_cast<std::uint8_t>(code)), std::popcount(unsigned(code)) % 2 == 1)
            << code;
    }
}

TEST(PacketAddress, RoundTripsEveryMagazineAndRow)
{
    for (std::uint8_t magazine = 1; magazine <= 8; ++magazine) {
        for (std::uint8_t row = 0; row < 32; ++row) {
            Packet p{};
            EncodeAddress(p, {magazine, row});
            EXPECT_EQ(DecodeAddress(p), (PacketAddress{magazine, row})) << int(magazine) << "/" << int(row);
        }
    }
}

TEST(PacketAddress, UsesTheBroadcastBytes)
{
    const struct
    {
        std::uint8_t first, second;
        PacketAddress address;
    } cases[] = {
        {0x02, 0x15, {1, 0}},                        // the header of magazine 1, as every T42 file shows it
        {0x15, 0x15, {8, 0}},                        // magazine 8 is sent as 0
        {0x49, 0x15, {2, 0}},  {0xC7, 0x15, {1, 1}}, // R1 shares the first byte with the magazine
        {0xD0, 0x15, {8, 1}},  {0xC7, 0x02, {1, 3}}, // value 9 = M1 + R1, then R2
        {0xFD, 0xEA, {6, 31}},                       // value 14 = M2 + M3 + R1, then R2 to R5
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.first));
        Packet p{};
        p[0] = c.first;
        p[1] = c.second;
        EXPECT_EQ(DecodeAddress(p), c.address);
        Packet encoded{};
        EncodeAddress(encoded, c.address);
        EXPECT_EQ(encoded[0], c.first);
        EXPECT_EQ(encoded[1], c.second);
    }
}

TEST(PacketAddress, RejectsADamagedAddressByte)
{
    Packet p{};
    EncodeAddress(p, {1, 5});
    for (int byte = 0; byte < 2; ++byte) {
        Packet bad = p;
        bad[byte] ^= 0x03;
        EXPECT_EQ(DecodeAddress(bad), std::nullopt) << byte;
        Packet fixable = p;
        fixable[byte] ^= 0x40;
        EXPECT_EQ(DecodeAddress(fixable), (PacketAddress{1, 5})) << byte;
    }
}

} // namespace
} // namespace quav
