#include "broadcast/TsDemux.h"

#include <algorithm>
#include <cstring>
#include <libzvbi.h>

// libdvbpsi's headers need these before them.
#include <cstdbool>
#include <cstdint>
#include <dvbpsi/dvbpsi.h>
#include <dvbpsi/psi.h>
// The two must come in this order.
#include <dvbpsi/descriptor.h>
#include <dvbpsi/pat.h>
#include <dvbpsi/pmt.h>

namespace quav {

namespace {

constexpr std::uint8_t SyncByte = 0x47;
constexpr std::array<std::size_t, 2> Strides{188, 192};
/// Enough bytes to find the framing in: four packets of the longer kind.
constexpr std::size_t SearchBytes = 4 * 192;
/// The PES header of DVB teletext: start code, length, flags, 36 bytes of header data
/// (EN 300 472 fixes PES_header_data_length at 0x24), then the data identifier.
constexpr std::size_t PesDataStart = 46;
constexpr std::size_t DataUnitSize = 46;
/// After the first PAT, how many transport packets the PMTs of all its programs may take
/// before the PID is chosen from those that came.
constexpr std::uint64_t PmtPatience = 100'000;

/// libzvbi hands over the data units of a frame only when the next frame begins, that is
/// when the line numbers start again. So that every PES packet comes out at once, and
/// the last one of a stream too, a small PES packet follows each real one with one
/// teletext line 7 of the first field: after any numbered line that begins a frame. After
/// lines without a number (line_offset 0) it only joins the frame, so a second one follows
/// there, which then begins one. Their data are 42 zero bytes, which no teletext packet
/// is, and are left out again.
constexpr std::size_t EndMarkSize = 184;
std::array<std::uint8_t, 2 * EndMarkSize> MakeEndMarks()
{
    std::array<std::uint8_t, 2 * EndMarkSize> marks{};
    for (std::size_t m = 0; m < 2; ++m) {
        std::uint8_t* p = marks.data() + m * EndMarkSize;
        p[2] = 0x01;
        p[3] = 0xBD;                                 // private stream 1
        p[5] = EndMarkSize - 6;                      // PES_packet_length
        p[6] = 0x84;                                 // data aligned, not scrambled
        p[7] = 0x80;                                 // PTS follows
        p[8] = 0x24;                                 // PES_header_data_length
        std::fill_n(p + 14, 31, std::uint8_t{0xFF}); // stuffing in the header
        p[45] = 0x10;                                // data_identifier: EBU teletext
        p[46] = 0x02;                                // data unit: teletext
        p[47] = 0x2C;                                // 44 bytes
        p[48] = 0xE7;                                // first field, line 7
        p[49] = 0xE4;                                // framing code, bits reversed
        // p[50..91]: the 42 zero bytes
        p[92] = 0xFF; // one stuffing data unit for the rest
        p[93] = EndMarkSize - 94;
        std::fill_n(p + 94, EndMarkSize - 94, std::uint8_t{0xFF});
    }
    return marks;
}

void EncodePts(std::int64_t pts, std::uint8_t* out)
{
    const auto v = static_cast<std::uint64_t>(pts) & 0x1'FFFF'FFFFULL;
    out[0] = static_cast<std::uint8_t>(0x21 | ((v >> 29) & 0x0E));
    out[1] = static_cast<std::uint8_t>(v >> 22);
    out[2] = static_cast<std::uint8_t>(((v >> 14) & 0xFE) | 1);
    out[3] = static_cast<std::uint8_t>(v >> 7);
    out[4] = static_cast<std::uint8_t>(((v << 1) & 0xFE) | 1);
}

std::int64_t DecodePts(const std::uint8_t* p)
{
    return static_cast<std::int64_t>((std::uint64_t(p[0] & 0x0E) << 29) | (std::uint64_t(p[1]) << 22) |
                                     (std::uint64_t(p[2] & 0xFE) << 14) | (std::uint64_t(p[3]) << 7) |
                                     (std::uint64_t(p[4]) >> 1));
}

void QuietPsi(dvbpsi_t*, const dvbpsi_msg_level_t, const char*) {}

} // namespace

std::optional<TsFraming> FindTsFraming(std::span<const std::uint8_t> bytes, std::size_t packets)
{
    const std::size_t last = std::min<std::size_t>(bytes.size(), Strides.back());
    for (std::size_t offset = 0; offset < last; ++offset) {
        if (bytes[offset] != SyncByte) {
            continue;
        }
        for (const std::size_t stride : Strides) {
            const std::size_t room = (bytes.size() - offset + stride - 1) / stride;
            const std::size_t need = std::min(packets, room);
            std::size_t k = 1;
            while (k < need && bytes[offset + k * stride] == SyncByte) {
                ++k;
            }
            // One sync byte alone says nothing about the distance.
            if (k == need && (need >= 2 || packets == 1)) {
                return TsFraming{stride, offset};
            }
        }
    }
    return std::nullopt;
}

std::string TsFaultText(TsFault fault, int pid)
{
    const std::string on = pid >= 0 ? " (PID " + std::to_string(pid) + ")" : "";
    switch (fault) {
    case TsFault::SyncLost:
        return "Der Transportstrom hat seinen Takt verloren (Sync-Byte fehlt); er wird neu aufgesucht.";
    case TsFault::Continuity:
        return "Im Videotext-Strom" + on +
               " fehlen Pakete (Kontinuitätsfehler); nur die betroffenen Zeilen gehen verloren.";
    case TsFault::Scrambled:
        return "Der Videotext-Strom" + on + " ist verschlüsselt; verschlüsselte Pakete werden übergangen.";
    case TsFault::TransportError:
        return "Der Empfänger meldet beschädigte Pakete im Videotext-Strom" + on + "; sie werden übergangen.";
    case TsFault::BrokenPes:
        return "Im Videotext-Strom" + on + " sind PES-Pakete unvollständig; ihr Rest wird übergangen.";
    case TsFault::OtherData:
        return "Der Videotext-Strom" + on +
               " enthält auch andere Dateneinheiten als Videotext (etwa VPS oder WSS); sie werden "
               "übergangen.";
    }
    return {};
}

struct TsDemux::Psi
{
    struct Program
    {
        Psi* owner = nullptr;
        std::uint16_t pid = 0;
        dvbpsi_t* handle = nullptr;
        bool seen = false;
        std::vector<int> teletext;
    };

