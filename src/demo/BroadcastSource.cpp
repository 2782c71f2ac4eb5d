#include "demo/BroadcastSource.h"

#include "broadcast/T42Recording.h"
#include "broadcast/TeletextProbe.h"
#include "broadcast/TsSource.h"
#include "demo/DemoService.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>

namespace quav {

namespace {

namespace fs = std::filesystem;

/// Enough of a file to tell what it is: 2000 packets of a recording.
constexpr std::size_t ProbeBytes = 2000 * PacketSize;

std::string Quoted(std::string_view path)
{
    return "\"" + std::string(path) + "\"";
}

bool Fail(BroadcastError& error, BroadcastFault fault, std::string message)
{
    error.fault = fault;
    error.message = std::move(message);
    return false;
}

/// A carousel that owns the clock it runs on (the program's system clock).
class OwnClockCarousel final : public PacketSource
{
public:
    explicit OwnClockCarousel(std::vector<TtiPage> pages)
        : m_carousel(std::move(pages), m_clock, ServiceHeaderText())
    {
    }
    bool NextPacket(Packet& packet) override { return m_carousel.NextPacket(packet); }

private:
    SystemBroadcastClock m_clock;
    TtiCarousel m_carousel;
};

bool LoadFolder(const fs::path& folder, BroadcastInput& input, BroadcastError& error)
{
    input.kind = BroadcastKind::TtiFolder;
    std::error_code ec;
    fs::directory_iterator probe(folder, ec);
    if (ec) {
        return Fail(error, BroadcastFault::Unreadable,
                    "Der Ordner " + Quoted(input.path) + " kann nicht gelesen werden.");
    }
    TtiReadResult result = ReadTtiFolder(folder);
    if (!result.Ok() || result.pages.empty()) {
        return Fail(error, BroadcastFault::NoTeletext,
                    "Der Ordner " + Quoted(input.path) + " enthält keine Videotext-Seiten (TTI-Dateien).");
    }
    input.pages = std::move(result.pages);
    input.warnings = std::move(result.warnings);
    return true;
}

/// The DVB devices of Linux (demux, dvr) are character devices of their own major number.
bool IsDvbDevice(const fs::path& path)
{
    constexpr unsigned DvbMajor = 212;
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) == DvbMajor;
}

bool LoadTransportStream(BroadcastInput& input, BroadcastError& error)
{
    const TsScan scan = ScanTransportStream(input.path, input.pid);
    input.kind = BroadcastKind::TransportStream;
    if (input.pid >= 0) {
        return true;
    }
    if (!scan.sawPat) {
        return Fail(error, BroadcastFault::NoTeletext,
                    "Im Transportstrom " + Quoted(input.path) +
                        " fehlen PAT und PMT; die PID des Videotexts lässt sich mit --pid angeben.");
    }
    if (scan.pid < 0) {
        return Fail(error, BroadcastFault::NoTeletext,
                    "Der Transportstrom " + Quoted(input.path) +
                        " enthält keinen Videotext: keine PMT nennt einen Videotext-Dienst.");
    }
    input.pid = scan.pid;
    return true;
}

bool LoadFile(const fs::path& file, BroadcastInput& input, BroadcastError& error)
{
    std::ifstream in(file, std::ios::binary);
    std::string head(ProbeBytes, '\0');
    if (in) {
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
    }
    if (!in && !in.eof()) {
        return Fail(error, BroadcastFault::Unreadable,
                    "Die Datei " + Quoted(input.path) + " kann nicht gelesen werden.");
    }
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (head.empty()) {
        return Fail(error, BroadcastFault::NoTeletext, "Die Datei " + Quoted(input.path) + " ist leer.");
    }
    if (LooksLikeTti(head)) {
        TtiReadResult result = ReadTtiFile(file);
        if (result.Ok() && !result.pages.empty()) {
            input.kind = BroadcastKind::TtiFile;
            input.pages = std::move(result.pages);
            input.warnings = std::move(result.warnings);
            return true;
        }
    }
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(head.data()),
                                              head.size());
    if (LooksLikeTransportStream(bytes)) {
        return LoadTransportStream(input, error);
    }
    if (LooksLikeT42(bytes)) {
        input.kind = BroadcastKind::Recording;
        return true;
    }
    return Fail(error, BroadcastFault::NoTeletext,
                "Die Datei " + Quoted(input.path) +
                    " enthält keinen Videotext: weder TTI-Seiten noch eine T42-Aufzeichnung oder einen "
                    "Transportstrom.");
}

