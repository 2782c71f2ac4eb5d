#include "render/Renderer.h"

#include <cstring>
#include <utility>

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
    m_rowImage = PixelBuffer(RowWidth, RowHeight);
    m_pageSnapshot = PixelBuffer(RowWidth, PageHeight);
    m_pageImage = PixelBuffer(RowWidth, PageHeight);
    DoubleHeightRows.fill(1);
    m_column = 0;
    m_state = CellState{};
}

void Renderer::DrawGlyph(std::uint8_t glyph, std::uint8_t foreground, std::uint8_t background)
{
    // Four pixels at a time: each lane tests its own bit of the glyph row and becomes the
    // background, flipped to the foreground where the bit is set.
    using Pixels4 = std::uint32_t __attribute__((vector_size(16)));
    using Pixels2 = std::uint32_t __attribute__((vector_size(8)));
    constexpr Pixels4 bitsA{0x8000, 0x4000, 0x2000, 0x1000};
    constexpr Pixels4 bitsB{0x0800, 0x0400, 0x0200, 0x0100};
    constexpr Pixels2 bitsC{0x0080, 0x0040};
    const std::uint32_t bg = TeletextColours[background & 7];
    const std::uint32_t flip = TeletextColours[foreground & 7] ^ bg;
    const Pixels4 bg4{bg, bg, bg, bg};
    const Pixels4 flip4{flip, flip, flip, flip};
    const Pixels2 bg2{bg, bg};
    const Pixels2 flip2{flip, flip};

    const std::uint16_t* words = GlyphTable.data() + std::size_t(glyph) * GlyphHeight;
    const int column = m_column < 0 ? 0 : m_column >= Columns ? Columns - 1 : m_column;
    std::uint32_t* cell = m_rowStrip.Row(0) + column * GlyphWidth;
    for (int r = 0; r < GlyphHeight; ++r, cell += RowWidth) {
        const std::uint32_t word = words[r];
        const Pixels4 w4{word, word, word, word};
        const Pixels2 w2{word, word};
        const Pixels4 a = bg4 ^ (flip4 & reinterpret_cast<Pixels4>((w4 & bitsA) != 0));
        const Pixels4 b = bg4 ^ (flip4 & reinterpret_cast<Pixels4>((w4 & bitsB) != 0));
        const Pixels2 c = bg2 ^ (flip2 & reinterpret_cast<Pixels2>((w2 & bitsC) != 0));
        std::memcpy(cell, &a, sizeof a);
        std::memcpy(cell + 4, &b, sizeof b);
        std::memcpy(cell + 8, &c, sizeof c);
    }
}

void Renderer::RenderCell(std::uint8_t b)
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
    const std::uint8_t glyph = GlyphIndex(shown, s.Mosaic, s.Style);
    s.HeldCharacter = shown;
    if (s.DoubleHeight) {
        s.RowIsDouble = true;
    }
    DrawGlyph(glyph, s.Foreground, s.Background);
    if (b == EndBox) {
        s.Background = 0;
    } else if (b == StartBox) {
        s.Background = s.BoxBackground;
    }
}

void Renderer::RenderRow(const std::uint8_t* bytes)
{
    for (int column = 0; column < Columns; ++column) {
        m_column = column;
        RenderCell(bytes[column]);
    }
}

void Renderer::RenderHeaderRow(std::span<const std::uint8_t, 40> headerRow)
{
    ResetCellState();
    RenderRow(headerRow.data());
    // Always normal height, whatever the row holds.
    m_pageImage.Draw(m_rowStrip, 0, 0);
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
        RenderRow(pageRows.data() + k * Columns);
        // The strip becomes the row image without a copy: every cell of the strip is drawn
        // again for the next row anyway.
        std::swap(m_rowStrip, m_rowImage);
        // Into RowsImage, which is the page image below the header.
        const int top = RowHeight + y;
        if (m_state.RowIsDouble) {
            // The whole row is doubled, cells before the double-height code included. In
            // row 23 only the upper half fits.
            m_pageImage.DrawDoubleHeight(m_rowImage, 0, top);
            skip = true;
        } else {
            m_pageImage.Draw(m_rowImage, 0, top);
        }
    }
}

} // namespace quav
