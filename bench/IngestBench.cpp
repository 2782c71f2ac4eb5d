#include "broadcast/PageCache.h"
#include "broadcast/TsDemux.h"
#include "support/PacketBuilder.h"
#include "support/TsBuilder.h"

#include <algorithm>
#include <span>
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

/// The same recording as a DVB transport stream (libzvbi's multiplexer, PAT and PMT once a
/// second), taken apart and into the page cache in one pass. The argument is the number of
/// teletext lines in each frame's PES packet: 16 (one field) or 32 (both).
void BM_IngestTs(benchmark::State& state)
{
    const auto lines = static_cast<std::size_t>(state.range(0));
    const std::vector<std::uint8_t> stream = [lines] {
        const std::vector<std::uint8_t> t42 = Recording();
        std::vector<quav::Packet> packets(t42.size() / quav::PacketSize);
        for (std::size_t i = 0; i < packets.size(); ++i) {
            std::copy_n(t42.begin() + static_cast<std::ptrdiff_t>(i * quav::PacketSize), quav::PacketSize,
                        packets[i].begin());
        }
        quav::test::ts::StreamOptions options;
        options.linesPerFrame = lines;
        return quav::test::ts::MakeStream(packets, options);
    }();
    std::size_t pages = 0;
    std::uint64_t packets = 0;
    for (auto _ : state) {
        quav::PageCache cache;
        quav::TsDemux demux([&cache](const quav::Packet& p, std::int64_t) { cache.Feed(p); });
        constexpr std::size_t Piece = 1 << 20; // as the capture command reads
        for (std::size_t at = 0; at < stream.size(); at += Piece) {
            demux.Feed(std::span(stream).subspan(at, std::min(Piece, stream.size() - at)));
        }
        demux.Finish();
        cache.Finish();
        pages = cache.PageCount();
        packets = demux.Packets();
        benchmark::DoNotOptimize(pages);
    }
    state.counters["pages"] = static_cast<double>(pages);
    state.counters["ns_per_packet"] =
        benchmark::Counter(static_cast<double>(packets) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(static_cast<std::int64_t>(packets) * state.iterations());
}
BENCHMARK(BM_IngestTs)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond);

} // namespace
