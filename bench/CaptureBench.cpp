// The capture command over a recording of 1,000,000 packets, once as text and once as PNG
// pictures, in the same run: what an archivist waits for, and how much pictures add.

#include "broadcast/TtiCarousel.h"
#include "cap/CaptureCommand.h"
#include "demo/BroadcastSource.h"
#include "demo/DemoService.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

namespace fs = std::filesystem;
using namespace quav;

constexpr std::size_t RecordingPackets = 1'000'000;
constexpr int PacketsPerSecond = 16 * 50; // sixteen lines of teletext in each of 50 fields

class FixedClock final : public BroadcastClock
{
public:
    std::chrono::system_clock::time_point Now() override { return m_now; }
    void Advance(std::chrono::system_clock::duration step) { m_now += step; }

private:
    std::chrono::system_clock::time_point m_now{std::chrono::hours(24 * 365 * 56)};
};

/// A folder of the benchmark's own, removed at the end of the program.
struct Scratch
{
    fs::path path = fs::temp_directory_path() / ("quav-capture-bench-" + std::to_string(::getpid()));
    Scratch() { fs::create_directories(path); }
    ~Scratch()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

/// The demo service's pages spread over every page number of the eight magazines, so that
/// the carousel carries about 2,000 subpages, as a busy service does, played into a T42 file.
std::string Recording(const Scratch& scratch)
{
    const std::vector<TtiPage> demo = LoadDemoService().pages;
    std::vector<TtiPage> pages;
    for (unsigned number = 0x100; number <= 0x8FE && !demo.empty(); ++number) {
        if ((number & 0xFF) == 0xFF) {
            continue; // the filler header
        }
        TtiPage page = demo[pages.size() % demo.size()];
        page.number = static_cast<std::uint16_t>(number);
        pages.push_back(std::move(page));
    }
    FixedClock clock;
    TtiCarousel carousel(std::move(pages), clock, ServiceHeaderText());
    const std::string file = (scratch.path / "service.t42").string();
    std::ofstream out(file, std::ios::binary);
    Packet packet;
    for (std::size_t i = 0; i < RecordingPackets && carousel.NextPacket(packet); ++i) {
        out.write(reinterpret_cast<const char*>(packet.data()), static_cast<std::streamsize>(packet.size()));
        clock.Advance(std::chrono::microseconds(1'000'000 / PacketsPerSecond));
    }
    return file;
}

/// Seconds that `--page all --format <format>` takes over the recording, and the files it wrote.
double TimeCapture(const Scratch& scratch, const std::string& recording, const std::string& format,
                   std::size_t& files)
{
    const fs::path folder = scratch.path / format;
    std::ostringstream out;
    std::ostringstream err;
    CaptureCommand command(out, err);
    const auto start = std::chrono::steady_clock::now();
    const int code = command.Run(std::vector<std::string>{"--source", recording, "--page", "all", "--format",
                                                          format, "--output", folder.string()});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) {
        ++files;
    }
    fs::remove_all(folder);
    return code == cap_exit::Ok ? seconds : -1.0;
}

void BM_CapturePngAgainstTxt(benchmark::State& state)
{
    static const Scratch scratch;
    static const std::string recording = Recording(scratch);
    double txt = 0;
    double png = 0;
    std::size_t txtFiles = 0;
    std::size_t pngFiles = 0;
    for (auto _ : state) {
        txt = TimeCapture(scratch, recording, "txt", txtFiles);
        png = TimeCapture(scratch, recording, "png", pngFiles);
        if (txt <= 0 || png <= 0 || txtFiles != pngFiles) {
            state.SkipWithError("the capture command failed");
            return;
        }
        state.SetIterationTime(txt + png);
    }
    state.counters["pages"] = static_cast<double>(pngFiles);
    state.counters["txt_s"] = txt;
    state.counters["png_s"] = png;
    state.counters["png_per_txt"] = png / txt;
}
BENCHMARK(BM_CapturePngAgainstTxt)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace
