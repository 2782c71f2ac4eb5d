// The bus stack against the simulated board, as the viewer runs it: default serial adapter
// on COM1, bus delay 0, the board on the steady clock with a broadcast on air.

#include "broadcast/PacketLoop.h"
#include "bus/I2cMaster.h"
#include "decoder/Decoder.h"
#include "sim/SimulatedBoard.h"
#include "support/PacketBuilder.h"

#include <memory>

#include <benchmark/benchmark.h>

namespace {

using namespace quav;

struct Stack
{
    Stack()
    {
        settings.I2cDelay = 0;
        std::vector<Packet> broadcast;
        for (int k = 0; k < 50; ++k) {
            for (const char* number : {"100", "101", "102"}) {
                test::packets::TestPage page;
                page.number = number;
                page.headerText = test::packets::ClockText("QUAV-Bench", k);
                for (int r = 1; r < 24; ++r) {
                    page.rows[r] = "Zeile " + std::to_string(r) + " der Seite " + number;
                }
                for (const Packet& p : page.Packets()) {
                    broadcast.push_back(p);
                }
            }
        }
        board.SetSource(std::make_unique<PacketLoop>(std::move(broadcast)));
        decoder.RequestPage("100", 0);
    }

    SimulatedBoard board;
    Settings settings;
    LineAdapters lines{board, settings};
    I2cMaster master{lines};
    Decoder decoder{master};
};

void BM_PollingTick(benchmark::State& state)
{
    Stack s;
    std::uint8_t code = 0;
    const auto before = s.board.PortAccesses();
    for (auto _ : state) {
        s.decoder.DecoderStatus(code);
        s.decoder.ReadHeaderRow(0);
        benchmark::DoNotOptimize(s.decoder.ReadStatusRow(0));
    }
    state.counters["port_accesses"] =
        benchmark::Counter(double(s.board.PortAccesses() - before) / double(state.iterations()));
    if (code != 2) {
        state.SkipWithError("the board did not answer");
    }
}
BENCHMARK(BM_PollingTick)->Unit(benchmark::kMicrosecond);

void BM_PageRead(benchmark::State& state)
{
    Stack s;
    const auto before = s.board.PortAccesses();
    for (auto _ : state) {
        s.decoder.ReadPageRows(0);
        benchmark::DoNotOptimize(s.decoder.PageRows().data());
    }
    state.counters["port_accesses_per_page_read"] =
        benchmark::Counter(double(s.board.PortAccesses() - before) / double(state.iterations()));
}
BENCHMARK(BM_PageRead)->Unit(benchmark::kMicrosecond);

} // namespace
