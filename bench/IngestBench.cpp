#include "broadcast/PageCache.h"
#include "support/PacketBuilder.h"

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

/// About 100,000 packets of a recording in memory: pages of eight magazines with full rows
/// and rotating subpages, the way a busy service fills a T42 file.
std::vector<std::uint8_t> Recording()
{
    std::vector<std::uint8_t> bytes;
    int lap = 0;
    while (bytes.size() < 100'000 * quav::PacketSize) {
        for (int page = 0; page < 50; ++page) {
            for (int magazine = 1; magazine <= 8; ++magazine) {
                quav::test::packets::TestPage p;
                char number[4];
                std::snprintf(number, sizeof number, "%d%02d", magazine % 8, page);
                p.number = number;
                p.subcode = static_cast<std::uint16_t>(lap % 4);
                p.headerText = "QUAV-Bench " + std::to_string(lap);
                for (int r = 1; r < 24; ++r) {
                    p.rows[std::size_t(r)] = "Zeile " + std::to_string(r) + " der Seite " + number;
                }
                for (const quav::Packet& packet : p.Packets()) {
                    bytes.insert(bytes.end(), packet.begin(), packet.end());
                }
            }
        }
        ++lap;
    }
    bytes.resize(100'000 * quav::PacketSize);
    return bytes;
}

void BM_IngestT42(benchmark::State& state)
{
    static const std::vector<std::uint8_t> recording = Recording();
    std::size_t pages = 0;
    for (auto _ : state) {
        quav::PageCache cache;
        cache.Ingest(recording);
        cache.Finish();
        pages = cache.PageCount();
        benchmark::DoNotOptimize(pages);
    }
    state.counters["pages"] = static_cast<double>(pages);
    const auto packets = static_cast<double>(recording.size() / quav::PacketSize);
    state.counters["ns_per_packet"] =
        benchmark::Counter(packets * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(static_cast<std::int64_t>(packets) * state.iterations());
}
BENCHMARK(BM_IngestT42)->Unit(benchmark::kMillisecond);

} // namespace
