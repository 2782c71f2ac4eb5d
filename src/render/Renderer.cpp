#include "render/Renderer.h"

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
    m_headerImage = PixelBuffer(RowWidth, RowHeight);
    m_rowImage = PixelBuffer(RowWidth, RowHeight);
    m_rowsImage = PixelBuffer(RowWidth, RowsHeight);
    m_pageSnapshot = PixelBuffer(RowWidth, PageHeight);
    m_pageImage = PixelBuffer(RowWidth, PageHeight);
    DoubleHeightRows.fill(1);
    m_column = 0;
    m_state = CellState{};
}

void Renderer::DrawGlyph(std::uint8_t glyph, std::uint8_t foreground, std::uint8_t background)
{
    const std::uint32_t bg = TeletextColours[background & 7];
    const std::uint32_t flip = TeletextColours[foreground & 7] ^ bg;
    const std::uint16_t* words = GlyphTable.data() + std::size_t(glyph) * GlyphHeight;
    const int column = m_column < 0 ? 0 : m_column >= Columns ? Columns - 1 : m_column;
    std::uint32_t* cell = m_rowStrip.Row(0) + column * GlyphWidth;
    // Branch-free: each pixel is the background, flipped to the foreground where its bit is
    // set, so the compiler can keep the ten pixels of a glyph row in vector registers.
    for (int r = 0; r < GlyphHeight; ++r, cell += RowWidth) {
        const std::uint32_t word = words[r];
        for (int j = 0; j < GlyphWidth; ++j) {
            const std::uint32_t set = 0u - ((word >> (15 - j)) & 1u);
            cell[j] = bg ^ (flip & set);
        }
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
    m_headerImage.Draw(m_rowStrip, 0, 0);
    m_pageImage.Draw(m_headerImage, 0, 0);
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
        m_rowImage.Draw(m_rowStrip, 0, 0);
        if (m_state.RowIsDouble) {
            // The whole row is doubled, cells before the double-height code included. In
            // row 23 only the upper half fits.
            m_rowsImage.DrawDoubleHeight(m_rowImage, 0, y);
            skip = true;
        } else {
            m_rowsImage.Draw(m_rowImage, 0, y);
        }
    }
    m_pageImage.Draw(m_rowsImage, 0, RowHeight);
}

} // namespace quav
