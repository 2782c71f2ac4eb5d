#include "broadcast/T42Recording.h"

#include "support/PacketBuilder.h"
#include "support/SimulatedStack.h"

#include <filesystem>

#include <gtest/gtest.h>

namespace quav {
namespace {

using test::ScratchDirectory;
using test::packets::Header;
using test::packets::Row;
using test::packets::WriteT42;

std::vector<Packet> Take(T42Recording& t42, int count)
{
    std::vector<Packet> out;
    Packet p{};
    for (int i = 0; i < count && t42.NextPacket(p); ++i) {
        out.push_back(p);
    }
    return out;
}

TEST(T42Recording, PlaysThePacketsInOrderAndStartsAgainAtTheEnd)
{
    ScratchDirectory dir;
    const std::vector<Packet> packets{Header("100", 0, "a"), Row(1, 1, "b"), Row(1, 2, "c")};
    WriteT42(dir.File("a.t42"), packets);
    T42Recording t42;
    ASSERT_EQ(t42.Open(dir.File("a.t42")), "");
    EXPECT_EQ(t42.PacketCount(), 3U);
    EXPECT_EQ(Take(t42, 7), (std::vector<Packet>{packets[0], packets[1], packets[2], packets[0], packets[1],
                                                 packets[2], packets[0]}));
}

TEST(T42Recording, DropsATruncatedLastPacket)
{
    ScratchDirectory dir;
    const std::vector<Packet> packets{Header("100", 0, "a"), Row(1, 1, "b")};
    for (std::size_t tail : {1U, 2U, 41U}) {
        SCOPED_TRACE(tail);
        WriteT42(dir.File("t.t42"), packets, tail);
        T42Recording t42;
        ASSERT_EQ(t42.Open(dir.File("t.t42")), "");
        EXPECT_EQ(t42.PacketCount(), 2U);
        EXPECT_EQ(Take(t42, 4), (std::vector<Packet>{packets[0], packets[1], packets[0], packets[1]}));
    }
}

TEST(T42Recording, SkipsAndCountsPacketsWithADamagedAddress)
{
    ScratchDirectory dir;
    Packet bad = Row(1, 4, "kaputt");
    bad[0] ^= 0x05;
    Packet fixable = Row(1, 5, "heil");
    fixable[1] ^= 0x10;
    WriteT42(dir.File("b.t42"), {Header("100", 0, ""), bad, fixable, bad});
    T42Recording t42;
    ASSERT_EQ(t42.Open(dir.File("b.t42")), "");
    const auto got = Take(t42, 4);
    ASSERT_EQ(got.size(), 4U);
    EXPECT_EQ(got[1], fixable) << "a correctable address is played as it is";
    EXPECT_EQ(got[2], got[0]);
    EXPECT_EQ(got[3], fixable);
    EXPECT_EQ(t42.SkippedPackets(), 3U);
}

TEST(T42Recording, RecordingWithNothingUsableGivesNothingAtOnce)
{
    ScratchDirectory dir;
    Packet bad = Row(1, 4, "kaputt");
    bad[1] ^= 0x03;
    WriteT42(dir.File("c.t42"), std::vector<Packet>(1000, bad));
    T42Recording t42;
    ASSERT_EQ(t42.Open(dir.File("c.t42")), "");
    Packet p{};
    EXPECT_FALSE(t42.NextPacket(p));
    EXPECT_FALSE(t42.NextPacket(p));
    EXPECT_EQ(t42.SkippedPackets(), 2000U);
}

TEST(T42Recording, ExplainsWhyAFileCannotBePlayed)
{
    ScratchDirectory dir;
    WriteT42(dir.File("kurz.t42"), {}, 41);
    const struct
    {
        std::string path, message;
    } cases[] = {
        {dir.File("fehlt.t42"),
         "Die Aufzeichnung \"" + dir.File("fehlt.t42") + "\" kann nicht geöffnet werden."},
        {dir.File("kurz.t42"),
         "Die Aufzeichnung \"" + dir.File("kurz.t42") + "\" enthält kein vollständiges Videotext-Paket."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        T42Recording t42;
        EXPECT_EQ(t42.Open(c.path), c.message);
        Packet p{};
        EXPECT_FALSE(t42.NextPacket(p));
    }
}

TEST(T42Recording, SurvivesTheFileShrinkingWhilePlaying)
{
    ScratchDirectory dir;
    const std::vector<Packet> packets{Header("100", 0, "a"), Row(1, 1, "b"), Row(1, 2, "c"), Row(1, 3, "d")};
    WriteT42(dir.File("s.t42"), packets);
    T42Recording t42;
    ASSERT_EQ(t42.Open(dir.File("s.t42")), "");
    Take(t42, 1);
    std::filesystem::resize_file(dir.File("s.t42"), 42 + 10);
    // What was read ahead before may still come; after that only the packet that is left.
    const auto after = Take(t42, 8);
    ASSERT_EQ(after.size(), 8U);
    EXPECT_EQ(std::vector<Packet>(after.begin() + 4, after.end()), std::vector<Packet>(4, packets[0]));
    std::filesystem::resize_file(dir.File("s.t42"), 0);
    Packet p{};
    int given = 0;
    for (int i = 0; i < 3 && t42.NextPacket(p); ++i) {
        ++given;
    }
    EXPECT_LT(given, 3);
    EXPECT_FALSE(t42.NextPacket(p)) << "an emptied file gives nothing, and at once";
}

} // namespace
} // namespace quav
