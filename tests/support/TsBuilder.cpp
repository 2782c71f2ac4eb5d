#include "support/TsBuilder.h"

#include <cstdbool>
#include <cstring>
#include <dvbpsi/dvbpsi.h>
#include <dvbpsi/psi.h>
#include <fstream>
#include <libzvbi.h>
#include <stdexcept>
// The two must come in this order.
#include <dvbpsi/descriptor.h>
#include <dvbpsi/pat.h>
#include <dvbpsi/pmt.h>

namespace quav::test::ts {

namespace {

constexpr int PmtPid = 0x1000;
constexpr int ProgramNumber = 1;

struct Writer
{
    const StreamOptions& options;
    std::vector<std::uint8_t> out;
    std::uint32_t timeCode = 0;
    int patCounter = 0;
    int pmtCounter = 0;

    void Put(const std::uint8_t* packet)
    {
        if (options.stride == 192) {
            timeCode += 1000;
            for (int shift = 24; shift >= 0; shift -= 8) {
                out.push_back(static_cast<std::uint8_t>(timeCode >> shift));
            }
        }
        out.insert(out.end(), packet, packet + 188);
    }

    /// One section in one transport packet, as PAT and PMT of one programme fit.
    void PutSections(dvbpsi_psi_section_t* sections, int pid, int& counter)
    {
        for (dvbpsi_psi_section_t* section = sections; section != nullptr; section = section->p_next) {
            std::uint8_t packet[188];
            std::memset(packet, 0xFF, sizeof packet);
            packet[0] = 0x47;
            packet[1] = static_cast<std::uint8_t>(0x40 | (pid >> 8));
            packet[2] = static_cast<std::uint8_t>(pid);
            packet[3] = static_cast<std::uint8_t>(0x10 | (counter++ & 0x0F));
            packet[4] = 0; // pointer field
            const std::size_t size = 3 + section->i_length;
            if (size > 183) {
                throw std::runtime_error("section too long for the test packetiser");
            }
            std::memcpy(packet + 5, section->p_data, size);
            Put(packet);
        }
        dvbpsi_DeletePSISections(sections);
    }

    void PutPsi(dvbpsi_t* psi)
    {
        dvbpsi_pat_t pat;
        dvbpsi_pat_init(&pat, 1, 0, true);
        dvbpsi_pat_program_add(&pat, ProgramNumber, PmtPid);
        dvbpsi_psi_section_t* patSections = dvbpsi_pat_sections_generate(psi, &pat, 253);
        PutSections(patSections, 0, patCounter);
        dvbpsi_pat_empty(&pat);

        dvbpsi_pmt_t pmt;
        dvbpsi_pmt_init(&pmt, ProgramNumber, 0, true, 0x1FFF);
        std::vector<int> pids{options.pid};
        pids.insert(pids.end(), options.moreTeletextPids.begin(), options.moreTeletextPids.end());
        for (const int pid : pids) {
            dvbpsi_pmt_es_t* es = dvbpsi_pmt_es_add(&pmt, 0x06, static_cast<std::uint16_t>(pid));
            if (options.teletextDescriptor) {
                std::uint8_t teletext[5] = {'d', 'e', 'u', 0x09, 0x00}; // initial page 100
                dvbpsi_pmt_es_descriptor_add(es, 0x56, sizeof teletext, teletext);
            } else {
                std::uint8_t subtitles[8] = {'d', 'e', 'u', 0x10, 0, 1, 0, 1}; // DVB subtitles
                dvbpsi_pmt_es_descriptor_add(es, 0x59, sizeof subtitles, subtitles);
            }
        }
        dvbpsi_psi_section_t* pmtSections = dvbpsi_pmt_sections_generate(psi, &pmt);
        PutSections(pmtSections, PmtPid, pmtCounter);
        dvbpsi_pmt_empty(&pmt);
    }
};

vbi_bool Collect(vbi_dvb_mux*, void* data, const std::uint8_t* packet, unsigned size)
{
    auto* writer = static_cast<Writer*>(data);
    for (unsigned at = 0; at + 188 <= size; at += 188) {
        writer->Put(packet + at);
    }
    return TRUE;
}

} // namespace

std::vector<std::uint8_t> MakeStream(const std::vector<Packet>& packets, const StreamOptions& options)
{
    Writer writer{options, {}};
    dvbpsi_t* psi = dvbpsi_new(nullptr, DVBPSI_MSG_NONE);
    vbi_dvb_mux* mux = vbi_dvb_ts_mux_new(static_cast<unsigned>(options.pid), &Collect, &writer);
    std::size_t frame = 0;
    for (std::size_t at = 0; at < packets.size(); ++frame) {
        if (options.psi && frame % 25 == 0) {
            writer.PutPsi(psi);
        }
        std::vector<vbi_sliced> lines;
        const std::size_t perFrame =
            options.vps ? std::min<std::size_t>(options.linesPerFrame, 9) : options.linesPerFrame;
        for (std::size_t i = 0; i < perFrame && at < packets.size(); ++i, ++at) {
            vbi_sliced line{};
            line.id = VBI_SLICED_TELETEXT_B;
            line.line = !options.numberedLines ? 0 : static_cast<unsigned>(i < 16 ? 7 + i : 320 + i - 16);
            std::memcpy(line.data, packets[at].data(), PacketSize);
            lines.push_back(line);
        }
        if (options.vps) {
            vbi_sliced vps{};
            vps.id = VBI_SLICED_VPS;
            vps.line = 16;
            lines.push_back(vps);
        }
        const std::int64_t pts = options.firstPts + static_cast<std::int64_t>(frame) * 3600;
        if (!vbi_dvb_mux_feed(mux, lines.data(), static_cast<unsigned>(lines.size()),
                              VBI_SLICED_TELETEXT_B | VBI_SLICED_VPS, nullptr, nullptr, pts)) {
            throw std::runtime_error("the DVB multiplexer refused a frame");
        }
    }
    vbi_dvb_mux_delete(mux);
    dvbpsi_delete(psi);
    return std::move(writer.out);
}

std::vector<std::size_t> PacketsOfPid(const std::vector<std::uint8_t>& stream, int pid, std::size_t stride)
{
    std::vector<std::size_t> at;
    for (std::size_t i = stride - 188; i + 188 <= stream.size(); i += stride) {
        if (((stream[i + 1] & 0x1F) << 8 | stream[i + 2]) == pid) {
            at.push_back(i);
        }
    }
    return at;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace quav::test::ts
