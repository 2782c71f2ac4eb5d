#include "decoder/Decoder.h"

#include "support/I2cBusAnalyser.h"

#include <deque>
#include <tuple>

#include <gtest/gtest.h>

namespace quav {
namespace {

using test::I2cBusAnalyser;

struct Chip
{
    Chip()
    {
        settings.Device = 2;
        settings.I2cDelay = 0;
        bus.readByte = [this] {
            if (replies.empty()) {
                return std::uint8_t{0xFF};
            }
            const std::uint8_t b = replies.front();
            replies.pop_front();
            return b;
        };
    }
    void Reply(std::initializer_list<std::uint8_t> bytes) { replies.insert(replies.end(), bytes); }
    void ReplyPattern(int count, int offset = 0)
    {
        for (int i = 0; i < count; ++i) {
            replies.push_back(static_cast<std::uint8_t>(i * 7 + offset));
        }
    }
    std::array<std::uint8_t, 10> Status(std::initializer_list<std::pair<int, std::uint8_t>> bytes)
    {
        std::array<std::uint8_t, 10> row{};
        for (auto [i, v] : bytes) {
            row[i] = v;
        }
        return row;
    }
    std::deque<std::uint8_t> replies;
    I2cBusAnalyser bus;
    Settings settings;
    LineAdapters lines{bus, settings};
    I2cMaster master{lines};
    Decoder decoder{master};
};

TEST(DecoderStatusQuery, RunsItsFiveTransfersInOrder)
{
    Chip c;
    c.Reply({0xFD});
    std::uint8_t code = 99;
    EXPECT_TRUE(c.decoder.DecoderStatus(code));
    EXPECT_EQ(code, 1);
    EXPECT_EQ(c.bus.transcript,
              "S 22+ 00+ 01+ P S 22+ 01+ 04+ P S 22+ 0B+ P S 23+ <FD- P S 22+ 00+ 00+ P S P");
}

TEST(DecoderStatusQuery, CodeIsTheLowTwoBitsOfTheStatusByte)
{
    const std::pair<std::uint8_t, std::uint8_t> rows[] = {
        {0xFD, 1}, {0x02, 2}, {0x03, 3}, {0xFC, 0}, {0x00, 0}};
    for (auto [byte, expected] : rows) {
        SCOPED_TRACE(int(byte));
        Chip c;
        c.Reply({byte});
        std::uint8_t code = 99;
        c.decoder.DecoderStatus(code);
        EXPECT_EQ(code, expected);
        EXPECT_EQ(c.decoder.CommandBuffer()[0], 0x00) << "the closing write reuses the command buffer";
    }
}

TEST(DecoderStatusQuery, NoAnswerToTheFirstWriteGivesCodeFourAndNothingMore)
{
    Chip c;
    c.bus.acknowledge = [](int, std::uint8_t) { return false; };
    std::uint8_t code = 0;
    EXPECT_FALSE(c.decoder.DecoderStatus(code));
    EXPECT_EQ(code, 4);
    EXPECT_EQ(c.bus.transcript, "S 22- P S P");
}

TEST(DecoderStatusQuery, AFailureInAnyEarlierTransferGivesCodeFour)
{
    // Byte positions counted over the whole query; refuse one and see where it stops.
    struct Row
    {
        int refuseAt;
        const char* transcript;
    };
    const Row rows[] = {
        {1, "S 22+ 00- P S P"},
        {3, "S 22+ 00+ 01+ P S 22- P S P"},
        {5, "S 22+ 00+ 01+ P S 22+ 01+ 04- P S P"},
        {6, "S 22+ 00+ 01+ P S 22+ 01+ 04+ P S 22- P S P"},
        {8, "S 22+ 00+ 01+ P S 22+ 01+ 04+ P S 22+ 0B+ P S 23- P S P"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.refuseAt);
        Chip c;
        int seen = 0;
        c.bus.acknowledge = [&seen, &r](int, std::uint8_t) { return seen++ != r.refuseAt; };
        c.Reply({0x02});
        std::uint8_t code = 0;
        EXPECT_FALSE(c.decoder.DecoderStatus(code));
        EXPECT_EQ(code, 4);
        EXPECT_EQ(c.bus.transcript, r.transcript);
    }
}

TEST(DecoderStatusQuery, AFailedClosingWriteKeepsTheCodeThatWasRead)
{
    Chip c;
    int seen = 0;
    c.bus.acknowledge = [&seen](int, std::uint8_t) { return seen++ < 9; };
    c.Reply({0x03});
    std::uint8_t code = 0;
    EXPECT_FALSE(c.decoder.DecoderStatus(code));
    EXPECT_EQ(code, 3);
}

TEST(DecoderPageRequest, WritesTheNineRequestBytes)
{
    // Subcode digits S4 S3 S2 S1 follow the page, each with its care bit; none for every
    // subpage in turn.
    const std::tuple<const char*, int, const char*> rows[] = {
        {"100", -1, "S 22+ 02+ 00+ 19+ 10+ 10+ 00+ 00+ 00+ 00+ P S P"},
        {"8FF", -1, "S 22+ 02+ 00+ 18+ 1F+ 1F+ 00+ 00+ 00+ 00+ P S P"},
        {"1F0", -1, "S 22+ 02+ 00+ 19+ 1F+ 10+ 00+ 00+ 00+ 00+ P S P"},
        {"899", -1, "S 22+ 02+ 00+ 18+ 19+ 19+ 00+ 00+ 00+ 00+ P S P"},
        {"1234", -1, "S 22+ 02+ 00+ 19+ 12+ 13+ 00+ 00+ 00+ 00+ P S P"},
        {"200", 3, "S 22+ 02+ 00+ 1A+ 10+ 10+ 10+ 10+ 10+ 13+ P S P"},
        {"200", 0, "S 22+ 02+ 00+ 1A+ 10+ 10+ 10+ 10+ 10+ 10+ P S P"},
        {"1F0", 79, "S 22+ 02+ 00+ 19+ 1F+ 10+ 10+ 10+ 17+ 19+ P S P"},
        {"100", 3979, "S 22+ 02+ 00+ 19+ 10+ 10+ 13+ 19+ 17+ 19+ P S P"},
    };
    for (auto [page, subcode, transcript] : rows) {
        SCOPED_TRACE(::testing::Message() << page << "/" << subcode);
        Chip c;
        EXPECT_TRUE(c.decoder.RequestPage(page, 0, subcode));
        EXPECT_EQ(c.bus.transcript, transcript);
    }
}

TEST(DecoderPageRequest, StoreGoesInTheHighNibbleKeptToEightBits)
{
    Chip c;
    c.decoder.RequestPage("123", 3);
    EXPECT_EQ(c.decoder.CommandBuffer()[1], 0x30);
    c.decoder.RequestPage("123", 0x11);
    EXPECT_EQ(c.decoder.CommandBuffer()[1], 0x10);
}

TEST(DecoderPageRequest, RefusesABadNumberBeforeAnyBusActivity)
{
    for (const char* page : {"", "1", "10", "1G0", "1-0", " 10", "10\xC4"}) {
        SCOPED_TRACE(page);
        Chip c;
        EXPECT_FALSE(c.decoder.RequestPage(page, 0));
        EXPECT_EQ(c.bus.ops, "");
    }
}

TEST(DecoderRowReads, HeaderRowBlanksColumnsZeroToSix)
{
    Chip c;
    c.ReplyPattern(40, 1);
    c.decoder.ReadHeaderRow(0);
    const auto& h = c.decoder.HeaderRow();
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(h[i], 0x20) << i;
    }
    for (int i = 7; i < 40; ++i) {
        EXPECT_EQ(h[i], static_cast<std::uint8_t>(i * 7 + 1)) << i;
    }
    EXPECT_EQ(c.bus.transcript.substr(0, 25), "S 22+ 08+ 00+ 00+ 00+ P S");
    EXPECT_EQ(c.bus.transcript.substr(c.bus.transcript.size() - 10), "<12- P S P")
        << "byte 39 unacknowledged";
}

TEST(DecoderRowReads, PageRowsLayRowsOutFortyBytesApart)
{
    Chip c;
    c.ReplyPattern(960);
    c.decoder.ReadPageRows(0);
    const auto& p = c.decoder.PageRows();
    EXPECT_EQ(p[6], 0x20);
    EXPECT_EQ(p[7], 49);
    EXPECT_EQ(p[40], static_cast<std::uint8_t>(40 * 7)) << "column 0 of row 1";
    EXPECT_EQ(p[959], static_cast<std::uint8_t>(959 * 7));
}

TEST(DecoderRowReads, StatusRowReadsTenBytesFromRowTwentyFive)
{
    Chip c;
    c.Reply({0, 0, 0x01, 0, 0, 0, 0, 0x08, 0, 0});
    EXPECT_TRUE(c.decoder.ReadStatusRow(0));
    EXPECT_EQ(c.bus.transcript.substr(0, 25), "S 22+ 08+ 00+ 19+ 00+ P S");
    EXPECT_EQ(c.decoder.Subcode(), 1);
    EXPECT_EQ(c.decoder.LanguageName(), "Deutsch");
}

TEST(DecoderRowReads, SilentChipLeavesBuffersAsTheyWereButForTheBlankedBytes)
{
    Chip c;
    c.ReplyPattern(40, 100);
    c.decoder.ReadHeaderRow(0);
    c.Reply({0, 0, 0x05, 0x01, 0, 0, 0, 0x02, 0x10, 0});
    c.decoder.ReadStatusRow(0);
    const auto header = c.decoder.HeaderRow();
    c.bus.acknowledge = [](int, std::uint8_t) { return false; };
    c.decoder.ReadHeaderRow(0);
    EXPECT_EQ(c.decoder.HeaderRow(), header);
    EXPECT_FALSE(c.decoder.ReadStatusRow(0)) << "computed from the previous status row";
    EXPECT_EQ(c.decoder.Subcode(), 15);
    EXPECT_EQ(c.decoder.LanguageName(), "Französisch");
}

TEST(StatusRowDecoding, SubcodeFieldsAreDecimalDigitsWithoutCarry)
{
    struct Row
    {
        std::uint8_t b2, b3, b4, b5;
        std::int32_t subcode;
    };
    const Row rows[] = {
        {0x01, 0x00, 0x00, 0x00, 1},    {0x0F, 0x07, 0x0F, 0x03, 4585},
        {0x02, 0x01, 0x00, 0x00, 12},   {0xF3, 0xF8, 0xF0, 0xFC, 3},
        {0x00, 0x00, 0x00, 0x01, 1000}, {0x09, 0x09, 0x09, 0x02, 2919} /* the tens field has three bits */,
    };
    Chip c;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.subcode);
        EXPECT_EQ(Decoder::SubcodeOf(c.Status({{2, r.b2}, {3, r.b3}, {4, r.b4}, {5, r.b5}})), r.subcode);
    }
}