    explicit Psi(TsDemux& d) : demux(d)
    {
        pat = dvbpsi_new(&QuietPsi, DVBPSI_MSG_NONE);
        if (pat != nullptr && !dvbpsi_pat_attach(pat, &OnPat, this)) {
            dvbpsi_delete(pat);
            pat = nullptr;
        }
    }
    ~Psi()
    {
        for (auto& program : programs) {
            if (program->handle != nullptr) {
                dvbpsi_pmt_detach(program->handle);
                dvbpsi_delete(program->handle);
            }
        }
        if (pat != nullptr) {
            dvbpsi_pat_detach(pat);
            dvbpsi_delete(pat);
        }
    }
    Psi(const Psi&) = delete;
    Psi& operator=(const Psi&) = delete;

    void Push(int pid, const std::uint8_t* packet)
    {
        if (pat == nullptr) {
            return;
        }
        std::array<std::uint8_t, TsPacketSize> copy; // libdvbpsi wants to write
        if (pid == 0) {
            std::memcpy(copy.data(), packet, TsPacketSize);
            dvbpsi_packet_push(pat, copy.data());
            return;
        }
        for (auto& program : programs) {
            if (program->pid == pid && !program->seen && program->handle != nullptr) {
                std::memcpy(copy.data(), packet, TsPacketSize);
                dvbpsi_packet_push(program->handle, copy.data());
            }
        }
    }

    bool AllSeen() const
    {
        return std::all_of(programs.begin(), programs.end(), [](const auto& p) { return p->seen; });
    }

