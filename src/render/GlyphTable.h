#pragma once

#include <array>
#include <cstdint>

namespace quav {

/// The character set: 256 glyphs of 10 x 13 pixels, each 13 words, top pixel row first.
/// In a word, bit 15 is the leftmost pixel (column 0) and bit 6 the rightmost (column 9);
/// bits 5 to 0 are always clear.
///
///   0x00-0x0F  English national characters and three pictogram cells
///   0x10-0x1F  Swedish national characters and three pictogram cells
///   0x20-0x7F  Latin alphanumerics with the German national characters
///   0x80-0xBF  separated block mosaics
///   0xC0-0xFF  contiguous block mosaics
inline constexpr int GlyphWidth = 10;
inline constexpr int GlyphHeight = 13;
inline constexpr int GlyphCount = 256;

extern const std::array<std::uint16_t, GlyphCount * GlyphHeight> GlyphTable;

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
