#include "bus/I2cMaster.h"

#include <array>

#include <benchmark/benchmark.h>

namespace {

// Ports that answer like an empty bus: measures what the bus code itself costs per page,
// without any device behind it.
class OpenBus final : public quav::PortIo
{
public:
    std::uint8_t ReadPort(std::uint16_t) override
    {
        ++accesses;
        return 0x00; // DCD clear on the serial module: SDA reads high
    }
    void WritePort(std::uint16_t, std::uint8_t) override { ++accesses; }
    std::int64_t accesses = 0;
};

void BM_BusReadOf960BytesWithoutDevice(benchmark::State& state)
{
    OpenBus io;
    quav::Settings settings;
    settings.I2cDelay = 0;
    quav::LineAdapters lines(io, settings);
    quav::I2cMaster master(lines);
    std::array<std::uint8_t, 960> buffer{};
    // No device acknowledges, so time the 960 receive cycles directly.
    for (auto _ : state) {
        master.I2cStart();
        for (int i = 0; i < 960; ++i) {
            master.I2cReceiveByte(buffer[i], i == 959);
        }
        master.I2cStop();
        benchmark::DoNotOptimize(buffer.data());
    }
    state.counters["port_accesses_per_read"] =
        benchmark::Counter(double(io.accesses) / double(state.iterations()));
}
BENCHMARK(BM_BusReadOf960BytesWithoutDevice)->Unit(benchmark::kMicrosecond);

} // namespace
