#include "cap/CaptureCommand.h"

#include "broadcast/PageCache.h"
#include "bus/I2cMaster.h"
#include "bus/LineAdapters.h"
#include "decoder/Decoder.h"
#include "export/RowToText.h"
#include "export/SafeWrite.h"
#include "sim/SimulatedBoard.h"
#include "station/Station.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace quav {

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

/// The board's time, moved on by the command itself.
class FastForwardClock final : public BoardClock
{
public:
    std::chrono::nanoseconds Now() override { return m_now; }
    void Advance(std::chrono::nanoseconds step) { m_now += step; }

private:
    std::chrono::nanoseconds m_now{0};
};

constexpr auto PollStep = 100ms; // the viewer's shortest polling interval

std::int64_t WallMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int ExitCodeFor(BroadcastFault fault)
{
    switch (fault) {
    case BroadcastFault::None:
        return cap_exit::Ok;
    case BroadcastFault::Missing:
    case BroadcastFault::Unreadable:
        return cap_exit::SourceUnreadable;
    case BroadcastFault::NoTeletext:
        return cap_exit::NoTeletext;
    }
    return cap_exit::SourceUnreadable;
}

std::uint16_t RawSubcode(const std::array<std::uint8_t, Decoder::StatusSize>& status)
{
    return static_cast<std::uint16_t>((status[5] & 3) << 12 | (status[4] & 15) << 8 | (status[3] & 7) << 4 |
                                      (status[2] & 15));
}

std::string PageName(std::uint16_t number)
{
    return TtiPageNumberText(number);
}

} // namespace

std::string CaptureFileName(const CapturedPage& page, CaptureFormat format, int copy)
{
    char name[48];
    if (copy > 0) {
        std::snprintf(name, sizeof name, "P%03X-%04X-%d.%s", unsigned(page.number), unsigned(page.subcode),
                      copy + 1, FormatExtension(format));
    } else {
        std::snprintf(name, sizeof name, "P%03X-%04X.%s", unsigned(page.number), unsigned(page.subcode),
                      FormatExtension(format));
    }
    return name;
}

void CaptureCommand::SetHardwareAccess(SettingsLoader loader, PortOpener opener)
{
    m_loadSettings = std::move(loader);
    m_openPorts = std::move(opener);
}

int CaptureCommand::Run(const std::vector<std::string>& args)
{
    CaptureOptions options;
    std::string error;
    if (!ParseCaptureOptions(args, options, error)) {
        m_err << "quav-videotext-cap: " << error << '\n';
        return cap_exit::BadArguments;
    }
    if (options.help) {
        m_out << CaptureUsage();
        return cap_exit::Ok;
    }
    return Run(options);
}

int CaptureCommand::Run(const CaptureOptions& options)
{
    return options.station.hardware ? RunHardware(options) : RunSimulated(options);
}

void CaptureCommand::Progress(const std::string& text, bool force)
{
    if (!m_progress) {
        return;
    }
    const std::int64_t now = WallMilliseconds();
    if (!force && now - m_lastProgress < 200) {
        return;
    }
    m_lastProgress = now;
    m_err << '\r' << text << "\x1b[K" << std::flush;
    m_progressShown = true;
}

void CaptureCommand::EndProgress()
{
    if (m_progressShown) {
        m_err << "\r\x1b[K" << std::flush;
        m_progressShown = false;
    }
}

int CaptureCommand::RunSimulated(const CaptureOptions& options)
{
    BroadcastInput input;
    BroadcastError error;
    if (!LoadBroadcastInput(options.station.source, input, error)) {
        m_err << "quav-videotext-cap: " << error.message << '\n';
        return ExitCodeFor(error.fault);
    }
    ReportSourceProblems(input);
    if (options.singlePage) {
        return AcquireOnBoard(options, input);
    }
    if (input.kind == BroadcastKind::Recording) {
        return CollectFromRecording(options, input);
    }
    return CollectFromPages(options, input);
}

void CaptureCommand::ReportSourceProblems(const BroadcastInput& input)
{
    for (const std::string& line : TtiMessageLines(input.warnings)) {
        m_err << "quav-videotext-cap: " << line << '\n';
    }
}

