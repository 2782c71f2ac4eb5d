#include "RenderTestSupport.h"

#include <vector>

#include <gtest/gtest.h>

namespace quav {
namespace {

using test::CellAt;
using test::Describe;
using test::GlyphCell;
using test::PageBuffer;

constexpr std::uint8_t Black = 0, Red = 1, Green = 2, Yellow = 3, Blue = 4, Cyan = 6, White = 7;

struct Expect
{
    std::uint8_t glyph;
    std::uint8_t foreground;
    std::uint8_t background;
};

void ExpectCells(PixelView page, int top, const std::vector<Expect>& cells)
{
    for (std::size_t c = 0; c < cells.size(); ++c) {
        SCOPED_TRACE(testing::Message() << "column " << c);
        const auto actual = CellAt(page, int(c), top);
        const auto expected = GlyphCell(cells[c].glyph, cells[c].foreground, cells[c].background);
        EXPECT_EQ(actual, expected) << "expected glyph " << int(cells[c].glyph) << Describe(expected)
                                    << "\nactual" << Describe(actual);
    }
}

TEST(TeletextColours, AreFullIntensityRgb)
{
    EXPECT_EQ(Renderer::TeletextColours,
              (std::array<std::uint32_t, 8>{0x000000, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF,
                                            0x00FFFF, 0xFFFFFF}));
    // Foreground of mosaics and background from New Background, for every colour.
    for (std::uint8_t colour = 0; colour < 8; ++colour) {
        SCOPED_TRACE(int(colour));
        PageBuffer p;
        p.Row(1, {std::uint8_t(0x10 + colour), 0x7F});
        p.Row(2, {colour, 0x1D});
        Renderer r;
        r.RenderPageRows(p.bytes);
        const auto& page = r.PageImage();
        for (int y = 0; y < 13; ++y) {
            for (int x = 10; x < 20; ++x) {
                ASSERT_EQ(page.Pixel(x, 13 + y), Renderer::TeletextColours[colour]);
                ASSERT_EQ(page.Pixel(x, 26 + y), Renderer::TeletextColours[colour]);
            }
        }
    }
}

TEST(RowRendering, PlainTextIsWhiteOnBlack)
{
    PageBuffer p;
    p.Text(7, "Wetter: 21 Grad");
    Renderer r;
    r.RenderPageRows(p.bytes);
    std::vector<Expect> cells;
    for (char c : std::string("Wetter: 21 Grad ")) {
        cells.push_back({std::uint8_t(c), White, Black});
    }
    ExpectCells(r.PageImage(), 7 * 13, cells);
}

TEST(RowRendering, AttributeSequencesShowWhatTheyMust)
{
    struct Case
    {
        const char* what;
        std::vector<std::uint8_t> bytes;
        bool reveal;
        std::vector<Expect> cells;
    };
    const Case cases[] = {
        {"after mosaic and hold, an attribute code shows the held block",
         {0x11, 0x7F, 0x1E, 0x0F},
         false,
         {{0xC0, Red, Black}, {0xFF, Red, Black}, {0xFF, Red, Black}, {0xFF, Red, Black}}},
        {"an alphanumeric colour ends the held mosaic at its own cell",
         {0x12, 0x1E, 0x7F, 0x01, 0x7F},
         false,
         {{0xC0, Green, Black},
          {0xC0, Green, Black},
          {0xFF, Green, Black},
          {0x20, Red, Black},
          {0x7F, Red, Black}}},
        {"the release code turns hold off before its cell",
         {0x17, 0x1E, 0x7F, 0x1F, 0x1E},
         false,
         {{0xC0, White, Black},
          {0xC0, White, Black},
          {0xFF, White, Black},
          {0xC0, White, Black},
          {0xC0, White, Black}}},
        {"the held character is what the previous cell showed, a space included",
         {0x17, 0x7F, 0x20, 0x1E, 0x1B},
         false,
         {{0xC0, White, Black},
          {0xFF, White, Black},
          {0xC0, White, Black},
          {0xC0, White, Black},
          {0xC0, White, Black}}},
        {"a held mosaic takes the style in force when it is shown",
         {0x16, 0x1E, 0x35, 0x1A, 0x19, 0x08, 0x09, 0x0E},
         false,
         {{0xC0, Cyan, Black},
          {0xC0, Cyan, Black},
          {0xD5, Cyan, Black},
          {0x95, Cyan, Black},
          {0xD5, Cyan, Black},
          {0xD5, Cyan, Black},
          {0xD5, Cyan, Black},
          {0xD5, Cyan, Black}}},
        {"a held mosaic changes to the colour of a later mosaic code",
         {0x11, 0x1E, 0x7F, 0x14},
         false,
         {{0xC0, Red, Black}, {0xC0, Red, Black}, {0xFF, Red, Black}, {0xFF, Blue, Black}}},
        {"new background colours its own cell; boxes act after theirs",
         {0x03, 0x1D, 0x07, 'A', 0x0A, 'B', 0x0B, 'C'},
         false,
         {{0x20, Yellow, Black},
          {0x20, Yellow, Yellow},
          {0x20, White, Yellow},
          {'A', White, Yellow},
          {0x20, White, Yellow},
          {'B', White, Black},
          {0x20, White, Black},
          {'C', White, Yellow}}},
        {"black background resets the box background too",
         {0x04, 0x1D, 0x1C, 'x', 0x0B, 'y'},
         false,
         {{0x20, Blue, Black},
          {0x20, Blue, Blue},
          {0x20, Blue, Black},
          {'x', Blue, Black},
          {0x20, Blue, Black},
          {'y', Blue, Black}}},
        {"concealed text is blank until a colour code",
         {0x18, 'A', 'B', 0x02, 'C'},
         false,
         {{0x20, White, Black},
          {0x20, White, Black},
          {0x20, White, Black},
          {0x20, Green, Black},
          {'C', Green, Black}}},
        {"revealed text shows",
         {0x18, 'A', 'B', 0x02, 'C'},
         true,
         {{0x20, White, Black},
          {'A', White, Black},
          {'B', White, Black},
          {0x20, Green, Black},
          {'C', Green, Black}}},
        {"concealed mosaics are blank mosaics",
         {0x11, 0x18, 0x7F, 0x35, 'K'},
         false,
         {{0xC0, Red, Black},
          {0xC0, Red, Black},
          {0xC0, Red, Black},
          {0xC0, Red, Black},
          {0xC0, Red, Black}}},
        {"revealed mosaics show",
         {0x11, 0x18, 0x7F, 0x35, 'K'},
         true,
         {{0xC0, Red, Black}, {0xC0, Red, Black}, {0xFF, Red, Black}, {0xD5, Red, Black}, {'K', Red, Black}}},
        {"a conceal code in a held run shows the held block only when revealed",
         {0x17, 0x7F, 0x1E, 0x18, 0x1C},
         false,
         {{0xC0, White, Black},
          {0xFF, White, Black},
          {0xFF, White, Black},
          {0xC0, White, Black},
          {0xC0, White, Black}}},
        {"a conceal code in a held run, revealed",
         {0x17, 0x7F, 0x1E, 0x18, 0x1C},
         true,
         {{0xC0, White, Black},
          {0xFF, White, Black},
          {0xFF, White, Black},
          {0xFF, White, Black},
          {0xFF, White, Black}}},
        {"bytes from 0x80 are characters, never attributes",
         {0x83, 0xC1, 0x11, 0xFF, 0x9F, 0xA0, 0x91},
         false,
         {{0x03, White, Black},
          {'A', White, Black},
          {0xC0, Red, Black},
          {0xFF, Red, Black},
          {0x1F, Red, Black},
          {0xC0, Red, Black},
          {0x11, Red, Black}}},
        {"capitals stay letters among mosaics",
         {0x13, 0x5B, 0x40, 0x60},
         false,
         {{0xC0, Yellow, Black}, {0x5B, Yellow, Black}, {0x40, Yellow, Black}, {0xE0, Yellow, Black}}},
        {"a concealed national character is blank",
         {0x18, 0x85, 0x86},
         false,
         {{0x20, White, Black}, {0x20, White, Black}, {0x20, White, Black}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PageBuffer p;
        std::copy(c.bytes.begin(), c.bytes.end(), p.bytes.begin() + 3 * 40);
        Renderer r;
        r.Reveal = c.reveal;
        r.RenderPageRows(p.bytes);
        ExpectCells(r.PageImage(), 3 * 13, c.cells);
        // The header takes the same rules.
        std::array<std::uint8_t, 40> header;
        header.fill(0x20);
        std::copy(c.bytes.begin(), c.bytes.end(), header.begin());
        r.RenderHeaderRow(header);
        ExpectCells(r.PageImage(), 0, c.cells);
    }
}

TEST(RowRendering, NoAttributeCarriesIntoTheNextRow)
{
    PageBuffer p;
    p.Row(1, {0x01, 0x1D, 0x18, 0x1A, 0x11, 0x1E, 0x0D});
    p.Row(3, {'A', 0x7F, 0x1E});
    Renderer r;
    r.RenderPageRows(p.bytes);
    ExpectCells(r.PageImage(), 3 * 13, {{'A', White, Black}, {0x7F, White, Black}, {0x20, White, Black}});
    EXPECT_EQ(r.DoubleHeightRows[2], 1);
}

TEST(RowRendering, ACellOverwritesWhateverWasDrawnThere)
{
    Renderer r;
    r.SetColumn(5);
    r.DrawGlyph(0xFF, White, Red);
    r.DrawGlyph(0x20, Green, Blue);
    EXPECT_EQ(CellAt(r.RowStrip(), 5, 0), GlyphCell(0x20, Green, Blue));
    EXPECT_EQ(CellAt(r.RowStrip(), 4, 0), GlyphCell(0x20, Black, Black)) << "neighbours stay untouched";
    EXPECT_EQ(CellAt(r.RowStrip(), 6, 0), GlyphCell(0x20, Black, Black));
}

// The same page with the double-height code replaced by one that shows the same cell at
// normal height (shift in also shows the held mosaic).
struct DoubleHeightPages
{
    explicit DoubleHeightPages(int row)
    {
        doubled.Row(row, {0x11, 0x7F, 0x1E, 0x0D, 'A', 'b', 0x0C, 'c', 0x12, 0x1A, 0x7F});
        normal.Row(row, {0x11, 0x7F, 0x1E, 0x0F, 'A', 'b', 0x0C, 'c', 0x12, 0x1A, 0x7F});
        for (PageBuffer* p : {&doubled, &normal}) {
            p->Text(row - 1, "above");
            if (row + 2 <= 23) {
                p->Text(row + 2, "below");
            }
        }
        if (row + 1 <= 23) {
            doubled.Row(row + 1, {0x0D, 'h', 'i', 'd', 0x7F}); // covered, whatever it holds
        }
        a.RenderPageRows(doubled.bytes);
        b.RenderPageRows(normal.bytes);
    }
    PageBuffer doubled, normal;
    Renderer a, b;
};

TEST(DoubleHeight, StretchesTheWholeRowAndSkipsTheNext)
{
    DoubleHeightPages pages(5);
    const auto& tall = pages.a.PageImage();
    const auto& flat = pages.b.PageImage();
    for (int i = 0; i < 26; ++i) {
        for (int x = 0; x < 400; ++x) {
            ASSERT_EQ(tall.Pixel(x, 5 * 13 + i), flat.Pixel(x, 5 * 13 + i / 2)) << "x " << x << " row " << i;
        }
    }
    // The double-height code's own cell shows the held block, in both halves.
    EXPECT_EQ(tall.Pixel(35, 5 * 13), Renderer::TeletextColours[Red]);
    EXPECT_EQ(tall.Pixel(35, 5 * 13 + 25), Renderer::TeletextColours[Red]);
    // Nothing above changes.
    for (int y = 13; y < 5 * 13; ++y) {
        for (int x = 0; x < 400; ++x) {
            ASSERT_EQ(tall.Pixel(x, y), flat.Pixel(x, y));
        }
    }
    ExpectCells(tall, 7 * 13, {{'b', White, Black}, {'e', White, Black}, {'l', White, Black}});
    std::array<std::uint8_t, 23> table;
    table.fill(1);
    table[6 - 1] = 0;
    EXPECT_EQ(pages.a.DoubleHeightRows, table);
    table.fill(1);
    EXPECT_EQ(pages.b.DoubleHeightRows, table);
}

TEST(DoubleHeight, InTheLastRowOnlyTheUpperHalfFits)
{
    DoubleHeightPages pages(23);
    const auto& tall = pages.a.RowsImage();
    const auto& flat = pages.b.RowsImage();
    ASSERT_EQ(tall.Height(), 299);
    for (int i = 0; i < 13; ++i) {
        for (int x = 0; x < 400; ++x) {
            ASSERT_EQ(tall.Pixel(x, 22 * 13 + i), flat.Pixel(x, 22 * 13 + i / 2))
                << "x " << x << " row " << i;
        }
    }
    std::array<std::uint8_t, 23> table;
    table.fill(1);
    EXPECT_EQ(pages.a.DoubleHeightRows, table);
    EXPECT_EQ(pages.a.PageImage().Pixel(15, 311), pages.a.RowsImage().Pixel(15, 298));
}

TEST(DoubleHeight, TwoDoubleRowsInARowSkipTheSecondOnly)
{
    PageBuffer p;
    p.Row(3, {0x0D, 'T'});
    p.Row(4, {0x0D, 'U'});
    p.Row(5, {'V'});
    p.Row(6, {0x0D, 'W'});
    Renderer r;
    r.RenderPageRows(p.bytes);
    EXPECT_EQ(r.DoubleHeightRows[3 - 1], 1);
    EXPECT_EQ(r.DoubleHeightRows[4 - 1], 0);
    EXPECT_EQ(r.DoubleHeightRows[5 - 1], 1);
    EXPECT_EQ(r.DoubleHeightRows[6 - 1], 1);
    EXPECT_EQ(r.DoubleHeightRows[7 - 1], 0);
    ExpectCells(r.PageImage(), 5 * 13, {{'V', White, Black}});

    // The next page without double height gives every row back its own bytes.
    r.RenderPageRows(PageBuffer().bytes);
    for (std::uint8_t own : r.DoubleHeightRows) {
        EXPECT_EQ(own, 1);
    }
}

TEST(HeaderRow, StaysAtNormalHeightAndTouchesOnlyItsOwnRows)
{
    Renderer r;
    std::array<std::uint8_t, 40> header;
    header.fill(0x20);
    header[8] = 0x0D;
    header[9] = 'P';
    header[10] = 0x7F;
    r.RenderHeaderRow(header);
    const auto& page = r.PageImage();
    EXPECT_EQ(CellAt(page, 9, 0), GlyphCell('P', White, Black));
    EXPECT_EQ(CellAt(page, 10, 0), GlyphCell(0x7F, White, Black));
    EXPECT_EQ(CellAt(page, 10, 13), GlyphCell(0x20, Black, Black)) << "no lower half below the header";
    EXPECT_EQ(r.HeaderImage().Height(), 13);
    EXPECT_EQ(CellAt(r.HeaderImage(), 9, 0), GlyphCell('P', White, Black));
    for (std::uint8_t own : r.DoubleHeightRows) {
        EXPECT_EQ(own, 1);
    }
}

TEST(PageLayout, HeaderOnTopAndPageRowKAtThirteenTimesK)
{
    PageBuffer p;
    p.Row(0, {0x7F, 0x7F, 0x7F}); // row 0 of the page buffer is never drawn
    for (int k = 1; k <= 23; ++k) {
        p.Row(k, {std::uint8_t('A' + (k - 1) % 26)}, k);
    }
    std::array<std::uint8_t, 40> header;
    header.fill(0x20);
    header[0] = 'H';
    Renderer r;
    r.RenderHeaderRow(header);
    r.RenderPageRows(p.bytes);
    const auto& page = r.PageImage();
    ASSERT_EQ(page.Width(), 400);
    ASSERT_EQ(page.Height(), 312);
    EXPECT_EQ(CellAt(page, 0, 0), GlyphCell('H', White, Black));
    EXPECT_EQ(CellAt(page, 1, 0), GlyphCell(0x20, White, Black));
    for (int k = 1; k <= 23; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(CellAt(page, k, 13 * k), GlyphCell(std::uint8_t('A' + (k - 1) % 26), White, Black));
        EXPECT_EQ(CellAt(r.RowsImage(), k, 13 * (k - 1)),
                  GlyphCell(std::uint8_t('A' + (k - 1) % 26), White, Black));
        EXPECT_EQ(CellAt(page, 0, 13 * k), GlyphCell(0x20, White, Black));
    }
}

TEST(PageLayout, RenderingPageRowsLeavesTheHeaderAlone)
{
    Renderer r;
    std::array<std::uint8_t, 40> header;
    header.fill(0x7F);
    r.RenderHeaderRow(header);
    r.RenderPageRows(PageBuffer().bytes);
    EXPECT_EQ(CellAt(r.PageImage(), 3, 0), GlyphCell(0x7F, White, Black));
}

TEST(Setup, StartsBlackWithAllRowsOwnAndCanBeRepeated)
{
    Renderer r;
    PageBuffer p;
    p.Row(2, {0x0D, 'X'});
    r.Reveal = true;
    r.RenderPageRows(p.bytes);
    ASSERT_EQ(r.DoubleHeightRows[2], 0);
    r.SetupRenderer();
    for (std::uint8_t own : r.DoubleHeightRows) {
        EXPECT_EQ(own, 1);
    }
    EXPECT_TRUE(r.Reveal) << "the reveal flag belongs to the user, not to the set-up";
    for (PixelView image : {PixelView(r.PageImage()), r.RowsImage(), r.HeaderImage()}) {
        for (std::uint32_t px : image.Pixels()) {
            ASSERT_EQ(px, 0u);
        }
    }
    EXPECT_EQ(r.RowsImage().Height(), 299);
    EXPECT_EQ(r.PageSnapshot().Width(), 400);
    EXPECT_EQ(r.PageSnapshot().Height(), 312);
}

TEST(PixelCopies, ClipAtTheEdges)
{
    PixelBuffer target(4, 3, 0);
    PixelBuffer source(3, 2, 0);
    source.Row(0)[0] = 1;
    source.Row(0)[1] = 2;
    source.Row(0)[2] = 3;
    source.Row(1)[0] = 4;
    source.Row(1)[1] = 5;
    source.Row(1)[2] = 6;
    target.Draw(source, 2, 2);
    EXPECT_EQ(std::vector<std::uint32_t>(target.Pixels().begin(), target.Pixels().end()),
              (std::vector<std::uint32_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2}));
    target.Fill(0);
    target.DrawDoubleHeight(source, -1, 0);
    EXPECT_EQ(std::vector<std::uint32_t>(target.Pixels().begin(), target.Pixels().end()),
              (std::vector<std::uint32_t>{2, 3, 0, 0, 2, 3, 0, 0, 5, 6, 0, 0}));
}

} // namespace
} // namespace quav
