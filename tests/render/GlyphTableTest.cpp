#include "render/GlyphTable.h"

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
    for (int glyph = 0; glyph < GlyphCount; ++glyph) {
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

} // namespace
} // namespace quav