    static void OnPat(void* data, dvbpsi_pat_t* table)
    {
        auto* psi = static_cast<Psi*>(data);
        if (!psi->demux.m_sawPat) {
            psi->demux.m_sawPat = true;
            for (const dvbpsi_pat_program_t* p = table->p_first_program; p != nullptr; p = p->p_next) {
                if (p->i_number == 0) {
                    continue; // the network information table, no programme
                }
                auto program = std::make_unique<Program>();
                program->owner = psi;
                program->pid = p->i_pid;
                program->handle = dvbpsi_new(&QuietPsi, DVBPSI_MSG_NONE);
                if (program->handle != nullptr &&
                    !dvbpsi_pmt_attach(program->handle, p->i_number, &OnPmt, program.get())) {
                    dvbpsi_delete(program->handle);
                    program->handle = nullptr;
                    program->seen = true;
                }
                psi->programs.push_back(std::move(program));
            }
            if (psi->AllSeen()) {
                psi->demux.PsiDecided();
            }
        }
        dvbpsi_pat_delete(table);
    }

    static void OnPmt(void* data, dvbpsi_pmt_t* table)
    {
        auto* program = static_cast<Program*>(data);
        if (!program->seen) {
            program->seen = true;
            for (const dvbpsi_pmt_es_t* es = table->p_first_es; es != nullptr; es = es->p_next) {
                for (const dvbpsi_descriptor_t* d = es->p_first_descriptor; d != nullptr; d = d->p_next) {
                    if (d->i_tag == TeletextDescriptorTag) {
                        program->teletext.push_back(es->i_pid);
                        break;
                    }
                }
            }
            if (program->owner->AllSeen()) {
                program->owner->demux.PsiDecided();
            }
        }
        dvbpsi_pmt_delete(table);
    }

    TsDemux& demux;
    dvbpsi_t* pat = nullptr;
    std::vector<std::unique_ptr<Program>> programs;
    std::uint64_t packetsSincePat = 0;
};

struct TsDemux::ZvbiDemux
{
    ZvbiDemux() : demux(vbi_dvb_pes_demux_new(nullptr, nullptr)) {}
    /// Unknown data units and teletext with a framing code of its own are skipped by
    /// libzvbi and said so; anything else it complains about is a damaged PES packet.
    static void Log(vbi_log_mask, const char*, const char* message, void* self)
    {
        auto* owner = static_cast<TsDemux*>(self);
        const std::string_view text = message != nullptr ? message : "";
        if (text.find("Unknown data_unit_id") != std::string_view::npos ||
            text.find("framing code") != std::string_view::npos) {
            owner->Fault(TsFault::OtherData);
        } else {
            owner->Fault(TsFault::BrokenPes);
        }
    }
    ~ZvbiDemux() { vbi_dvb_demux_delete(demux); }
    ZvbiDemux(const ZvbiDemux&) = delete;
    ZvbiDemux& operator=(const ZvbiDemux&) = delete;

