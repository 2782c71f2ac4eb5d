#include "bus/I2cMaster.h"
#include "bus/LineAdapters.h"
#include "ports/SerialLineIo.h"

#include <array>
#include <cstdlib>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

// What the serial module costs on the modem lines of a tty: how many ioctls one page read
// takes, and how long one ioctl takes. A page read then takes about (ioctls per read) x
// (time per ioctl), whatever the bus delay.

namespace {

constexpr std::uint16_t Com1 = 0x3F8;

// Modem lines in memory that always work: counts what the bus code asks of the tty.
class CountingLines final : public quav::ModemLineCalls
{
public:
    int Get(int, int& bits) override
    {
        bits = 0; // no carrier: SDA reads high
        return 0;
    }
    int Raise(int, int) override { return 0; }
    int Lower(int, int) override { return 0; }
};

void ReadPage(quav::I2cMaster& master, std::array<std::uint8_t, 960>& buffer)
{
    master.I2cStart();
    for (int i = 0; i < 960; ++i) {
        master.I2cReceiveByte(buffer[std::size_t(i)], i == 959);
    }
    master.I2cStop();
}

void BM_SerialLineIoctlsPerPageRead(benchmark::State& state)
{
    CountingLines lines;
    quav::SerialLineIo io(0, Com1, lines);
    quav::Settings settings;
    settings.I2cDelay = 0;
    quav::LineAdapters adapters(io, settings);
    quav::I2cMaster master(adapters);
    std::array<std::uint8_t, 960> buffer{};
    const auto before = io.IoctlCount();
    for (auto _ : state) {
        ReadPage(master, buffer);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.counters["ioctls_per_read"] =
        benchmark::Counter(double(io.IoctlCount() - before) / double(state.iterations()));
}
BENCHMARK(BM_SerialLineIoctlsPerPageRead)->Unit(benchmark::kMicrosecond);

// Reads COM1's modem status register over and over: one TIOCMGET each.
void ReadModemStatus(benchmark::State& state, int fd)
{
    quav::SerialLineIo io(fd, Com1);
    std::uint8_t sink = 0;
    for (auto _ : state) {
        sink = static_cast<std::uint8_t>(sink + io.ReadPort(Com1 + 6));
    }
    benchmark::DoNotOptimize(sink);
    state.counters["ioctls_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["failed"] = benchmark::Counter(double(io.FailedIoctls()) / double(state.iterations()));
}

// Linux pseudo-terminals know no modem lines: TIOCMGET and TIOCMBIS fail with ENOTTY. What
// this measures is the round trip of such a failing ioctl into the tty layer, the floor for
// any tty; a UART driver adds its register access, a USB adapter a USB transfer.
void BM_PtyModemIoctlRoundTrip(benchmark::State& state)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ReadModemStatus(state, slave);
    close(slave);
    close(master);
}
BENCHMARK(BM_PtyModemIoctlRoundTrip);

// A real tty, when QUAV_BENCH_TTY names one (for example a USB serial adapter): reads the
// modem status only, and changes no line.
void BM_TtyModemStatusRead(benchmark::State& state)
{
    const char* path = std::getenv("QUAV_BENCH_TTY");
    if (path == nullptr) {
        state.SkipWithError("set QUAV_BENCH_TTY to a tty to measure it");
        return;
    }
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        state.SkipWithError("cannot open QUAV_BENCH_TTY");
        return;
    }
    ReadModemStatus(state, fd);
    close(fd);
}
BENCHMARK(BM_TtyModemStatusRead);

} // namespace
