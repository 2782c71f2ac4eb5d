#include "broadcast/T42Recording.h"
#include "broadcast/TsSource.h"
#include "cap/CaptureCommand.h"
#include "cap/CaptureOptions.h"
#include "cap/PageAcquisition.h"
#include "demo/DemoService.h"
#include "export/RowToText.h"
#include "support/PacketBuilder.h"
#include "support/SimulatedStack.h"
#include "support/TsBuilder.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/wait.h>

#include <QImage>
#include <QString>

#include <gtest/gtest.h>

namespace quav {
namespace {

namespace fs = std::filesystem;
using test::ScratchDirectory;

struct CapRun
{
    int code = -1;
    std::string out;
    std::string err;
};

CapRun Capture(const std::vector<std::string>& args)
{
    std::ostringstream out;
    std::ostringstream err;
    CaptureCommand command(out, err);
    CapRun r;
    r.code = command.Run(args);
    r.out = out.str();
    r.err = err.str();
    return r;
}

std::set<std::string> FilesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(CaptureOptions, ParsesWhatTheUsageLineOffers)
{
    struct Case
    {
        std::vector<std::string> args;
        bool ok;
        bool single;
        std::size_t pages;
        std::string errorPart;
    };
    const std::vector<Case> cases{
        {{}, true, true, 1, ""},
        {{"--page", "1f0"}, true, true, 1, ""},
        {{"--page=100,101,1F0", "--format=png"}, true, false, 3, ""},
        {{"--page", "100-199"}, true, false, 0x9A, ""}, // hexadecimal order: 10A to 10F too
        {{"--page", "100-100"}, true, false, 1, ""},
        {{"--page", "all"}, true, false, 2048, ""},
        {{"--source", "x.t42", "--timeout", "2.5", "--output", "o"}, true, true, 1, ""},
        {{"--source", "-", "--pid", "8190"}, true, true, 1, ""},
        {{"--pid=0x10"}, true, true, 1, ""},
        {{"--pid", "15"}, false, false, 0, "--pid braucht"},
        {{"--pid", "0x1FFF"}, false, false, 0, "--pid braucht"},
        {{"--pid", "0x1G"}, false, false, 0, "--pid braucht"},
        {{"--page", "099"}, false, false, 0, "Ungültige Seitennummer"},
        {{"--page", "900"}, false, false, 0, "Ungültige Seitennummer"},
        {{"--page", "10"}, false, false, 0, "Ungültige Seitennummer"},
        {{"--page", "100,"}, false, false, 0, "Ungültige Seitennummer"},
        {{"--page", "199-100"}, false, false, 0, "Ungültiger Seitenbereich"},
        {{"--format", "gif"}, false, false, 0, "Unbekanntes Format"},
        {{"--timeout", "0"}, false, false, 0, "Ungültige Wartezeit"},
        {{"--timeout", "nan"}, false, false, 0, "Ungültige Wartezeit"},
        {{"--timeout"}, false, false, 0, "fehlt der Wert"},
        {{"--source", ""}, false, false, 0, "fehlt der Wert"},
        {{"--frobnicate"}, false, false, 0, "Unbekannte Option"},
        {{"--hardware", "--source", "demo"}, false, false, 0, "schließen einander aus"},
        {{"--hardware", "--page", "all"}, false, false, 0, "nicht von der Hardware"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const auto& a : c.args) {
            joined += a + " ";
        }
        SCOPED_TRACE(joined);
        CaptureOptions options;
        std::string error;
        ASSERT_EQ(ParseCaptureOptions(c.args, options, error), c.ok) << error;
        if (c.ok) {
            EXPECT_EQ(options.singlePage, c.single);
            EXPECT_EQ(options.pages.Count(), c.pages);
        } else {
            EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
        }
    }
}

TEST(CaptureCommand, ASinglePageComesThroughTheDecoderAsThePageText)
{
    const CapRun r = Capture({"--source", "demo", "--page", "701", "--format", "txt"});
    ASSERT_EQ(r.code, cap_exit::Ok) << r.err;
    ASSERT_EQ(r.out.size(), 1008u);
    const TtiReadResult demo = LoadDemoService();
    const TtiPage* page = nullptr;
    for (const TtiPage& p : demo.pages) {
        page = p.number == 0x701 ? &p : page;
    }
    ASSERT_NE(page, nullptr);
    std::array<std::uint8_t, 960> rows{};
    rows.fill(0x20);
    for (std::size_t r2 = 1; r2 < 24; ++r2) {
        std::copy(page->subpages[0].rows[r2].begin(), page->subpages[0].rows[r2].end(),
                  rows.begin() + r2 * 40);
    }
    const std::string expected = PageText(rows);
    // Rows 1 to 23 are the file's, converted as the text export converts them.
    EXPECT_EQ(r.out.substr(42), expected.substr(42));
    EXPECT_NE(r.out.find("\xC4"), std::string::npos) << "Ä in code page 1252";
}

TEST(CaptureCommand, FailuresHaveTheirOwnExitCodes)
{
    ScratchDirectory dir;
    std::ofstream(dir.File("garbage.t42"), std::ios::binary) << std::string(4200, '\x55');
    test::packets::TestPage page;
    page.number = "300";
    page.rows[1] = "only page";
    test::packets::WriteT42(dir.File("one.t42"), page.Packets());
    struct Case
    {
        std::vector<std::string> args;
        int code;
        std::string errorPart;
    };
    const std::vector<Case> cases{
        {{"--source", dir.File("missing")}, cap_exit::SourceUnreadable, "gibt es nicht"},
        {{"--source", dir.File("garbage.t42")}, cap_exit::NoTeletext, "keinen Videotext"},
        {{"--source", "demo", "--page", "555", "--timeout", "3"}, cap_exit::PageMissing, "Seite 555"},
        {{"--source", dir.File("one.t42"), "--page", "100"}, cap_exit::PageMissing, "Seite 100"},
        {{"--source", dir.File("one.t42"), "--page", "300,301", "--output", dir.File("o")},
         cap_exit::PageMissing,
         "Nicht empfangen: 301"},
        {{"--source", "demo", "--page", "900-901"}, cap_exit::BadArguments, "Ungültiger Seitenbereich"},
        {{"--hardware"}, cap_exit::NoHardware, "nicht eingebaut"},
        {{"--source", "demo", "--output", dir.File("no/such/folder/p.txt")},
         cap_exit::OutputFailed,
         "kann nicht geschrieben werden"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const CapRun r = Capture(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.errorPart), std::string::npos) << r.err;
    }
}

TEST(CaptureCommand, HardwareWithoutPortsOrAnswerIsReported)
{
    std::ostringstream out;
    std::ostringstream err;
    CaptureCommand command(out, err);
    // Settings that point at the c't card, ports that nobody answers on.
    class EmptyBus final : public PortIo
    {
    public:
        std::uint8_t ReadPort(std::uint16_t) override { return 0xFF; }
        void WritePort(std::uint16_t, std::uint8_t) override {}
    };
    int opened = 0;
    command.SetHardwareAccess(
        [](Settings& s, std::string&) {
            s.Device = 2;
            s.I2cDelay = 0;
            return true;
        },
        [&](const Settings& s, std::string&) -> std::unique_ptr<PortIo> {
            ++opened;
            EXPECT_EQ(s.Device, 2);
            return std::make_unique<EmptyBus>();
        });
    EXPECT_EQ(command.Run(std::vector<std::string>{"--hardware", "--page", "100"}), cap_exit::NoHardware);
    EXPECT_EQ(opened, 1);
    EXPECT_NE(err.str().find("Videotext Hardware nicht gefunden"), std::string::npos) << err.str();
}

TEST(CaptureCommand, AllFromARecordingWritesOneFilePerPageAndSubpage)
{
    ScratchDirectory dir;
    std::vector<Packet> packets;
    for (const auto& [number, subcode] : std::vector<std::pair<std::string, std::uint16_t>>{
             {"100", 0}, {"400", 1}, {"1FF", 0x3F7F}, {"400", 2}, {"1F0", 0}, {"400", 1}}) {
        test::packets::TestPage page;
        page.number = number;
        page.subcode = subcode;
        page.rows[2] = "Seite " + number;
        const auto more = page.Packets();
        packets.insert(packets.end(), more.begin(), more.end());
    }
    test::packets::WriteT42(dir.File("rec.t42"), packets, 5);
    const CapRun r = Capture({"--source", dir.File("rec.t42"), "--page", "all", "--output", dir.File("out")});
    ASSERT_EQ(r.code, cap_exit::Ok) << r.err;
    EXPECT_EQ(FilesIn(dir.File("out")),
              (std::set<std::string>{"P100-0000.txt", "P1F0-0000.txt", "P400-0001.txt", "P400-0002.txt"}));
    const std::string text = ReadFile(dir.File("out/P1F0-0000.txt"));
    ASSERT_EQ(text.size(), 1008u);
    EXPECT_EQ(text.substr(2 * 42, 9), "Seite 1F0");

    const CapRun range = Capture({"--source", dir.File("rec.t42"), "--page", "400-4FF", "--format", "utf8",
                                  "--output", dir.File("range")});
    ASSERT_EQ(range.code, cap_exit::Ok) << range.err;
    EXPECT_EQ(FilesIn(dir.File("range")), (std::set<std::string>{"P400-0001.utf8", "P400-0002.utf8"}));
}

/// Pages of several magazines, one with rotating subpages, as a recording holds them.
std::vector<Packet> DvbRecording()
{
    std::vector<Packet> packets;
    for (int lap = 0; lap < 2; ++lap) {
        for (const char* number : {"100", "101", "1F0", "200", "300", "8FF"}) {
            test::packets::TestPage page;
            page.number = number;
            page.subcode = std::string(number) == "300" ? static_cast<std::uint16_t>(lap + 1) : 0;
            page.headerText = "DVB-Test";
            for (int r = 1; r < 24; r += 3) {
                page.rows[std::size_t(r)] = "Zeile " + std::to_string(r) + " der Seite " + number;
            }
            const auto more = page.Packets();
            packets.insert(packets.end(), more.begin(), more.end());
        }
    }
    return packets;
}

TEST(CaptureCommand, ATransportStreamGivesExactlyThePagesOfItsRecording)
{
    ScratchDirectory dir;
    const std::vector<Packet> packets = DvbRecording();
    test::packets::WriteT42(dir.File("rec.t42"), packets);
    test::ts::StreamOptions m2ts;
    m2ts.stride = 192;
    test::ts::WriteFile(dir.File("rec.ts"), test::ts::MakeStream(packets));
    test::ts::WriteFile(dir.File("rec.m2ts"), test::ts::MakeStream(packets, m2ts));

    const CapRun t42 =
        Capture({"--source", dir.File("rec.t42"), "--page", "all", "--output", dir.File("t42")});
    ASSERT_EQ(t42.code, cap_exit::Ok) << t42.err;
    const std::set<std::string> files = FilesIn(dir.File("t42"));
    EXPECT_EQ(files.size(), 6u); // page 8FF is the filler, no page
    for (const char* form : {"rec.ts", "rec.m2ts"}) {
        SCOPED_TRACE(form);
        const std::string out = dir.File(std::string("out-") + form);
        const CapRun r = Capture({"--source", dir.File(form), "--page", "all", "--output", out});
        ASSERT_EQ(r.code, cap_exit::Ok) << r.err;
        EXPECT_EQ(r.err.find("quav-videotext-cap:"), std::string::npos) << r.err;
        ASSERT_EQ(FilesIn(out), files);
        for (const std::string& name : files) {
            EXPECT_EQ(ReadFile(out + "/" + name), ReadFile(dir.File("t42/" + name))) << name;
        }
        // One page through the decoder, as the viewer gets it.
        const CapRun one = Capture({"--source", dir.File(form), "--page", "1F0"});
        ASSERT_EQ(one.code, cap_exit::Ok) << one.err;
        EXPECT_EQ(one.out, Capture({"--source", dir.File("rec.t42"), "--page", "1F0"}).out);
    }

    // Damage in the middle: told on standard error, the pages it did not touch come whole.
    auto damaged = test::ts::MakeStream(packets);
    const auto teletext = test::ts::PacketsOfPid(damaged, 0x100);
    damaged[teletext[teletext.size() / 3] + 3] |= 0xC0; // scrambled
    damaged.erase(damaged.begin() + std::ptrdiff_t(teletext[2 * teletext.size() / 3]),
                  damaged.begin() + std::ptrdiff_t(teletext[2 * teletext.size() / 3] + 188)); // lost
    test::ts::WriteFile(dir.File("bad.ts"), damaged);
    const CapRun bad =
        Capture({"--source", dir.File("bad.ts"), "--page", "all", "--output", dir.File("bad")});
    ASSERT_EQ(bad.code, cap_exit::Ok) << bad.err;
    EXPECT_NE(bad.err.find("verschlüsselt"), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("Kontinuitätsfehler"), std::string::npos) << bad.err;
    std::size_t same = 0;
    for (const std::string& name : FilesIn(dir.File("bad"))) {
        same += ReadFile(dir.File("bad/" + name)) == ReadFile(dir.File("t42/" + name)) ? 1 : 0;
    }
    EXPECT_GE(same, files.size() - 2);
}

TEST(CaptureCommand, ATransportStreamWithoutTeletextOrTablesIsRefused)
{
    ScratchDirectory dir;
    const std::vector<Packet> packets = DvbRecording();
    test::ts::StreamOptions subtitles;
    subtitles.teletextDescriptor = false;
    test::ts::WriteFile(dir.File("subtitles.ts"), test::ts::MakeStream(packets, subtitles));
    test::ts::StreamOptions bare;
    bare.psi = false;
    test::ts::WriteFile(dir.File("bare.ts"), test::ts::MakeStream(packets, bare));

    const CapRun noTeletext = Capture({"--source", dir.File("subtitles.ts"), "--page", "all"});
    EXPECT_EQ(noTeletext.code, cap_exit::NoTeletext);
    EXPECT_NE(noTeletext.err.find("keine PMT"), std::string::npos) << noTeletext.err;
    const CapRun noTables = Capture({"--source", dir.File("bare.ts"), "--page", "all"});
    EXPECT_EQ(noTables.code, cap_exit::NoTeletext);
    EXPECT_NE(noTables.err.find("--pid"), std::string::npos) << noTables.err;
    // The PID given by hand needs no tables.
    for (const char* pid : {"256", "0x100"}) {
        const CapRun given = Capture(
            {"--source", dir.File("bare.ts"), "--pid", pid, "--page", "all", "--output", dir.File(pid)});
        EXPECT_EQ(given.code, cap_exit::Ok) << given.err;
        EXPECT_EQ(FilesIn(dir.File(pid)).size(), 6u);
    }
    EXPECT_EQ(Capture({"--source", dir.File("bare.ts"), "--pid", "8191"}).code, cap_exit::BadArguments);
}

/// The wall time of a broadcast that runs on the test's board clock.
class StackWallClock final : public BroadcastClock
{
public:
    explicit StackWallClock(BoardClock& board) : m_board(board) {}
    std::chrono::system_clock::time_point Now() override
    {
        return std::chrono::system_clock::time_point{} +
               std::chrono::duration_cast<std::chrono::system_clock::duration>(m_board.Now());
    }

private:
    BoardClock& m_board;
};

TEST(ViewerStack, ReadsTheSamePagesFromATransportStreamAsFromItsRecording)
{
    ScratchDirectory dir;
    const std::vector<Packet> packets = DvbRecording();
    test::packets::WriteT42(dir.File("rec.t42"), packets);
    test::ts::WriteFile(dir.File("rec.ts"), test::ts::MakeStream(packets));
    const auto pageFrom = [](std::unique_ptr<PacketSource> source, test::SimulatedStack& stack,
                             const char* page) {
        stack.board.SetSource(std::move(source));
        return AcquirePage(stack.decoder, page, [&stack, waited = 0]() mutable {
            stack.Run(std::chrono::milliseconds(100));
            return ++waited < 300;
        });
    };
    for (const char* page : {"100", "101", "1F0"}) {
        SCOPED_TRACE(page);
        test::SimulatedStack fromT42;
        auto t42 = std::make_unique<T42Recording>();
        ASSERT_EQ(t42->Open(dir.File("rec.t42")), "");
        const AcquiredPage expected = pageFrom(std::move(t42), fromT42, page);
        ASSERT_EQ(expected.outcome, AcquisitionOutcome::Received)
            << int(expected.status) << " " << fromT42.board.PacketsReceived();

        test::SimulatedStack fromTs;
        StackWallClock wall(fromTs.clock);
        auto ts = std::make_unique<TsRecording>(&wall);
        ASSERT_EQ(ts->Open(dir.File("rec.ts"), -1), "");
        const AcquiredPage got = pageFrom(std::move(ts), fromTs, page);
        ASSERT_EQ(got.outcome, AcquisitionOutcome::Received) << fromTs.board.PacketsReceived();
        EXPECT_EQ(got.pageRows, expected.pageRows);
    }
}

TEST(CaptureCommand, DemoPagesBecomePicturesOfThePageSize)
{
    ScratchDirectory dir;
    const CapRun one = Capture({"--page", "702", "--format", "png", "--output", dir.File("p702.png")});
    ASSERT_EQ(one.code, cap_exit::Ok) << one.err;
    const QImage image(QString::fromStdString(dir.File("p702.png")));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 400);
    EXPECT_EQ(image.height(), 312);
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3) {
            colours.insert(image.pixel(x, y) & 0xFFFFFF);
        }
    }
    EXPECT_GE(colours.size(), 3u) << "a page of coloured mosaics";

    const CapRun all = Capture({"--page", "400-402", "--format", "bmp", "--output", dir.File("bmp")});
    ASSERT_EQ(all.code, cap_exit::Ok) << all.err;
    // Every subpage of the rotating page 400, none of the pages 401 and 402 that the demo lacks.
    std::set<std::string> expected;
    for (const TtiPage& p : LoadDemoService().pages) {
        for (const TtiSubpage& sub : p.subpages) {
            if (p.number == 0x400) {
                expected.insert("P400-000" + std::to_string(sub.subcode) + ".bmp");
            }
        }
    }
    ASSERT_GE(expected.size(), 3u);
    EXPECT_EQ(FilesIn(dir.File("bmp")), expected);
    const QImage bmp(QString::fromStdString(dir.File("bmp/P400-0002.bmp")), "BMP");
    EXPECT_EQ(bmp.size(), QSize(400, 312));
}

TEST(CaptureProgram, PrintsDemoPage100AsText)
{
    const std::string command = std::string(QUAV_CAP_BINARY) + " --source demo --page 100 --format utf8";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        out.append(buffer.data(), n);
    }
    const int status = ::pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < out.size();) {
        const std::size_t end = out.find('\n', pos);
        ASSERT_NE(end, std::string::npos);
        lines.push_back(out.substr(pos, end - pos));
        pos = end + 1;
    }
    ASSERT_EQ(lines.size(), 24u);
    EXPECT_NE(lines[0].find("QUAV-Text"), std::string::npos) << lines[0];
    EXPECT_NE(out.find("Fußball-Tabelle"), std::string::npos) << "UTF-8, with the German characters";
    EXPECT_NE(out.find("1F0"), std::string::npos);
}

} // namespace
} // namespace quav
