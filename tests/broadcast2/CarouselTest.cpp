#include "broadcast/PacketCoding.h"
#include "broadcast/PageAssembler.h"
#include "broadcast/TtiCarousel.h"
#include "broadcast/TtiReader.h"
#include "demo/BroadcastSource.h"
#include "demo/DemoService.h"
#include "support/SimulatedStack.h"

#include <algorithm>
#include <map>
#include <set>

#include <gtest/gtest.h>

namespace quav {
namespace {

using namespace std::chrono_literals;

/// Wall time that follows the board's manual clock.
class FollowingClock final : public BroadcastClock
{
public:
    explicit FollowingClock(BoardClock& board) : m_board(board) {}
    std::chrono::system_clock::time_point Now() override
    {
        return m_start + std::chrono::duration_cast<std::chrono::system_clock::duration>(m_board.Now());
    }

private:
    BoardClock& m_board;
    std::chrono::system_clock::time_point m_start{std::chrono::hours(24 * 365 * 50)};
};

/// A clock the test sets.
class SetClock final : public BroadcastClock
{
public:
    std::chrono::system_clock::time_point Now() override { return now; }
    std::chrono::system_clock::time_point now{std::chrono::hours(24 * 365 * 50)};
};

std::vector<TtiPage> Parse(std::string_view text)
{
    TtiReadResult r = ParseTti(text, "test.tti");
    EXPECT_TRUE(r.Ok()) << r.error;
    return r.pages;
}

std::string HeaderNumber(std::uint16_t page, std::chrono::system_clock::time_point)
{
    return TtiPageNumberText(page) + " TEST";
}

/// Records what page assembly sees.
struct Completions : PageAssemblyListener
{
    void PageCompleted(const AssembledPage& page) override { completed.push_back(page); }
    void PageStarted(const AssembledPage&) override {}
    void RowReceived(const AssembledPage&, int) override {}
    std::vector<AssembledPage> completed;
};

std::uint16_t NumberOf(const PageHeader& h)
{
    return static_cast<std::uint16_t>(h.magazine << 8 | h.Page());
}

std::uint16_t SubcodeOf(const PageHeader& h)
{
    return static_cast<std::uint16_t>(h.subcode[3] << 12 | h.subcode[2] << 8 | h.subcode[1] << 4 |
                                      h.subcode[0]);
}

TEST(DemoCarousel, EveryPageAndSubpageIsReceivedThroughTheBoardWithin30SecondsByteForByte)
{
    const TtiReadResult demo = LoadDemoService();
    ASSERT_TRUE(demo.Ok());
    ASSERT_GE(demo.pages.size(), 20u);
    for (const TtiPage& page : demo.pages) {
        SCOPED_TRACE(TtiPageNumberText(page.number));
        test::SimulatedStack stack; // default rate: 20 packets per field, 50 fields per second
        FollowingClock wall(stack.clock);
        stack.board.SetSource(std::make_unique<TtiCarousel>(demo.pages, wall, ServiceHeaderText()));
        const std::string number = TtiPageNumberText(page.number);
        ASSERT_TRUE(stack.decoder.RequestPage(number, 0));

        std::set<int> missing;
        for (const TtiSubpage& sub : page.subpages) {
            missing.insert(sub.subcode);
        }
        for (auto t = 0ms; t <= 30s && !missing.empty(); t += 100ms) {
            stack.Run(100ms);
            if (!stack.decoder.ReadStatusRow(0)) {
                continue;
            }
            const auto& st = stack.decoder.StatusRow();
            const int subcode = (st[5] & 3) << 12 | (st[4] & 15) << 8 | (st[3] & 7) << 4 | (st[2] & 15);
            if (missing.erase(subcode) == 0) {
                continue;
            }
            stack.decoder.ReadPageRows(0);
            const auto& rows = stack.decoder.PageRows();
            const TtiSubpage* sub = nullptr;
            for (const TtiSubpage& s : page.subpages) {
                sub = s.subcode == subcode ? &s : sub;
            }
            ASSERT_NE(sub, nullptr);
            for (int r = 1; r < 24; ++r) {
                const std::vector<std::uint8_t> got(rows.begin() + r * 40, rows.begin() + r * 40 + 40);
                const std::vector<std::uint8_t> want(sub->rows[r].begin(), sub->rows[r].end());
                EXPECT_EQ(got, want) << "row " << r << " of subcode " << subcode;
            }
            EXPECT_EQ(stack.decoder.LanguageName(), "Deutsch");
        }
        EXPECT_TRUE(missing.empty()) << missing.size() << " subpages did not come within 30 s";
    }
}

TEST(Carousel, HeadersCarryNumberSubcodeControlBitsAndTheClockOfTheService)
{
    // PS 8040 sets C11 (serial), PS 4000 C4 (erase); the national option bits of PS 8300
    // are C13 and C14, Italian: 2 + 4 = 6 in the order decoders report them.
    const auto pages = Parse("PN,1F000\nSC,0000\nPS,8300\nOL,1,A\n"
                             "PN,53405\nSC,3F7E\nPS,C040\nOL,1,B\n");
    SetClock clock;
    std::tm local{};
    const std::time_t t = std::chrono::system_clock::to_time_t(clock.now);
    localtime_r(&t, &local);
    TtiCarousel carousel(pages, clock, ServiceHeaderText());

    std::map<std::uint16_t, PageHeader> headers;
    std::map<std::uint16_t, std::string> texts;
    Packet p;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(carousel.NextPacket(p));
        const auto h = DecodeHeader(p);
        if (!h || h->Page() == 0xFF) {
            continue;
        }
        headers[NumberOf(*h)] = *h;
        std::string text;
        for (std::size_t c = HeaderTextOffset; c < PacketSize; ++c) {
            ASSERT_TRUE(packet_coding::HasOddParity(p[c]));
            text += char(p[c] & 0x7F);
        }
        texts[NumberOf(*h)] = text;
    }
    ASSERT_EQ(headers.size(), 2u);
    const PageHeader& a = headers.at(0x1F0);
    EXPECT_EQ(a.NationalOption(), 6);
    EXPECT_FALSE(a.Serial());
    EXPECT_EQ(SubcodeOf(a), 0);
    const PageHeader& b = headers.at(0x534);
    EXPECT_EQ(SubcodeOf(b), 0x3F7E);
    EXPECT_TRUE(b.Serial());
    EXPECT_TRUE(b.Control(PageHeader::C4));
    EXPECT_EQ(b.NationalOption(), 0);
    EXPECT_EQ(texts.at(0x1F0), ExpandHeaderTemplate(DemoHeaderTemplate, 0x1F0, local));
    EXPECT_EQ(texts.at(0x534).substr(0, 3), "534");
}

TEST(Carousel, RowsGoOutWithOddParityAndOnlyTheRowsTheFileGives)
{
    const auto pages = Parse("PN,10000\nOL,1,Stra\x1b\x47"
                             "e\nOL,5,\x81"
                             "rot\nOL,24,Fastext\n");
    SetClock clock;
    TtiCarousel carousel(pages, clock, HeaderNumber);
    std::vector<int> rows;
    Packet p;
    for (int i = 0; i < 4; ++i) { // one page and no other magazine: no filler
        ASSERT_TRUE(carousel.NextPacket(p));
        const auto address = DecodeAddress(p);
        ASSERT_TRUE(address);
        EXPECT_EQ(address->magazine, 1);
        rows.push_back(address->row);
        if (address->row == 0) {
            continue;
        }
        for (std::size_t c = PayloadOffset; c < PacketSize; ++c) {
            ASSERT_TRUE(packet_coding::HasOddParity(p[c])) << "row " << int(address->row) << " byte " << c;
        }
        if (address->row == 5) {
            EXPECT_EQ(p[PayloadOffset] & 0x7F, 0x01); // red alpha from a byte with bit 7 set
            EXPECT_EQ(p[PayloadOffset + 1] & 0x7F, 'r');
        }
        if (address->row == 1) {
            EXPECT_EQ(p[PayloadOffset + 4] & 0x7F, 0x07); // ESC G: control code 0x07
        }
    }
    EXPECT_EQ(rows, (std::vector<int>{0, 1, 5, 24}));
    ASSERT_TRUE(carousel.NextPacket(p));
    EXPECT_EQ(DecodeAddress(p)->row, 0) << "the next round starts with the header";
}

TEST(Carousel, EveryPageEndsRightAfterItsRowsEvenTheLastOfAMagazine)
{
    // Magazine 1 has two pages, magazine 2 one. In parallel mode only a header of its own
    // magazine ends a page, so each page must be over before the other magazine's turn.
    const auto pages = Parse("PN,10000\nOL,1,a\nOL,2,b\nPN,10100\nOL,1,c\nPN,20000\nOL,3,d\n");
    SetClock clock;
    TtiCarousel carousel(pages, clock, HeaderNumber);
    Completions seen;
    PageAssembler assembler(seen);
    Packet p;
    std::map<std::uint16_t, int> completedAt;
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(carousel.NextPacket(p));
        const std::size_t before = seen.completed.size();
        assembler.Feed(p);
        for (std::size_t k = before; k < seen.completed.size(); ++k) {
            const PageHeader& h = seen.completed[k].header;
            if (h.Page() != 0xFF) {
                completedAt.try_emplace(NumberOf(h), i);
            }
        }
    }
    // Packets: 100 (3), filler, 200 (2), filler, 101 (2), filler, ...
    EXPECT_EQ(completedAt.at(0x100), 3);
    EXPECT_EQ(completedAt.at(0x200), 6);
    EXPECT_EQ(completedAt.at(0x101), 9);
    for (const AssembledPage& page : seen.completed) {
        if (NumberOf(page.header) == 0x200) {
            EXPECT_EQ(page.rows[3][0], 'd');
        }
    }
}