    vbi_dvb_demux* demux;
    std::array<vbi_sliced, 256> sliced{}; // a PES packet may carry more than one frame's lines
    std::array<std::uint8_t, 2 * EndMarkSize> endMarks = MakeEndMarks();
};

TsDemux::TsDemux(PacketSink sink, int pid)
    : m_sink(std::move(sink)), m_pid(pid), m_pidGiven(pid >= 0), m_zvbi(std::make_unique<ZvbiDemux>())
{
    if (!m_pidGiven) {
        m_psi = std::make_unique<Psi>(*this);
    }
    vbi_dvb_demux_set_log_fn(m_zvbi->demux, static_cast<vbi_log_mask>(VBI_LOG_NOTICE | VBI_LOG_WARNING),
                             &ZvbiDemux::Log, this);
}

TsDemux::~TsDemux() = default;

void TsDemux::Fault(TsFault fault)
{
    bool& reported = m_reported[static_cast<std::size_t>(fault)];
    if (!reported && m_onFault) {
        m_onFault(fault, m_pid);
    }
    reported = true;
}

void TsDemux::PsiDecided()
{
    if (m_psiComplete || !m_psi || !m_sawPat) {
        return;
    }
    m_psiComplete = true;
    m_teletextPids.clear();
    for (const auto& program : m_psi->programs) {
        for (const int pid : program->teletext) {
            if (std::find(m_teletextPids.begin(), m_teletextPids.end(), pid) == m_teletextPids.end()) {
                m_teletextPids.push_back(pid);
            }
        }
    }
    if (!m_pidGiven && !m_teletextPids.empty()) {
        m_pid = m_teletextPids.front();
    }
}

std::size_t TsDemux::Scan(const std::uint8_t* data, std::size_t size, std::size_t position)
{
    while (position < size) {
        const std::size_t available = size - position;
        if (!m_inSync) {
            if (available < SearchBytes) {
                break;
            }
            const auto framing =
                FindTsFraming(std::span<const std::uint8_t>(data + position, available), m_framing ? 3 : 8);
            if (!framing) {
                // No sync here: keep only what a sync byte further on might still need.
                return size - (SearchBytes - 1);
            }
            m_framing = TsFraming{framing->stride, 0};
            position += framing->offset;
            m_inSync = true;
            continue;
        }
        // A packet counts only when the next one starts where it should: a packet that
        // lost bytes would otherwise carry bytes of the next one as its own.
        const std::size_t stride = m_framing->stride;
        if (available < stride + 1) {
            break;
        }
        const std::uint8_t* packet = data + position;
        if (packet[0] != SyncByte || packet[stride] != SyncByte) {
            // The continuity counter tells afterwards whether teletext went missing.
            Fault(TsFault::SyncLost);
            m_inSync = false;
            ++position;
            continue;
        }
        Process(packet);
        position += stride;
    }
    return position;
}

void TsDemux::Feed(std::span<const std::uint8_t> bytes)
{
    // The bytes are read where they are; only the few at the end that cannot be taken yet
    // are kept, together with the start of the next piece.
    std::size_t position = m_position;
    if (!m_buffer.empty()) {
        const std::size_t kept = m_buffer.size();
        const std::size_t joined = std::min(bytes.size(), 2 * SearchBytes);
        m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(joined));
        position = Scan(m_buffer.data(), m_buffer.size(), m_position);
        if (joined == bytes.size() || position < kept) {
            m_buffer.insert(m_buffer.end(), bytes.begin() + static_cast<std::ptrdiff_t>(joined), bytes.end());
            position = Scan(m_buffer.data(), m_buffer.size(), position);
            Keep(m_buffer.data(), m_buffer.size(), position);
            return;
        }
        position -= kept; // on into the new bytes, in place
        m_buffer.clear();
    }
    position = Scan(bytes.data(), bytes.size(), position);
    Keep(bytes.data(), bytes.size(), position);
}

void TsDemux::Keep(const std::uint8_t* data, std::size_t size, std::size_t position)
{
    if (position >= size) {
        m_buffer.clear();
        m_position = position - size; // the time code before the next M2TS packet, still to come
        return;
    }
    if (data == m_buffer.data()) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(position));
    } else {
        m_buffer.assign(data + position, data + size);
    }
    m_position = 0;
}

void TsDemux::Finish()
{
    if (m_inSync && m_position + TsPacketSize <= m_buffer.size() && m_buffer[m_position] == SyncByte) {
        Process(m_buffer.data() + m_position); // the last packet has no next one to check by
        m_position = m_buffer.size();
    }
    if (!m_inSync && m_position < m_buffer.size()) {
        // A stream too short for the search in Feed: take what framing its few packets show.
        const auto rest =
            std::span<const std::uint8_t>(m_buffer.data() + m_position, m_buffer.size() - m_position);
        if (const auto framing = FindTsFraming(rest, 8)) {
            m_framing = TsFraming{framing->stride, 0};
            for (std::size_t at = framing->offset; at + TsPacketSize <= rest.size(); at += framing->stride) {
                if (rest[at] == SyncByte) {
                    Process(rest.data() + at);
                }
            }
        }
    }
    EndPes(); // a PES packet of open length ends with the stream
    m_buffer.clear();
    m_position = 0;
    m_inSync = false;
    m_continuity = -1;
    vbi_dvb_demux_reset(m_zvbi->demux);
}

