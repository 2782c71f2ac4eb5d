#include "render/Renderer.h"

#include <cassert>
#include <cstring>

namespace quav {

namespace {

// Spacing attributes, ETS 300 706 table 26 (level 1).
enum Attribute : std::uint8_t
{
    AlphaWhite = 0x07,
    EndBox = 0x0A,
    StartBox = 0x0B,
    NormalSize = 0x0C,
    DoubleHeight = 0x0D,
    MosaicBlack = 0x10,
    MosaicWhite = 0x17,
    Conceal = 0x18,
    ContiguousMosaics = 0x19,
    SeparatedMosaics = 0x1A,
    BlackBackground = 0x1C,
    NewBackground = 0x1D,
    HoldMosaics = 0x1E,
    ReleaseMosaics = 0x1F,
};

} // namespace

Renderer::Renderer()
{
    SetupRenderer();
}

void Renderer::SetupRenderer()
{
    m_rowStrip = PixelBuffer(RowWidth, RowHeight);
    m_target = m_rowStrip.Row(0);
    m_rowImage = m_rowStrip;
    m_pageSnapshot = PixelBuffer(RowWidth, PageHeight);
    m_pageImage = PixelBuffer(RowWidth, PageHeight);
    DoubleHeightRows.fill(1);
    m_column = 0;
    m_state = CellState{};
}

namespace {

#if defined(__GNUC__)
#define QUAV_ALWAYS_INLINE [[gnu::always_inline]] inline
#else
#define QUAV_ALWAYS_INLINE inline
#endif

// Four 32-bit pixels: one SSE2 register on x86-64, one NEON register on ARM.
using Pixels4 = std::uint32_t __attribute__((vector_size(16)));

// Draws the 13 rows of one glyph at `cell` in a picture 400 pixels wide. Four pixels at a
// time: each lane tests its own bit of the glyph row and becomes the background, flipped to
// the foreground where the bit is set. Pixels 0-3, 4-7 and 6-9: the last store overlaps the
// middle one, so ten pixels take three stores.
QUAV_ALWAYS_INLINE void DrawGlyphRows(std::uint32_t* cell, const std::uint16_t* words, std::uint32_t bg,
                                      std::uint32_t fg)
{
    constexpr Pixels4 bits0{0x8000, 0x4000, 0x2000, 0x1000};
    constexpr Pixels4 bits4{0x0800, 0x0400, 0x0200, 0x0100};
    constexpr Pixels4 bits6{0x0200, 0x0100, 0x0080, 0x0040};
    const Pixels4 bg4 = Pixels4{} + bg;
    const Pixels4 flip4 = Pixels4{} + (fg ^ bg);
    for (int r = 0; r < GlyphHeight; ++r, cell += Renderer::RowWidth) {
        const Pixels4 w = Pixels4{} + std::uint32_t{words[r]};
        const Pixels4 p0 = bg4 ^ (flip4 & reinterpret_cast<Pixels4>((w & bits0) == bits0));
        const Pixels4 p4 = bg4 ^ (flip4 & reinterpret_cast<Pixels4>((w & bits4) == bits4));
        const Pixels4 p6 = bg4 ^ (flip4 & reinterpret_cast<Pixels4>((w & bits6) == bits6));
        std::memcpy(cell, &p0, sizeof p0);
        std::memcpy(cell + 4, &p4, sizeof p4);
        std::memcpy(cell + 6, &p6, sizeof p6);
    }
}

// Blank cells (spaces, most attribute cells) are the background only.
QUAV_ALWAYS_INLINE void FillCell(std::uint32_t* cell, std::uint32_t bg)
{
    const Pixels4 bg4 = Pixels4{} + bg;
    for (int r = 0; r < GlyphHeight; ++r, cell += Renderer::RowWidth) {
        std::memcpy(cell, &bg4, sizeof bg4);
        std::memcpy(cell + 4, &bg4, sizeof bg4);
        std::memcpy(cell + 6, &bg4, sizeof bg4);
    }
}

constexpr bool IsBlank(std::uint16_t glyph)
{
    return glyph == 0x20 || glyph == 0x80 || glyph == 0xC0;
}

} // namespace

void Renderer::DrawGlyph(std::uint8_t glyph, std::uint8_t foreground, std::uint8_t background)
{
    DrawGlyphAt(glyph, foreground, background);
}

QUAV_ALWAYS_INLINE void Renderer::DrawGlyphAt(std::uint16_t glyph, std::uint8_t foreground,
                                              std::uint8_t background)
{
    const int column = m_column < 0 ? 0 : m_column >= Columns ? Columns - 1 : m_column;
    std::uint32_t* cell = m_target + column * GlyphWidth;
    if (IsBlank(glyph)) {
        FillCell(cell, TeletextColours[background & 7]);
        return;
    }
    DrawGlyphRows(cell, GlyphTable.data() + std::size_t(glyph) * GlyphHeight, TeletextColours[background & 7],
                  TeletextColours[foreground & 7]);
}

void Renderer::RenderCell(std::uint8_t b)
{
    RenderCellAt(b);
}

QUAV_ALWAYS_INLINE void Renderer::RenderCellAt(std::uint8_t b)
{
    CellState& s = m_state;
    std::uint8_t shown = 0x20;
    if (b < 0x20) {
        if (b <= AlphaWhite) {
            s.Foreground = b;
            s.Mosaic = false;
            s.Conceal = false;
        } else if (b >= MosaicBlack && b <= MosaicWhite) {
            s.Foreground = static_cast<std::uint8_t>(b - MosaicBlack);
            s.Mosaic = true;
            s.Conceal = false;
        } else {
            switch (b) {
            case NormalSize:
                s.DoubleHeight = false;
                break;
            case DoubleHeight:
                s.DoubleHeight = true;
                break;
            case Conceal:
                s.Conceal = true;
                break;
            case ContiguousMosaics:
                s.Style = MosaicStyle::Contiguous;
                break;
            case SeparatedMosaics:
                s.Style = MosaicStyle::Separated;
                break;
            case BlackBackground:
                s.Background = 0;
                s.BoxBackground = 0;
                break;
            case NewBackground:
                s.Background = s.Foreground;
                s.BoxBackground = s.Foreground;
                break;
            case HoldMosaics:
                s.Hold = true;
                break;
            case ReleaseMosaics:
                s.Hold = false;
                break;
            default: // flash, steady, boxes (after the cell), shift out/in, escape
                break;
            }
        }
        // An attribute cell shows the held mosaic only while hold and mosaic mode are both
        // on after its own effect; otherwise it is a plain cell in the new colours.
        if (s.Hold && s.Mosaic) {
            shown = s.HeldCharacter;
        }
    } else {
        // Bytes 0x80-0xFF are characters too; 0x80-0x9F reach glyphs 0x00-0x1F.
        shown = static_cast<std::uint8_t>(b & 0x7F);
    }
    if (s.Conceal && !Reveal) {
        shown = 0x20;
    }
    // The page's national option decides what the national positions show, among mosaics too.
    const std::uint16_t glyph = m_glyphs[GlyphIndex(shown, s.Mosaic, s.Style)];
    s.HeldCharacter = shown;
    if (s.DoubleHeight) {
        s.RowIsDouble = true;
    }
    DrawGlyphAt(glyph, s.Foreground, s.Background);
    // The box codes act after their own cell.
    if (b == EndBox) {
        s.Background = 0;
    } else if (b == StartBox) {
        s.Background = s.BoxBackground;
    }
}

void Renderer::RenderRow(const std::uint8_t* bytes, std::uint32_t* target)
{
    m_target = target;
    for (int column = 0; column < Columns; ++column) {
        m_column = column;
        RenderCellAt(bytes[column]);
    }
    m_target = m_rowStrip.Row(0);
}

void Renderer::RenderHeaderRow(std::span<const std::uint8_t, 40> headerRow)
{
    ResetCellState();
    // Always normal height, whatever the row holds, so straight into its place.
    RenderRow(headerRow.data(), m_pageImage.Row(0));
}

void Renderer::RenderPageRows(std::span<const std::uint8_t, 960> pageRows)
{
    bool skip = false;
    for (int k = 1; k <= PageRowCount; ++k) {
        const int y = (k - 1) * RowHeight;
        ResetCellState();
        if (skip) {
            // Covered by the lower half of the double-height row above; its bytes are not
            // looked at.
            DoubleHeightRows[k - 1] = 0;
            skip = false;
            continue;
        }
        DoubleHeightRows[k - 1] = 1;
        const std::uint8_t* bytes = pageRows.data() + k * Columns;
        const int top = RowHeight + y; // RowsImage is the page image below the header
        // A row is double exactly when it holds the double-height code, since that code's own
        // cell already counts. Other rows are drawn straight into their place in the page
        // image, which has the strip's shape; that is cheaper than drawing into the strip
        // and copying. A double row goes through the strip and is stretched from there.
        const bool holdsDoubleHeight = std::memchr(bytes, DoubleHeight, Columns) != nullptr;
        RenderRow(bytes, holdsDoubleHeight ? m_rowStrip.Row(0) : m_pageImage.Row(top));
        assert(m_state.RowIsDouble == holdsDoubleHeight);
        if (m_state.RowIsDouble) {
            // The whole row is doubled, cells before the double-height code included. In
            // row 23 only the upper half fits.
            m_pageImage.DrawDoubleHeight(m_rowStrip, 0, top);
            m_rowImage = m_rowStrip;
            skip = true;
        } else {
            m_rowImage = m_pageImage.Band(top, RowHeight);
        }
    }
}

} // namespace quav
