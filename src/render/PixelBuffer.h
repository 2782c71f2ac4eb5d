#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quav {

/// A picture of 32-bit pixels 0x00RRGGBB, top row first, rows packed without padding.
/// Stands in for the bitmaps that the renderer draws into and copies between.
class PixelBuffer
{
public:
    PixelBuffer() = default;
    PixelBuffer(int width, int height, std::uint32_t fill = 0);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    std::uint32_t Pixel(int x, int y) const { return m_pixels[std::size_t(y) * m_width + x]; }
    std::uint32_t* Row(int y) { return m_pixels.data() + std::size_t(y) * m_width; }
    const std::uint32_t* Row(int y) const { return m_pixels.data() + std::size_t(y) * m_width; }
    std::span<const std::uint32_t> Pixels() const { return m_pixels; }
    std::span<std::uint32_t> Pixels() { return m_pixels; }

    void Fill(std::uint32_t pixel);
    /// Copies all of `source` with its top left corner at (x, y). What falls outside this
    /// picture is left out.
    void Draw(const PixelBuffer& source, int x, int y);
    /// Like Draw, with every pixel row of `source` drawn twice, one below the other.
    void DrawDoubleHeight(const PixelBuffer& source, int x, int y);

    friend bool operator==(const PixelBuffer&, const PixelBuffer&) = default;

private:
    void DrawRow(const std::uint32_t* source, int sourceWidth, int x, int y);

    int m_width = 0;
    int m_height = 0;
    std::vector<std::uint32_t> m_pixels;
};

} // namespace quav
