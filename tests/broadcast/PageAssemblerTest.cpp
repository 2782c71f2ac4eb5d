#include "broadcast/PageAssembler.h"

#include "support/PacketBuilder.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace quav {
namespace {

using test::packets::Header;
using test::packets::Row;

std::string Name(const AssembledPage& page)
{
    const char* hex = "0123456789ABCDEF";
    return std::string{
        static_cast<char>('0' + page.header.magazine % 8 + (page.header.magazine == 8 ? 8 : 0)),
        hex[page.header.tens], hex[page.header.units]};
}

// Writes down what page assembly reports, one short token per event.
class EventLog final : public PageAssemblyListener
{
public:
    void PageCompleted(const AssembledPage& page) override { events.push_back("end " + Name(page)); }
    void PageStarted(const AssembledPage& page) override { events.push_back("start " + Name(page)); }
    void RowReceived(const AssembledPage& page, int row) override
    {
        events.push_back(Name(page) + "/" + std::to_string(row));
    }
    std::vector<std::string> events;
};

std::string RowText(const AssembledPage& page, int row, std::size_t from = 0, std::size_t length = 40)
{
    return std::string(page.rows[row].begin() + static_cast<long>(from),
                       page.rows[row].begin() + static_cast<long>(from + length));
}

class PageAssemblerTest : public ::testing::Test
{
protected:
    void Feed(std::initializer_list<Packet> packets)
    {
        for (const Packet& p : packets) {
            assembler.Feed(p);
        }
    }
    EventLog log;
    PageAssembler assembler{log};
};

TEST_F(PageAssemblerTest, ParallelMagazinesKeepTheirOwnPages)
{
    Feed({Header("100", 0, "eins"), Header("200", 0, "zwei"), Row(1, 1, "Seite 100"), Row(2, 1, "Seite 200"),
          Header("101", 0, "eins"), Row(2, 2, "noch 200"), Row(1, 2, "Seite 101")});
    EXPECT_EQ(log.events, (std::vector<std::string>{"start 100", "start 200", "100/1", "200/1", "end 100",
                                                    "start 101", "200/2", "101/2"}));
    EXPECT_EQ(RowText(assembler.Page(2), 1, 0, 9), "Seite 200");
    EXPECT_EQ(RowText(assembler.Page(2), 2, 0, 8), "noch 200");
    EXPECT_EQ(RowText(assembler.Page(1), 1), std::string(40, ' ')) << "page 101 starts clear";
    EXPECT_EQ(assembler.Page(1).receivedRows, 0b101U);
    EXPECT_TRUE(assembler.Loading(2));
}

TEST_F(PageAssemblerTest, SerialPageEndsAtTheNextHeaderOfAnyMagazine)
{
    const std::uint16_t serial = 1U << PageHeader::C11;
    Feed({Header("100", 0, "", serial), Row(1, 1, "a"), Header("200", 0, "", serial), Row(1, 2, "verirrt"),
          Row(2, 1, "b")});
    EXPECT_EQ(log.events, (std::vector<std::string>{"start 100", "100/1", "end 100", "start 200", "200/1"}));
    EXPECT_FALSE(assembler.Loading(1));
    EXPECT_EQ(RowText(assembler.Page(1), 2), std::string(40, ' ')) << "a row after the end is not kept";
}

TEST_F(PageAssemblerTest, ParallelPageIsNotEndedByAnotherMagazinesSerialHeader)
{
    Feed({Header("100", 0, ""), Header("200", 0, "", 1U << PageHeader::C11), Row(1, 1, "x")});
    EXPECT_EQ(log.events, (std::vector<std::string>{"start 100", "start 200", "100/1"}));
}

TEST_F(PageAssemblerTest, MagazineEightIsItsOwnMagazine)
{
    Feed({Header("8A5", 0x0003, "acht"), Row(8, 4, "x"), Header("800", 0, "")});
    EXPECT_EQ(log.events, (std::vector<std::string>{"start 8A5", "8A5/4", "end 8A5", "start 800"}));
    EXPECT_EQ(assembler.Page(8).header.magazine, 8);
}

TEST_F(PageAssemblerTest, DamagedHeaderEndsThePageButStartsNone)
{
    Packet damaged = Header("150", 0, "kaputt");
    damaged[3] ^= 0x03; // page tens beyond correction
    Feed({Header("100", 0, ""), Row(1, 1, "gut"), damaged, Row(1, 2, "wem gehoert das?"),
          Header("101", 0, "")});
    EXPECT_EQ(log.events, (std::vector<std::string>{"start 100", "100/1", "end 100", "start 101"}));
    EXPECT_EQ(assembler.UndecodableHeaders(), 1U);
}

TEST_F(PageAssemblerTest, PacketsWithoutADecodableAddressAreDroppedAndCounted)
{
    Packet bad = Row(1, 3, "falsch");
    bad[1] ^= 0x81;
    Feed({Header("100", 0, ""), bad, bad});
    EXPECT_EQ(log.events, (std::vector<std::string>{"start 100"}));
    EXPECT_EQ(assembler.UndecodablePackets(), 2U);
    EXPECT_EQ(RowText(assembler.Page(1), 3), std::string(40, ' '));
}

TEST_F(PageAssemblerTest, StoresSevenBitCodesAndTurnsParityErrorsIntoSpaces)
{
    Packet row = Row(1, 5,
                     "\x01"
                     "ABC");
    row[2 + 2] ^= 0x80; // 'B' with its parity bit flipped
    Packet header = Header("100", 0, "Kopf");
    header[10] ^= 0x01; // 'K' damaged
    Feed({header, row});
    const AssembledPage& page = assembler.Page(1);
    EXPECT_EQ(RowText(page, 5, 0, 4), std::string("\x01"
                                                  "A C"));
    EXPECT_EQ(RowText(page, 0, 0, 12), "         opf") << "columns 0 to 7 are spaces, then the header text";
}

TEST_F(PageAssemblerTest, IgnoresRowsBeforeAnyHeaderAndRowsBeyondTwentyThree)
{
    Feed({Row(1, 1, "zu frueh"), Header("100", 0, ""), Row(1, 24, "fastext"), Row(1, 25, "x"),
          Row(1, 26, "x"), Row(1, 31, "x"), Row(1, 23, "letzte")});
    EXPECT_EQ(log.events, (std::vector<std::string>{"start 100", "100/23"}));
}

TEST_F(PageAssemblerTest, ResetForgetsEveryPageInProgress)
{
    Feed({Header("100", 0, ""), Header("200", 0, "")});
    assembler.Reset();
    Feed({Row(1, 1, "x"), Header("101", 0, "")});
    EXPECT_EQ(log.events, (std::vector<std::string>{"start 100", "start 200", "start 101"}));
}

} // namespace
} // namespace quav
