#pragma once

#include "render/Renderer.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <sstream>
#include <string>

namespace quav::test {

/// The 130 pixels of one cell, row by row.
using Cell = std::array<std::uint32_t, GlyphWidth * GlyphHeight>;

inline Cell CellAt(PixelView picture, int column, int top)
{
    Cell cell{};
    for (int r = 0; r < GlyphHeight; ++r) {
        for (int j = 0; j < GlyphWidth; ++j) {
            cell[r * GlyphWidth + j] = picture.Pixel(column * GlyphWidth + j, top + r);
        }
    }
    return cell;
}

/// What a cell must look like: the glyph's set bits in the foreground colour, the rest in
/// the background colour.
inline Cell GlyphCell(int glyph, std::uint8_t foreground, std::uint8_t background)
{
    Cell cell{};
    for (int r = 0; r < GlyphHeight; ++r) {
        const std::uint16_t word = GlyphTable[glyph * GlyphHeight + r];
        for (int j = 0; j < GlyphWidth; ++j) {
            const bool set = (word & (0x8000 >> j)) != 0;
            cell[r * GlyphWidth + j] = Renderer::TeletextColours[set ? foreground : background];
        }
    }
    return cell;
}

inline std::string Describe(const Cell& cell)
{
    std::ostringstream out;
    out << std::hex;
    for (int r = 0; r < GlyphHeight; ++r) {
        out << "\n";
        for (int j = 0; j < GlyphWidth; ++j) {
            out << cell[r * GlyphWidth + j] << ' ';
        }
    }
    return out.str();
}

/// A page buffer of spaces with rows filled as needed.
struct PageBuffer
{
    PageBuffer() { bytes.fill(0x20); }
    void Row(int k, std::initializer_list<std::uint8_t> row, int column = 0)
    {
        for (std::uint8_t b : row) {
            bytes[k * 40 + column++] = b;
        }
    }
    void Text(int k, const char* text, int column = 0)
    {
        for (; *text != 0; ++text) {
            bytes[k * 40 + column++] = static_cast<std::uint8_t>(*text);
        }
    }
    std::array<std::uint8_t, 960> bytes;
};

} // namespace quav::test
