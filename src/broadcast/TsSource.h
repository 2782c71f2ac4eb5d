#pragma once

#include "broadcast/BroadcastClock.h"
#include "broadcast/PacketSource.h"
#include "broadcast/TsDemux.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quav {

/// Where the sources of DVB teletext tell what goes wrong with their stream: one German
/// sentence at a time. Without one they write to standard error.
using TsReport = std::function<void(const std::string& message)>;

/// Reads a PID as the user writes it: decimal or hexadecimal with 0x, 16 to 8190 (below
/// are the tables, 8191 is stuffing). Nothing for anything else.
std::optional<int> ParseTsPid(std::string_view text);

/// What the options --pid say when the PID makes no sense.
inline constexpr std::string_view TsPidError =
    "Die Option --pid braucht eine PID von 16 bis 8190 (oder hexadezimal 0x10 bis 0x1FFE).";

/// What the start of a transport-stream recording says about its teletext.
struct TsScan
{
    bool sawPat = false;
    int pid = -1; ///< the PID to play: given, or the first teletext PID
};

/// Reads a recording from its start until PAT and PMT have said which PIDs carry
/// teletext (at most `limitBytes`). `pid` >= 0 is taken as given.
TsScan ScanTransportStream(const std::string& path, int pid, std::uint64_t limitBytes = 64u << 20);

/// A transport-stream recording (.ts, 188 bytes a packet, or M2TS, 192) played as a
/// broadcast: the teletext of one PID, at the pace of its PTS, over and over.
///
/// A packet is handed out once its time has come by `clock`, counted from the first
/// packet of the lap; before that NextPacket says there is nothing (yet). The pace is
/// bounded: a jump of the PTS by more than MaxGap (a cut in the recording, the PTS
/// wrapping round, the next lap) or a caller who fell behind by more than MaxGap goes on
/// at once from where it is, so gaps are skipped instead of waited for or raced through.
/// The file is read as it plays, 64 KiB at a time. Not thread-safe.
class TsRecording final : public PacketSource
{
public:
    static constexpr std::chrono::seconds MaxGap{2};

    /// `clock` must outlive the source; null: the system clock.
    explicit TsRecording(BroadcastClock* clock = nullptr, TsReport report = {});
    ~TsRecording() override;

    TsRecording(const TsRecording&) = delete;
    TsRecording& operator=(const TsRecording&) = delete;

    /// Opens a recording and plays the teletext of `pid`. Empty on success, else a
    /// German message.
    std::string Open(const std::string& path, int pid);

    bool NextPacket(Packet& packet) override;

    /// Whole passes through the file so far.
    std::uint64_t Laps() const { return m_laps; }

private:
    struct Timed
    {
        Packet packet;
        std::int64_t pts;
    };

    bool ReadMore();
    bool Due(std::int64_t pts);

    SystemBroadcastClock m_systemClock;
    BroadcastClock& m_clock;
    TsReport m_report;
    std::string m_path;
    int m_fd = -1;
    std::unique_ptr<TsDemux> m_demux;
    std::deque<Timed> m_queue;
    std::vector<std::uint8_t> m_chunk;
    std::uint64_t m_laps = 0;
    std::uint64_t m_readsSincePacket = 0;
    std::uint64_t m_fileChunks = 0;
    bool m_barren = false; ///< a whole lap without teletext: nothing to give, ever
    bool m_anchored = false;
    std::chrono::system_clock::time_point m_anchorTime;
    std::int64_t m_anchorPts = 0;
    std::int64_t m_lastPts = 0;
};

/// A transport stream as it arrives: from standard input ("-") or from a Linux DVB demux
/// device with a PES filter on one PID. Reading never waits: NextPacket takes what has
/// come and says there is nothing when nothing has. A stream that ends or goes quiet is
/// reported once. Not thread-safe.
class TsLiveStream final : public PacketSource
{
public:
    /// How long a silent device may stay silent before it is reported.
    static constexpr std::chrono::seconds QuietLimit{5};

    explicit TsLiveStream(TsReport report = {});
    ~TsLiveStream() override;

    TsLiveStream(const TsLiveStream&) = delete;
    TsLiveStream& operator=(const TsLiveStream&) = delete;

    /// "-" for standard input (the PID from PAT and PMT unless `pid` >= 0), or a demux
    /// device such as /dev/dvb/adapter0/demux0 (`pid` required). Empty on success, else a
    /// German message.
    std::string Open(const std::string& path, int pid);
    /// Reads an already open descriptor (a pipe, say), which the source then owns.
    void Adopt(int fd, int pid);

    bool NextPacket(Packet& packet) override;

    /// The stream has ended (standard input closed).
    bool Ended() const { return m_ended; }

private:
    void ReadAvailable();

    TsReport m_report;
    std::string m_path;
    int m_fd = -1;
    bool m_ownsFd = false;
    bool m_ended = false;
    bool m_quietReported = false;
    std::chrono::steady_clock::time_point m_lastData;
    std::unique_ptr<TsDemux> m_demux;
    std::deque<Packet> m_queue;
    std::vector<std::uint8_t> m_chunk;
};

} // namespace quav
