#include "render/GlyphTable.h"

#include "RenderTestSupport.h"
#include "support/ZvbiReference.h"

#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace quav {
namespace {

std::vector<std::uint16_t> Words(int glyph)
{
    return {GlyphTable.begin() + glyph * GlyphHeight, GlyphTable.begin() + (glyph + 1) * GlyphHeight};
}

bool Lit(int glyph, int row, int column)
{
    return (GlyphTable[glyph * GlyphHeight + row] & (0x8000 >> column)) != 0;
}

TEST(GlyphTableData, SampleGlyphsAreExact)
{
    using W = std::vector<std::uint16_t>;
    const W hash{0x0000, 0x3300, 0x3300, 0x7F80, 0x7F80, 0x3300, 0x3300,
                 0x7F80, 0x7F80, 0x3300, 0x3300, 0x0000, 0x0000};
    const W block(1, 0);
    const std::pair<int, W> samples[] = {
        {0x41,
         {0x0000, 0x3F00, 0x7F80, 0x6180, 0x6180, 0x7F80, 0x7F80, 0x6180, 0x6180, 0x6180, 0x0000, 0x0000,
          0x0000}},
        {0x5B,
         {0x3300, 0x0000, 0x3F00, 0x7F80, 0x6180, 0x7F80, 0x7F80, 0x6180, 0x6180, 0x6180, 0x0000, 0x0000,
          0x0000}},
        {0x23, hash},
        {0x0F, hash},
        {0x13, hash},
        {0x60,
         {0x0000, 0x0E00, 0x1F00, 0x1B00, 0x1F00, 0x0E00, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
          0x0000}},
        {0xBF,
         {0x0000, 0x7380, 0x7380, 0x7380, 0x0000, 0x7380, 0x7380, 0x7380, 0x7380, 0x0000, 0x7380, 0x7380,
          0x7380}},
        {0xFF, W(13, 0xFFC0)},
        {0x7F,
         {0x0000, 0x7F80, 0x7F80, 0x7F80, 0x7F80, 0x7F80, 0x7F80, 0x7F80, 0x7F80, 0x7F80, 0x0000, 0x0000,
          0x0000}},
        {0x01, {0, 0, 0, 0, 0, 0xFFC0, 0xFFC0, 0, 0, 0, 0, 0, 0}},
        {0x20, W(13, 0x0000)},
        {0x80, W(13, 0x0000)},
        {0xC0, W(13, 0x0000)},
    };
    for (const auto& [glyph, words] : samples) {
        SCOPED_TRACE(glyph);
        EXPECT_EQ(Words(glyph), words);
    }
}

TEST(GlyphTableData, MosaicsLightExactlyTheirBlocks)
{
    struct Style
    {
        int base;
        int columns[2][2]; // left, right: first and last column
        int rows[3][2];    // top, middle, bottom: first and last row
    };
    const Style styles[] = {
        {0xC0, {{0, 4}, {5, 9}}, {{0, 3}, {4, 8}, {9, 12}}},
        {0x80, {{1, 3}, {6, 8}}, {{1, 3}, {5, 8}, {10, 12}}},
    };
    for (const auto& style : styles) {
        for (int n = 0; n < 64; ++n) {
            SCOPED_TRACE(style.base + n);
            for (int r = 0; r < GlyphHeight; ++r) {
                for (int c = 0; c < GlyphWidth; ++c) {
                    bool expected = false;
                    for (int k = 0; k < 6; ++k) {
                        const auto& cols = style.columns[k % 2];
                        const auto& rows = style.rows[k / 2];
                        expected |=
                            (n >> k & 1) && c >= cols[0] && c <= cols[1] && r >= rows[0] && r <= rows[1];
                    }
                    ASSERT_EQ(Lit(style.base + n, r, c), expected) << "row " << r << " column " << c;
                }
            }
        }
    }
}

TEST(GlyphTableData, UnusedLowBitsAreClearEverywhere)
{
    for (int glyph = 0; glyph < GlyphTableSize; ++glyph) {
        for (int r = 0; r < GlyphHeight; ++r) {
            ASSERT_EQ(GlyphTable[glyph * GlyphHeight + r] & 0x3F, 0) << "glyph " << glyph << " row " << r;
        }
    }
}

TEST(LetterDesign, KeepsTheCellRules)
{
    const std::string belowBaseline = ",;@#$_~Qgjpqy"; // 0x40 is §, 0x7E is ß
    for (int glyph = 0x20; glyph <= 0x7F; ++glyph) {
        SCOPED_TRACE(glyph);
        bool any = false;
        for (int r = 0; r < GlyphHeight; ++r) {
            EXPECT_FALSE(Lit(glyph, r, 0)) << "column 0, row " << r;
            EXPECT_FALSE(Lit(glyph, r, 9)) << "column 9, row " << r;
            for (int c = 0; c < GlyphWidth; ++c) {
                any |= Lit(glyph, r, c);
                if (r >= 10 && belowBaseline.find(char(glyph)) == std::string::npos) {
                    EXPECT_FALSE(Lit(glyph, r, c)) << "row " << r;
                }
            }
        }
        EXPECT_EQ(any, glyph != 0x20) << "only the space is blank";
    }
}

TEST(LetterDesign, CapitalsDigitsAndSmallLettersStandInTheirRows)
{
    auto rowsUsed = [](int glyph) {
        std::set<int> rows;
        for (int r = 0; r < GlyphHeight; ++r) {
            if (GlyphTable[glyph * GlyphHeight + r] != 0) {
                rows.insert(r);
            }
        }
        return rows;
    };
    for (char c : std::string("ABCDEFGHIJKLMNOPRSTUVWXYZ0123456789")) {
        SCOPED_TRACE(std::string(1, c));
        const auto rows = rowsUsed(c);
        EXPECT_EQ(*rows.begin(), 1);
        EXPECT_EQ(*rows.rbegin(), 9);
    }
    for (int umlaut : {0x5B, 0x5C, 0x5D}) {
        SCOPED_TRACE(umlaut);
        EXPECT_EQ(GlyphTable[umlaut * GlyphHeight + 0], 0x3300) << "two dots: columns 2-3 and 6-7";
        EXPECT_EQ(GlyphTable[umlaut * GlyphHeight + 1], 0x0000);
        EXPECT_EQ(*rowsUsed(umlaut).rbegin(), 9);
    }
    for (char c : std::string("acemnorsuvwxz")) {
        SCOPED_TRACE(std::string(1, c));
        const auto rows = rowsUsed(c);
        EXPECT_EQ(*rows.begin(), 3);
        EXPECT_EQ(*rows.rbegin(), 9);
    }
    for (char c : std::string("bdfhklt")) {
        SCOPED_TRACE(std::string(1, c));
        EXPECT_EQ(*rowsUsed(c).begin(), 1) << "ascender";
    }
    for (char c : std::string("gjpqy~")) {
        SCOPED_TRACE(std::string(1, c));
        EXPECT_EQ(*rowsUsed(c).rbegin(), 12) << "descender";
    }
    EXPECT_EQ(*rowsUsed('i').begin(), 0);
    EXPECT_EQ(*rowsUsed('j').begin(), 0);
    EXPECT_EQ(*rowsUsed('Q').rbegin(), 11);
    EXPECT_EQ(rowsUsed('_'), (std::set<int>{11, 12}));
    EXPECT_EQ(rowsUsed(0x1F), (std::set<int>{11, 12}));
}

TEST(LetterDesign, EveryPrintableCharacterHasItsOwnShape)
{
    std::set<std::vector<std::uint16_t>> seen;
    for (int glyph = 0x21; glyph <= 0x7F; ++glyph) {
        EXPECT_TRUE(seen.insert(Words(glyph)).second) << "glyph " << glyph << " repeats an earlier one";
    }
}

TEST(GlyphChoice, MapsCodesAsTheCellModeSays)
{
    struct Row
    {
        std::uint8_t code;
        bool mosaic;
        MosaicStyle style;
        std::uint8_t glyph;
    };
    constexpr auto C = MosaicStyle::Contiguous;
    constexpr auto S = MosaicStyle::Separated;
    const Row rows[] = {
        {0x7F, false, C, 0x7F}, {0x7F, true, C, 0xFF},  {0x7F, true, S, 0xBF}, {0x40, false, C, 0x40},
        {0x40, true, C, 0x40},  {0x5B, true, S, 0x5B},  {0x5F, true, C, 0x5F}, {0x35, true, C, 0xD5},
        {0x7A, true, S, 0xBA},  {0x20, true, C, 0xC0},  {0x20, true, S, 0x80}, {0x3F, true, C, 0xDF},
        {0x60, true, C, 0xE0},  {0x60, false, C, 0x60}, {0x41, true, C, 0x41}, {0x1F, true, C, 0x1F},
        {0x35, false, S, 0x35},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "code " << int(row.code) << " mosaic " << row.mosaic);
        EXPECT_EQ(GlyphIndex(row.code, row.mosaic, row.style), row.glyph);
    }
    // 0x35 in contiguous mosaics: top, middle and bottom left, the left half of the cell.
    for (int r = 0; r < GlyphHeight; ++r) {
        EXPECT_EQ(GlyphTable[0xD5 * GlyphHeight + r], 0xF800);
    }
    // 0x7A in separated mosaics: top right, middle right, bottom left and bottom right.
    EXPECT_EQ(Words(0xBA), (std::vector<std::uint16_t>{0, 0x0380, 0x0380, 0x0380, 0, 0x0380, 0x0380, 0x0380,
                                                       0x0380, 0, 0x7380, 0x7380, 0x7380}));
}

