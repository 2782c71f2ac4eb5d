#include "broadcast/TsSource.h"

#include "broadcast/T42Recording.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <linux/dvb/dmx.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quav {

namespace {

constexpr std::size_t ChunkBytes = 64 * 1024;
using PtsTicks = std::chrono::duration<std::int64_t, std::ratio<1, TsClockRate>>;

void Tell(const TsReport& report, const std::string& message)
{
    if (report) {
        report(message);
    } else {
        std::cerr << message << '\n';
    }
}

TsDemux::FaultHandler Reporter(const TsReport& report)
{
    return [report](TsFault fault, int pid) { Tell(report, TsFaultText(fault, pid)); };
}

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

} // namespace

std::optional<int> ParseTsPid(std::string_view text)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * base + digit;
    }
    if (value < 0x10 || value > 0x1FFE) {
        return std::nullopt;
    }
    return value;
}

TsScan ScanTransportStream(const std::string& path, int pid, std::uint64_t limitBytes)
{
    TsScan scan;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return scan;
    }
    TsDemux demux([](const Packet&, std::int64_t) {}, -1);
    std::vector<std::uint8_t> chunk(ChunkBytes);
    std::uint64_t total = 0;
    while (!demux.PsiComplete() && total < limitBytes) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        total += static_cast<std::uint64_t>(got);
        demux.Feed(std::span<const std::uint8_t>(chunk.data(), static_cast<std::size_t>(got)));
    }
    ::close(fd);
    if (!demux.PsiComplete()) {
        demux.Finish(); // a short stream: its last packets too
    }
    demux.ChooseNow(); // PMTs that have not come by now are not waited for
    scan.sawPat = demux.SawPat();
    scan.pid = pid >= 0 ? pid : demux.Pid();
    return scan;
}

TsRecording::TsRecording(BroadcastClock* clock, TsReport report)
    : m_clock(clock != nullptr ? *clock : m_systemClock), m_report(std::move(report))
{
}

TsRecording::~TsRecording()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::string TsRecording::Open(const std::string& path, int pid)
{
    m_path = path;
    const std::string quoted = "Die Aufzeichnung " + Quoted(path);
    if (pid < 0) {
        const TsScan scan = ScanTransportStream(path, -1);
        if (scan.pid < 0) {
            return quoted + " nennt in PAT und PMT keinen Videotext-Dienst.";
        }
        pid = scan.pid;
    }
    std::uint64_t size = 0;
    std::string error;
    const int fd = OpenRecordingFile(path, quoted, size, error);
    if (fd < 0) {
        return error;
    }
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = fd;
    m_fileChunks = size / ChunkBytes + 1;
    m_chunk.resize(ChunkBytes);
    m_queue.clear();
    m_laps = 0;
    m_barren = false;
    m_anchored = false;
    m_demux = std::make_unique<TsDemux>(
        [this](const Packet& packet, std::int64_t pts) {
            m_queue.push_back({packet, pts});
            m_readsSincePacket = 0;
        },
        pid);
    m_demux->SetFaultHandler(Reporter(m_report));
    return {};
}

bool TsRecording::ReadMore()
{
    const ssize_t got = ::read(m_fd, m_chunk.data(), m_chunk.size());
    if (got > 0) {
        m_demux->Feed(std::span<const std::uint8_t>(m_chunk.data(), static_cast<std::size_t>(got)));
        return true;
    }
    if (got < 0 && errno == EINTR) {
        return true;
    }
    // The end of the file: what the demultiplexer still holds comes out, then the next lap.
    m_demux->Finish();
    ++m_laps;
    return got == 0 && ::lseek(m_fd, 0, SEEK_SET) == 0;
}

bool TsRecording::NextPacket(Packet& packet)
{
    if (m_fd < 0 || m_barren) {
        return false;
    }
    while (m_queue.empty()) {
        if (!ReadMore()) {
            return false;
        }
        // A whole lap and more without a packet: there is none to come.
        if (m_queue.empty() && ++m_readsSincePacket > m_fileChunks + 2) {
            m_barren = true;
            Tell(m_report, "Auf PID " + std::to_string(m_demux->Pid()) + " der Aufzeichnung " +
                               Quoted(m_path) + " kommt kein Videotext.");
            return false;
        }
    }
    if (!Due(m_queue.front().pts)) {
        return false;
    }
    packet = m_queue.front().packet;
    m_queue.pop_front();
    return true;
}

