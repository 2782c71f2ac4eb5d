#include "render/Renderer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

// On a shared machine the fastest of several repetitions is the steadiest figure.
double Fastest(const std::vector<double>& times)
{
    return *std::min_element(times.begin(), times.end());
}

// A busy page: every row full, text mixed with colour changes, mosaics of both styles,
// hold, conceal, boxes and one double-height row.
void BuildBusyPage(std::array<std::uint8_t, 40>& header, std::array<std::uint8_t, 960>& page)
{
    const char* text = "Nachrichten Wetter Sport Börse 0123456789";
    for (int c = 0; c < 40; ++c) {
        header[c] = c < 7 ? 0x20 : static_cast<std::uint8_t>(text[c]);
    }
    for (int k = 0; k < 24; ++k) {
        std::uint8_t* row = page.data() + k * 40;
        for (int c = 0; c < 40; ++c) {
            const int kind = (c + k) % 10;
            std::uint8_t b;
            if (kind == 0) {
                b = static_cast<std::uint8_t>(0x01 + (c + k) % 7); // alphanumeric colour
            } else if (kind == 5) {
                b = static_cast<std::uint8_t>(0x11 + (c * 3 + k) % 7); // mosaic colour
            } else if (kind == 6) {
                const std::uint8_t attributes[] = {0x1A, 0x19, 0x1E, 0x1F, 0x1D, 0x1C, 0x0B, 0x0A, 0x18};
                b = attributes[(c + k) % 9];
            } else {
                b = static_cast<std::uint8_t>(0x20 + (c * 7 + k * 13) % 0x60);
            }
            row[c] = b;
        }
    }
    page[12 * 40 + 3] = 0x0D; // one double-height row
}

void BM_RenderPage(benchmark::State& state)
{
    std::array<std::uint8_t, 40> header{};
    std::array<std::uint8_t, 960> page{};
    BuildBusyPage(header, page);
    quav::Renderer renderer;
    for (auto _ : state) {
        renderer.RenderHeaderRow(header);
        renderer.RenderPageRows(page);
        benchmark::DoNotOptimize(renderer.PageImage().Pixels().data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * 400 * 312 * 4);
}
BENCHMARK(BM_RenderPage)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Fastest);

// One blink of a page with flashing characters in four rows, one of them double height:
// the off phase drawn from the rows already read, and back. The screen changes phase about
// 1.6 times a second, so this times 0.8 is the renderer's share of a core per second.
void BM_FlashBlink(benchmark::State& state)
{
    std::array<std::uint8_t, 40> header{};
    std::array<std::uint8_t, 960> page{};
    BuildBusyPage(header, page);
    for (int k : {3, 8, 12, 20}) {
        page[std::size_t(k * 40)] = 0x08;
    }
    quav::Renderer renderer;
    renderer.RenderHeaderRow(header);
    renderer.RenderPageRows(page);
    for (auto _ : state) {
        benchmark::DoNotOptimize(renderer.SetFlashPhase(false));
        benchmark::DoNotOptimize(renderer.SetFlashPhase(true));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FlashBlink)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Fastest);

// The floor: writing the page image's 400 x 312 x 4 bytes once.
void BM_MemsetPage(benchmark::State& state)
{
    std::vector<std::uint32_t> pageImage(400 * 312);
    int value = 0;
    for (auto _ : state) {
        std::memset(pageImage.data(), value++ & 0xFF, pageImage.size() * sizeof(std::uint32_t));
        benchmark::DoNotOptimize(pageImage.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * 400 * 312 * 4);
}
BENCHMARK(BM_MemsetPage)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Fastest);

} // namespace
