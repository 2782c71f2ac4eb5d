#include "broadcast/PageCache.h"

#include "support/PacketBuilder.h"

#include <set>
#include <utility>

#include <gtest/gtest.h>

namespace quav {
namespace {

using test::packets::TestPage;

TestPage MakePage(std::string number, std::uint16_t subcode, std::string text, std::uint16_t control = 0)
{
    TestPage page;
    page.number = std::move(number);
    page.subcode = subcode;
    page.control = control;
    page.headerText = "HEADER " + page.number;
    page.rows[1] = text;
    page.rows[23] = "last row of " + page.number;
    return page;
}

void Append(std::vector<Packet>& into, const std::vector<Packet>& more)
{
    into.insert(into.end(), more.begin(), more.end());
}

std::set<std::pair<std::uint16_t, std::uint16_t>> KeysOf(const PageCache& cache)
{
    std::set<std::pair<std::uint16_t, std::uint16_t>> keys;
    for (const CachedPage* p : cache.Pages()) {
        keys.emplace(p->number, p->subcode);
    }
    return keys;
}

/// A recording as a receiver takes it: magazines interleaved, rotating subpages, filler
/// headers, a page in serial mode, damaged packets, and the last page cut off by the end.
std::vector<Packet> Recording()
{
    std::vector<Packet> out;
    Append(out, MakePage("100", 0, "index").Packets());
    Append(out, MakePage("200", 0, "sport").Packets());
    Append(out, MakePage("400", 1, "tip one").Packets());
    out.push_back(test::packets::Header("1FF", 0x3F7F, "filler")); // ends 100
    out.push_back(test::packets::Header("2FF", 0x3F7F, "filler")); // ends 200
    Packet broken = test::packets::Row(1, 5, "nobody");
    broken[0] = 0x01; // two bit errors in the address: beyond correction
    out.push_back(broken);
    Append(out, MakePage("1F0", 0, "help").Packets());
    Append(out, MakePage("400", 2, "tip two").Packets()); // ends 400/1
    Append(out, MakePage("8A5", 0x0010, "hex page").Packets());
    out.push_back(test::packets::Header("1FF", 0x3F7F, "filler")); // ends 1F0
    Append(out, MakePage("400", 3, "tip three").Packets());        // ends 400/2
    Append(out, MakePage("400", 1, "tip one again").Packets());    // ends 400/3
    Packet badHeader = test::packets::Header("300", 0, "damaged");
    badHeader[2] = 0x01; // page units beyond correction: no page starts
    out.push_back(badHeader);
    out.push_back(test::packets::Row(3, 1, "rows of the damaged header"));
    Append(out, MakePage("555", 0, "serial", 1U << PageHeader::C11).Packets());
    Append(out, MakePage("601", 0, "cut off").Packets()); // ends 555 (serial)
    return out;
}

TEST(PageCache, AllFromARecordingFindsEveryPageAndSubpageAndNothingElse)
{
    PageCache cache;
    for (const Packet& p : Recording()) {
        cache.Feed(p);
    }
    cache.Finish();
    const std::set<std::pair<std::uint16_t, std::uint16_t>> expected{{0x100, 0}, {0x1F0, 0}, {0x200, 0},
                                                                     {0x400, 1}, {0x400, 2}, {0x400, 3},
                                                                     {0x555, 0}, {0x601, 0}, {0x8A5, 0x0010}};
    EXPECT_EQ(KeysOf(cache), expected);
    EXPECT_EQ(cache.PageCount(), expected.size());

    const auto pages = cache.Pages();
    for (std::size_t i = 1; i < pages.size(); ++i) {
        const auto a = std::pair(pages[i - 1]->number, pages[i - 1]->subcode);
        const auto b = std::pair(pages[i]->number, pages[i]->subcode);
        EXPECT_LT(a, b) << "pages come in page and subcode order";
    }
    for (const CachedPage* p : pages) {
        SCOPED_TRACE(p->number);
        const auto bytes = p->PageBytes();
        const std::string last(bytes.begin() + 23 * 40, bytes.begin() + 23 * 40 + 15);
        EXPECT_EQ(last.substr(0, 12), "last row of ");
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), std::string(8, ' '));
        EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 15), "HEADER ");
    }
    // The later copy of 400/1 replaced the first one.
    for (const CachedPage* p : pages) {
        if (p->number == 0x400 && p->subcode == 1) {
            const std::string row1(p->page.rows[1].begin(), p->page.rows[1].begin() + 13);
            EXPECT_EQ(row1, "tip one again");
        }
    }
}

