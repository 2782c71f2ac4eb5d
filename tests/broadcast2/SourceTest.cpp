#include "broadcast/T42Recording.h"
#include "broadcast/TeletextProbe.h"
#include "demo/BroadcastSource.h"
#include "support/PacketBuilder.h"
#include "support/SimulatedStack.h"
#include "support/TsBuilder.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace quav {
namespace {

using test::ScratchDirectory;

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string RandomBytes(std::size_t count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(count, '\0');
    for (char& c : s) {
        c = static_cast<char>(rng() & 0xFF);
    }
    return s;
}

std::vector<Packet> SomePages()
{
    std::vector<Packet> out;
    for (const char* number : {"100", "101", "200"}) {
        test::packets::TestPage page;
        page.number = number;
        page.headerText = "Aufzeichnung";
        page.rows[1] = std::string("Seite ") + number;
        const auto packets = page.Packets();
        out.insert(out.end(), packets.begin(), packets.end());
    }
    return out;
}

const char* const SmallTti = "DE,Testseite\nPN,15000\nSC,0000\nPS,8080\nOL,1,Hallo\n";

TEST(BroadcastInput, SourcesAreRecognisedByContentNotByName)
{
    ScratchDirectory dir;
    test::packets::WriteT42(dir.File("recording.tti"), SomePages());
    test::packets::WriteT42(dir.File("cut.t42"), SomePages(), 17); // truncated last packet
    WriteBytes(dir.File("pages.t42"), SmallTti);
    WriteBytes(dir.File("crlf.dat"), "PN,20000\r\nOL,1,x\r\n");
    std::filesystem::create_directory(dir.File("folder"));
    WriteBytes(dir.File("folder/P150.tti"), SmallTti);
    test::ts::WriteFile(dir.File("dvb.t42"), test::ts::MakeStream(SomePages()));
    test::ts::StreamOptions m2ts;
    m2ts.stride = 192;
    test::ts::WriteFile(dir.File("dvb.m2ts"), test::ts::MakeStream(SomePages(), m2ts));

    struct Case
    {
        std::string source;
        BroadcastKind kind;
        std::size_t pages;
    };
    const std::vector<Case> cases{
        {"demo", BroadcastKind::Demo, 22},
        {dir.File("recording.tti"), BroadcastKind::Recording, 0},
        {dir.File("cut.t42"), BroadcastKind::Recording, 0},
        {dir.File("pages.t42"), BroadcastKind::TtiFile, 1},
        {dir.File("crlf.dat"), BroadcastKind::TtiFile, 1},
        {dir.File("folder"), BroadcastKind::TtiFolder, 1},
        {dir.File("dvb.t42"), BroadcastKind::TransportStream, 0},
        {dir.File("dvb.m2ts"), BroadcastKind::TransportStream, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        BroadcastInput input;
        BroadcastError error;
        ASSERT_TRUE(LoadBroadcastInput(c.source, input, error)) << error.message;
        EXPECT_EQ(error.fault, BroadcastFault::None);
        EXPECT_EQ(input.kind, c.kind);
        EXPECT_EQ(input.pages.size(), c.pages);
        std::string message;
        test::SimulatedStack stack;
        auto source = OpenBroadcast(c.source, message);
        ASSERT_NE(source, nullptr) << message;
        Packet p;
        EXPECT_TRUE(source->NextPacket(p));
    }
}

TEST(BroadcastInput, DamagedAndWrongSourcesGiveTheirOwnFaultAndAGermanMessage)
{
    ScratchDirectory dir;
    WriteBytes(dir.File("empty.t42"), "");
    WriteBytes(dir.File("garbage.t42"), RandomBytes(100'000, 1));
    WriteBytes(dir.File("tiny.t42"), RandomBytes(41, 2));
    WriteBytes(dir.File("letter.txt"), std::string(5000, 'a') + "\nHallo Welt\n");
    WriteBytes(dir.File("broken.tti"), "PN,XYZ\nOL,99,nothing\nCT,99999999999999999999,T\n");
    WriteBytes(dir.File("nul.tti"), std::string("PN,10000\n\0\0\0", 12));
    std::filesystem::create_directory(dir.File("nothing"));
    WriteBytes(dir.File("nothing/readme.txt"), "no pages here");
    // Rows only, never a header: no page can come out of it.
    std::vector<Packet> rows;
    for (int i = 0; i < 100; ++i) {
        rows.push_back(test::packets::Row(1, 1 + i % 23, "row without a page"));
    }
    test::packets::WriteT42(dir.File("rows.t42"), rows);

    struct Case
    {
        std::string source;
        BroadcastFault fault;
        std::string inMessage;
    };
    const std::vector<Case> cases{
        {dir.File("missing.t42"), BroadcastFault::Missing, "gibt es nicht"},
        {"", BroadcastFault::Missing, "keine Quelle"},
        {dir.File("empty.t42"), BroadcastFault::NoTeletext, "ist leer"},
        {dir.File("garbage.t42"), BroadcastFault::NoTeletext, "enthält keinen Videotext"},
        {dir.File("tiny.t42"), BroadcastFault::NoTeletext, "enthält keinen Videotext"},
        {dir.File("letter.txt"), BroadcastFault::NoTeletext, "enthält keinen Videotext"},
        {dir.File("broken.tti"), BroadcastFault::NoTeletext, "enthält keinen Videotext"},
        {dir.File("rows.t42"), BroadcastFault::NoTeletext, "enthält keinen Videotext"},
        {dir.File("nothing"), BroadcastFault::NoTeletext, "keine Videotext-Seiten"},
        {"/dev/null", BroadcastFault::Unreadable, "weder eine Datei noch ein Ordner"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        BroadcastInput input;
        BroadcastError error;
        EXPECT_FALSE(LoadBroadcastInput(c.source, input, error));
        EXPECT_EQ(error.fault, c.fault);
        EXPECT_NE(error.message.find(c.inMessage), std::string::npos) << error.message;
        std::string message;
        EXPECT_EQ(OpenBroadcast(c.source, message), nullptr);
        EXPECT_EQ(message, error.message);
    }
    // A NUL byte costs a TTI file only its line.
    BroadcastInput nul;
    BroadcastError nulError;
    EXPECT_TRUE(LoadBroadcastInput(dir.File("nul.tti"), nul, nulError)) << nulError.message;
}

TEST(BroadcastInput, AFileOrFolderWithoutReadPermissionIsUnreadable)
{
    ScratchDirectory dir;
    ::chmod(dir.File("").c_str(), 0755);
    test::packets::WriteT42(dir.File("locked.t42"), SomePages());
    std::filesystem::permissions(dir.File("locked.t42"), std::filesystem::perms::none);
    std::filesystem::create_directory(dir.File("locked"));
    WriteBytes(dir.File("locked/page.tti"), "PN,10000\nOL,1,x\n");
    std::filesystem::permissions(dir.File("locked"), std::filesystem::perms::none);
    // Root reads everything, so the sources are tried by a child that is nobody.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            _exit(3);
        }
        for (const std::string& source : {dir.File("locked.t42"), dir.File("locked")}) {
            BroadcastInput input;
            BroadcastError error;
            if (LoadBroadcastInput(source, input, error) || error.fault != BroadcastFault::Unreadable ||
                error.message.find("kann nicht gelesen werden") == std::string::npos) {
                _exit(1);
            }
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not unreadable, 3: could not drop root";
}

TEST(TeletextProbe, ToleratesNoiseButNotNonsense)
{
    std::vector<Packet> packets;
    for (int lap = 0; lap < 20; ++lap) {
        const auto more = SomePages();
        packets.insert(packets.end(), more.begin(), more.end());
    }
    std::vector<std::uint8_t> clean;
    for (const Packet& p : packets) {
        clean.insert(clean.end(), p.begin(), p.end());
    }
    EXPECT_TRUE(LooksLikeT42(clean));

    // One flipped bit in every tenth byte: a poor reception, still teletext.
    std::vector<std::uint8_t> noisy = clean;
    for (std::size_t i = 0; i < noisy.size(); i += 10) {
        noisy[i] ^= 0x10;
    }
    EXPECT_TRUE(LooksLikeT42(noisy));

    // Starting in the middle of a packet, every packet is off by some bytes.
    EXPECT_FALSE(LooksLikeT42(std::span(clean).subspan(21)));
    EXPECT_FALSE(LooksLikeT42({}));
    const std::string random = RandomBytes(84'000, 3);
    EXPECT_FALSE(
        LooksLikeT42(std::span(reinterpret_cast<const std::uint8_t*>(random.data()), random.size())));

    EXPECT_TRUE(LooksLikeTti("DE,x\r\n\r\nPN,10000\r\n"));
    EXPECT_FALSE(LooksLikeTti("DE,x\nXPN,10000\n"));
    EXPECT_TRUE(LooksLikeTti(std::string_view("PN,10000\nOL,1,\0\n", 15)));
}

} // namespace
} // namespace quav
