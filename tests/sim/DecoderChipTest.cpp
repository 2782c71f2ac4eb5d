#include "sim/DecoderChip.h"

#include "support/PacketBuilder.h"

#include <vector>

#include <gtest/gtest.h>

namespace quav {
namespace {

using namespace decoder;
using test::packets::Header;
using test::packets::Row;

// Talks to the chip byte by byte, as the I2C slave hands the bytes on.
class DecoderChipTest : public ::testing::Test
{
protected:
    void Write(std::initializer_list<std::uint8_t> bytes)
    {
        chip.OnStart();
        ASSERT_TRUE(chip.OnAddress(WriteAddress));
        for (std::uint8_t b : bytes) {
            ASSERT_TRUE(chip.OnWrite(b));
        }
        chip.OnStop();
    }
    std::vector<std::uint8_t> Read(int count)
    {
        chip.OnStart();
        EXPECT_TRUE(chip.OnAddress(ReadAddress));
        std::vector<std::uint8_t> out;
        for (int i = 0; i < count; ++i) {
            out.push_back(chip.OnRead());
        }
        chip.OnStop();
        return out;
    }
    std::vector<std::uint8_t> ReadRow(int store, int row, int count = 40)
    {
        Write({+Register::ReadStore, static_cast<std::uint8_t>(store), static_cast<std::uint8_t>(row), 0});
        return Read(count);
    }
    void Request(const char* page, int store = 0, std::uint8_t s1 = 0)
    {
        const auto hex = [](char c) { return static_cast<std::uint8_t>(c <= '9' ? c - '0' : c - 'A' + 10); };
        Write({+Register::PageRequest, static_cast<std::uint8_t>(store * 16),
               static_cast<std::uint8_t>(0x18 | (hex(page[0]) & 7)),
               static_cast<std::uint8_t>(0x10 | hex(page[1])), static_cast<std::uint8_t>(0x10 | hex(page[2])),
               0, 0, 0, s1});
    }
    void Air(std::initializer_list<Packet> packets)
    {
        for (const Packet& p : packets) {
            chip.Receive(p);
        }
    }
    static std::vector<std::uint8_t> Text(std::string s)
    {
        s.resize(40, ' ');
        return {s.begin(), s.end()};
    }
    /// Header text of 32 columns: `title` from column 8, the clock in columns 32 to 39.
    static std::string Clocked(std::string title, const char* clock)
    {
        title.resize(24, ' ');
        return title + clock;
    }
    std::string HeaderText(int store = 0)
    {
        const auto row0 = ReadRow(store, 0);
        return {row0.begin() + 8, row0.end()};
    }