TEST(PageCache, RangesAndListsKeepOnlyTheirPages)
{
    struct Case
    {
        std::vector<std::pair<std::uint16_t, std::uint16_t>> ranges;
        std::set<std::pair<std::uint16_t, std::uint16_t>> expected;
    };
    const std::vector<Case> cases{
        {{{0x100, 0x1FF}}, {{0x100, 0}, {0x1F0, 0}}},
        {{{0x400, 0x400}}, {{0x400, 1}, {0x400, 2}, {0x400, 3}}},
        {{{0x200, 0x200}, {0x8A5, 0x8A5}}, {{0x200, 0}, {0x8A5, 0x10}}},
        {{{0x300, 0x3FF}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ranges.front().first);
        PageNumberSet wanted;
        for (const auto& [first, last] : c.ranges) {
            wanted.AddRange(first, last);
        }
        PageCache cache(wanted);
        for (const Packet& p : Recording()) {
            cache.Feed(p);
        }
        cache.Finish();
        EXPECT_EQ(KeysOf(cache), c.expected);
    }
}

TEST(PageCache, ADamagedRepeatDoesNotReplaceAFullerCopy)
{
    std::vector<Packet> stream;
    TestPage full = MakePage("100", 0, "complete");
    full.rows[2] = "second";
    Append(stream, full.Packets());
    TestPage partial = MakePage("100", 0, "partial");
    Append(stream, partial.Packets()); // two rows only: the fuller copy stays
    TestPage newer = MakePage("100", 0, "newer");
    newer.rows[2] = "second" + std::string(33, ' ') + "!"; // changed in the last column only
    Append(stream, newer.Packets());                       // as many rows: the newer copy wins
    PageCache cache;
    std::size_t seen = 0;
    for (const Packet& p : stream) {
        cache.Feed(p);
        if (cache.PageCount() == 1 && seen == 0) {
            seen = 1;
        }
    }
    const auto first = cache.Pages();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(std::string(first[0]->page.rows[1].begin(), first[0]->page.rows[1].begin() + 8), "complete");
    cache.Finish();
    const auto pages = cache.Pages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(std::string(pages[0]->page.rows[1].begin(), pages[0]->page.rows[1].begin() + 5), "newer");
    EXPECT_EQ(pages[0]->page.rows[2][39], '!');
}

TEST(PageCache, KeepsNoMoreSubpagesPerPageThanACarouselAddresses)
{
    std::vector<Packet> stream;
    for (std::uint16_t sub = 0; sub < 100; ++sub) {
        Append(stream, MakePage("100", sub, "sub " + std::to_string(sub)).Packets());
    }
    Append(stream, MakePage("100", 5, "sub 5 again").Packets()); // a kept subpage still updates
    Append(stream, MakePage("200", 0, "other page").Packets());
    PageCache cache;
    for (const Packet& p : stream) {
        cache.Feed(p);
    }
    cache.Finish();
    const auto pages = cache.Pages();
    ASSERT_EQ(pages.size(), MaxSubpagesPerPage + 1);
    EXPECT_EQ(cache.SkippedSubpages(), 100 - MaxSubpagesPerPage);
    EXPECT_EQ(pages[5]->subcode, 5);
    EXPECT_EQ(std::string(pages[5]->page.rows[1].begin(), pages[5]->page.rows[1].begin() + 11),
              "sub 5 again");
    EXPECT_EQ(pages.back()->number, 0x200) << "another page is not held back by a full one";
}

TEST(PageCache, IngestTakesWholePacketsAndHandsBackTheRest)
{
    std::vector<std::uint8_t> bytes;
    for (const Packet& p : Recording()) {
        bytes.insert(bytes.end(), p.begin(), p.end());
    }
    PageCache whole;
    EXPECT_EQ(whole.Ingest(bytes), 0u);
    whole.Finish();

    // The same bytes in awkward pieces, as a reader with a fixed buffer passes them on.
    PageCache pieces;
    std::vector<std::uint8_t> carry;
    for (std::size_t pos = 0; pos < bytes.size(); pos += 1000) {
        carry.insert(carry.end(), bytes.begin() + std::ptrdiff_t(pos),
                     bytes.begin() + std::ptrdiff_t(std::min(bytes.size(), pos + 1000)));
        const std::size_t rest = pieces.Ingest(carry);
        EXPECT_LT(rest, PacketSize);
        carry.erase(carry.begin(), carry.end() - std::ptrdiff_t(rest));
    }
    pieces.Finish();
    EXPECT_EQ(KeysOf(pieces), KeysOf(whole));
    EXPECT_EQ(pieces.PageCount(), 9u);
}

TEST(PageNumberSet, HoldsOnlyPagesOfMagazinesOneToEight)
{
    PageNumberSet set;
    set.Add(0x0FF);
    set.Add(0x900);
    set.Add(0x8FF);
    set.AddRange(0x1FE, 0x201);
    EXPECT_EQ(set.Numbers(), (std::vector<std::uint16_t>{0x1FE, 0x1FF, 0x200, 0x201, 0x8FF}));
    EXPECT_FALSE(set.Contains(0x0FF));
    EXPECT_EQ(PageNumberSet::All().Count(), 2048u);
}

} // namespace
} // namespace quav

