#include "render/PixelBuffer.h"

#include <algorithm>
#include <cstring>

namespace quav {

PixelBuffer::PixelBuffer(int width, int height, std::uint32_t fill)
    : m_width(std::max(width, 0)), m_height(std::max(height, 0)),
      m_pixels(std::size_t(m_width) * std::size_t(m_height), fill)
{
}

void PixelBuffer::Fill(std::uint32_t pixel)
{
    std::fill(m_pixels.begin(), m_pixels.end(), pixel);
}

void PixelBuffer::DrawRow(const std::uint32_t* source, int sourceWidth, int x, int y)
{
    if (y < 0 || y >= m_height) {
        return;
    }
    const int from = std::max(0, -x);
    const int to = std::min(sourceWidth, m_width - x);
    if (from >= to) {
        return;
    }
    std::memcpy(Row(y) + x + from, source + from, std::size_t(to - from) * sizeof(std::uint32_t));
}

void PixelBuffer::Draw(PixelView source, int x, int y)
{
    if (x == 0 && source.Width() == m_width && y >= 0 && y + source.Height() <= m_height) {
        // Same width, inside: the rows are one block in both pictures.
        std::memcpy(Row(y), source.Row(0), source.Pixels().size_bytes());
        return;
    }
    for (int r = 0; r < source.Height(); ++r) {
        DrawRow(source.Row(r), source.Width(), x, y + r);
    }
}

void PixelBuffer::DrawDoubleHeight(PixelView source, int x, int y)
{
    for (int r = 0; r < source.Height(); ++r) {
        DrawRow(source.Row(r), source.Width(), x, y + 2 * r);
        DrawRow(source.Row(r), source.Width(), x, y + 2 * r + 1);
    }
}

} // namespace quav