    DecoderChip chip;
};

TEST_F(DecoderChipTest, AnswersOnlyAtItsTwoAddresses)
{
    for (int a = 0; a < 256; ++a) {
        EXPECT_EQ(chip.OnAddress(static_cast<std::uint8_t>(a)), a == 0x22 || a == 0x23) << a;
    }
}

TEST_F(DecoderChipTest, StatusByteIsReadWhileRegisterZeroSelectsIt)
{
    const struct
    {
        Reception reception;
        std::uint8_t status;
    } cases[] = {{Reception::NoVideo, 0}, {Reception::NoTeletext, 1}, {Reception::Teletext, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.status));
        chip.SetReception(c.reception);
        Write({+Register::Control, 0x01});
        Write({+Register::Mode, 0x04});
        Write({+Register::Status});
        EXPECT_EQ(Read(1), std::vector<std::uint8_t>{c.status});
        Write({+Register::Control, 0x00});
        EXPECT_EQ(chip.RegisterValue(Register::Mode), 0x04);
    }
    // With register 0 back at 0, a read gives page memory again.
    EXPECT_EQ(ReadRow(0, 1, 3), (std::vector<std::uint8_t>{0x20, 0x20, 0x20}));
}

TEST_F(DecoderChipTest, RegisterPointerAdvancesThroughTheReadPosition)
{
    Write({+Register::ReadStore, 2, 7, 39});
    EXPECT_EQ(chip.RegisterValue(Register::ReadStore), 2);
    EXPECT_EQ(chip.RegisterValue(Register::ReadRow), 7);
    EXPECT_EQ(chip.RegisterValue(Register::ReadColumn), 39);
    Write({+Register::ReadRow, 25, 0});
    EXPECT_EQ(chip.RegisterValue(Register::ReadStore), 2) << "untouched";
    EXPECT_EQ(chip.RegisterValue(Register::ReadColumn), 0);
}

TEST_F(DecoderChipTest, PageRequestTakesSevenBytesAfterRegisterTwo)
{
    Write({+Register::PageRequest, 0x20, 0x18, 0x1F, 0x1E, 0x00, 0x00, 0x00, 0x13});
    EXPECT_EQ(chip.Request(2), (std::array<std::uint8_t, 7>{0x18, 0x1F, 0x1E, 0, 0, 0, 0x13}));
    EXPECT_EQ(chip.Request(0), (std::array<std::uint8_t, 7>{})) << "another store is not touched";
    EXPECT_EQ(chip.RegisterValue(Register::ReadStore), 0) << "request bytes do not run into later registers";
    EXPECT_EQ(chip.RegisterValue(Register::ReadRow), 0);
}

TEST_F(DecoderChipTest, ReadContinuesIntoTheNextRowAfterColumnThirtyNine)
{
    Request("100");
    Air({Header("100", 0, "Kopf"), Row(1, 1, "erste Zeile"), Row(1, 2, "zweite Zeile"),
         Header("101", 0, "")});
    Write({+Register::ReadStore, 0, 1, 35});
    const auto got = Read(10);
    const auto row1 = Text("erste Zeile");
    const auto row2 = Text("zweite Zeile");
    EXPECT_EQ(got, (std::vector<std::uint8_t>{row1[35], row1[36], row1[37], row1[38], row1[39], row2[0],
                                              row2[1], row2[2], row2[3], row2[4]}));
    // After the last memory row the read wraps to row 0 of the same store.
    Write({+Register::ReadStore, 0, 31, 39});
    EXPECT_EQ(Read(2)[1], 'P');
}

TEST_F(DecoderChipTest, AcquiresTheRequestedPageAndReportsItCompleteAtTheNextHeader)
{
    Request("100");
    EXPECT_FALSE(chip.Received(0));
    EXPECT_EQ(ReadRow(0, 0, 8), (std::vector<std::uint8_t>{'P', '1', '0', '0', ' ', ' ', ' ', 0x02}));

    Air({Header("100", 0x0003, "Kopf 100", 1U << 14), Row(1, 1, "Zeile eins"), Row(2, 2, "anderes Magazin"),
         Row(1, 23, "Zeile 23")});
    EXPECT_FALSE(chip.Received(0)) << "still coming in";
    const auto status = ReadRow(0, StatusRow, 10);
    EXPECT_EQ(status[StatusMissingA] & StatusMissingABit, StatusMissingABit);
    EXPECT_EQ(status[StatusMissingB] & StatusMissingBBit, StatusMissingBBit);

    Air({Header("1A0", 0, "Kopf 1A0")});
    EXPECT_TRUE(chip.Received(0));
    EXPECT_EQ(ReadRow(0, 1), Text("Zeile eins"));
    EXPECT_EQ(ReadRow(0, 2), Text("")) << "a row of another magazine";
    EXPECT_EQ(ReadRow(0, 23), Text("Zeile 23"));
    const auto done = ReadRow(0, StatusRow, 10);
    EXPECT_EQ(done[StatusSubcodeUnits], 3);
    EXPECT_EQ(done[StatusLanguage] >> 1 & 7, 4) << "German";
    EXPECT_EQ(done[StatusMissingA] & StatusMissingABit, 0);
    EXPECT_EQ(done[StatusMissingB] & StatusMissingBBit, 0);
}

// While searching, every header of the magazine is shown, marked green; once the page is
// found its header stays (white), and only the clock follows the later headers.
TEST_F(DecoderChipTest, HeaderRollsGreenWhileSearchingAndKeepsThePageOnceFound)
{
    Request("101");
    EXPECT_EQ(ReadRow(0, 0, 8), (std::vector<std::uint8_t>{'P', '1', '0', '1', ' ', ' ', ' ', 0x02}));
    const struct
    {
        const char* page;
        const char* clock;
        std::uint8_t column7;
        std::string shown;
    } steps[] = {
        {"100", "12:00:00", 0x02, Clocked("Seite 100", "12:00:00")},
        {"102", "12:00:01", 0x02, Clocked("Seite 102", "12:00:01")},
        {"101", "12:00:02", 0x07, Clocked("Seite 101", "12:00:02")},
        {"102", "12:00:03", 0x07, Clocked("Seite 101", "12:00:03")},
        {"1FF", "12:00:04", 0x07, Clocked("Seite 101", "12:00:04")},
        {"101", "12:00:05", 0x07, Clocked("Seite 101", "12:00:05")},
        {"201", "12:00:06", 0x07, Clocked("Seite 101", "12:00:05")}, // another magazine
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.page);
        Air({Header(step.page, 0, Clocked(std::string("Seite ") + step.page, step.clock)),
             Row(1, 1, step.page)});
        const auto row0 = ReadRow(0, 0, 8);
        EXPECT_EQ(std::string(row0.begin(), row0.begin() + 4), "P101");
        EXPECT_EQ(row0[7], step.column7);
        EXPECT_EQ(HeaderText(), step.shown);
    }
    EXPECT_EQ(ReadRow(0, 1), Text("101"));
    // Asking for the page again keeps its header and its rows, and waits for a fresh copy.
    Request("101");
    EXPECT_FALSE(chip.Received(0));
    Air({Header("103", 0, Clocked("Seite 103", "12:00:07")), Row(1, 1, "103")});
    EXPECT_EQ(ReadRow(0, 0)[7], 0x07);
    EXPECT_EQ(HeaderText(), Clocked("Seite 101", "12:00:07"));
    EXPECT_EQ(ReadRow(0, 1), Text("101"));
    Air({Header("101", 0, Clocked("Seite 101", "12:00:08")), Row(1, 1, "neu"), Header("1FF", 0, "")});
    EXPECT_TRUE(chip.Received(0));
    EXPECT_EQ(ReadRow(0, 1), Text("neu"));
    // Asking for another page starts a new search.
    Request("102");
    Air({Header("103", 0, Clocked("Seite 103", "12:00:09"))});
    EXPECT_EQ(ReadRow(0, 0)[7], 0x02);
    EXPECT_EQ(HeaderText(), Clocked("Seite 103", "12:00:09"));
}