// What the glyphs that the national positions reach depict.
const std::map<int, char16_t> Depicts{
    {0x00, u'@'},  {0x01, u'—'},  {0x02, u'¼'},  {0x03, u'£'},  {0x08, u'‖'},  {0x09, u'¾'},  {0x0A, u'÷'},
    {0x0B, u'←'},  {0x0C, u'½'},  {0x0D, u'→'},  {0x0E, u'↑'},  {0x10, u'É'},  {0x11, u'é'},  {0x14, u'¤'},
    {0x19, u'å'},  {0x1D, u'Å'},  {0x23, u'#'},  {0x24, u'$'},  {0x40, u'§'},  {0x5B, u'Ä'},  {0x5C, u'Ö'},
    {0x5D, u'Ü'},  {0x5E, u'^'},  {0x5F, u'_'},  {0x60, u'°'},  {0x7B, u'ä'},  {0x7C, u'ö'},  {0x7D, u'ü'},
    {0x7E, u'ß'},  {0x100, u'ç'}, {0x101, u'ù'}, {0x102, u'à'}, {0x103, u'ò'}, {0x104, u'è'}, {0x105, u'ì'},
    {0x106, u'ï'}, {0x107, u'ë'}, {0x108, u'ê'}, {0x109, u'î'}, {0x10A, u'â'}, {0x10B, u'ô'}, {0x10C, u'û'},
    {0x10D, u'¡'}, {0x10E, u'á'}, {0x10F, u'í'}, {0x110, u'ó'}, {0x111, u'ú'}, {0x112, u'¿'}, {0x113, u'ñ'},
    {0x114, u'ů'}, {0x115, u'č'}, {0x116, u'ť'}, {0x117, u'ž'}, {0x118, u'ý'}, {0x119, u'ř'}, {0x11A, u'ě'},
    {0x11B, u'š'},
};

