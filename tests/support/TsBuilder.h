#pragma once

#include "broadcast/Packet.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quav::test::ts {

/// How a test transport stream is made from teletext packets. The teletext goes through
/// libzvbi's DVB multiplexer, PAT and PMT are made by libdvbpsi's generator: streams that
/// our own code did not write.
struct StreamOptions
{
    int pid = 0x100;                   ///< the teletext PID
    std::size_t stride = 188;          ///< 192: M2TS, a 4-byte time code before each packet
    std::size_t linesPerFrame = 16;    ///< teletext lines in the PES packet of each frame
    bool psi = true;                   ///< PAT and PMT at the start and once a second
    bool teletextDescriptor = true;    ///< the PMT names the PID as teletext (descriptor 0x56)
    std::vector<int> moreTeletextPids; ///< further teletext services the PMT names, after `pid`
    bool numberedLines = true;         ///< false: every line sent as "line unknown" (line_offset 0)
    bool vps = false; ///< a VPS data unit in each frame too (teletext then only on lines 7 to 15)
    std::int64_t firstPts = 900'000;
};

/// The packets as a transport stream, one PES packet per frame (25 a second).
std::vector<std::uint8_t> MakeStream(const std::vector<Packet>& packets, const StreamOptions& options = {});

/// Byte offsets (of the sync bytes) of the transport packets of `pid` in `stream`.
std::vector<std::size_t> PacketsOfPid(const std::vector<std::uint8_t>& stream, int pid,
                                      std::size_t stride = 188);

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

} // namespace quav::test::ts
