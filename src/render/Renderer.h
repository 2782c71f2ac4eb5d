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
    bool Mosaic = false;
    MosaicStyle Style = MosaicStyle::Contiguous;
    bool Hold = false;
    // The last mosaic character drawn since the row began or the mosaic mode or character
    // size last changed, in the style it was drawn with.
    std::uint8_t HeldCharacter = 0x20;
    MosaicStyle HeldStyle = MosaicStyle::Contiguous;
    bool Conceal = false;
    bool Flash = false;
    bool DoubleHeight = false;
    bool RowIsDouble = false; // the row holds a double-height code

    friend bool operator==(const CellState&, const CellState&) = default;
};

/// Draws the header row and page rows 1-23 of the decoder's buffers into a 400 x 312 page
/// image: 40 cells of 10 x 13 pixels per row, teletext spacing attributes (ETS 300 706,
/// level 1: colours, mosaics, hold, conceal, flash, double height) interpreted cell by cell.
/// Some attributes act on their own cell, the others from the next cell on, as a
/// television decodes them (ETS 300 706 clause 12.2). The box codes change nothing: the
/// program always shows the whole page.
///
/// The page image has the header at y = 0 and page row k at y = 13 x k. `HeaderImage` and
/// `RowsImage` are its two bands (rows 0-12 and 13-311): only the renderer draws into the
/// page image, so sharing the memory saves copying the whole page on every render without
/// changing what anybody sees. The images keep the last rendered rows until the next render.
///
/// Rows at normal height are drawn straight into their place, a band of the same shape as
/// `RowStrip`. A row with double height is drawn into `RowStrip` and laid out from there
/// into `RowsImage`: its double-height cells stretched over two rows, its normal-height
/// cells at the top with their background below. `RowImage` shows the row just rendered,
/// before any stretching.
///
/// The page image always shows flashing characters, as saved, copied and printed pictures
/// do. `ShownImage` is the picture for the screen: in the off phase of the flash
/// (`SetFlashPhase`) the rows with flashing characters are drawn again from the bytes last
/// rendered, with those characters left out.
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

    /// Draws the header and page rows last rendered once more, each in the character set it
    /// was drawn with: for a change of Reveal, without new bytes.
    void RenderAgain();
    /// The page rows last rendered (rows 0 to 23, as passed to RenderPageRows), and the
    /// national option they were drawn in: what the screen shows.
    const std::array<std::uint8_t, 960>& LastPageRows() const { return m_lastPage; }
    std::uint8_t LastPageOption() const { return m_pageOption; }

    /// Whether the last rendered header or page rows hold characters that flash.
    bool Flashing() const { return m_flashRows != 0; }
    /// Sets the phase of flashing characters on screen (on: shown, off: left out) and draws
    /// the screen's picture for it. Returns the displayed rows whose picture changed: bit 0
    /// the header, bit k page row k (both rows of a double-height row).
    std::uint32_t SetFlashPhase(bool on);
    bool FlashPhase() const { return m_flashOn; }
    /// The picture for the screen: the page image, or in the off phase of the flash its copy
    /// with the flashing characters left out.
    const PixelBuffer& ShownImage() const
    {
        return m_flashOn || m_flashRows == 0 ? m_pageImage : m_shownImage;
    }

    /// The national option (0-7) of the page: which characters the 13 national positions
    /// show, from the next render on. German until set.
    void SetNationalOption(std::uint8_t option)
    {
        m_option = static_cast<std::uint8_t>(option & 7U);
        m_glyphs = NationalGlyphs[m_option].data();
    }

private:
    // The bodies of RenderCell and DrawGlyph, inlined into the row loop.
    void RenderCellAt(std::uint8_t b);
    void DrawGlyphAt(std::uint16_t glyph, std::uint8_t foreground, std::uint8_t background);
    void RenderRow(const std::uint8_t* bytes, std::uint32_t* target);
    bool RenderPageRow(const std::uint8_t* bytes, PixelBuffer& image, PixelBuffer& strip, int top);
    /// Bit 0 of `rows` is the header row, bits 1 to 24 the page rows: only those are taken
    /// from the page image and drawn again where they flash.
    void DrawShownImage(std::uint32_t rows = ~0u);
    std::uint32_t ShownRows() const;

    int m_column = 0;
    CellState m_state;
    const std::uint16_t* m_glyphs = NationalGlyphs[national::German].data(); // glyph number -> drawn glyph
    std::uint8_t m_option = national::German;
    std::uint8_t m_headerOption = national::German; // the options the last rows were drawn in
    std::uint8_t m_pageOption = national::German;
    PixelBuffer m_rowStrip;
    PixelView m_rowImage;
    std::uint32_t* m_target = nullptr; // top left pixel of the row being drawn, 400 pixels per line
    PixelBuffer m_pageSnapshot;
    PixelBuffer m_pageImage;

    // The header is drawn at normal height whatever it holds.
    bool m_sizeChanges = true;
    // Per cell of the row being drawn: drawn at double height, and its background colour.
    std::array<bool, Columns> m_cellDouble{};
    std::array<std::uint8_t, Columns> m_cellBackground{};

    // Flash. The bytes last rendered, so the rows can be drawn again for the off phase.
    std::array<std::uint8_t, 40> m_lastHeader{};
    std::array<std::uint8_t, 960> m_lastPage{};
    bool m_rowFlashes = false;      // the row being drawn has a visible flashing cell
    bool m_drawingFlashOff = false; // leave flashing characters out
    bool m_flashOn = true;
    std::uint32_t m_flashRows = 0; // bit 0 the header, bit k page row k
    PixelBuffer m_shownImage;
    PixelBuffer m_flashStrip;
};

} // namespace quav