int CaptureCommand::AcquireOnBoard(const CaptureOptions& options, const BroadcastInput& input)
{
    FastForwardClock boardClock;
    Settings settings;     // the serial module on COM1, where the board sits
    settings.I2cDelay = 0; // the simulated bus needs no delays
    StationParts parts;
    parts.clock = &boardClock;
    parts.input = &input;
    QString message;
    const std::unique_ptr<Station> station = Station::Create(options.station, settings, parts, &message);
    if (!station) {
        m_err << "quav-videotext-cap: " << message.toStdString() << '\n';
        return cap_exit::SourceUnreadable;
    }

    // A recording is given at least one whole pass, however short the timeout.
    double limit = options.timeoutSeconds;
    if (input.kind == BroadcastKind::Recording) {
        std::error_code ec;
        const auto bytes = fs::file_size(input.path, ec);
        if (!ec) {
            const double packetsPerSecond =
                double(SimulatedBoard::DefaultPacketsPerField) * SimulatedBoard::DefaultFieldsPerSecond;
            limit = std::max(limit, double(bytes / PacketSize) / packetsPerSecond + 2.0);
        }
    }
    return AcquireThroughDecoder(options, station->Ports(), settings, [&](double& waited) {
        boardClock.Advance(PollStep);
        waited += std::chrono::duration<double>(PollStep).count();
        return waited < limit;
    });
}

int CaptureCommand::RunHardware(const CaptureOptions& options)
{
    Settings settings;
    std::string error;
    if (!m_loadSettings || !m_openPorts) {
        m_err << "quav-videotext-cap: Der Zugriff auf die Hardware ist in diesem Programm nicht eingebaut.\n";
        return cap_exit::NoHardware;
    }
    if (!m_loadSettings(settings, error)) {
        m_err << "quav-videotext-cap: " << error << '\n';
        return cap_exit::NoHardware;
    }
    std::unique_ptr<PortIo> ports = m_openPorts(settings, error);
    if (!ports) {
        m_err << "quav-videotext-cap: " << error << '\n';
        return cap_exit::NoHardware;
    }
    const auto interval = PollingInterval(settings);
    return AcquireThroughDecoder(options, *ports, settings, [&](double& waited) {
        std::this_thread::sleep_for(interval);
        waited += std::chrono::duration<double>(interval).count();
        return waited < options.timeoutSeconds;
    });
}

int CaptureCommand::AcquireThroughDecoder(const CaptureOptions& options, PortIo& ports,
                                          const Settings& settings, const std::function<bool(double&)>& wait)
{
    LineAdapters lines(ports, settings);
    I2cMaster master(lines);
    Decoder decoder(master);

    const std::vector<std::uint16_t> numbers = options.pages.Numbers();
    std::vector<CapturedPage> captured;
    std::size_t done = 0;
    for (const std::uint16_t number : numbers) {
        const std::string name = PageName(number);
        if (numbers.size() > 1) {
            Progress("Seite " + name + " (" + std::to_string(done + 1) + " von " +
                     std::to_string(numbers.size()) + ")");
        }
        ++done;
        double waited = 0;
        const AcquiredPage result = AcquirePage(decoder, name, [&] { return wait(waited); });
        if (result.outcome == AcquisitionOutcome::NoHardware) {
            EndProgress();
            m_err << "quav-videotext-cap: " << AcquisitionFailureText(result, name) << '\n';
            return cap_exit::NoHardware;
        }
        if (result.outcome != AcquisitionOutcome::Received) {
            if (options.singlePage) {
                EndProgress();
                m_err << "quav-videotext-cap: " << AcquisitionFailureText(result, name) << '\n';
                return cap_exit::PageMissing;
            }
            continue;
        }
        CapturedPage page;
        page.number = number;
        page.subcode = RawSubcode(decoder.StatusRow());
        page.headerRow = result.headerRow;
        page.pageRows = result.pageRows;
        page.nationalOption = decoder.PageNationalOption();
        captured.push_back(page);
    }
    EndProgress();
    if (options.singlePage) {
        return WriteSingle(options, captured.front());
    }
    const int written = WriteAll(options, captured);
    return written != cap_exit::Ok ? written : ReportMissing(options, captured);
}

