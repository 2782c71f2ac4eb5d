#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace quav {

/// The seven-segment figures of the page-number display: 17 glyphs of 14 x 21 pixels side
/// by side, "0123456789ABCDEF-", red on light grey.
class DigitStrip
{
public:
    static constexpr int GlyphWidth = 14;
    static constexpr int Height = 21;
    static constexpr std::string_view Characters = "0123456789ABCDEF-";
    static constexpr int Width = GlyphWidth * int(Characters.size()); // 238
    static constexpr std::uint32_t Foreground = 0xDB0000;             // 219, 0, 0
    static constexpr std::uint32_t Background = 0xC2C2C2;             // 194, 194, 194

    static constexpr int DisplayWidth = 41;
    static constexpr int DisplayHeight = 21;

    DigitStrip();

    /// Pixels of the whole strip, 0x00RRGGBB, row by row.
    const std::vector<std::uint32_t>& Pixels() const { return m_pixels; }

    /// Draws a page number on the 41 x 21 display: the text padded with dashes to three
    /// characters; the third glyph loses its last column. A character the strip does not
    /// hold leaves its place in the background colour.
    void DrawDisplay(std::string_view text, std::uint32_t background,
                     std::vector<std::uint32_t>& display) const;

private:
    std::vector<std::uint32_t> m_pixels;
};

} // namespace quav
