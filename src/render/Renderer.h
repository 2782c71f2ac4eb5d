#pragma once

#include "render/GlyphTable.h"
#include "render/PixelBuffer.h"

#include <array>
#include <cstdint>
#include <span>

namespace quav {

/// The attribute state of the row being drawn. Every row starts afresh: nothing carries
/// over from one row to the next.
struct CellState
{
    std::uint8_t Foreground = 7; // teletext colour number
    std::uint8_t Background = 0;
    std::uint8_t BoxBackground = 0; // the background that Start Box returns to
    bool Mosaic = false;
    MosaicStyle Style = MosaicStyle::Contiguous;
    bool Hold = false;
    std::uint8_t HeldCharacter = 0x20;
    bool Conceal = false;
    bool DoubleHeight = false;
    bool RowIsDouble = false; // some cell of this row was drawn under double height

    friend bool operator==(const CellState&, const CellState&) = default;
};

/// Draws the header row and page rows 1-23 of the decoder's buffers into a 400 x 312 page
/// image: 40 cells of 10 x 13 pixels per row, teletext spacing attributes (ETS 300 706,
/// level 1: colours, mosaics, hold, conceal, boxes, double height) interpreted cell by cell.
///
/// The page image has the header at y = 0 and page row k at y = 13 x k. `HeaderImage` and
/// `RowsImage` are its two bands (rows 0-12 and 13-311): only the renderer draws into the
/// page image, so sharing the memory saves copying the whole page on every render without
/// changing what anybody sees. The images keep the last rendered rows until the next render.
///
/// Rows at normal height are drawn straight into their place, a band of the same shape as
/// `RowStrip`. A row with double height is drawn into `RowStrip` and stretched from there
/// into `RowsImage`, every pixel row twice. `RowImage` shows the row just rendered, before
/// any stretching.
///
/// Not thread-safe; everything runs on the user-interface thread.
class Renderer
{
public:
    static constexpr int Columns = 40;
    static constexpr int RowWidth = Columns * GlyphWidth;       // 400
    static constexpr int RowHeight = GlyphHeight;               // 13
    static constexpr int PageRowCount = 23;                     // page rows 1-23 below the header
    static constexpr int PageHeight = 24 * RowHeight;           // 312
    static constexpr int RowsHeight = PageRowCount * RowHeight; // 299

    /// Teletext colours 0-7 at full intensity: black, red, green, yellow, blue, magenta,
    /// cyan, white.
    static constexpr std::array<std::uint32_t, 8> TeletextColours{0x000000, 0xFF0000, 0x00FF00, 0xFFFF00,
                                                                  0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

    /// Sets itself up right away, so rendering is safe from the start.
    Renderer();
    // The images look into the renderer's own buffers.
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    /// Creates the images at their sizes (all black) and marks all 23 page rows as drawn
    /// from their own bytes.
    void SetupRenderer();
    /// Draws the 40 bytes of the header row, always at normal height, into HeaderImage and
    /// the page image.
    void RenderHeaderRow(std::span<const std::uint8_t, 40> headerRow);
    /// Draws page rows 1-23 of the page buffer (rows 0-23, 40 bytes each; row 0 is not
    /// drawn) into RowsImage and the page image, and fills DoubleHeightRows.
    void RenderPageRows(std::span<const std::uint8_t, 960> pageRows);

    /// Interprets one row byte at the current column and draws its cell.
    void RenderCell(std::uint8_t b);
    /// Draws one glyph at the current column of the row being drawn (RowStrip outside the
    /// render operations); all 130 pixels are written.
    void DrawGlyph(std::uint8_t glyph, std::uint8_t foreground, std::uint8_t background);

    /// The column (0-39) that RenderCell and DrawGlyph draw at.
    void SetColumn(int column) { m_column = column; }
    /// Starts a row: the attribute state back to its initial values.
    void ResetCellState() { m_state = CellState{}; }
    const CellState& State() const { return m_state; }

    const PixelBuffer& RowStrip() const { return m_rowStrip; }
    PixelView RowImage() const { return m_rowImage; }
    /// The last rendered header row, 400 x 13.
    PixelView HeaderImage() const { return m_pageImage.Band(0, RowHeight); }
    /// The last rendered page rows 1-23, 400 x 299; row k at y = (k - 1) x 13.
    PixelView RowsImage() const { return m_pageImage.Band(RowHeight, RowsHeight); }
    /// The whole page, 400 x 312.
    const PixelBuffer& PageImage() const { return m_pageImage; }
    /// The copy of the page that the print panel takes and prints.
    PixelBuffer& PageSnapshot() { return m_pageSnapshot; }

    /// Per page row 1-23 (index 0 is row 1): 1 when the row was drawn from its own bytes,
    /// 0 when the lower half of the double-height row above covers it.
    std::array<std::uint8_t, PageRowCount> DoubleHeightRows{};
    /// When true, concealed characters are shown. Takes effect at the next render.
    bool Reveal = false;

    /// The national option (0-7) of the page: which characters the 13 national positions
    /// show, from the next render on. German until set.
    void SetNationalOption(std::uint8_t option) { m_glyphs = NationalGlyphs[option & 7U].data(); }

private:
    // The bodies of RenderCell and DrawGlyph, inlined into the row loop.
    void RenderCellAt(std::uint8_t b);
    void DrawGlyphAt(std::uint16_t glyph, std::uint8_t foreground, std::uint8_t background);
    void RenderRow(const std::uint8_t* bytes, std::uint32_t* target);

    int m_column = 0;
    CellState m_state;
    const std::uint16_t* m_glyphs = NationalGlyphs[national::German].data(); // glyph number -> drawn glyph
    PixelBuffer m_rowStrip;
    PixelView m_rowImage;
    std::uint32_t* m_target = nullptr; // top left pixel of the row being drawn, 400 pixels per line
    PixelBuffer m_pageSnapshot;
    PixelBuffer m_pageImage;
};

} // namespace quav
