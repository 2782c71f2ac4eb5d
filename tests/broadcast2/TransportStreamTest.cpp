#include "broadcast/PageCache.h"
#include "broadcast/TsDemux.h"
#include "broadcast/TsSource.h"
#include "demo/BroadcastSource.h"
#include "support/PacketBuilder.h"
#include "support/SimulatedStack.h"
#include "support/TsBuilder.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <unistd.h>

#include <gtest/gtest.h>

namespace quav {
namespace {

using test::ScratchDirectory;
namespace ts = test::ts;

/// A recording of several magazines with subpages, as the T42 tests use.
std::vector<Packet> Recording(int laps = 3)
{
    std::vector<Packet> out;
    for (int lap = 0; lap < laps; ++lap) {
        for (const char* number : {"100", "101", "200", "1F0", "300"}) {
            test::packets::TestPage page;
            page.number = number;
            page.subcode = static_cast<std::uint16_t>(lap + 1);
            page.headerText = "DVB-Test " + std::to_string(lap);
            for (int r = 1; r < 24; r += 2) {
                page.rows[std::size_t(r)] = std::string("Zeile ") + std::to_string(r) + " von " + number;
            }
            const auto packets = page.Packets();
            out.insert(out.end(), packets.begin(), packets.end());
        }
    }
    return out;
}

struct Demuxed
{
    std::vector<Packet> packets;
    std::vector<std::int64_t> pts;
};

Demuxed Demux(const std::vector<std::uint8_t>& stream, int pid = -1, std::size_t piece = 4096,
              std::vector<TsFault>* faults = nullptr)
{
    Demuxed out;
    TsDemux demux(
        [&](const Packet& p, std::int64_t pts) {
            out.packets.push_back(p);
            out.pts.push_back(pts);
        },
        pid);
    demux.SetFaultHandler([&](TsFault f, int) {
        if (faults != nullptr) {
            faults->push_back(f);
        }
    });
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        demux.Feed(std::span(stream).subspan(at, std::min(piece, stream.size() - at)));
    }
    demux.Finish();
    return out;
}

std::vector<std::string> PagesOf(const std::vector<Packet>& packets)
{
    PageCache cache;
    for (const Packet& p : packets) {
        cache.Feed(p);
    }
    cache.Finish();
    std::vector<std::string> pages;
    for (const CachedPage* page : cache.Pages()) {
        const auto bytes = page->PageBytes();
        char name[16];
        std::snprintf(name, sizeof name, "%03X/%04X:", unsigned(page->number), unsigned(page->subcode));
        pages.push_back(name + std::string(bytes.begin(), bytes.end()));
    }
    return pages;
}

TEST(TransportStream, HandsOverExactlyThePacketsOfTheRecordingInEveryForm)
{
    const std::vector<Packet> recording = Recording();
    struct Case
    {
        const char* name;
        ts::StreamOptions options;
        std::size_t piece;
        void (*patch)(std::vector<std::uint8_t>&) = nullptr;
    };
    // PES packets of open length, as some multiplexers write them: each ends where the next begins.
    const auto openLength = [](std::vector<std::uint8_t>& stream) {
        for (const std::size_t at : ts::PacketsOfPid(stream, 0x100)) {
            std::uint8_t* p = stream.data() + at;
            if ((p[1] & 0x40) != 0) {
                const std::size_t payload = (p[3] & 0x20) != 0 ? 5u + p[4] : 4u;
                p[payload + 4] = 0;
                p[payload + 5] = 0;
            }
        }
    };
    ts::StreamOptions m2ts;
    m2ts.stride = 192;
    ts::StreamOptions full;
    full.linesPerFrame = 32;
    ts::StreamOptions unnumbered;
    unnumbered.numberedLines = false;
    ts::StreamOptions two;
    two.moreTeletextPids = {0x200};
    const Case cases[] = {
        {"188 bytes, large pieces", {}, 65536},
        {"188 bytes, odd small pieces", {}, 7},
        {"192 bytes (M2TS)", m2ts, 1000},
        {"both fields full", full, 4096},
        {"lines without numbers", unnumbered, 4096},
        {"PES packets of open length", {}, 4096, openLength},
        {"two teletext services: the first is taken", two, 4096},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto stream = ts::MakeStream(recording, c.options);
        if (c.patch != nullptr) {
            c.patch(stream);
        }
        std::vector<TsFault> faults;
        const Demuxed got = Demux(stream, -1, c.piece, &faults);
        EXPECT_EQ(got.packets, recording);
        EXPECT_TRUE(faults.empty());
        EXPECT_EQ(PagesOf(got.packets), PagesOf(recording));
        ASSERT_FALSE(got.pts.empty());
        EXPECT_EQ(got.pts.front(), c.options.firstPts);
    }
}

TEST(TransportStream, ReadsTheShortPesPacketsOfOtherMultiplexers)
{
    // One teletext line per PES packet, a header with the PTS only (5 bytes of header data
    // instead of 36) and no stuffing: smaller than EN 300 472 lays out, as some write it.
    const std::vector<Packet> recording = Recording(1);
    std::vector<std::uint8_t> stream;
    int counter = 0;
    std::int64_t pts = 900'000;
    for (const Packet& line : recording) {
        std::vector<std::uint8_t> pes{0, 0, 1, 0xBD, 0, 0, 0x84, 0x80, 5};
        const std::uint64_t v = static_cast<std::uint64_t>(pts += 3600);
        pes.insert(pes.end(), {static_cast<std::uint8_t>(0x21 | ((v >> 29) & 0x0E)),
                               static_cast<std::uint8_t>(v >> 22), static_cast<std::uint8_t>((v >> 14) | 1),
                               static_cast<std::uint8_t>(v >> 7), static_cast<std::uint8_t>((v << 1) | 1)});
        pes.insert(pes.end(), {0x10, 0x02, 0x2C, 0xE0, 0xE4}); // data identifier, unit, line unknown, framing
        for (const std::uint8_t b : line) {
            std::uint8_t r = 0;
            for (int bit = 0; bit < 8; ++bit) {
                r = static_cast<std::uint8_t>(r | (((b >> bit) & 1) << (7 - bit)));
            }
            pes.push_back(r); // bits in the order they are sent
        }
        pes[5] = static_cast<std::uint8_t>(pes.size() - 6);
        const std::size_t stuffing = 184 - pes.size(); // adaptation field fills the packet
        std::vector<std::uint8_t> packet{0x47,
                                         0x41,
                                         0x00,
                                         static_cast<std::uint8_t>(0x30 | (counter++ & 15)),
                                         static_cast<std::uint8_t>(stuffing - 1),
                                         0x00};
        packet.insert(packet.end(), stuffing - 2, 0xFF);
        packet.insert(packet.end(), pes.begin(), pes.end());
        ASSERT_EQ(packet.size(), 188u);
        stream.insert(stream.end(), packet.begin(), packet.end());
    }
    std::vector<TsFault> faults;
    EXPECT_EQ(Demux(stream, 0x100, 4096, &faults).packets, recording);
    EXPECT_TRUE(faults.empty());
}

/// Whether `part` is `whole` with some packets left out, in the same order.
bool IsSubsequence(const std::vector<Packet>& part, const std::vector<Packet>& whole)
{
    std::size_t at = 0;
    for (const Packet& p : part) {
        while (at < whole.size() && whole[at] != p) {
            ++at;
        }
        if (at++ == whole.size()) {
            return false;
        }
    }
    return true;
}

TEST(TransportStream, DamageCostsOnlyThePacketsItTouchedAndIsToldOnce)
{
    const std::vector<Packet> recording = Recording();
    const auto clean = ts::MakeStream(recording);
    const std::vector<std::size_t> teletext = ts::PacketsOfPid(clean, 0x100);
    ASSERT_GT(teletext.size(), 40u);
    const std::size_t victim = teletext[teletext.size() / 2];

    struct Case
    {
        const char* name;
        std::function<std::vector<std::uint8_t>()> make;
        TsFault fault;
        std::size_t mayLose; ///< at most this many teletext packets
    };
    const Case cases[] = {
        {"a lost transport packet",
         [&] {
             auto s = clean;
             s.erase(s.begin() + std::ptrdiff_t(victim), s.begin() + std::ptrdiff_t(victim + 188));
             return s;
         },
         TsFault::Continuity, 16},
        {"a scrambled packet",
         [&] {
             auto s = clean;
             s[victim + 3] |= 0x80;
             return s;
         },
         TsFault::Scrambled, 16},
        {"a packet the receiver marked damaged",
         [&] {
             auto s = clean;
             s[victim + 1] |= 0x80;
             return s;
         },
         TsFault::TransportError, 16},
        {"bytes lost between packets (sync)",
         [&] {
             auto s = clean;
             s.insert(s.begin() + std::ptrdiff_t(victim), 100, std::uint8_t{0x47});
             return s;
         },
         TsFault::SyncLost, 0},
        {"bytes lost inside a packet (sync)",
         [&] {
             auto s = clean;
             s.erase(s.begin() + std::ptrdiff_t(victim + 50), s.begin() + std::ptrdiff_t(victim + 80));
             return s;
         },
         TsFault::SyncLost, 16},
        {"PES packets with VPS data units",
         [&] {
             ts::StreamOptions o;
             o.vps = true;
             return ts::MakeStream(recording, o);
         },
         TsFault::OtherData, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<TsFault> faults;
        const Demuxed got = Demux(c.make(), -1, 4096, &faults);
        EXPECT_EQ(std::count(faults.begin(), faults.end(), c.fault), 1);
        EXPECT_TRUE(IsSubsequence(got.packets, recording));
        EXPECT_GE(got.packets.size() + c.mayLose, recording.size());
    }
}

TEST(TransportStream, FfprobeAcceptsTheTestStreams)
{
    if (std::system("ffprobe -version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ffprobe is not installed";
    }
    ScratchDirectory dir;
    for (const std::size_t stride : {188u, 192u}) {
        SCOPED_TRACE(stride);
        ts::StreamOptions o;
        o.stride = stride;
        const std::string path = dir.File(stride == 188 ? "test.ts" : "test.m2ts");
        ts::WriteFile(path, ts::MakeStream(Recording(), o));
        const std::string out = dir.File("probe.txt");
        ASSERT_EQ(std::system(("ffprobe -v error -show_entries stream=codec_name,id -of csv=p=0 " + path +
                               " >" + out + " 2>&1")
                                  .c_str()),
                  0);
        std::ifstream in(out);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        EXPECT_NE(text.find("dvb_teletext,0x100"), std::string::npos) << text;
    }
}

/// Broadcast time that only moves when the test says so.
class StepClock final : public BroadcastClock
{
public:
    std::chrono::system_clock::time_point Now() override { return m_now; }
    void Advance(std::chrono::milliseconds step) { m_now += step; }

private:
    std::chrono::system_clock::time_point m_now{};
};

std::size_t Drain(PacketSource& source)
{
    std::size_t n = 0;
    Packet p;
    while (source.NextPacket(p)) {
        ++n;
    }
    return n;
}

TEST(TsRecording, PlaysAtThePaceOfItsPtsSkipsGapsAndLoops)
{
    ScratchDirectory dir;
    const std::vector<Packet> recording = Recording(); // 16 lines a frame, 25 frames a second
    ts::StreamOptions later;
    later.firstPts += 60 * TsClockRate; // a cut: the recording goes on a minute later
    auto stream = ts::MakeStream(recording);
    const auto second = ts::MakeStream(recording, later);
    stream.insert(stream.end(), second.begin(), second.end());
    ts::WriteFile(dir.File("cut.ts"), stream);
    const std::size_t frames = (recording.size() + 15) / 16;
    const std::size_t lastFrame = recording.size() - (frames - 1) * 16;

    StepClock clock;
    std::vector<std::string> told;
    TsRecording source(&clock, [&](const std::string& m) { told.push_back(m); });
    ASSERT_EQ(source.Open(dir.File("cut.ts"), -1), "");
    EXPECT_EQ(Drain(source), 16u) << "the first frame, and only it, is due at once";
    EXPECT_EQ(Drain(source), 0u);
    clock.Advance(std::chrono::milliseconds(39));
    EXPECT_EQ(Drain(source), 0u);
    clock.Advance(std::chrono::milliseconds(1));
    EXPECT_EQ(Drain(source), 16u);
    for (std::size_t f = 2; f < frames; ++f) {
        clock.Advance(std::chrono::milliseconds(40));
        EXPECT_EQ(Drain(source), f + 1 == frames ? lastFrame : 16u);
    }
    clock.Advance(std::chrono::milliseconds(40));
    EXPECT_EQ(Drain(source), 16u) << "the minute's gap is skipped";

    // A caller that was away for long goes on where it is, one frame at a time.
    clock.Advance(std::chrono::minutes(5));
    EXPECT_EQ(Drain(source), 16u);
    EXPECT_EQ(source.Laps(), 0u);
    for (int i = 0; i < 200 && source.Laps() == 0; ++i) {
        clock.Advance(std::chrono::milliseconds(40));
        Drain(source);
    }
    EXPECT_EQ(source.Laps(), 1u) << "at the end it starts again";
    // The stream jumps from one recording to the other: the counter tells, nothing else.
    EXPECT_EQ(told.size(), 1u);
}

TEST(TsLiveStream, TakesWhatHasComeWithoutWaitingAndTellsWhenTheStreamEnds)
{
    const auto stream = ts::MakeStream(Recording());
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    std::vector<std::string> told;
    TsLiveStream live([&](const std::string& m) { told.push_back(m); });
    live.Adopt(pipeEnds[0], -1);
    Packet p;
    EXPECT_FALSE(live.NextPacket(p)) << "nothing has come: no waiting";

    const std::size_t half = stream.size() / 188 / 2 * 188;
    ASSERT_EQ(::write(pipeEnds[1], stream.data(), half), ssize_t(half));
    std::vector<Packet> got;
    while (live.NextPacket(p)) {
        got.push_back(p);
    }
    EXPECT_FALSE(got.empty());
    ASSERT_EQ(::write(pipeEnds[1], stream.data() + half, stream.size() - half),
              ssize_t(stream.size() - half));
    ::close(pipeEnds[1]);
    for (int i = 0; i < 10; ++i) {
        while (live.NextPacket(p)) {
            got.push_back(p);
        }
    }
    EXPECT_EQ(got, Recording());
    EXPECT_TRUE(live.Ended());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("zu Ende"), std::string::npos);
}

} // namespace
} // namespace quav