TEST(Carousel, SubpagesRotateByTheirCycleTime)
{
    struct Case
    {
        const char* name;
        const char* tti;
        std::chrono::seconds step; // clock step between packets taken
        std::vector<std::uint16_t> expected;
    };
    const std::vector<Case> cases{
        // Counted in seconds: 5 s each, clock moving 1 s per round.
        {"seconds",
         "CT,5,T\nPN,40001\nSC,0001\nOL,1,x\nPN,40002\nSC,0002\nOL,1,y\n",
         1s,
         {1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 1}},
        // Counted in transmissions: two each, whatever the clock does.
        {"cycles",
         "CT,2,C\nPN,40001\nSC,0001\nOL,1,x\nPN,40002\nSC,0002\nOL,1,y\nPN,40003\nSC,0003\n",
         0s,
         {1, 1, 2, 2, 3, 3, 1}},
        // A subpage whose time is long over still goes out once before the next.
        {"late", "CT,1,T\nPN,40001\nSC,0001\nPN,40002\nSC,0002\n", 60s, {1, 2, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetClock clock;
        TtiCarousel carousel(Parse(c.tti), clock, HeaderNumber);
        std::vector<std::uint16_t> subcodes;
        Packet p;
        for (int i = 0; subcodes.size() < c.expected.size() && i < 1000; ++i) {
            ASSERT_TRUE(carousel.NextPacket(p));
            if (const auto h = DecodeHeader(p)) {
                subcodes.push_back(SubcodeOf(*h));
                clock.now += c.step;
            }
        }
        EXPECT_EQ(subcodes, c.expected);
    }
}

TEST(Carousel, MagazinesTakeTurnsAndInvalidPagesStayOff)
{
    std::vector<TtiPage> pages = Parse("PN,10000\nPN,10100\nPN,10200\nPN,30000\nPN,80000\n");
    TtiPage none;
    none.number = 0x900; // no such magazine
    none.subpages.resize(1);
    pages.push_back(none);
    TtiPage empty;
    empty.number = 0x250; // no subpages
    pages.push_back(empty);
    SetClock clock;
    TtiCarousel carousel(pages, clock, HeaderNumber);
    EXPECT_EQ(carousel.PageCount(), 5u);
    std::vector<std::uint16_t> order;
    Packet p;
    while (order.size() < 8) {
        ASSERT_TRUE(carousel.NextPacket(p));
        if (const auto h = DecodeHeader(p); h && h->Page() != 0xFF) {
            order.push_back(NumberOf(*h));
        }
    }
    EXPECT_EQ(order, (std::vector<std::uint16_t>{0x100, 0x300, 0x800, 0x101, 0x300, 0x800, 0x102, 0x300}));

    TtiCarousel nothing({}, clock, HeaderNumber);
    EXPECT_FALSE(nothing.NextPacket(p));
}

} // namespace
} // namespace quav

namespace quav {
namespace {

TEST(DemoTestPage, ConcealedTextStaysConcealedToTheEndOfItsRow)
{
    // A colour code ends concealment, so the reveal button has something to show only when
    // no colour code follows the conceal code on its row.
    const TtiReadResult demo = LoadDemoService();
    int concealed = 0;
    for (const TtiPage& page : demo.pages) {
        for (const TtiSubpage& sub : page.subpages) {
            for (const auto& row : sub.rows) {
                const auto at = std::find(row.begin(), row.end(), std::uint8_t{0x18});
                if (at == row.end()) {
                    continue;
                }
                ++concealed;
                const bool hidden = std::any_of(at + 1, row.end(), [](std::uint8_t b) { return b > 0x20; });
                const bool cancelled = std::any_of(
                    at + 1, row.end(), [](std::uint8_t b) { return b < 0x08 || (b >= 0x10 && b < 0x18); });
                EXPECT_TRUE(hidden) << TtiPageNumberText(page.number);
                EXPECT_FALSE(cancelled) << TtiPageNumberText(page.number);
            }
        }
    }
    EXPECT_GE(concealed, 1);
}

} // namespace
} // namespace quav