int CaptureCommand::CollectFromRecording(const CaptureOptions& options, const BroadcastInput& input)
{
    std::ifstream in(input.path, std::ios::binary);
    if (!in) {
        m_err << "quav-videotext-cap: Die Aufzeichnung \"" << input.path << "\" kann nicht gelesen werden.\n";
        return cap_exit::SourceUnreadable;
    }
    std::error_code ec;
    const std::uintmax_t total = fs::file_size(input.path, ec);
    PageCache cache(options.pages);
    std::vector<std::uint8_t> buffer(1 << 20);
    std::size_t kept = 0; // bytes of a packet split between two reads
    std::uintmax_t read = 0;
    while (in) {
        in.read(reinterpret_cast<char*>(buffer.data() + kept),
                static_cast<std::streamsize>(buffer.size() - kept));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) {
            break;
        }
        read += got;
        const std::size_t available = kept + got;
        const std::size_t rest = cache.Ingest(std::span<const std::uint8_t>(buffer.data(), available));
        std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(available - rest),
                  buffer.begin() + static_cast<std::ptrdiff_t>(available), buffer.begin());
        kept = rest;
        if (!ec && total > 0) {
            Progress("Aufzeichnung: " + std::to_string(read * 100 / total) + " %, " +
                     std::to_string(cache.PageCount()) + " Seiten");
        }
    }
    if (in.bad()) {
        EndProgress();
        m_err << "quav-videotext-cap: Die Aufzeichnung \"" << input.path << "\" kann nicht gelesen werden.\n";
        return cap_exit::SourceUnreadable;
    }
    cache.Finish();
    EndProgress();
    if (cache.SkippedSubpages() > 0) {
        m_err << "quav-videotext-cap: " << cache.SkippedSubpages() << " Unterseiten übersprungen: mehr als "
              << MaxSubpagesPerPage << " Unterseiten einer Seite werden nicht gespeichert.\n";
    }

    std::vector<CapturedPage> pages;
    for (const CachedPage* cached : cache.Pages()) {
        CapturedPage page;
        page.number = cached->number;
        page.subcode = cached->subcode;
        page.pageRows = cached->PageBytes();
        page.nationalOption = cached->page.header.NationalOption();
        std::copy_n(page.pageRows.begin(), page.headerRow.size(), page.headerRow.begin());
        std::fill_n(page.pageRows.begin(), 7, std::uint8_t{0x20}); // as the decoder's page buffer
        std::fill_n(page.headerRow.begin(), 7, std::uint8_t{0x20});
        pages.push_back(page);
    }
    if (options.all && pages.empty()) {
        m_err << "quav-videotext-cap: Die Aufzeichnung \"" << input.path << "\" enthält keine ganze Seite.\n";
        return cap_exit::NoTeletext;
    }
    const int written = WriteAll(options, pages);
    return written != cap_exit::Ok ? written : ReportMissing(options, pages);
}

int CaptureCommand::CollectFromPages(const CaptureOptions& options, const BroadcastInput& input)
{
    const auto header = ServiceHeaderText();
    const auto now = std::chrono::system_clock::now();
    std::vector<CapturedPage> pages;
    for (const TtiPage& tti : input.pages) {
        if (!options.pages.Contains(tti.number)) {
            continue;
        }
        const std::string text = header(tti.number, now);
        for (const TtiSubpage& sub : tti.subpages) {
            CapturedPage page;
            page.number = tti.number;
            page.subcode = sub.subcode;
            page.nationalOption = static_cast<std::uint8_t>(sub.NationalOption());
            page.headerRow.fill(0x20);
            for (std::size_t c = 0; c < text.size() && c + HeaderTextColumn < page.headerRow.size(); ++c) {
                page.headerRow[c + HeaderTextColumn] = static_cast<std::uint8_t>(text[c] & 0x7F);
            }
            std::copy(page.headerRow.begin(), page.headerRow.end(), page.pageRows.begin());
            for (std::size_t r = 1; r < 24; ++r) {
                std::copy(sub.rows[r].begin(), sub.rows[r].end(),
                          page.pageRows.begin() + std::ptrdiff_t(r * 40));
            }
            pages.push_back(page);
        }
    }
    const int written = WriteAll(options, pages);
    return written != cap_exit::Ok ? written : ReportMissing(options, pages);
}