bool TsRecording::Due(std::int64_t pts)
{
    const auto now = m_clock.Now();
    const auto timeOf = [this](std::int64_t at) {
        return m_anchorTime +
               std::chrono::duration_cast<std::chrono::system_clock::duration>(PtsTicks(at - m_anchorPts));
    };
    if (!m_anchored) {
        m_anchored = true;
        m_anchorTime = now;
        m_anchorPts = pts;
    } else if (pts != m_lastPts) {
        const PtsTicks step(pts - m_lastPts);
        if (step.count() < 0 || step > MaxGap) {
            // A jump: this packet follows the last one a frame later.
            m_anchorTime = timeOf(m_lastPts) + std::chrono::milliseconds(40);
            m_anchorPts = pts;
        }
    }
    m_lastPts = pts;
    const auto due = timeOf(pts);
    if (now < due) {
        return false;
    }
    if (now - due > MaxGap) {
        m_anchorTime = now; // far behind: go on from here instead of racing to catch up
        m_anchorPts = pts;
    }
    return true;
}

TsLiveStream::TsLiveStream(TsReport report) : m_report(std::move(report)) {}

TsLiveStream::~TsLiveStream()
{
    if (m_ownsFd && m_fd >= 0) {
        ::close(m_fd);
    }
}

void TsLiveStream::Adopt(int fd, int pid)
{
    m_fd = fd;
    m_ownsFd = true;
    m_path = "fd " + std::to_string(fd);
    m_demux = std::make_unique<TsDemux>(
        [this](const Packet& packet, std::int64_t) { m_queue.push_back(packet); }, pid);
    m_demux->SetFaultHandler(Reporter(m_report));
    m_chunk.resize(ChunkBytes);
    m_lastData = std::chrono::steady_clock::now();
}

std::string TsLiveStream::Open(const std::string& path, int pid)
{
    if (path == "-") {
        Adopt(STDIN_FILENO, pid);
        m_ownsFd = false;
        m_path = path;
        return {};
    }
    const std::string quoted = "Das DVB-Gerät " + Quoted(path);
    if (pid < 0) {
        return "Für das DVB-Gerät " + Quoted(path) + " fehlt die Videotext-PID (Option --pid).";
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return quoted + " kann nicht geöffnet werden: " + std::strerror(errno) + ".";
    }
    // A larger buffer in the driver rides out a window that is busy for a moment.
    ::ioctl(fd, DMX_SET_BUFFER_SIZE, 1024UL * 1024UL);
    dmx_pes_filter_params filter{};
    filter.pid = static_cast<__u16>(pid);
    filter.input = DMX_IN_FRONTEND;
    filter.output = DMX_OUT_TSDEMUX_TAP; // transport packets, read from this device
    filter.pes_type = DMX_PES_OTHER;
    filter.flags = DMX_IMMEDIATE_START;
    if (::ioctl(fd, DMX_SET_PES_FILTER, &filter) != 0) {
        const std::string why = std::strerror(errno);
        ::close(fd);
        return quoted + " nimmt keinen Filter auf PID " + std::to_string(pid) + " an: " + why + ".";
    }
    Adopt(fd, pid);
    m_path = path;
    return {};
}

void TsLiveStream::ReadAvailable()
{
    const auto now = std::chrono::steady_clock::now();
    // A few reads at most: what comes faster than that waits for the next call.
    for (int i = 0; i < 8 && !m_ended; ++i) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0 || p.revents == 0) {
            break;
        }
        const ssize_t got = ::read(m_fd, m_chunk.data(), m_chunk.size());
        const int error = errno;
        if (got > 0) {
            m_demux->Feed(std::span<const std::uint8_t>(m_chunk.data(), static_cast<std::size_t>(got)));
            m_lastData = now;
            m_quietReported = false;
            continue;
        }
        if (got < 0 && (error == EAGAIN || error == EINTR)) {
            break;
        }
        if (got < 0 && error == EOVERFLOW) {
            // The driver's buffer ran over: data were lost, reading goes on.
            Tell(m_report, "Das DVB-Gerät " + Quoted(m_path) + " hat Daten verloren (Puffer übergelaufen).");
            continue;
        }
        m_ended = true;
        m_demux->Finish();
        Tell(m_report,
             got == 0
                 ? (m_path == "-" ? std::string("Der Transportstrom auf der Standardeingabe ist zu Ende.")
                                  : "Der Transportstrom von " + Quoted(m_path) + " ist zu Ende.")
                 : "Der Transportstrom von " + Quoted(m_path) +
                       " kann nicht mehr gelesen werden: " + std::strerror(error) + ".");
    }
    if (!m_ended && !m_quietReported && now - m_lastData > QuietLimit) {
        m_quietReported = true;
        Tell(m_report, "Von " + Quoted(m_path) + " kommen seit " + std::to_string(QuietLimit.count()) +
                           " Sekunden keine Daten.");
    }
}

bool TsLiveStream::NextPacket(Packet& packet)
{
    if (m_fd < 0) {
        return false;
    }
    if (m_queue.empty() && !m_ended) {
        ReadAvailable();
    }
    if (m_queue.empty()) {
        return false;
    }
    packet = m_queue.front();
    m_queue.pop_front();
    return true;
}

} // namespace quav
