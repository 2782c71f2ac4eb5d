#include "broadcast/PacketLoop.h"
#include "broadcast/T42Recording.h"
#include "broadcast/TsSource.h"
#include "bus/AdapterPorts.h"
#include "cap/CaptureCommand.h"
#include "cap/CaptureOptions.h"
#include "cap/HardwarePorts.h"
#include "cap/PageAcquisition.h"
#include "demo/DemoService.h"
#include "export/RowToText.h"
#include "ports/SerialLineIo.h"
#include "serial/TComm32.h"
#include "sim/SimulatedBoard.h"
#include "station/Station.h"
#include "support/PacketBuilder.h"
#include "support/SimulatedStack.h"
#include "support/TsBuilder.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <QBuffer>
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
        int scale = 1;
    };
    const std::vector<Case> cases{
        {{}, true, true, 1, ""},
        {{"--scale", "8", "--format", "bmp"}, true, true, 1, "", 8},
        {{"--scale=1"}, true, true, 1, "", 1},
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
        {{"--scale", "0"}, false, false, 0, "Ungültiger Maßstab \"0\""},
        {{"--scale", "9"}, false, false, 0, "von 1 bis 8"},
        {{"--scale", "2.5"}, false, false, 0, "Ungültiger Maßstab"},
        {{"--scale", "+2"}, false, false, 0, "Ungültiger Maßstab"},
        {{"--scale"}, false, false, 0, "fehlt der Wert"},
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
            EXPECT_EQ(options.scale, c.scale);
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
    const std::string expected = PageText(rows, 4); // the demo is German
    // Rows 1 to 23 are the file's, converted as the text export converts them.
    EXPECT_EQ(r.out.substr(42), expected.substr(42));
    EXPECT_NE(r.out.find("\xC4"), std::string::npos) << "Ä in code page 1252";

    // A Czech page: the status row that reported it received names its set.
    ScratchDirectory dir;
    std::vector<Packet> packets;
    for (int k = 0; k < 5; ++k) {
        for (const char* number : {"300", "301"}) {
            test::packets::TestPage czech;
            czech.number = number;
            czech.control = std::uint16_t(3U << PageHeader::C12);
            czech.rows[1] = "Dv~e \x7b\x7e\x7c";
            const auto more = czech.Packets();
            packets.insert(packets.end(), more.begin(), more.end());
        }
    }
    test::packets::WriteT42(dir.File("cs.t42"), packets);
    const CapRun cs = Capture({"--source", dir.File("cs.t42"), "--page", "300", "--format", "utf8"});
    ASSERT_EQ(cs.code, cap_exit::Ok) << cs.err;
    EXPECT_EQ(cs.out.substr(41, 12), "Dvše ášě");
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

// The serial module's modem lines, as the tty would pass them on, wired to the simulated
// board's UART registers instead of a real module.
class BoardModemLines final : public ModemLineCalls
{
public:
    explicit BoardModemLines(SimulatedBoard& board) : m_board(board) {}
    int Get(int, int& bits) override
    {
        const std::uint8_t mcr = m_board.ReadPort(Mcr);
        bits = ((mcr & adapter::McrDtr) != 0 ? TIOCM_DTR : 0) |
               ((mcr & adapter::McrRts) != 0 ? TIOCM_RTS : 0) |
               ((m_board.ReadPort(Msr) & adapter::MsrDcd) != 0 ? TIOCM_CD : 0);
        return 0;
    }
    int Raise(int, int bits) override { return Set(bits, true); }
    int Lower(int, int bits) override { return Set(bits, false); }

private:
    static constexpr std::uint16_t Mcr = 0x3F8 + adapter::ModemControlOffset;
    static constexpr std::uint16_t Msr = 0x3F8 + adapter::ModemStatusOffset;
    int Set(int bits, bool raise)
    {
        const auto mask = static_cast<std::uint8_t>(((bits & TIOCM_DTR) != 0 ? adapter::McrDtr : 0) |
                                                    ((bits & TIOCM_RTS) != 0 ? adapter::McrRts : 0));
        const std::uint8_t mcr = m_board.ReadPort(Mcr);
        m_board.WritePort(Mcr, static_cast<std::uint8_t>(raise ? mcr | mask : mcr & ~mask));
        return 0;
    }
    SimulatedBoard& m_board;
};

TEST(CaptureCommand, HardwareOnTheSerialModuleAnswersFromTheFirstQueryAfterTheClaim)
{
    // The board stands where the module would: its COM1 is the tty that is claimed (and
    // whose opening raises DTR and RTS), its registers are reached over the modem lines.
    SimulatedBoard board;
    test::packets::TestPage page;
    page.rows[1] = "Seite vom Modul";
    test::packets::TestPage next; // its header ends page 100
    next.number = "101";
    std::vector<Packet> packets = page.Packets();
    for (const Packet& p : next.Packets()) {
        packets.push_back(p);
    }
    board.SetSource(std::make_unique<PacketLoop>(packets));
    BoardModemLines modemLines(board);
    std::ostringstream out;
    std::ostringstream err;
    CaptureCommand command(out, err);
    command.SetHardwareAccess(
        [](Settings& s, std::string&) {
            s = Settings{}; // the serial module on COM1
            s.I2cDelay = 0;
            s.LoopTime = 0;
            return true;
        },
        [&](const Settings& s, std::string& error) {
            StationOptions options;
            options.hardware = true;
            StationParts parts;
            parts.modemLines = &modemLines;
            auto station = Station::Create(options, s, parts, nullptr);
            station->Comm().PortMap().Map(QStringLiteral("COM1"),
                                          QString::fromStdString(board.ComPortPath(1)));
            return ClaimHardware(std::move(station), s, error);
        });
    EXPECT_EQ(command.Run(std::vector<std::string>{"--hardware", "--page", "100", "--format", "utf8"}),
              cap_exit::Ok)
        << err.str();
    EXPECT_NE(out.str().find("Seite vom Modul"), std::string::npos) << out.str();
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
        if (subcode == 2) {
            // A Czech page: its text comes in its own character set.
            page.control = std::uint16_t(3U << PageHeader::C12);
            page.rows[3] = "Dv~e \x7b\x7e\x7c";
        }
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
    EXPECT_EQ(ReadFile(dir.File("range/P400-0002.utf8")).substr(3 * 41, 12), "Dvše ášě");
    EXPECT_EQ(ReadFile(dir.File("out/P400-0002.txt")).substr(3 * 42, 8), "Dv\x9A"
                                                                         "e \xE1\x9A"
                                                                         "e");
}

/// A stream that fails every write, as standard output does on a full disk.
class FailingBuffer : public std::streambuf
{
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST(CaptureOutputs, OnlyRegularFilesAreReplacedAndNothingPlantedIsFollowed)
{
    ScratchDirectory dir;
    // A FIFO is written as a stream and stays a FIFO, for one page and for several text
    // pages, which arrive in a row with a form feed between two.
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto throughFifo = [&fifo](const std::vector<std::string>& args, CapRun& run) {
        std::string fromFifo;
        std::thread reader([&] {
            std::ifstream in(fifo, std::ios::binary);
            fromFifo.assign(std::istreambuf_iterator<char>(in), {});
        });
        run = Capture(args);
        reader.join();
        return fromFifo;
    };
    CapRun toFifo;
    EXPECT_EQ(throughFifo({"--page", "100", "--output", fifo}, toFifo).size(), 1008u);
    EXPECT_EQ(toFifo.code, cap_exit::Ok) << toFifo.err;
    const std::string pages = throughFifo({"--page", "100,101", "--output", fifo}, toFifo);
    EXPECT_EQ(toFifo.code, cap_exit::Ok) << toFifo.err;
    ASSERT_EQ(pages.size(), 2 * 1008u + 1);
    EXPECT_EQ(pages[1008], '\f');
    struct stat st
    {
    };
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // "-" is standard output, also for a picture.
    const CapRun dash = Capture({"--page", "100", "--format", "png", "--output", "-"});
    EXPECT_EQ(dash.code, cap_exit::Ok) << dash.err;
    EXPECT_EQ(dash.out.substr(1, 3), "PNG");
    // Several text pages go there in a row, a form feed between two; several pictures
    // are refused, and no file named "-" appears.
    const CapRun texts = Capture({"--page", "100,101", "--output", "-"});
    EXPECT_EQ(texts.code, cap_exit::Ok) << texts.err;
    ASSERT_EQ(texts.out.size(), 2 * 1008u + 1);
    EXPECT_EQ(texts.out[1008], '\f');
    // Below the header, whose clock may have moved on: 42 bytes a row.
    EXPECT_EQ(texts.out.substr(42, 1008 - 42), Capture({"--page", "100"}).out.substr(42));
    EXPECT_EQ(texts.out.substr(1009 + 42), Capture({"--page", "101"}).out.substr(42));
    const CapRun pictures = Capture({"--page", "100,101", "--format", "png", "--output", "-"});
    EXPECT_EQ(pictures.code, cap_exit::OutputFailed);
    EXPECT_NE(pictures.err.find("Ordner"), std::string::npos) << pictures.err;
    EXPECT_TRUE(pictures.out.empty());
    EXPECT_FALSE(fs::exists("-"));

    // A name that is no valid UTF-8 keeps every byte.
    const std::string odd = dir.File("seite-\xE4.txt");
    EXPECT_EQ(Capture({"--page", "100", "--output", odd}).code, cap_exit::Ok);
    EXPECT_EQ(ReadFile(odd).size(), 1008u);

    // A symlink to a regular file named by the user keeps its place; the target is written.
    std::ofstream(dir.File("target.txt")) << "alt";
    fs::create_symlink(dir.File("target.txt"), dir.File("link.txt"));
    EXPECT_EQ(Capture({"--page", "100", "--output", dir.File("link.txt")}).code, cap_exit::Ok);
    EXPECT_TRUE(fs::is_symlink(dir.File("link.txt")));
    EXPECT_EQ(ReadFile(dir.File("target.txt")).size(), 1008u);

    // Several pages into a shared folder: a planted symlink, a FIFO and a file of another
    // user under a page's name are refused by name and left as they were.
    struct Planted
    {
        std::string what;
        std::function<void(const std::string&)> plant;
    };
    const std::vector<Planted> planted{
        {"symlink", [&](const std::string& at) { fs::create_symlink(dir.File("target.txt"), at); }},
        {"fifo", [](const std::string& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); }},
        {"file of another user",
         [](const std::string& at) {
             std::ofstream(at) << "fremd";
             if (::geteuid() != 0 || ::chown(at.c_str(), 65534, 65534) != 0) {
                 GTEST_SKIP() << "only root can give a file away";
             }
         }},
    };
    for (const Planted& p : planted) {
        SCOPED_TRACE(p.what);
        const std::string folder = dir.File("shared-" + std::to_string(&p - planted.data()));
        fs::create_directory(folder);
        const std::string victim = folder + "/P101-0000.txt";
        p.plant(victim);
        if (::testing::Test::IsSkipped()) {
            continue;
        }
        struct stat before
        {
        };
        ASSERT_EQ(::lstat(victim.c_str(), &before), 0);
        const CapRun r = Capture({"--page", "100,101", "--output", folder});
        EXPECT_EQ(r.code, cap_exit::OutputFailed);
        EXPECT_NE(r.err.find("\"" + victim + "\" wird nicht überschrieben"), std::string::npos) << r.err;
        struct stat after
        {
        };
        ASSERT_EQ(::lstat(victim.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(ReadFile(dir.File("target.txt")).size(), 1008u) << "the symlink's target untouched";
        EXPECT_FALSE(fs::exists(folder + "/P100-0000.txt") && fs::file_size(folder + "/P100-0000.txt") == 0);
    }

    // A standard output that fails is reported.
    FailingBuffer failing;
    std::ostream broken(&failing);
    std::ostringstream err;
    CaptureCommand command(broken, err);
    EXPECT_EQ(command.Run(std::vector<std::string>{"--page", "100"}), cap_exit::OutputFailed);
    EXPECT_NE(err.str().find("Die Standardausgabe kann nicht geschrieben werden"), std::string::npos);
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

    // A larger picture repeats every page pixel as a square, in both picture formats.
    for (const char* format : {"png", "bmp"}) {
        SCOPED_TRACE(format);
        const std::string name = dir.File(std::string("p702x3.") + format);
        const CapRun big = Capture({"--page", "702", "--format", format, "--scale", "3", "--output", name});
        ASSERT_EQ(big.code, cap_exit::Ok) << big.err;
        const QImage scaled(QString::fromStdString(name));
        ASSERT_EQ(scaled.size(), QSize(1200, 936));
        // The header row holds the clock, which may have moved on since the first picture.
        int wrong = 0;
        for (int y = 0; y < scaled.height(); ++y) {
            for (int x = 0; x < scaled.width(); ++x) {
                const QRgb pixel = scaled.pixel(x, y) & 0xFFFFFF;
                const QRgb page = y < 13 * 3 ? scaled.pixel(x / 3 * 3, y / 3 * 3) : image.pixel(x / 3, y / 3);
                wrong += pixel != (page & 0xFFFFFF);
            }
        }
        EXPECT_EQ(wrong, 0);
    }

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

// A page is received at the next header of its magazine, whatever page that is, so a page
// alone in its magazine comes through the decoder in every shape a source can have.
TEST(CaptureCommand, APageAloneInItsMagazineComesInEveryShapeOfSource)
{
    ScratchDirectory dir;
    const auto write = [&dir](const std::string& name, const std::string& text) {
        fs::create_directories(fs::path(dir.File(name)).parent_path());
        std::ofstream(dir.File(name), std::ios::binary) << text;
    };
    write("one/P700.tti", "PN,70000\nSC,0000\nPS,8200\nOL,1,Seite allein\n");
    write("each/P100.tti", "PN,10000\nPS,8200\nOL,1,Seite 100 allein\n");
    write("each/P200.tti", "PN,20000\nPS,8200\nOL,1,Seite 200 allein\n");
    write("each/P300.tti", "PN,30000\nPS,8200\nOL,1,Seite 300 allein\n");
    write("sub/P500.tti", "CT,1,T\nPN,50001\nSC,0001\nPS,8200\nOL,1,Tafel eins\n"
                          "PN,50002\nSC,0002\nPS,8200\nOL,1,Tafel eins\n");
    test::packets::TestPage repeated;
    repeated.number = "4A1";
    repeated.rows[1] = "immer dieselbe Seite";
    std::vector<Packet> packets;
    for (int i = 0; i < 3; ++i) {
        repeated.headerText = test::packets::ClockText("4A1 Archiv", 3600 + i);
        const auto more = repeated.Packets();
        packets.insert(packets.end(), more.begin(), more.end());
    }
    test::packets::WriteT42(dir.File("rec.t42"), packets);

    const struct
    {
        const char* shape;
        std::string source;
        const char* page;
        const char* row1;
    } cases[] = {
        {"one page in a folder", dir.File("one"), "700", "Seite allein"},
        {"one page per magazine", dir.File("each"), "200", "Seite 200 allein"},
        {"a page with subpages alone in its magazine", dir.File("sub/P500.tti"), "500", "Tafel eins"},
        {"a recording that repeats one page", dir.File("rec.t42"), "4A1", "immer dieselbe Seite"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shape);
        const CapRun r =
            Capture({"--source", c.source, "--page", c.page, "--format", "utf8", "--timeout", "5"});
        ASSERT_EQ(r.code, cap_exit::Ok) << r.err;
        const std::string header = r.out.substr(0, r.out.find('\n'));
        EXPECT_NE(header.find(c.page), std::string::npos) << header;
        const std::size_t second = header.size() + 1;
        EXPECT_NE(r.out.substr(second, r.out.find('\n', second) - second).find(c.row1), std::string::npos)
            << r.out;
    }
}

// Real archives: TTI files that repeat a page number within one file or across files, or
// that hold damaged lines.
TEST(CaptureCommand, SubpagesSharingASubcodeGetFilesOfTheirOwnAndProblemsAreToldOncePerFile)
{
    ScratchDirectory dir;
    fs::create_directories(dir.File("in"));
    const std::string tooLong(45, 'x');
    std::ofstream(dir.File("in/a.tti"), std::ios::binary)
        << "PN,10000\nOL,1,eins\nOL,2," << tooLong << "\nPN,10000\nPS,82G0\nOL,1,zwei\nOL,3," << tooLong
        << "\nPN,10000\nOL,1,drei\n";
    std::ofstream(dir.File("in/b.tti"), std::ios::binary)
        << "PN,10000\nOL,1,noch einmal\nPN,20000\nOL,1,zweihundert\n";
    const CapRun r = Capture({"--source", dir.File("in"), "--page", "all", "--output", dir.File("out")});
    ASSERT_EQ(r.code, cap_exit::Ok) << r.err;
    EXPECT_EQ(FilesIn(dir.File("out")), (std::set<std::string>{"P100-0000.txt", "P100-0000-2.txt",
                                                               "P100-0000-3.txt", "P200-0000.txt"}));
    EXPECT_EQ(ReadFile(dir.File("out/P100-0000-3.txt")).substr(42, 4), "drei");
    EXPECT_NE(r.err.find("4 Seiten gespeichert"), std::string::npos) << r.err;
    const struct
    {
        const char* problem;
        const char* file;
        const char* more;
    } problems[] = {
        {"mehr als 40 Zeichen", "a.tti, Zeile 3", " (und eine weitere Stelle)"},
        {"Ungültiger Seitenstatus", "a.tti, Zeile 5", ""},
        {"Seite 100 gibt es schon in a.tti", "b.tti", ""},
    };
    for (const auto& p : problems) {
        SCOPED_TRACE(p.problem);
        const std::size_t at = r.err.find(p.problem);
        ASSERT_NE(at, std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(p.problem, at + 1), std::string::npos) << "one line per file and problem";
        const std::size_t begin = r.err.rfind('\n', at) + 1;
        const std::string line = r.err.substr(begin, r.err.find('\n', at) - begin);
        EXPECT_EQ(line.find(std::string("quav-videotext-cap: ") + p.file), 0u) << line;
        EXPECT_TRUE(line.ends_with(p.more)) << line;
    }
}

TEST(CaptureCommand, RevealShowsConcealedTextInThePictures)
{
    ScratchDirectory dir;
    for (const char* name : {"hidden.png", "shown.png"}) {
        std::vector<std::string> args{"--page", "700", "--format", "png", "--output", dir.File(name)};
        if (name[0] == 's') {
            args.push_back("--reveal");
        }
        const CapRun r = Capture(args);
        ASSERT_EQ(r.code, cap_exit::Ok) << r.err;
    }
    const QImage hidden(QString::fromStdString(dir.File("hidden.png")));
    const QImage shown(QString::fromStdString(dir.File("shown.png")));
    ASSERT_EQ(hidden.size(), shown.size());
    // Row 16 holds the concealed answer; the header row with its clock is left out.
    int differing = 0;
    for (int y = 13; y < hidden.height(); ++y) {
        for (int x = 0; x < hidden.width(); ++x) {
            if (hidden.pixel(x, y) != shown.pixel(x, y)) {
                ++differing;
                EXPECT_EQ(y / 13, 16) << x << "," << y;
            }
        }
    }
    EXPECT_GT(differing, 0);
}

struct ProgramRun
{
    int status = -1;
    std::string err;
};

/// Runs the command with `out` as its standard output and a file-size limit in bytes.
ProgramRun RunProgram(const std::vector<std::string>& args, int out, rlim_t fileSizeLimit)
{
    char errName[] = "/tmp/quav-i15-cap-err-XXXXXX";
    const int errFd = ::mkstemp(errName);
    const pid_t child = ::fork();
    if (child == 0) {
        rlimit limit{fileSizeLimit, fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(errFd, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(QUAV_CAP_BINARY)};
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    ProgramRun run;
    ::waitpid(child, &run.status, 0);
    ::close(errFd);
    run.err = ReadFile(errName);
    ::unlink(errName);
    return run;
}

TEST(CaptureProgram, OutputFailuresEndWithAMessageAndRootWritesNoFile)
{
    ScratchDirectory dir;
    // Started by root itself, the command works as nobody, who must be able to write here.
    const bool root = ::geteuid() == 0;
    ASSERT_TRUE(!root || ::chown(dir.File("").c_str(), 65534, 65534) == 0);
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    ::close(pipeEnds[0]);
    const ProgramRun closedPipe = RunProgram({"--page", "100"}, pipeEnds[1], RLIM_INFINITY);
    ::close(pipeEnds[1]);
    const ProgramRun limited =
        RunProgram({"--page", "100", "--format", "png", "--output", dir.File("p.png")}, STDOUT_FILENO, 1000);
    for (const auto& [run, reason] :
         {std::pair{closedPipe, "Die Standardausgabe kann nicht geschrieben werden"},
          std::pair{limited, "Größenbegrenzung"}}) {
        SCOPED_TRACE(reason);
        ASSERT_TRUE(WIFEXITED(run.status)) << "ended by signal " << WTERMSIG(run.status);
        EXPECT_EQ(WEXITSTATUS(run.status), cap_exit::OutputFailed);
        EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists(dir.File("p.png")));
    EXPECT_TRUE(fs::is_empty(dir.File(""))) << "no temporary file left behind";

    const ProgramRun written =
        RunProgram({"--page", "100", "--output", dir.File("p.txt")}, STDOUT_FILENO, RLIM_INFINITY);
    ASSERT_TRUE(WIFEXITED(written.status));
    EXPECT_EQ(WEXITSTATUS(written.status), cap_exit::Ok) << written.err;
    struct stat st
    {
    };
    ASSERT_EQ(::stat(dir.File("p.txt").c_str(), &st), 0);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u) << "a file of root's";
        EXPECT_NE(written.err.find("nobody"), std::string::npos) << "the user hears why";
    }
}

TEST(CaptureCommand, PngPicturesHoldExactlyThePixelsOfTheBitmaps)
{
    // The bitmaps are written as the viewer writes them; the PNG files, now palette images
    // encoded for speed, must decode to the very same pixels and be no larger than the
    // full-colour PNG of the same picture. The demo pages come from a recording, so that
    // both runs see the same header (the demo service's own shows the time).
    ScratchDirectory dir;
    std::vector<Packet> packets;
    for (const TtiPage& tti : LoadDemoService().pages) {
        for (const TtiSubpage& sub : tti.subpages) {
            test::packets::TestPage page;
            char number[8];
            std::snprintf(number, sizeof number, "%03X", unsigned(tti.number) & 0xFFFU);
            page.number = number;
            page.subcode = sub.subcode;
            page.headerText = "QUAV-Test \x01Bilder \x12\x7f\x35";
            for (std::size_t r = 1; r < 24; ++r) {
                page.rows[r].assign(sub.rows[r].begin(), sub.rows[r].end());
            }
            const auto more = page.Packets();
            packets.insert(packets.end(), more.begin(), more.end());
        }
    }
    test::packets::WriteT42(dir.File("demo.t42"), packets);
    for (const char* format : {"png", "bmp"}) {
        const CapRun r = Capture({"--source", dir.File("demo.t42"), "--page", "all", "--format", format,
                                  "--output", dir.File(format)});
        ASSERT_EQ(r.code, cap_exit::Ok) << r.err;
    }
    const std::set<std::string> pngs = FilesIn(dir.File("png"));
    ASSERT_GE(pngs.size(), 20u);
    std::set<std::string> bmps;
    for (const std::string& name : pngs) {
        bmps.insert(name.substr(0, name.size() - 3) + "bmp");
    }
    ASSERT_EQ(FilesIn(dir.File("bmp")), bmps) << "the same pages under the same names";
    for (const std::string& name : pngs) {
        SCOPED_TRACE(name);
        const QImage png(QString::fromStdString(dir.File("png/" + name)), "PNG");
        const QImage bmp(QString::fromStdString(dir.File("bmp/" + name.substr(0, name.size() - 3) + "bmp")),
                         "BMP");
        ASSERT_EQ(png.format(), QImage::Format_Indexed8);
        EXPECT_LE(png.colorCount(), 8);
        ASSERT_EQ(bmp.size(), QSize(400, 312));
        EXPECT_EQ(png.convertToFormat(QImage::Format_RGB32), bmp.convertToFormat(QImage::Format_RGB32));
        QByteArray fullColour;
        QBuffer buffer(&fullColour);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(bmp.convertToFormat(QImage::Format_RGB32).save(&buffer, "PNG"));
        EXPECT_LE(fs::file_size(dir.File("png/" + name)), std::uintmax_t(fullColour.size()));
    }
}

TEST(CaptureCommand, ShowsProgressOnlyForATerminalAndAfterTheFirstSecond)
{
    struct Case
    {
        bool terminal;
        std::int64_t millisecondsPerLook; // how far the clock moves each time it is read
        bool shown;
    };
    const Case cases[] = {{true, 300, true}, {true, 0, false}, {false, 300, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.terminal) + " " + std::to_string(c.millisecondsPerLook));
        ScratchDirectory dir;
        std::ostringstream out;
        std::ostringstream err;
        CaptureCommand command(out, err);
        std::int64_t now = 0;
        command.SetProgress(c.terminal, [&] { return now += c.millisecondsPerLook; });
        ASSERT_EQ(command.Run(std::vector<std::string>{"--page", "all", "--output", dir.File("o")}),
                  cap_exit::Ok);
        const std::string pages = std::to_string(FilesIn(dir.File("o")).size());
        const std::string text = err.str();
        EXPECT_EQ(text.find("Seiten gefunden: " + pages + ", fertig: ") != std::string::npos, c.shown)
            << text;
        EXPECT_EQ(text.find('\r') != std::string::npos, c.shown) << text;
        if (c.shown) {
            EXPECT_NE(text.find("\r\x1b[K" + pages + " Seiten gespeichert"), std::string::npos)
                << "the line is cleared before the summary: " << text;
        }
    }
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