void TsDemux::Process(const std::uint8_t* packet)
{
    const int pid = (packet[1] & 0x1F) << 8 | packet[2];
    if (m_psi && !m_psiComplete) {
        if (m_sawPat && ++m_psi->packetsSincePat > PmtPatience) {
            PsiDecided();
        } else if ((packet[1] & 0x80) == 0) {
            m_psi->Push(pid, packet);
        }
    }
    if (pid != m_pid || m_pid < 0) {
        return;
    }
    ProcessTeletext(packet);
}

void TsDemux::ProcessTeletext(const std::uint8_t* packet)
{
    if ((packet[1] & 0x80) != 0) {
        Fault(TsFault::TransportError);
        DropPes(false);
        m_continuity = -1;
        return;
    }
    const unsigned control = (packet[3] >> 4) & 3U;
    const bool hasPayload = (control & 1U) != 0;
    std::size_t offset = 4;
    bool discontinuity = false;
    if ((control & 2U) != 0) {
        offset += 1U + packet[4];
        discontinuity = packet[4] > 0 && (packet[5] & 0x80) != 0;
    }
    if (control == 0 || offset > TsPacketSize) {
        Fault(TsFault::TransportError);
        DropPes(false);
        return;
    }
    const int counter = packet[3] & 0x0F;
    if (hasPayload) {
        if (m_continuity >= 0 && !discontinuity) {
            if (counter == m_continuity) {
                return; // sent twice: the copy is allowed and carries nothing new
            }
            if (counter != ((m_continuity + 1) & 0x0F)) {
                Fault(TsFault::Continuity);
                DropPes(false);
            }
        }
        m_continuity = counter;
    }
    if ((packet[3] & 0xC0) != 0) {
        Fault(TsFault::Scrambled);
        DropPes(false);
        return;
    }
    if (!hasPayload) {
        return;
    }
    const std::uint8_t* payload = packet + offset;
    const std::size_t size = TsPacketSize - offset;
    if ((packet[1] & 0x40) != 0) {
        EndPes(); // open length: it ends where the next begins
        m_pes.assign(payload, payload + size);
        m_pesOpen = true;
    } else if (m_pesOpen) {
        m_pes.insert(m_pes.end(), payload, payload + size);
    } else {
        return; // the rest of a PES packet whose start was not seen
    }
    if (m_pes.size() >= 6) {
        if (m_pes[0] != 0 || m_pes[1] != 0 || m_pes[2] != 1) {
            Fault(TsFault::BrokenPes);
            m_pesOpen = false;
            m_pes.clear();
            return;
        }
        const std::size_t length = std::size_t(m_pes[4]) << 8 | m_pes[5];
        if (length != 0 && m_pes.size() >= 6 + length) {
            m_pes.resize(6 + length);
            DeliverPes();
        }
    }
}

void TsDemux::EndPes()
{
    // Open length (0 in bytes 4 and 5): the packet is whole. A given length not reached: the
    // packet broke off.
    if (m_pesOpen && m_pes.size() >= 6 && m_pes[4] == 0 && m_pes[5] == 0) {
        DeliverPes();
    } else {
        DropPes(true);
    }
}

void TsDemux::DropPes(bool fault)
{
    if (!m_pesOpen) {
        return;
    }
    if (fault) {
        Fault(TsFault::BrokenPes);
    }
    // The data units before the gap are whole and good: they still go out.
    const std::size_t dataStart = m_pes.size() > 8 ? 10u + m_pes[8] : PesDataStart;
    if (m_pes.size() >= dataStart + DataUnitSize) {
        const std::size_t keep = dataStart + (m_pes.size() - dataStart) / DataUnitSize * DataUnitSize;
        m_pes.resize(keep);
        m_pes[4] = static_cast<std::uint8_t>((keep - 6) >> 8);
        m_pes[5] = static_cast<std::uint8_t>(keep - 6);
        DeliverPes();
        return;
    }
    m_pesOpen = false;
    m_pes.clear();
}