int CaptureCommand::ReportMissing(const CaptureOptions& options, const std::vector<CapturedPage>& pages)
{
    PageNumberSet found;
    for (const CapturedPage& p : pages) {
        found.Add(p.number);
    }
    if (options.all) {
        return cap_exit::Ok;
    }
    std::string missing;
    for (const std::uint16_t number : options.pages.Numbers()) {
        if (!found.Contains(number) && options.everyPageRequired) {
            missing += (missing.empty() ? "" : ", ") + PageName(number);
        }
    }
    if (!missing.empty()) {
        m_err << "quav-videotext-cap: Nicht empfangen: " << missing << '\n';
        return cap_exit::PageMissing;
    }
    if (pages.empty()) {
        m_err << "quav-videotext-cap: Keine der verlangten Seiten wurde empfangen.\n";
        return cap_exit::PageMissing;
    }
    return cap_exit::Ok;
}

bool CaptureCommand::PageBytes(const CaptureOptions& options, const CapturedPage& page, std::string& bytes)
{
    if (options.format == CaptureFormat::Bmp || options.format == CaptureFormat::Png) {
        if (!EncodePageImage(page, options.format, options.reveal, options.scale, bytes)) {
            m_err << "quav-videotext-cap: Das Bild der Seite " << PageName(page.number)
                  << " kann nicht erzeugt werden.\n";
            return false;
        }
        return true;
    }
    bytes = options.format == CaptureFormat::Txt ? PageText(page.pageRows, page.nationalOption)
                                                 : PageTextUtf8(page.pageRows, page.nationalOption, "\n");
    return true;
}

int CaptureCommand::WriteSingle(const CaptureOptions& options, const CapturedPage& page)
{
    const bool text = options.format == CaptureFormat::Txt || options.format == CaptureFormat::Utf8;
    std::string bytes;
    if (!PageBytes(options, page, bytes)) {
        return cap_exit::OutputFailed;
    }
    if (options.output == "-" || (options.output.empty() && text)) {
        m_out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        m_out.flush();
        if (!m_out) {
            m_err << "quav-videotext-cap: Die Standardausgabe kann nicht geschrieben werden.\n";
            return cap_exit::OutputFailed;
        }
        return cap_exit::Ok;
    }
    std::string error;
    const bool written = options.output.empty()
                             ? WriteIntoFolder(".", CaptureFileName(page, options.format), bytes, error)
                             : WriteOutputFile(options.output, bytes, error);
    if (!written) {
        m_err << "quav-videotext-cap: " << error << '\n';
        return cap_exit::OutputFailed;
    }
    if (options.output.empty()) {
        m_err << "Gespeichert: " << CaptureFileName(page, options.format) << '\n';
    }
    return cap_exit::Ok;
}

int CaptureCommand::WriteAll(const CaptureOptions& options, const std::vector<CapturedPage>& pages)
{
    const fs::path folder = options.output.empty() ? fs::path(".") : fs::path(options.output);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder)) {
        m_err << "quav-videotext-cap: Der Ordner \"" << folder.string() << "\" kann nicht angelegt werden.\n";
        return cap_exit::OutputFailed;
    }
    // Subpages that share a subcode (TTI pages often leave every SC at 0000) each get a file.
    std::map<std::uint32_t, int> copies; // by page number and subcode
    std::size_t written = 0;
    for (const CapturedPage& page : pages) {
        Progress("Schreibe " + std::to_string(written + 1) + " von " + std::to_string(pages.size()));
        const int copy = copies[std::uint32_t(page.number) << 16 | page.subcode]++;
        std::string bytes;
        std::string error;
        if (!PageBytes(options, page, bytes)) {
            EndProgress();
            return cap_exit::OutputFailed;
        }
        if (!WriteIntoFolder(folder.string(), CaptureFileName(page, options.format, copy), bytes, error)) {
            EndProgress();
            m_err << "quav-videotext-cap: " << error << '\n';
            return cap_exit::OutputFailed;
        }
        ++written;
    }
    EndProgress();
    m_err << written << (written == 1 ? " Seite" : " Seiten") << " gespeichert in " << folder.string()
          << '\n';
    return cap_exit::Ok;
}

} // namespace quav
