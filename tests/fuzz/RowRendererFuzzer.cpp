// The renderer over arbitrary row bytes: a header row, a page, single cells at any column.
//
// Input: one flag byte (bit 0 reveal, bit 1 the off phase of the flash), 40 header bytes,
// 960 page bytes; anything after that is drawn cell by cell, two bytes per cell (column,
// byte).

#include "render/Renderer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

using quav::Renderer;

void CheckColours(std::span<const std::uint32_t> pixels)
{
    for (std::uint32_t p : pixels) {
        if (std::find(Renderer::TeletextColours.begin(), Renderer::TeletextColours.end(), p) ==
            Renderer::TeletextColours.end()) {
            std::abort(); // only the eight teletext colours are ever drawn
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t Fixed = 1 + 40 + 960;
    if (size < Fixed) {
        return 0;
    }
    static Renderer renderer; // as in the program: set up once, rendered into again and again
    renderer.SetupRenderer();
    renderer.Reveal = (data[0] & 1) != 0;
    renderer.SetFlashPhase((data[0] & 2) == 0);
    renderer.RenderHeaderRow(std::span<const std::uint8_t, 40>(data + 1, 40));
    renderer.RenderPageRows(std::span<const std::uint8_t, 960>(data + 41, 960));
    const auto& image = renderer.PageImage();
    if (image.Width() != Renderer::RowWidth || image.Height() != Renderer::PageHeight) {
        std::abort();
    }
    CheckColours(image.Pixels());
    CheckColours(renderer.ShownImage().Pixels());
    for (std::size_t row = 0; row < renderer.DoubleHeightRows.size(); ++row) {
        const std::uint8_t own = renderer.DoubleHeightRows[row];
        if (own > 1 || (row == 0 && own != 1)) {
            std::abort(); // row 1 has no row above that could cover it
        }
        if (own == 0 && renderer.DoubleHeightRows[row - 1] == 0) {
            std::abort(); // a covered row is never the upper half of another
        }
    }
    renderer.ResetCellState();
    for (std::size_t at = Fixed; at + 2 <= size; at += 2) {
        renderer.SetColumn(data[at] % Renderer::Columns);
        renderer.RenderCell(data[at + 1]);
    }
    CheckColours(renderer.RowStrip().Pixels());
    return 0;
}
