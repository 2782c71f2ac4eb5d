#include "render/Renderer.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace quav {

namespace {

// Spacing attributes, ETS 300 706 table 26 (level 1).
enum Attribute : std::uint8_t
{
    AlphaWhite = 0x07,
    Flash = 0x08,
    Steady = 0x09,
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
    m_shownImage = PixelBuffer(RowWidth, PageHeight);
    m_flashStrip = PixelBuffer(RowWidth, RowHeight);
    DoubleHeightRows.fill(1);
    m_column = 0;
    m_state = CellState{};
    m_lastHeader.fill(0x20);
    m_lastPage.fill(0x20);
    m_flashRows = 0;
    m_flashOn = true;
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
    std::uint8_t glyph = 0x20;
    if (b < 0x20) {
        // Set-at attributes: they already act on their own cell.
        switch (b) {
        case Steady:
            s.Flash = false;
            break;
        case NormalSize:
            if (s.DoubleHeight) {
                s.DoubleHeight = false;
                s.HeldCharacter = 0x20; // a change of size lets go of the held mosaic
            }
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
            break;
        case NewBackground:
            s.Background = s.Foreground;
            break;
        case HoldMosaics:
            s.Hold = true;
            break;
        default:
            break;
        }
        // An attribute cell is a space, or under hold in mosaic mode the held mosaic in the
        // style it was first drawn with.
        if (s.Hold && s.Mosaic) {
            glyph = GlyphIndex(s.HeldCharacter, true, s.HeldStyle);
        }
    } else {
        // Bytes 0x80-0xFF are characters too; 0x80-0x9F reach glyphs 0x00-0x1F.
        const auto c = static_cast<std::uint8_t>(b & 0x7F);
        if (s.Mosaic && (c & 0x20) != 0) {
            // In mosaic mode the codes of columns 2, 3, 6 and 7 are mosaics, the space
            // included; the capitals of columns 4 and 5 show through and are not held.
            s.HeldCharacter = c;
            s.HeldStyle = s.Style;
        }
        glyph = GlyphIndex(c, s.Mosaic, s.Style);
    }
    if (s.Conceal && !Reveal) {
        glyph = 0x20;
    }
    if (s.Flash && !IsBlank(glyph)) {
        m_rowFlashes = true;
        if (m_drawingFlashOff) {
            glyph = 0x20;
        }
    }
    const auto column = std::size_t(std::clamp(m_column, 0, Columns - 1));
    m_cellDouble[column] = s.DoubleHeight;
    m_cellBackground[column] = s.Background;
    // The page's national option decides what the national positions show, among mosaics too.
    DrawGlyphAt(m_glyphs[glyph], s.Foreground, s.Background);
    if (b >= 0x20) {
        return;
    }
    // Set-after attributes: they act from the next cell on.
    if (b <= AlphaWhite) {
        s.Foreground = b;
        if (s.Mosaic) {
            s.Mosaic = false;
            s.HeldCharacter = 0x20; // so does a change of mode
        }
        s.Conceal = false;
    } else if (b >= MosaicBlack && b <= MosaicWhite) {
        s.Foreground = static_cast<std::uint8_t>(b - MosaicBlack);
        if (!s.Mosaic) {
            s.Mosaic = true;
            s.HeldCharacter = 0x20;
        }
        s.Conceal = false;
    } else if (b == Flash) {
        s.Flash = true;
    } else if (b == DoubleHeight) {
        if (m_sizeChanges) {
            s.RowIsDouble = true;
            if (!s.DoubleHeight) {
                s.DoubleHeight = true;
                s.HeldCharacter = 0x20;
            }
        }
    } else if (b == ReleaseMosaics) {
        s.Hold = false;
    }
    // End and start box, shift out and in, escape: nothing on screen.
}

void Renderer::RenderRow(const std::uint8_t* bytes, std::uint32_t* target)
{
    m_target = target;
    m_rowFlashes = false;
    for (int column = 0; column < Columns; ++column) {
        m_column = column;
        RenderCellAt(bytes[column]);
    }
    m_target = m_rowStrip.Row(0);
}

void Renderer::RenderHeaderRow(std::span<const std::uint8_t, 40> headerRow)
{
    ResetCellState();
    std::copy(headerRow.begin(), headerRow.end(), m_lastHeader.begin());
    m_headerOption = m_option;
    // Always normal height, whatever the row holds, so straight into its place.
    m_sizeChanges = false;
    RenderRow(headerRow.data(), m_pageImage.Row(0));
    m_sizeChanges = true;
    m_flashRows = (m_flashRows & ~1u) | (m_rowFlashes ? 1u : 0u);
    if (!m_flashOn && m_flashRows != 0) {
        DrawShownImage(1u); // only the header changed
    }
}

bool Renderer::RenderPageRow(const std::uint8_t* bytes, PixelBuffer& image, PixelBuffer& strip, int top)
{
    ResetCellState();
    // A row is double exactly when it holds the double-height code. Other rows are drawn
    // straight into their place in the page image, which has the strip's shape; that is
    // cheaper than drawing into the strip and copying. A double row goes through the strip.
    const bool holdsDoubleHeight = std::memchr(bytes, DoubleHeight, Columns) != nullptr;
    RenderRow(bytes, holdsDoubleHeight ? strip.Row(0) : image.Row(top));
    assert(m_state.RowIsDouble == holdsDoubleHeight);
    if (!holdsDoubleHeight) {
        return false;
    }
    // Double-height cells cover this row and the next. The normal-height cells (those
    // before the double-height code among them) keep their size, and the next row shows
    // only their background below them. In row 23 only the upper half fits.
    image.DrawDoubleHeight(strip, 0, top);
    const int lowerEnd = std::min(top + 2 * RowHeight, image.Height());
    for (int column = 0; column < Columns; ++column) {
        if (m_cellDouble[std::size_t(column)]) {
            continue;
        }
        const int x = column * GlyphWidth;
        for (int r = 0; r < RowHeight && top + r < image.Height(); ++r) {
            std::memcpy(image.Row(top + r) + x, strip.Row(r) + x, GlyphWidth * sizeof(std::uint32_t));
        }
        const std::uint32_t background = TeletextColours[m_cellBackground[std::size_t(column)] & 7];
        for (int y = top + RowHeight; y < lowerEnd; ++y) {
            std::fill_n(image.Row(y) + x, GlyphWidth, background);
        }
    }
    return true;
}

void Renderer::RenderPageRows(std::span<const std::uint8_t, 960> pageRows)
{
    std::copy(pageRows.begin(), pageRows.end(), m_lastPage.begin());
    m_pageOption = m_option;
    m_flashRows &= 1u;
    bool skip = false;
    for (int k = 1; k <= PageRowCount; ++k) {
        if (skip) {
            // Covered by the lower half of the double-height row above; its bytes are not
            // looked at.
            ResetCellState();
            DoubleHeightRows[k - 1] = 0;
            skip = false;
            continue;
        }
        DoubleHeightRows[k - 1] = 1;
        const int top = RowHeight * k; // RowsImage is the page image below the header
        skip = RenderPageRow(pageRows.data() + k * Columns, m_pageImage, m_rowStrip, top);
        m_rowImage = skip ? PixelView(m_rowStrip) : m_pageImage.Band(top, RowHeight);
        if (m_rowFlashes) {
            m_flashRows |= 1u << k;
        }
    }
    if (!m_flashOn && m_flashRows != 0) {
        DrawShownImage(~1u); // the header stays as it is
    }
}

void Renderer::RenderAgain()
{
    // Copies, since the render operations keep what they draw in the same buffers.
    const std::array<std::uint8_t, 40> header = m_lastHeader;
    const std::array<std::uint8_t, 960> page = m_lastPage;
    const std::uint8_t kept = m_option;
    SetNationalOption(m_headerOption);
    RenderHeaderRow(header);
    SetNationalOption(m_pageOption);
    RenderPageRows(page);
    SetNationalOption(kept);
}

std::uint32_t Renderer::ShownRows() const
{
    // A flashing double-height row also changes the row below it.
    std::uint32_t rows = m_flashRows;
    for (int k = 1; k < PageRowCount; ++k) {
        if ((m_flashRows >> k & 1u) != 0 && DoubleHeightRows[std::size_t(k)] == 0) {
            rows |= 1u << (k + 1);
        }
    }
    return rows;
}

void Renderer::DrawShownImage(std::uint32_t rows)
{
    // The page image with the flashing rows drawn again from their bytes, without the
    // flashing characters. The rows without flash are copied as they are.
    const int top = (rows & 1u) != 0 ? 0 : RowHeight;
    const int bottom = (rows & ~1u) != 0 ? PageHeight : RowHeight;
    std::copy_n(m_pageImage.Row(top), std::size_t(bottom - top) * RowWidth, m_shownImage.Row(top));
    const std::uint32_t redraw = m_flashRows & rows;
    const CellState kept = m_state;
    const bool keptFlashes = m_rowFlashes;
    m_drawingFlashOff = true;
    if ((redraw & 1u) != 0) {
        ResetCellState();
        m_sizeChanges = false;
        RenderRow(m_lastHeader.data(), m_shownImage.Row(0));
        m_sizeChanges = true;
    }
    for (int k = 1; k <= PageRowCount; ++k) {
        if ((redraw >> k & 1u) != 0) {
            RenderPageRow(m_lastPage.data() + k * Columns, m_shownImage, m_flashStrip, RowHeight * k);
        }
    }
    m_drawingFlashOff = false;
    m_state = kept;
    m_rowFlashes = keptFlashes;
}

std::uint32_t Renderer::SetFlashPhase(bool on)
{
    if (on == m_flashOn) {
        return 0;
    }
    m_flashOn = on;
    if (m_flashRows == 0) {
        return 0;
    }
    if (!on) {
        DrawShownImage();
    }
    return ShownRows();
}

} // namespace quav
