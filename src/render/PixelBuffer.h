#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quav {

/// A read-only look at a picture of 32-bit pixels 0x00RRGGBB, top row first, rows packed
/// without padding: all of a PixelBuffer or a band of its rows.
class PixelView
{
public:
    PixelView() = default;
    PixelView(const std::uint32_t* pixels, int width, int height)
        : m_pixels(pixels), m_width(width), m_height(height)
    {
    }

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    std::uint32_t Pixel(int x, int y) const { return m_pixels[std::size_t(y) * m_width + x]; }
    const std::uint32_t* Row(int y) const { return m_pixels + std::size_t(y) * m_width; }
    std::span<const std::uint32_t> Pixels() const { return {m_pixels, std::size_t(m_width) * m_height}; }

private:
    const std::uint32_t* m_pixels = nullptr;
    int m_width = 0;
    int m_height = 0;
};

/// A picture of 32-bit pixels 0x00RRGGBB that owns its memory. Stands in for the bitmaps
/// that the renderer draws into and copies between.
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

    operator PixelView() const { return {m_pixels.data(), m_width, m_height}; }
    /// Rows `top` to `top + height - 1`, which must lie inside the picture.
    PixelView Band(int top, int height) const { return {Row(top), m_width, height}; }

    void Fill(std::uint32_t pixel);
    /// Copies all of `source` with its top left corner at (x, y). What falls outside this
    /// picture is left out.
    void Draw(PixelView source, int x, int y);
    /// Like Draw, with every pixel row of `source` drawn twice, one below the other.
    void DrawDoubleHeight(PixelView source, int x, int y);

    friend bool operator==(const PixelBuffer&, const PixelBuffer&) = default;

private:
    void DrawRow(const std::uint32_t* source, int sourceWidth, int x, int y);

    int m_width = 0;
    int m_height = 0;
    std::vector<std::uint32_t> m_pixels;
};

} // namespace quav
