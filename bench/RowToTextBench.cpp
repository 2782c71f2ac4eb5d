#include "export/RowToText.h"

#include <array>
#include <cstdint>

#include <benchmark/benchmark.h>

namespace {

// A busy page: text with national characters, colour changes and runs of block mosaics,
// so both conversion tables and the mode switches are used.
std::array<std::uint8_t, quav::text::PageBytes> BusyPage()
{
    std::array<std::uint8_t, quav::text::PageBytes> page;
    const char* const text = "Stra~e M}nchen \x03Wetter\x12\x7f\x7f\x35\x6a\x07Sport [ber @ 1 \x14\x20\x7f";
    std::size_t t = 0;
    for (auto& b : page) {
        b = static_cast<std::uint8_t>(text[t]);
        t = text[t + 1] == '\0' ? 0 : t + 1;
    }
    return page;
}

void BM_RowToText(benchmark::State& state)
{
    const auto page = BusyPage();
    for (auto _ : state) {
        for (int r = 0; r < quav::text::RowCount; ++r) {
            quav::TextRow row = quav::RowToText(page, r, 4);
            benchmark::DoNotOptimize(row);
        }
    }
    state.SetItemsProcessed(state.iterations()); // pages
}
BENCHMARK(BM_RowToText)->Unit(benchmark::kNanosecond);

} // namespace
