#pragma once

#include <array>
#include <cstdint>

namespace quav {

/// The character set: glyphs of 10 x 13 pixels, each 13 words, top pixel row first.
/// In a word, bit 15 is the leftmost pixel (column 0) and bit 6 the rightmost (column 9);
/// bits 5 to 0 are always clear.
///
///   0x00-0x0F  English national characters and three pictogram cells
///   0x10-0x1F  Swedish national characters and three pictogram cells
///   0x20-0x7F  Latin alphanumerics with the German national characters
///   0x80-0xBF  separated block mosaics
///   0xC0-0xFF  contiguous block mosaics
///   0x100-     the accented small letters of the French, Italian, Spanish, Portuguese,
///              Czech and Slovak subsets (and ¡ ¿), reached only through NationalGlyphs
inline constexpr int GlyphWidth = 10;
inline constexpr int GlyphHeight = 13;
inline constexpr int GlyphCount = 256;        ///< the glyphs that GlyphIndex gives
inline constexpr int NationalGlyphCount = 28; ///< the accented letters from 0x100 on
inline constexpr int GlyphTableSize = GlyphCount + NationalGlyphCount;

extern const std::array<std::uint16_t, GlyphTableSize * GlyphHeight> GlyphTable;

/// The national option of a page (C12 + 2 x C13 + 4 x C14 of its header): which Latin
/// subset of ETS 300 706 (table 36) shows at the 13 national positions. Option 7 has no
/// subset of its own and is drawn as English.
namespace national {
inline constexpr std::uint8_t English = 0;
inline constexpr std::uint8_t French = 1;
inline constexpr std::uint8_t SwedishFinnishHungarian = 2;
inline constexpr std::uint8_t CzechSlovak = 3;
inline constexpr std::uint8_t German = 4;
inline constexpr std::uint8_t PortugueseSpanish = 5;
inline constexpr std::uint8_t Italian = 6;
} // namespace national

/// The character codes whose character depends on the national option.
inline constexpr int NationalPositionCount = 13;
inline constexpr std::array<std::uint8_t, NationalPositionCount> NationalPositions{
    0x23, 0x24, 0x40, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F, 0x60, 0x7B, 0x7C, 0x7D, 0x7E};

/// Per national option 0-7: the glyph drawn for each glyph number that GlyphIndex gives.
/// Only the 13 national positions differ from the glyph number itself; for German every
/// glyph is its own number.
extern const std::array<std::array<std::uint16_t, GlyphCount>, 8> NationalGlyphs;

enum class MosaicStyle : std::uint8_t
{
    Contiguous,
    Separated,
};

/// The glyph for a 7-bit character code in a cell of the given mosaic mode and style.
/// In mosaic mode, 0x20-0x3F and 0x60-0x7F are block mosaics (bits 0-4 of the code and
/// bit 6 as the six blocks); 0x40-0x5F keep their letters, so capitals show among mosaics.
constexpr std::uint8_t GlyphIndex(std::uint8_t c, bool mosaic, MosaicStyle style)
{
    const int base = style == MosaicStyle::Contiguous ? 0xC0 : 0x80;
    if (mosaic && c >= 0x20 && c <= 0x3F) {
        return static_cast<std::uint8_t>(base + (c - 0x20));
    }
    if (mosaic && c >= 0x60 && c <= 0x7F) {
        return static_cast<std::uint8_t>(base + (c - 0x40));
    }
    return c;
}

} // namespace quav
