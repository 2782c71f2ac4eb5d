#pragma once

#include "broadcast/Packet.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quav {

/// An MPEG transport stream packet without the 4 bytes that an M2TS file puts before it.
inline constexpr std::size_t TsPacketSize = 188;
/// The PES stream identifier, the data identifiers and the descriptor of DVB teletext
/// (EN 300 472, EN 300 468).
inline constexpr std::uint8_t TeletextDescriptorTag = 0x56;
/// PTS and PCR tick at 90 kHz.
inline constexpr std::int64_t TsClockRate = 90'000;

/// Where the packets of a transport stream sit: the distance from one sync byte to the
/// next (188, or 192 in M2TS files with their time code in front), and the first sync byte.
struct TsFraming
{
    std::size_t stride = TsPacketSize;
    std::size_t offset = 0;
};

/// Finds the framing at the start of `bytes`: sync bytes (0x47) at a steady distance of
/// 188 or 192 bytes, at least `packets` of them one after the other (fewer when the bytes
/// hold fewer). Nothing when the bytes are no transport stream.
std::optional<TsFraming> FindTsFraming(std::span<const std::uint8_t> bytes, std::size_t packets = 8);

/// What can be wrong with a stream. Each is counted, and the first of each kind is told.
enum class TsFault
{
    SyncLost,       ///< a sync byte was missing: bytes lost or added, the stream is searched again
    Continuity,     ///< a packet of the teletext PID is missing (continuity counter)
    Scrambled,      ///< packets of the teletext PID are encrypted and cannot be read
    TransportError, ///< the receiver marked packets as damaged
    BrokenPes,      ///< a PES packet was cut short or is no PES packet
    OtherData,      ///< data units that are not teletext (VPS, WSS, unknown ones)
};
inline constexpr std::size_t TsFaultKinds = 6;

/// A German sentence for the user about the fault, on stream PID `pid`.
std::string TsFaultText(TsFault fault, int pid);

/// Takes a transport stream apart and hands over the teletext in it as 42-byte packets,
/// in broadcast order, each with the PTS of the PES packet that carried it.
///
/// The framing (188 or 192 bytes) is found in the stream and found again after lost sync.
/// PAT and PMT are read with libdvbpsi to find the teletext PID, unless one is given: the
/// first teletext service (descriptor 0x56) in PAT order. The PES packets of that PID are
/// put together here from the transport packets and taken apart into data units by
/// libzvbi's DVB demultiplexer, which turns the bits of each byte back into broadcast order.
///
/// Damage costs only what it touched: a PES packet with a missing, scrambled or damaged
/// transport packet is dropped whole (its teletext packets would be wrong), and
/// everything after it is read as before. Bytes may come in pieces of any size. Not
/// thread-safe.
class TsDemux
{
public:
    using PacketSink = std::function<void(const Packet& packet, std::int64_t pts)>;
    using FaultHandler = std::function<void(TsFault fault, int pid)>;

    /// `pid` -1: taken from PAT and PMT.
    explicit TsDemux(PacketSink sink, int pid = -1);
    ~TsDemux();

    TsDemux(const TsDemux&) = delete;
    TsDemux& operator=(const TsDemux&) = delete;

    /// Called the first time each kind of fault appears (and never again for it).
    void SetFaultHandler(FaultHandler handler) { m_onFault = std::move(handler); }

    /// Takes the next bytes of the stream.
    void Feed(std::span<const std::uint8_t> bytes);
    /// The stream has ended: hands over what is still held back. Feed after it starts a
    /// new stream (the next lap of a recording) with the same PID.
    void Finish();

    /// The teletext PID; -1 while it is not known.
    int Pid() const { return m_pid; }
    /// A PAT has come (with the PMTs of all its programs, or enough of the stream to give
    /// up waiting for the others).
    bool PsiComplete() const { return m_psiComplete; }
    bool SawPat() const { return m_sawPat; }
    /// Gives up waiting for the PMTs that have not come: the PID is chosen from the others.
    void ChooseNow() { PsiDecided(); }
    /// Teletext packets handed over.
    std::uint64_t Packets() const { return m_packets; }

private:
    struct Psi;

    std::size_t Scan(const std::uint8_t* data, std::size_t size, std::size_t position);
    void Keep(const std::uint8_t* data, std::size_t size, std::size_t position);
    void Process(const std::uint8_t* packet);
    void ProcessTeletext(const std::uint8_t* packet);
    void DeliverPes();
    void Normalise();
    void Demultiplex(const std::uint8_t* bytes, std::size_t size);
    /// Ends the PES packet being put together, when there is one.
    void EndPes();
    void DropPes(bool fault);
    void Fault(TsFault fault);
    void PsiDecided();

    PacketSink m_sink;
    FaultHandler m_onFault;
    int m_pid = -1;
    bool m_pidGiven = false;
    bool m_psiComplete = false;
    bool m_sawPat = false;
    std::vector<int> m_teletextPids;
    std::unique_ptr<Psi> m_psi;

    std::optional<TsFraming> m_framing;
    bool m_inSync = false;
    std::vector<std::uint8_t> m_buffer; ///< bytes not yet taken, from m_position on
    std::size_t m_position = 0;         ///< with an empty buffer: bytes of the next piece to skip

    int m_continuity = -1;
    bool m_pesOpen = false; ///< a PES packet is being put together
    std::vector<std::uint8_t> m_pes;
    std::int64_t m_lastPts = 0;

    struct ZvbiDemux;
    std::unique_ptr<ZvbiDemux> m_zvbi;

    std::array<bool, TsFaultKinds> m_reported{}; ///< each kind of fault is told once
    std::uint64_t m_packets = 0;
};

} // namespace quav
