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

// Each case states what a television shows (ETS 300 706, clause 12.2): which attributes act
// on their own cell (steady, normal size, conceal, contiguous and separated mosaics, black
// and new background, hold) and which from the next cell (colours, flash, double height,
// release), and which mosaic is held.
TEST(RowRendering, AttributesActWhereATelevisionShowsThem)
{
    constexpr bool Revealed = true, FlashOff = true;
    struct Case
    {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::vector<Expect> cells;
        bool reveal = false;
        bool flashOff = false; // the screen in the off phase of the flash
    };
    const Expect blank{0x20, White, Black};
    const Case cases[] = {
        {"a mosaic colour code acts from the next cell: its own cell keeps the held mosaic's colour",
         {0x11, 0x1E, 0x7F, 0x12, 0x1B},
         {blank, blank, {0xFF, Red, Black}, {0xFF, Red, Black}, {0xFF, Green, Black}}},
        {"an alphanumeric colour code in a held run shows the held mosaic, then text follows",
         {0x11, 0x1E, 0x7F, 0x03, 'A', 0x7F},
         {blank, blank, {0xFF, Red, Black}, {0xFF, Red, Black}, {'A', Yellow, Black}, {0x7F, Yellow, Black}}},
        {"hold acts on its own cell, release from the next: no notch in a held row",
         {0x11, 0x7F, 0x1E, 0x1C, 0x1F, 0x0F},
         {blank, {0xFF, Red, Black}, {0xFF, Red, Black}, {0xFF, Red, Black}, {0xFF, Red, Black}, blank}},
        {"the held mosaic is the last mosaic character, not a capital; a space is a mosaic",
         {0x17, 0x7F, 0x41, 0x1E, 0x20, 0x1B},
         {blank, {0xFF, White, Black}, {'A', White, Black}, {0xFF, White, Black}, blank, blank}},
        {"the held mosaic keeps the style it was drawn with",
         {0x16, 0x1E, 0x35, 0x1A, 0x19, 0x1A, 0x35, 0x19},
         {blank,
          blank,
          {0xD5, Cyan, Black},
          {0xD5, Cyan, Black},
          {0xD5, Cyan, Black},
          {0xD5, Cyan, Black},
          {0x95, Cyan, Black},
          {0x95, Cyan, Black}}},
        {"a change to alphanumerics and back lets go of the held mosaic",
         {0x11, 0x1E, 0x7F, 0x01, 0x11, 0x1B},
         {blank, blank, {0xFF, Red, Black}, {0xFF, Red, Black}, blank, blank}},
        {"new and black background act on their own cell",
         {0x03, 0x1D, 0x07, 'A', 0x1C, 'B'},
         {blank,
          {0x20, White, Yellow},
          {0x20, White, Yellow},
          {'A', White, Yellow},
          blank,
          {'B', White, Black}}},
        {"the box codes change nothing on screen",
         {0x03, 0x1D, 0x07, 'A', 0x0A, 0x0A, 'B', 0x0B, 0x0B, 'C'},
         {blank,
          {0x20, White, Yellow},
          {0x20, White, Yellow},
          {'A', White, Yellow},
          {0x20, White, Yellow},
          {0x20, White, Yellow},
          {'B', White, Yellow},
          {0x20, White, Yellow},
          {0x20, White, Yellow},
          {'C', White, Yellow}}},
        {"conceal acts on its own cell and ends after the next colour code",
         {0x11, 0x1E, 0x7F, 0x18, 0x12, 0x1B, 'K'},
         {blank, blank, {0xFF, Red, Black}, blank, blank, {0xFF, Green, Black}, {'K', Green, Black}}},
        {"conceal revealed",
         {0x11, 0x1E, 0x7F, 0x18, 0x12, 0x1B, 'K'},
         {blank,
          blank,
          {0xFF, Red, Black},
          {0xFF, Red, Black},
          {0xFF, Red, Black},
          {0xFF, Green, Black},
          {'K', Green, Black}},
         Revealed},
        {"concealed text stays blank until a colour code",
         {0x18, 'A', 'B', 0x02, 'C'},
         {blank, blank, blank, blank, {'C', Green, Black}}},
        {"concealed mosaics are blank mosaics",
         {0x11, 0x18, 0x7F, 0x35, 'K'},
         {blank, blank, blank, blank, blank}},
        {"revealed mosaics show",
         {0x11, 0x18, 0x7F, 0x35, 'K'},
         {blank, blank, {0xFF, Red, Black}, {0xD5, Red, Black}, {'K', Red, Black}},
         Revealed},
        {"a concealed national character is blank", {0x18, 0x85, 0x86}, {blank, blank, blank}},
        {"flashing characters are in the picture that is saved",
         {0x08, 'A', 0x09, 'B'},
         {blank, {'A', White, Black}, blank, {'B', White, Black}}},
        {"flash acts from the next cell, steady on its own cell",
         {0x08, 'A', 0x09, 'B'},
         {blank, blank, blank, {'B', White, Black}},
         false,
         FlashOff},
        {"a held mosaic flashes too, the cell of the flash code does not",
         {0x11, 0x7F, 0x1E, 0x08, 0x1B, 0x7F, 0x09, 0x1B},
         {blank,
          {0xFF, Red, Black},
          {0xFF, Red, Black},
          {0xFF, Red, Black},
          blank,
          blank,
          {0xFF, Red, Black},
          {0xFF, Red, Black}},
         false,
         FlashOff},
        {"bytes from 0x80 are characters, never attributes",
         {0x83, 0xC1, 0x11, 0xFF, 0x9F, 0xA0, 0x91},
         {{0x03, White, Black},
          {'A', White, Black},
          blank,
          {0xFF, Red, Black},
          {0x1F, Red, Black},
          blank,
          {0x11, Red, Black}}},
        {"capitals stay letters among mosaics",
         {0x13, 0x5B, 0x40, 0x60},
         {blank, {0x5B, Yellow, Black}, {0x40, Yellow, Black}, {0xE0, Yellow, Black}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PageBuffer p;
        std::copy(c.bytes.begin(), c.bytes.end(), p.bytes.begin() + 3 * 40);
        Renderer r;
        r.Reveal = c.reveal;
        r.SetFlashPhase(!c.flashOff);
        r.RenderPageRows(p.bytes);
        ExpectCells(r.ShownImage(), 3 * 13, c.cells);
        // The header takes the same rules.
        std::array<std::uint8_t, 40> header;
        header.fill(0x20);
        std::copy(c.bytes.begin(), c.bytes.end(), header.begin());
        r.RenderHeaderRow(header);
        ExpectCells(r.ShownImage(), 0, c.cells);
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

struct SizedExpect
{
    Expect cell;
    bool doubled;
};

// A row drawn across two text rows: a double-height cell is its glyph stretched over both,
// a normal-height cell its glyph in the upper row and its background in the lower. Only
// what lies inside the page image is checked.
void ExpectDoubleRow(PixelView page, int top, const std::vector<SizedExpect>& cells)
{
    for (std::size_t c = 0; c < cells.size(); ++c) {
        SCOPED_TRACE(testing::Message() << "column " << c);
        const auto glyph = GlyphCell(cells[c].cell.glyph, cells[c].cell.foreground, cells[c].cell.background);
        for (int i = 0; i < 26 && top + i < page.Height(); ++i) {
            for (int j = 0; j < 10; ++j) {
                const std::uint32_t expected = cells[c].doubled ? glyph[std::size_t(i / 2 * 10 + j)]
                                               : i < 13         ? glyph[std::size_t(i * 10 + j)]
                                                        : Renderer::TeletextColours[cells[c].cell.background];
                ASSERT_EQ(page.Pixel(int(c) * 10 + j, top + i), expected) << "pixel row " << i << " x " << j;
            }
        }
    }
}

TEST(DoubleHeight, ActsFromTheNextCellAndLeavesNormalCellsTheirSize)
{
    PageBuffer p;
    p.Text(4, "above");
    p.Row(5, {0x03, 0x1D, 0x01, 'N', 0x0D, 'D', 0x0C, 'n'});
    p.Row(6, {0x0D, 'h', 'i', 'd', 0x7F}); // covered, whatever it holds
    p.Text(7, "below");
    Renderer r;
    r.RenderPageRows(p.bytes);
    ExpectDoubleRow(r.PageImage(), 5 * 13,
                    {{{0x20, White, Black}, false},
                     {{0x20, Yellow, Yellow}, false},
                     {{0x20, Red, Yellow}, false},
                     {{'N', Red, Yellow}, false},
                     {{0x20, Red, Yellow}, false}, // the code's own cell is still normal height
                     {{'D', Red, Yellow}, true},
                     {{0x20, Red, Yellow}, false}, // normal size acts on its own cell
                     {{'n', Red, Yellow}, false},
                     {{0x20, Red, Yellow}, false}});
    ExpectCells(r.PageImage(), 4 * 13, {{'a', White, Black}});
    ExpectCells(r.PageImage(), 7 * 13, {{'b', White, Black}, {'e', White, Black}, {'l', White, Black}});
    std::array<std::uint8_t, 23> table;
    table.fill(1);
    table[6 - 1] = 0;
    EXPECT_EQ(r.DoubleHeightRows, table);
}

TEST(DoubleHeight, AChangeOfSizeLetsGoOfTheHeldMosaic)
{
    PageBuffer p;
    p.Row(5, {0x11, 0x7F, 0x1E, 0x0D, 0x1B, 0x7F, 0x0C, 0x1B});
    Renderer r;
    r.RenderPageRows(p.bytes);
    ExpectDoubleRow(r.PageImage(), 5 * 13,
                    {{{0x20, Red, Black}, false},
                     {{0xFF, Red, Black}, false},
                     {{0xFF, Red, Black}, false},
                     {{0xFF, Red, Black}, false},
                     {{0x20, Red, Black}, true},
                     {{0xFF, Red, Black}, true},
                     {{0x20, Red, Black}, false},
                     {{0x20, Red, Black}, false}});
}

TEST(DoubleHeight, InTheLastRowOnlyTheUpperHalfFits)
{
    PageBuffer p;
    p.Row(23, {0x01, 'N', 0x0D, 0x7F, 'D'});
    Renderer r;
    r.RenderPageRows(p.bytes);
    ASSERT_EQ(r.RowsImage().Height(), 299);
    ExpectDoubleRow(r.PageImage(), 23 * 13,
                    {{{0x20, Red, Black}, false},
                     {{'N', Red, Black}, false},
                     {{0x20, Red, Black}, false},
                     {{0x7F, Red, Black}, true},
                     {{'D', Red, Black}, true}});
    std::array<std::uint8_t, 23> table;
    table.fill(1);
    EXPECT_EQ(r.DoubleHeightRows, table);
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

TEST(Flash, TheOffPhaseRedrawsOnlyFlashingRowsAndNamesThem)
{
    Renderer r;
    PageBuffer quiet;
    quiet.Row(2, {0x08, ' ', ' ', 0x11, 0x18, 0x7F}); // flash over nothing visible
    r.RenderPageRows(quiet.bytes);
    EXPECT_FALSE(r.Flashing());
    EXPECT_EQ(r.SetFlashPhase(false), 0u);
    EXPECT_EQ(&r.ShownImage(), &r.PageImage());
    r.SetFlashPhase(true);

    std::array<std::uint8_t, 40> header;
    header.fill(0x20);
    header[10] = 0x08;
    header[11] = 'H';
    PageBuffer p;
    p.Row(4, {0x0D, 0x08, 'D'});
    p.Row(9, {0x08, 'X', 0x09, 'Y'});
    r.RenderHeaderRow(header);
    r.RenderPageRows(p.bytes);
    ASSERT_TRUE(r.Flashing());
    EXPECT_EQ(r.SetFlashPhase(false), (1u << 0) | (1u << 4) | (1u << 5) | (1u << 9));
    EXPECT_EQ(r.SetFlashPhase(false), 0u) << "no change, nothing to redraw";
    ExpectCells(r.ShownImage(), 9 * 13,
                {{0x20, White, Black}, {0x20, White, Black}, {0x20, White, Black}, {'Y', White, Black}});
    EXPECT_EQ(CellAt(r.ShownImage(), 11, 0), GlyphCell(0x20, White, Black));
    EXPECT_EQ(CellAt(r.ShownImage(), 2, 5 * 13), GlyphCell(0x20, White, Black))
        << "lower half of the flashing D";
    EXPECT_EQ(CellAt(r.PageImage(), 11, 0), GlyphCell('H', White, Black)) << "the saved picture keeps it";
    ExpectCells(r.PageImage(), 9 * 13, {{0x20, White, Black}, {'X', White, Black}});

    // A page read during the off phase comes to the screen in that phase.
    p.Text(9, "Neu", 10);
    p.Row(12, {0x08, 'Z'});
    r.RenderPageRows(p.bytes);
    ExpectCells(r.ShownImage(), 9 * 13, {{0x20, White, Black}, {0x20, White, Black}});
    EXPECT_EQ(CellAt(r.ShownImage(), 10, 9 * 13), GlyphCell('N', White, Black));
    EXPECT_EQ(CellAt(r.ShownImage(), 1, 12 * 13), GlyphCell(0x20, White, Black));

    EXPECT_EQ(r.SetFlashPhase(true), (1u << 0) | (1u << 4) | (1u << 5) | (1u << 9) | (1u << 12));
    EXPECT_EQ(&r.ShownImage(), &r.PageImage());
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

TEST(PageLayout, DrawingAgainUsesTheKeptBytesAndEachPartsCharacterSet)
{
    // Header in French, page in German with a concealed word; drawn again with reveal on
    // after the option has moved on, it must match a fresh drawing of the same bytes.
    std::array<std::uint8_t, 40> header;
    header.fill('#');
    PageBuffer p;
    p.Row(3, {0x18, 'G', 'e', 'h', 'e', 'i', 'm', '[', '{'});
    Renderer again;
    again.SetNationalOption(national::French);
    again.RenderHeaderRow(header);
    again.SetNationalOption(national::German);
    again.RenderPageRows(p.bytes);
    again.SetNationalOption(national::English);
    const auto pixels = [](const Renderer& r) {
        return std::vector<std::uint32_t>(r.PageImage().Pixels().begin(), r.PageImage().Pixels().end());
    };
    const auto concealed = pixels(again);
    again.Reveal = true;
    again.RenderAgain();

    Renderer fresh;
    fresh.Reveal = true;
    fresh.SetNationalOption(national::French);
    fresh.RenderHeaderRow(header);
    fresh.SetNationalOption(national::German);
    fresh.RenderPageRows(p.bytes);
    EXPECT_TRUE(pixels(again) == pixels(fresh));
    EXPECT_FALSE(pixels(again) == concealed);
    EXPECT_EQ(again.LastPageRows(), p.bytes);
    EXPECT_EQ(again.LastPageOption(), national::German);
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
