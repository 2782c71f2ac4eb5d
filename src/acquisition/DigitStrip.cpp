#include "acquisition/DigitStrip.h"

#include <array>

namespace quav {

namespace {

// Segment bits: a top, b upper right, c lower right, d bottom, e lower left, f upper left,
// g middle.
enum Segment : std::uint8_t
{
    A = 1,
    B = 2,
    C = 4,
    D = 8,
    E = 16,
    F = 32,
    G = 64
};

constexpr std::array<std::uint8_t, 17> SegmentsOf{
    A | B | C | D | E | F,     // 0
    B | C,                     // 1
    A | B | D | E | G,         // 2
    A | B | C | D | G,         // 3
    B | C | F | G,             // 4
    A | C | D | F | G,         // 5
    A | C | D | E | F | G,     // 6
    A | B | C,                 // 7
    A | B | C | D | E | F | G, // 8
    A | B | C | D | F | G,     // 9
    A | B | C | E | F | G,     // A
    C | D | E | F | G,         // b
    A | D | E | F,             // C
    B | C | D | E | G,         // d
    A | D | E | F | G,         // E
    A | E | F | G,             // F
    G,                         // -
};

struct Rect
{
    int x0, y0, x1, y1; // inclusive
};

// Geometry inside the 14 x 21 cell: bars two pixels thick, a one-pixel gap at the joints,
// so each segment reads as its own stroke, as on an LED display.
constexpr std::array<Rect, 7> SegmentRects{
    Rect{4, 2, 9, 3},     // a
    Rect{10, 4, 11, 9},   // b
    Rect{10, 11, 11, 16}, // c
    Rect{4, 17, 9, 18},   // d
    Rect{2, 11, 3, 16},   // e
    Rect{2, 4, 3, 9},     // f
    Rect{4, 9, 9, 10},    // g
};

} // namespace

DigitStrip::DigitStrip() : m_pixels(std::size_t(Width) * Height, Background)
{
    for (std::size_t k = 0; k < SegmentsOf.size(); ++k) {
        for (std::size_t s = 0; s < SegmentRects.size(); ++s) {
            if ((SegmentsOf[k] & (1u << s)) == 0) {
                continue;
            }
            const Rect& r = SegmentRects[s];
            for (int y = r.y0; y <= r.y1; ++y) {
                for (int x = r.x0; x <= r.x1; ++x) {
                    m_pixels[std::size_t(y) * Width + k * GlyphWidth + std::size_t(x)] = Foreground;
                }
            }
        }
    }
}

void DigitStrip::DrawDisplay(std::string_view text, std::uint32_t background,
                             std::vector<std::uint32_t>& display) const
{
    display.assign(std::size_t(DisplayWidth) * DisplayHeight, background);
    std::array<char, 3> shown{'-', '-', '-'};
    for (std::size_t i = 0; i < shown.size() && i < text.size(); ++i) {
        shown[i] = text[i];
    }
    for (int i = 0; i < 3; ++i) {
        const auto k = Characters.find(shown[std::size_t(i)]);
        if (k == std::string_view::npos) {
            continue;
        }
        for (int y = 0; y < Height; ++y) {
            for (int x = 0; x < GlyphWidth; ++x) {
                const int dx = i * GlyphWidth + x;
                if (dx >= DisplayWidth) {
                    break;
                }
                display[std::size_t(y) * DisplayWidth + std::size_t(dx)] =
                    m_pixels[std::size_t(y) * Width + k * GlyphWidth + std::size_t(x)];
            }
        }
    }
}

} // namespace quav