/// A transport stream on `clock` (null: the system clock).
std::unique_ptr<PacketSource> MakeTransportStream(const BroadcastInput& input, BroadcastClock* clock,
                                                  BroadcastError& error)
{
    std::string message;
    std::unique_ptr<PacketSource> source;
    if (input.kind == BroadcastKind::LiveStream) {
        auto live = std::make_unique<TsLiveStream>(input.report);
        message = live->Open(input.path, input.pid);
        source = std::move(live);
    } else {
        auto recording = std::make_unique<TsRecording>(clock, input.report);
        message = recording->Open(input.path, input.pid);
        source = std::move(recording);
    }
    if (!message.empty()) {
        error.fault = BroadcastFault::Unreadable;
        error.message = std::move(message);
        return nullptr;
    }
    return source;
}

} // namespace

TtiCarousel::HeaderText ServiceHeaderText()
{
    return [](std::uint16_t page, std::chrono::system_clock::time_point when) {
        const std::time_t t = std::chrono::system_clock::to_time_t(when);
        std::tm local{};
        localtime_r(&t, &local);
        return ExpandHeaderTemplate(DemoHeaderTemplate, page, local);
    };
}

bool LoadBroadcastInput(std::string_view source, BroadcastInput& input, BroadcastError& error, int pid)
{
    input = BroadcastInput{};
    error = BroadcastError{};
    input.path = std::string(source);
    input.pid = pid;
    if (source == StandardInputName) {
        input.kind = BroadcastKind::LiveStream;
        return true;
    }
    if (source == DemoSourceName) {
        TtiReadResult result = LoadDemoService();
        if (!result.Ok() || result.pages.empty()) {
            // The pages are part of the program; this only happens to a broken build.
            return Fail(error, BroadcastFault::NoTeletext,
                        "Der eingebaute Demo-Dienst enthält keine Seiten.");
        }
        input.kind = BroadcastKind::Demo;
        input.pages = std::move(result.pages);
        input.warnings = std::move(result.warnings);
        return true;
    }
    if (source.empty()) {
        return Fail(error, BroadcastFault::Missing, "Es wurde keine Quelle angegeben.");
    }
    const fs::path path{std::string(source)};
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        return Fail(error, BroadcastFault::Missing, "Die Quelle " + Quoted(source) + " gibt es nicht.");
    }
    if (ec) {
        return Fail(error, BroadcastFault::Unreadable,
                    "Auf die Quelle " + Quoted(source) + " kann nicht zugegriffen werden.");
    }
    if (fs::is_directory(status)) {
        return LoadFolder(path, input, error);
    }
    if (fs::is_character_file(status) && IsDvbDevice(path)) {
        input.kind = BroadcastKind::LiveStream;
        if (pid < 0) {
            return Fail(error, BroadcastFault::NoTeletext,
                        "Für das DVB-Gerät " + Quoted(source) + " fehlt die PID des Videotexts (--pid).");
        }
        return true;
    }
    if (!fs::is_regular_file(status)) {
        return Fail(error, BroadcastFault::Unreadable,
                    "Die Quelle " + Quoted(source) + " ist weder eine Datei noch ein Ordner.");
    }
    return LoadFile(path, input, error);
}

std::unique_ptr<PacketSource> MakeBroadcast(const BroadcastInput& input, BroadcastClock& clock,
                                            BroadcastError& error)
{
    error = BroadcastError{};
    if (input.kind == BroadcastKind::TransportStream || input.kind == BroadcastKind::LiveStream) {
        return MakeTransportStream(input, &clock, error);
    }
    if (input.kind == BroadcastKind::Recording) {
        auto recording = std::make_unique<T42Recording>();
        std::string message = recording->Open(input.path);
        if (!message.empty()) {
            error.fault = BroadcastFault::Unreadable;
            error.message = std::move(message);
            return nullptr;
        }
        return recording;
    }
    return std::make_unique<TtiCarousel>(input.pages, clock, ServiceHeaderText());
}

std::unique_ptr<PacketSource> OpenBroadcast(std::string_view source, BroadcastClock& clock,
                                            std::string& error, int pid)
{
    BroadcastInput input;
    BroadcastError fault;
    std::unique_ptr<PacketSource> out;
    if (LoadBroadcastInput(source, input, fault, pid)) {
        out = MakeBroadcast(input, clock, fault);
    }
    error = fault.message;
    return out;
}

std::unique_ptr<PacketSource> OpenBroadcast(std::string_view source, std::string& error, int pid)
{
    BroadcastInput input;
    BroadcastError fault;
    std::unique_ptr<PacketSource> out;
    if (LoadBroadcastInput(source, input, fault, pid)) {
        if (input.kind == BroadcastKind::TransportStream || input.kind == BroadcastKind::LiveStream) {
            out = MakeTransportStream(input, nullptr, fault);
        } else if (input.kind == BroadcastKind::Recording) {
            SystemBroadcastClock unused;
            out = MakeBroadcast(input, unused, fault);
        } else {
            out = std::make_unique<OwnClockCarousel>(std::move(input.pages));
        }
    }
    error = fault.message;
    return out;
}

} // namespace quav