void TsDemux::DeliverPes()
{
    m_pesOpen = false;
    Normalise();
    if (m_pes.size() >= 14 && (m_pes[7] & 0x80) != 0) {
        m_lastPts = DecodePts(m_pes.data() + 9);
    } else if (m_pes.size() >= PesDataStart && m_pes[8] == 0x24) {
        // libzvbi drops a PES packet without PTS at the start of a frame, and each one is
        // a frame here. Some multiplexers leave the PTS out: the one before stands in, in
        // the header's stuffing bytes.
        m_pes[7] |= 0x80;
        EncodePts(m_lastPts, m_pes.data() + 9);
    }
    // The first data unit tells whether the lines carry numbers.
    const bool numbered = m_pes.size() > PesDataStart + 2 && (m_pes[PesDataStart + 2] & 0x1F) != 0;
    auto& marks = m_zvbi->endMarks;
    EncodePts(m_lastPts, marks.data() + 9);
    EncodePts(m_lastPts, marks.data() + EndMarkSize + 9);
    // In one piece with the packet: libzvbi then reads it where it is.
    m_pes.insert(m_pes.end(), marks.begin(), marks.begin() + (numbered ? EndMarkSize : marks.size()));
    Demultiplex(m_pes.data(), m_pes.size());
    m_pes.clear();
}

void TsDemux::Normalise()
{
    if (m_pes.size() < 9 || (m_pes[6] & 0xC0) != 0x80) {
        return; // no PES header of MPEG-2 form: libzvbi will pass it by
    }
    // libzvbi reads a PES packet in the form EN 300 472 gives it: 36 bytes of header data
    // and at least 184 bytes in all. Other multiplexers write shorter headers and packets;
    // stuffing brings them into that form (header stuffing bytes, a stuffing data unit).
    const std::size_t headerData = m_pes[8];
    constexpr std::size_t Wanted = PesDataStart - 10;
    if (headerData < Wanted && m_pes.size() >= 9 + headerData) {
        m_pes.insert(m_pes.begin() + static_cast<std::ptrdiff_t>(9 + headerData), Wanted - headerData,
                     std::uint8_t{0xFF});
        m_pes[8] = static_cast<std::uint8_t>(Wanted);
    }
    if (m_pes.size() < EndMarkSize && m_pes.size() >= PesDataStart) {
        const std::size_t missing = EndMarkSize - m_pes.size();
        m_pes.push_back(0xFF);
        if (missing >= 2) {
            m_pes.push_back(static_cast<std::uint8_t>(missing - 2));
            m_pes.insert(m_pes.end(), missing - 2, std::uint8_t{0xFF});
        }
    }
    // The length as it is now; an open length (0) ended with the next PES packet.
    if (m_pes.size() - 6 <= 0xFFFF) {
        m_pes[4] = static_cast<std::uint8_t>((m_pes.size() - 6) >> 8);
        m_pes[5] = static_cast<std::uint8_t>(m_pes.size() - 6);
    }
    m_pes[6] |= 0x04; // data units start right after the header, flagged or not
}

void TsDemux::Demultiplex(const std::uint8_t* bytes, std::size_t size)
{
    const std::uint8_t* at = bytes;
    auto left = static_cast<unsigned>(size);
    while (left > 0) {
        std::int64_t pts = 0;
        const unsigned lines =
            vbi_dvb_demux_cor(m_zvbi->demux, m_zvbi->sliced.data(),
                              static_cast<unsigned>(m_zvbi->sliced.size()), &pts, &at, &left);
        for (unsigned i = 0; i < lines; ++i) {
            const vbi_sliced& line = m_zvbi->sliced[i];
            if ((line.id & VBI_SLICED_TELETEXT_B) == 0) {
                Fault(TsFault::OtherData);
                continue;
            }
            static constexpr std::array<std::uint8_t, PacketSize> EndMarkData{};
            if (std::memcmp(line.data, EndMarkData.data(), PacketSize) == 0) {
                continue; // an end mark
            }
            Packet packet;
            std::memcpy(packet.data(), line.data, PacketSize);
            ++m_packets;
            m_sink(packet, pts);
        }
    }
}

} // namespace quav
