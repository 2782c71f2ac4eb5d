#include "cap/CaptureCommand.h"

#include "broadcast/PageCache.h"
#include "broadcast/TsDemux.h"
#include "broadcast/TsSource.h"
#include "bus/I2cMaster.h"
#include "bus/LineAdapters.h"
#include "decoder/Decoder.h"
#include "export/RowToText.h"
#include "export/SafeWrite.h"
#include "render/Renderer.h"
#include "sim/SimulatedBoard.h"
#include "station/Station.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <thread>

#include <QByteArray>

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

/// Draws and encodes pictures of pages on all cores, while the caller takes them in page
/// order and writes them, so files come out in the same order and with the same contents
/// however the threads run. The workers stay a bounded number of pages ahead of the
/// writer. The destructor stops the workers and joins them.
class PictureEncoder
{
public:
    PictureEncoder(const std::vector<CapturedPage>& pages, CaptureFormat format, bool reveal, int scale)
        : m_pages(pages), m_format(format), m_reveal(reveal), m_scale(scale), m_done(pages.size()),
          m_bytes(pages.size())
    {
        const unsigned threads = std::max(1U, std::thread::hardware_concurrency());
        for (unsigned t = 0; t < std::min<std::size_t>(threads, pages.size()); ++t) {
            m_workers.emplace_back([this] { Work(); });
        }
    }

    PictureEncoder(const PictureEncoder&) = delete;
    PictureEncoder& operator=(const PictureEncoder&) = delete;

    ~PictureEncoder()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        for (std::thread& t : m_workers) {
            t.join();
        }
    }

    /// The file of page `index`, taken in increasing order; waits until it is encoded.
    /// False when encoding it failed.
    bool Take(std::size_t index, QByteArray& bytes)
    {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [&] { return m_done[index] != 0; });
        bytes = std::move(m_bytes[index]);
        m_bytes[index] = QByteArray();
        m_taken = index + 1;
        const bool encoded = m_done[index] == Encoded;
        lock.unlock();
        m_wake.notify_all();
        return encoded;
    }

private:
    static constexpr std::uint8_t Encoded = 1;
    static constexpr std::uint8_t Failed = 2;
    static constexpr std::size_t Ahead = 64; ///< pages encoded before the writer takes them

    void Work()
    {
        Renderer renderer;
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stop || m_next >= m_pages.size() || m_next < m_taken + Ahead; });
            if (m_stop || m_next >= m_pages.size()) {
                return;
            }
            const std::size_t index = m_next++;
            lock.unlock();
            QByteArray bytes;
            const bool ok = EncodePageImage(m_pages[index], m_format, m_reveal, m_scale, renderer, bytes);
            lock.lock();
            m_bytes[index] = std::move(bytes);
            m_done[index] = ok ? Encoded : Failed;
            m_wake.notify_all();
        }
    }

    const std::vector<CapturedPage>& m_pages;
    const CaptureFormat m_format;
    const bool m_reveal;
    const int m_scale;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<std::uint8_t> m_done; ///< 0 while the page is waiting, then Encoded or Failed
    std::vector<QByteArray> m_bytes;
    std::size_t m_next = 0;  ///< the next page for a worker
    std::size_t m_taken = 0; ///< pages the writer has taken
    bool m_stop = false;
    std::vector<std::thread> m_workers;
};

bool IsTransportStream(const BroadcastInput& input)
{
    return input.kind == BroadcastKind::TransportStream || input.kind == BroadcastKind::LiveStream;
}

