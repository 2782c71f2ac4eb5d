#include "broadcast/PageHeader.h"

#include "broadcast/PacketCoding.h"

#include <gtest/gtest.h>

namespace quav {
namespace {

using namespace packet_coding;

// Raw header bytes 2 to 9 from nibbles, coded as on air.
Packet RawHeader(std::uint8_t magazine, std::array<std::uint8_t, 8> nibbles)
{
    Packet p{};
    EncodeAddress(p, {magazine, 0});
    for (std::size_t i = 0; i < nibbles.size(); ++i) {
        p[2 + i] = Hamming84Encode(nibbles[i]);
    }
    return p;
}

TEST(PageHeader, ReadsPageNumberAndSubcodeFromTheirBytes)
{
    // page units 5, tens 2, S1 9, S2 5 (+C4), S3 3, S4 2 (+C5 +C6)
    const auto h = DecodeHeader(RawHeader(3, {5, 2, 9, 5 | 8, 3, 2 | 4 | 8, 0, 0}));
    ASSERT_TRUE(h);
    EXPECT_EQ(h->magazine, 3);
    EXPECT_EQ(h->tens, 2);
    EXPECT_EQ(h->units, 5);
    EXPECT_EQ(h->Page(), 0x25);
    EXPECT_EQ(h->subcode, (std::array<std::uint8_t, 4>{9, 5, 3, 2}));
    EXPECT_EQ(h->control, (1U << 4) | (1U << 5) | (1U << 6));
}

TEST(PageHeader, FindsEachControlBitInItsPlace)
{
    // Cn: header byte (2 to 9) and bit of its nibble, ETS 300 706 table 2.
    const struct
    {
        int c, byte, bit;
    } places[] = {{4, 5, 3},  {5, 7, 2},  {6, 7, 3},  {7, 8, 0},  {8, 8, 1}, {9, 8, 2},
                  {10, 8, 3}, {11, 9, 0}, {12, 9, 1}, {13, 9, 2}, {14, 9, 3}};
    for (const auto& place : places) {
        SCOPED_TRACE("C" + std::to_string(place.c));
        std::array<std::uint8_t, 8> nibbles{};
        nibbles[place.byte - 2] = static_cast<std::uint8_t>(1U << place.bit);
        const auto h = DecodeHeader(RawHeader(1, nibbles));
        ASSERT_TRUE(h);
        EXPECT_EQ(h->control, 1U << place.c);
        EXPECT_EQ(h->subcode, (std::array<std::uint8_t, 4>{}));

        PageHeader set;
        set.SetControl(place.c, true);
        Packet p{};
        EncodeHeader(p, set);
        EXPECT_EQ(p[place.byte], Hamming84Encode(static_cast<std::uint8_t>(1U << place.bit)));
    }
}

TEST(PageHeader, NationalOptionIsC12PlusTwiceC13PlusFourTimesC14)
{
    const struct
    {
        bool c12, c13, c14;
        std::uint8_t option;
    } cases[] = {{false, false, false, 0}, {true, false, false, 1}, {false, true, false, 2},
                 {false, false, true, 4},  {true, false, true, 5},  {false, true, true, 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.option));
        PageHeader h;
        h.SetControl(12, c.c12);
        h.SetControl(13, c.c13);
        h.SetControl(14, c.c14);
        EXPECT_EQ(h.NationalOption(), c.option);
        PageHeader g;
        g.SetNationalOption(c.option);
        EXPECT_EQ(g.control, h.control);
    }
}

TEST(PageHeader, RoundTripsThroughThePacket)
{
    PageHeader h;
    h.magazine = 8;
    h.tens = 0xF;
    h.units = 0xE;
    h.subcode = {15, 7, 15, 3};
    h.control = 0x7FF0; // C4 to C14
    Packet p{};
    EncodeHeader(p, h);
    EXPECT_EQ(DecodeHeader(p), h);
    EXPECT_TRUE(h.Serial());
}

TEST(PageHeader, RefusesDamagedHeadersAndOtherRows)
{
    PageHeader h;
    Packet p{};
    EncodeHeader(p, h);
    for (std::size_t byte = 2; byte < 10; ++byte) {
        Packet bad = p;
        bad[byte] ^= 0x11;
        EXPECT_EQ(DecodeHeader(bad), std::nullopt) << byte;
    }
    Packet row = p;
    EncodeAddress(row, {1, 1});
    EXPECT_EQ(DecodeHeader(row), std::nullopt);
}

} // namespace
} // namespace quav