TEST(NationalGlyphs, EachSetShowsWhatZvbiShowsAtTheNationalPositions)
{
    const std::set<int> positions(NationalPositions.begin(), NationalPositions.end());
    for (int option = 0; option < 8; ++option) {
        // Option 7 has no subset of its own and is drawn as English.
        const int reference = option == 7 ? 0 : option;
        SCOPED_TRACE(test::ZvbiFont(reference).label);
        for (int g = 0; g < GlyphCount; ++g) {
            const int drawn = NationalGlyphs[std::size_t(option)][std::size_t(g)];
            if (positions.count(g) == 0) {
                ASSERT_EQ(drawn, g) << "only the national positions change";
                continue;
            }
            ASSERT_EQ(Depicts.count(drawn), 1u) << "code " << g;
            EXPECT_EQ(int(Depicts.at(drawn)), int(test::ZvbiCharacter(reference, std::uint8_t(g))))
                << "code " << g;
            // A character that differs from the German one must look different.
            const bool sameAsGerman = test::ZvbiCharacter(reference, std::uint8_t(g)) ==
                                      test::ZvbiCharacter(national::German, std::uint8_t(g));
            EXPECT_EQ(Words(drawn) == Words(g), sameAsGerman) << "code " << g;
        }
    }
}

TEST(NationalGlyphs, AccentedLettersKeepTheCellRules)
{
    std::set<std::vector<std::uint16_t>> seen;
    for (int glyph = 0x20; glyph <= 0x7F; ++glyph) {
        seen.insert(Words(glyph));
    }
    for (int glyph = GlyphCount; glyph < GlyphTableSize; ++glyph) {
        SCOPED_TRACE(glyph);
        EXPECT_TRUE(seen.insert(Words(glyph)).second) << "repeats another letter";
        for (int r = 0; r < GlyphHeight; ++r) {
            EXPECT_FALSE(Lit(glyph, r, 0) || Lit(glyph, r, 9)) << "columns 0 and 9 stay clear, row " << r;
        }
        const bool descends = glyph == 0x100 || glyph == 0x118 || glyph == 0x10D; // ç ý ¡
        EXPECT_EQ(Words(glyph)[12] != 0, descends);
    }
}

TEST(NationalGlyphs, TheRendererDrawsThePagesSet)
{
    struct Case
    {
        std::uint8_t option;
        std::vector<std::uint8_t> bytes;
        int column;
        int glyph;
    };
    const Case cases[] = {
        {national::German, {0x7B}, 0, 0x7B},
        {national::English, {0x23}, 0, 0x03},
        {national::French, {0x7E}, 0, 0x100},
        {national::CzechSlovak, {0x24}, 0, 0x114},
        {7, {0x5F}, 0, 0x23},
        {national::Italian, {0x16, 0x5B}, 1, 0x60}, // among mosaics too
        {national::PortugueseSpanish, {0x16, 0x40}, 1, 0x10D},
        {national::English, {0x16, 0x23}, 1, 0xC3}, // a mosaic stays a mosaic
        {national::English, {0x16, 0x7F}, 1, 0xFF},
        {national::SwedishFinnishHungarian, {0x9D}, 0, 0x1D}, // bytes 0x80-0x9F are untouched
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "option " << int(c.option) << " byte " << int(c.bytes.back()));
        Renderer renderer;
        test::PageBuffer page;
        std::copy(c.bytes.begin(), c.bytes.end(), page.bytes.begin() + 40);
        renderer.SetNationalOption(c.option);
        renderer.RenderPageRows(page.bytes);
        const std::uint8_t fg = c.bytes.size() > 1 ? 6 : 7;
        EXPECT_EQ(test::CellAt(renderer.RowsImage(), c.column, 0), test::GlyphCell(c.glyph, fg, 0));
    }
}

} // namespace
} // namespace quav