/// The pages of a cache as the decoder's page buffer would hold them.
std::vector<CapturedPage> CapturedFrom(const PageCache& cache)
{
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
    return pages;
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

void CaptureCommand::SetProgress(bool on, ProgressClock clock)
{
    m_progress = on;
    m_clock = clock ? std::move(clock) : ProgressClock(WallMilliseconds);
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
    if (m_progress) {
        m_started = m_clock();
        m_lastProgress = m_started;
    }
    return options.station.hardware ? RunHardware(options) : RunSimulated(options);
}

void CaptureCommand::Progress(std::size_t found, std::size_t done)
{
    if (!m_progress) {
        return;
    }
    // Short runs stay quiet, and a long one redraws the line five times a second at most.
    const std::int64_t now = m_clock();
    if (now - m_started < 1000 || (m_progressShown && now - m_lastProgress < 200)) {
        return;
    }
    m_lastProgress = now;
    m_err << "\rSeiten gefunden: " << found << ", fertig: " << done << "\x1b[K" << std::flush;
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
    if (!LoadBroadcastInput(options.station.source, input, error, options.station.pid)) {
        m_err << "quav-videotext-cap: " << error.message << '\n';
        return ExitCodeFor(error.fault);
    }
    ReportSourceProblems(input);
    input.report = [this](const std::string& message) { m_err << "quav-videotext-cap: " << message << '\n'; };
    if (options.singlePage) {
        return AcquireOnBoard(options, input);
    }
    if (IsTransportStream(input)) {
        return CollectFromTransportStream(options, input);
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
    // A transport-stream recording gets at least one whole pass at its own pace; a live
    // stream arrives in real time, so the board's time goes with the wall clock.
    const auto* tsRecording = dynamic_cast<const TsRecording*>(station->Board()->Source());
    const bool live = input.kind == BroadcastKind::LiveStream;
    return AcquireThroughDecoder(options, station->Ports(), settings, [&](double& waited) {
        if (live) {
            std::this_thread::sleep_for(PollStep);
        }
        boardClock.Advance(PollStep);
        waited += std::chrono::duration<double>(PollStep).count();
        if (tsRecording != nullptr && tsRecording->Laps() == 0) {
            return true; // the first pass is not over
        }
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
        Progress(captured.size(), done);
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
    PageCache cache(options.pages);
    std::vector<std::uint8_t> buffer(1 << 20);
    std::size_t kept = 0; // bytes of a packet split between two reads
    while (in) {
        in.read(reinterpret_cast<char*>(buffer.data() + kept),
                static_cast<std::streamsize>(buffer.size() - kept));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) {
            break;
        }
        const std::size_t available = kept + got;
        const std::size_t rest = cache.Ingest(std::span<const std::uint8_t>(buffer.data(), available));
        std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(available - rest),
                  buffer.begin() + static_cast<std::ptrdiff_t>(available), buffer.begin());
        kept = rest;
        Progress(cache.PageCount(), 0);
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

    const std::vector<CapturedPage> pages = CapturedFrom(cache);
    if (options.all && pages.empty()) {
        m_err << "quav-videotext-cap: Die Aufzeichnung \"" << input.path << "\" enthält keine ganze Seite.\n";
        return cap_exit::NoTeletext;
    }
    const int written = WriteAll(options, pages);
    return written != cap_exit::Ok ? written : ReportMissing(options, pages);
}

int CaptureCommand::CollectFromTransportStream(const CaptureOptions& options, const BroadcastInput& input)
{
    PageCache cache(options.pages);
    TsDemux demux([&cache](const Packet& packet, std::int64_t) { cache.Feed(packet); }, input.pid);
    demux.SetFaultHandler(
        [&](TsFault fault, int pid) { m_err << "quav-videotext-cap: " << TsFaultText(fault, pid) << '\n'; });
    if (input.kind == BroadcastKind::LiveStream && input.path != StandardInputName) {
        // A DVB device never ends: it is read for the time the options give.
        TsLiveStream live(input.report);
        const std::string message = live.Open(input.path, input.pid);
        if (!message.empty()) {
            m_err << "quav-videotext-cap: " << message << '\n';
            return cap_exit::SourceUnreadable;
        }
        const auto end = std::chrono::steady_clock::now() +
                         std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                             std::chrono::duration<double>(options.timeoutSeconds));
        Packet packet;
        while (std::chrono::steady_clock::now() < end) {
            while (live.NextPacket(packet)) {
                cache.Feed(packet);
            }
            std::this_thread::sleep_for(20ms);
        }
    } else {
        const bool standardInput = input.path == StandardInputName;
        std::ifstream file;
        if (!standardInput) {
            file.open(input.path, std::ios::binary);
        }
        std::istream& in = standardInput ? std::cin : file;
        if (!in) {
            m_err << "quav-videotext-cap: Die Aufzeichnung \"" << input.path
                  << "\" kann nicht gelesen werden.\n";
            return cap_exit::SourceUnreadable;
        }
        std::vector<std::uint8_t> buffer(1 << 20);
        while (in) {
            in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
            const auto got = static_cast<std::size_t>(in.gcount());
            if (got == 0) {
                break;
            }
            demux.Feed(std::span<const std::uint8_t>(buffer.data(), got));
            Progress(cache.PageCount(), 0);
        }
        if (in.bad()) {
            EndProgress();
            m_err << "quav-videotext-cap: Die Aufzeichnung \"" << input.path
                  << "\" kann nicht gelesen werden.\n";
            return cap_exit::SourceUnreadable;
        }
    }
    demux.Finish();
    cache.Finish();
    EndProgress();
    const std::vector<CapturedPage> pages = CapturedFrom(cache);
    if (options.all && pages.empty()) {
        m_err << "quav-videotext-cap: Der Transportstrom \"" << input.path
              << "\" enthält keine ganze Seite.\n";
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
        return WriteToStdout(bytes);
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

int CaptureCommand::WriteToStdout(const std::string& bytes)
{
    m_out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    m_out.flush();
    if (!m_out) {
        m_err << "quav-videotext-cap: Die Standardausgabe kann nicht geschrieben werden.\n";
        return cap_exit::OutputFailed;
    }
    return cap_exit::Ok;
}

namespace {

/// An existing FIFO or device (also behind a symlink, such as /dev/stdout): several pages go
/// there as one stream, as they go to "-".
bool IsStreamOutput(const std::string& path)
{
    struct stat st
    {
    };
    return path == "-" || (::stat(path.c_str(), &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)));
}

} // namespace

int CaptureCommand::WriteAllToStream(const CaptureOptions& options, const std::vector<CapturedPage>& pages)
{
    if (options.format == CaptureFormat::Bmp || options.format == CaptureFormat::Png) {
        m_err << "quav-videotext-cap: Mehrere Bilder können nicht in einen Datenstrom geschrieben "
                 "werden; --output braucht hier einen Ordner.\n";
        return cap_exit::OutputFailed;
    }
    // The pages one after another, a form feed between two, as text converters separate pages.
    std::string all;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        std::string bytes;
        PageBytes(options, pages[i], bytes);
        if (i > 0) {
            all += '\f';
        }
        all += bytes;
    }
    if (options.output == "-") {
        return WriteToStdout(all);
    }
    std::string error;
    if (!WriteOutputFile(options.output, all, error)) {
        m_err << "quav-videotext-cap: " << error << '\n';
        return cap_exit::OutputFailed;
    }
    return cap_exit::Ok;
}

int CaptureCommand::WriteAll(const CaptureOptions& options, const std::vector<CapturedPage>& pages)
{
    if (!options.output.empty() && IsStreamOutput(options.output)) {
        return WriteAllToStream(options, pages);
    }
    const fs::path folder = options.output.empty() ? fs::path(".") : fs::path(options.output);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder)) {
        m_err << "quav-videotext-cap: Der Ordner \"" << folder.string() << "\" kann nicht angelegt werden.\n";
        return cap_exit::OutputFailed;
    }
    // Subpages that share a subcode (TTI pages often leave every SC at 0000) each get a file.
    std::map<std::uint32_t, int> copies; // by page number and subcode
    std::vector<std::string> names;
    names.reserve(pages.size());
    for (const CapturedPage& page : pages) {
        const int copy = copies[std::uint32_t(page.number) << 16 | page.subcode]++;
        names.push_back(CaptureFileName(page, options.format, copy));
    }
    if (options.format == CaptureFormat::Bmp || options.format == CaptureFormat::Png) {
        const int written = WritePictures(options, pages, names, folder.string());
        if (written != cap_exit::Ok) {
            return written;
        }
    } else {
        for (std::size_t i = 0; i < pages.size(); ++i) {
            Progress(pages.size(), i);
            std::string bytes;
            std::string error;
            if (!PageBytes(options, pages[i], bytes)) {
                EndProgress();
                return cap_exit::OutputFailed;
            }
            if (!WriteIntoFolder(folder.string(), names[i], bytes, error)) {
                EndProgress();
                m_err << "quav-videotext-cap: " << error << '\n';
                return cap_exit::OutputFailed;
            }
        }
        EndProgress();
    }
    m_err << pages.size() << (pages.size() == 1 ? " Seite" : " Seiten") << " gespeichert in "
          << folder.string() << '\n';
    return cap_exit::Ok;
}

int CaptureCommand::WritePictures(const CaptureOptions& options, const std::vector<CapturedPage>& pages,
                                  const std::vector<std::string>& names, const std::string& folder)
{
    PictureEncoder encoder(pages, options.format, options.reveal, options.scale);
    QByteArray bytes;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        Progress(pages.size(), i);
        std::string error;
        if (!encoder.Take(i, bytes)) {
            EndProgress();
            m_err << "quav-videotext-cap: Das Bild der Seite " << PageName(pages[i].number)
                  << " kann nicht erzeugt werden.\n";
            return cap_exit::OutputFailed;
        }
        if (!WriteIntoFolder(folder, names[i],
                             std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                             error)) {
            EndProgress();
            m_err << "quav-videotext-cap: " << error << '\n';
            return cap_exit::OutputFailed;
        }
    }
    EndProgress();
    return cap_exit::Ok;
}

} // namespace quav