TEST(StatusRowDecoding, LanguageNameComesFromBitsOneToThreeOfByteSeven)
{
    const std::pair<std::uint8_t, const char*> rows[] = {
        {0x08, "Deutsch"},     {0x01, "Englisch"},   {0x0E, "Reserviert"},
        {0x02, "Französisch"}, {0x04, "Schwedisch"}, {0x0A, "Spanisch"},
        {0x0C, "Italienisch"}, {0xF9, "Deutsch"},    {0x06, "Tschechisch"},
    };
    for (auto [byte, name] : rows) {
        SCOPED_TRACE(int(byte));
        Chip c;
        c.Reply({0, 0, 0, 0, 0, 0, 0, byte, 0, 0});
        c.decoder.ReadStatusRow(0);
        EXPECT_EQ(c.decoder.LanguageName(), name);
        EXPECT_EQ(Decoder::LanguageNames[c.decoder.NationalOption()], name);
        EXPECT_LE(std::string_view(name).size(), 20u);
    }
}

TEST(StatusRowDecoding, ThePageBufferKeepsTheCharacterSetItWasReadWith)
{
    Chip c;
    c.Reply({0, 0, 0, 0, 0, 0, 0, 0x02, 0, 0}); // French
    c.decoder.ReadStatusRow(0);
    c.ReplyPattern(960, 1);
    c.decoder.ReadPageRows(0);
    c.Reply({0, 0, 0, 0, 0, 0, 0, 0x08, 0x10, 0}); // the next page, German, not yet received
    c.decoder.ReadStatusRow(0);
    EXPECT_EQ(c.decoder.NationalOption(), 4);
    EXPECT_EQ(c.decoder.PageNationalOption(), 1) << "the text of the page read is still French";
}

TEST(StatusRowDecoding, EitherNotReceivedBitClearsTheReceivedFlag)
{
    struct Row
    {
        std::uint8_t b8, b9;
        bool received;
    };
    const Row rows[] = {{0x10, 0x00, false}, {0x00, 0x20, false}, {0xFF, 0xFF, false},
                        {0xEF, 0xDF, true},  {0x00, 0x00, true},  {0x10, 0xDF, false}};
    Chip c;
    for (const auto& r : rows) {
        SCOPED_TRACE(::testing::Message() << int(r.b8) << " " << int(r.b9));
        EXPECT_EQ(Decoder::ReceivedOf(c.Status({{8, r.b8}, {9, r.b9}})), r.received);
    }
}

} // namespace
} // namespace quav
