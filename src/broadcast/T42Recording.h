#pragma once

#include "broadcast/PacketSource.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quav {

/// A T42 recording played as a broadcast: a file of 42-byte teletext packets, one after the
/// other, with nothing in between.
///
/// The file is read as it plays, a few dozen packets at a time (a recording can be long),
/// and starts again at its end; its length is looked at again at each start, so a file
/// that grows or shrinks meanwhile is followed. A truncated packet at the end is dropped. A packet whose
/// magazine and row address is beyond correction is skipped and counted, never handed out, so it can never
/// land in a wrong page or row. If no packet of the file is usable, the source has
/// nothing to give and says so at once.
class T42Recording final : public PacketSource
{
public:
    T42Recording();
    ~T42Recording() override;

    T42Recording(const T42Recording&) = delete;
    T42Recording& operator=(const T42Recording&) = delete;

    /// Opens a recording. Returns an empty string on success, otherwise a German message
    /// for the user; a failed open leaves the source empty.
    std::string Open(const std::string& path);

    bool NextPacket(Packet& packet) override;

    /// Complete packets in the file, as of the start of the current lap.
    std::uint64_t PacketCount() const { return m_packetCount; }
    /// Packets skipped so far because their address could not be decoded.
    std::uint64_t SkippedPackets() const { return m_skipped; }

private:
    void Close();
    bool ReadRaw(Packet& packet);
    bool Refill();
    bool StartLap();

    static constexpr std::size_t ChunkPackets = 64;

    int m_fd = -1;
    std::vector<std::uint8_t> m_chunk;
    std::size_t m_chunkPackets = 0; ///< packets in the chunk
    std::size_t m_chunkNext = 0;    ///< next packet of the chunk to hand out
    std::uint64_t m_packetCount = 0;
    std::uint64_t m_position = 0; ///< file index of the packet after the chunk
    std::uint64_t m_skipped = 0;
};

/// Opens a recording file for reading: its descriptor and size, or -1 with a German message
/// that starts with `quoted` (the file named for the user) when it cannot be opened or is
/// no regular file.
int OpenRecordingFile(const std::string& path, const std::string& quoted, std::uint64_t& size,
                      std::string& error);

} // namespace quav