// The next header of its magazine ends a page, whatever page it carries. A page alone in
// its magazine is therefore received too, and stays received while it is sent again.
TEST_F(DecoderChipTest, AnyHeaderOfTheMagazineEndsThePageTheSamePageIncluded)
{
    const struct
    {
        const char* name;
        Packet next;
    } cases[] = {
        {"the same page again", Header("300", 1, "")},
        {"its next subpage", Header("300", 2, "")},
        {"another page", Header("301", 0, "")},
        {"a filler", Header("3FF", 0x3F7F, "")},
        {"a page in serial mode ends at any magazine", Header("100", 0, "")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        chip.Reset();
        Request("300");
        const bool serial = std::string(c.name).find("serial") != std::string::npos;
        Air({Header("300", 1, "", serial ? 1U << PageHeader::C11 : 0U), Row(3, 4, "vier")});
        ASSERT_FALSE(chip.Received(0));
        Air({c.next});
        EXPECT_TRUE(chip.Received(0));
        EXPECT_EQ(ReadRow(0, 4), Text("vier"));
        EXPECT_EQ(ReadRow(0, StatusRow, 3)[StatusSubcodeUnits], 1);
    }
    chip.Reset();
    Request("300");
    for (int i = 0; i < 5; ++i) {
        Air({Header("300", 0, ""), Row(3, 1, "allein"), Row(3, 2, "im Magazin")});
        EXPECT_EQ(chip.Received(0), i > 0) << i;
        EXPECT_EQ(ReadRow(0, 2), Text("im Magazin"));
    }
}

TEST_F(DecoderChipTest, OnlyHeadersOfTheRequestedMagazineRollRowZero)
{
    Request("300");
    Air({Header("100", 0, "Magazin 1"), Header("8FF", 0, "Magazin 8")});
    EXPECT_EQ(ReadRow(0, 0, 40), (std::vector<std::uint8_t>{
                                     'P', '3', '0', '0', ' ', ' ', ' ', 0x02, ' ', ' ', ' ', ' ', ' ', ' ',
                                     ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',  ' ', ' ', ' ', ' ', ' ', ' ',
                                     ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',  ' ', ' ', ' ', ' '}));
    Air({Header("3FF", 0, "Magazin 3")});
    const auto row0 = ReadRow(0, 0);
    EXPECT_EQ(std::string(row0.begin() + 8, row0.begin() + 17), "Magazin 3");
    EXPECT_FALSE(chip.Received(0));
}

TEST_F(DecoderChipTest, StatusRowCarriesSubcodeDigitsAndNationalOption)
{
    const struct
    {
        std::uint16_t subcode;
        std::uint8_t option;
        std::uint8_t b2, b3, b4, b5, b7;
    } cases[] = {
        {0x0001, 0, 1, 0, 0, 0, 0x00},   // English
        {0x3F7F, 1, 15, 7, 15, 3, 0x02}, // French, every subcode bit
        {0x0020, 2, 0, 2, 0, 0, 0x04},   // Swedish
        {0x0100, 4, 0, 0, 1, 0, 0x08},   // German
        {0x1000, 5, 0, 0, 0, 1, 0x0A},   // Spanish
        {0x0012, 6, 2, 1, 0, 0, 0x0C},   // Italian
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.option));
        test::packets::TestPage page;
        page.number = "777";
        page.subcode = c.subcode;
        PageHeader h = page.Header();
        h.SetNationalOption(c.option);
        Request("777");
        Air({test::packets::Header(h, ""), Header("7FF", 0, "")});
        const auto s = ReadRow(0, StatusRow, 10);
        EXPECT_EQ(s[StatusSubcodeUnits], c.b2);
        EXPECT_EQ(s[StatusSubcodeTens] & 7, c.b3);
        EXPECT_EQ(s[StatusSubcodeHundreds], c.b4);
        EXPECT_EQ(s[StatusSubcodeThousands] & 3, c.b5);
        EXPECT_EQ(s[StatusLanguage] & 0x0E, c.b7);
        EXPECT_TRUE(chip.Received(0));
    }
}

TEST_F(DecoderChipTest, NextSubpageReplacesTheOneBeforeWholeOnceItHasEnded)
{
    Request("200");
    Air({Header("200", 1, ""), Row(2, 5, "nur in eins"), Row(2, 6, "eins"), Header("200", 2, ""),
         Row(2, 6, "zwei")});
    ASSERT_TRUE(chip.Received(0));
    // Subpage 2 is still coming in: the store keeps subpage 1 with its own status row.
    EXPECT_EQ(ReadRow(0, 5), Text("nur in eins"));
    EXPECT_EQ(ReadRow(0, 6), Text("eins"));
    EXPECT_EQ(ReadRow(0, StatusRow, 3)[StatusSubcodeUnits], 1);
    Air({Header("200", 1, "")});
    EXPECT_TRUE(chip.Received(0));
    EXPECT_EQ(ReadRow(0, 5), Text(""));
    EXPECT_EQ(ReadRow(0, 6), Text("zwei"));
    EXPECT_EQ(ReadRow(0, StatusRow, 3)[StatusSubcodeUnits], 2);
}

TEST_F(DecoderChipTest, SubcodeDigitsWithTheirCareBitSelectOneSubpage)
{
    Request("200", 0, 0x10 | 2); // S1 must be 2
    Air({Header("200", 1, ""), Row(2, 1, "eins"), Header("2FF", 0, "")});
    EXPECT_FALSE(chip.Received(0));
    Air({Header("200", 2, ""), Row(2, 1, "zwei"), Header("2FF", 0, ""), Header("200", 3, ""),
         Row(2, 1, "drei")});
    EXPECT_TRUE(chip.Received(0));
    EXPECT_EQ(ReadRow(0, 1), Text("zwei"));
}

TEST_F(DecoderChipTest, MagazineValueZeroMeansEight)
{
    Request("8A5");
    EXPECT_EQ(chip.Request(0)[0] & 7, 0);
    Air({Header("0A5", 0, ""), Header("8A5", 0, ""), Row(8, 1, "acht"), Header("8FF", 0, "")});
    EXPECT_TRUE(chip.Received(0));
    EXPECT_EQ(ReadRow(0, 1), Text("acht"));
}

TEST_F(DecoderChipTest, PageThatIsNotOnAirIsNeverReceived)
{
    Request("150");
    for (int i = 0; i < 50; ++i) {
        Air({Header("100", 0, ""), Row(1, 1, "x"), Header("151", 0, ""), Header("250", 0, ""),
             Header("1FF", 0, "")});
    }
    EXPECT_FALSE(chip.Received(0));
    EXPECT_EQ(ReadRow(0, 1), Text(""));
}

TEST_F(DecoderChipTest, StoresAcquireIndependently)
{
    Request("100", 0);
    Request("200", 1);
    Air({Header("100", 0, ""), Row(1, 1, "hundert"), Header("200", 0, ""), Row(2, 1, "zweihundert"),
         Header("1FF", 0, ""), Header("2FF", 0, "")});
    EXPECT_TRUE(chip.Received(0));
    EXPECT_TRUE(chip.Received(1));
    EXPECT_EQ(ReadRow(0, 1), Text("hundert"));
    EXPECT_EQ(ReadRow(1, 1), Text("zweihundert"));
    // A new request makes the store wait for its page again, without touching the other.
    Request("100", 0);
    EXPECT_FALSE(chip.Received(0));
    EXPECT_TRUE(chip.Received(1));
}

TEST_F(DecoderChipTest, ResetReturnsToPowerOn)
{
    Request("100");
    Air({Header("100", 0, ""), Row(1, 1, "x"), Header("1FF", 0, "")});
    Write({+Register::Control, 1});
    chip.Reset();
    EXPECT_FALSE(chip.Received(0));
    EXPECT_EQ(chip.RegisterValue(Register::Control), 0);
    EXPECT_EQ(ReadRow(0, 1), Text(""));
    EXPECT_EQ(ReadRow(0, 0), Text("")) << "no request, no chip columns";
    Air({Header("100", 0, ""), Header("1FF", 0, "")});
    EXPECT_FALSE(chip.Received(0)) << "the request is gone too";
}

} // namespace
} // namespace quav