namespace quav {
namespace {

struct LastRow : PageAssemblyListener
{
    void PageCompleted(const AssembledPage&) override {}
    void PageStarted(const AssembledPage&) override {}
    void RowReceived(const AssembledPage& page, int row) override { bytes = page.rows[std::size_t(row)]; }
    std::array<std::uint8_t, AssembledPage::Columns> bytes{};
};

TEST(PageAssembly, EveryByteValueInEveryColumnDecodesAsItsOwnTextCode)
{
    // Rows and the header's text are decoded many bytes at once; each byte must still come
    // out on its own. Column c holds c * 37 + 11 * k in round k, so over 256 rounds every
    // column sees every byte value, next to ever different neighbours. Packets taken one by
    // one and packets taken from a piece of a recording go through separately built code.
    LastRow seen;
    PageAssembler assembler(seen);
    LastRow seenInPiece;
    PageAssembler fromPiece(seenInPiece);
    for (int k = 0; k < 256; ++k) {
        SCOPED_TRACE(k);
        Packet header = test::packets::Header("100", 0, "");
        Packet row = test::packets::Row(1, 1, "");
        for (std::size_t c = 0; c < AssembledPage::Columns; ++c) {
            row[PayloadOffset + c] = static_cast<std::uint8_t>(c * 37 + std::size_t(k) * 11);
            if (c >= HeaderTextColumn) {
                header[HeaderTextOffset + c - HeaderTextColumn] = row[PayloadOffset + c];
            }
        }
        assembler.Feed(header);
        assembler.Feed(row);
        std::vector<std::uint8_t> piece(header.begin(), header.end());
        piece.insert(piece.end(), row.begin(), row.end());
        fromPiece.FeedAll(piece);
        for (std::size_t c = 0; c < AssembledPage::Columns; ++c) {
            ASSERT_EQ(seen.bytes[c], PageAssembler::TextCode(row[PayloadOffset + c])) << "column " << c;
            const std::uint8_t shown = c < HeaderTextColumn ? 0x20 : seen.bytes[c];
            ASSERT_EQ(assembler.Page(1).rows[0][c], shown) << "header column " << c;
            ASSERT_EQ(seenInPiece.bytes[c], seen.bytes[c]) << "column " << c << " from a piece";
            ASSERT_EQ(fromPiece.Page(1).rows[0][c], shown) << "header column " << c << " from a piece";
        }
    }
}

} // namespace
} // namespace quav
