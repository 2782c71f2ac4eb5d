#include "broadcast/T42Recording.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quav {

T42Recording::T42Recording() = default;

T42Recording::~T42Recording()
{
    Close();
}

void T42Recording::Close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_chunk.clear();
    m_chunkPackets = 0;
    m_chunkNext = 0;
    m_packetCount = 0;
    m_position = 0;
}

std::string T42Recording::Open(const std::string& path)
{
    Close();
    m_skipped = 0;
    const std::string quoted = "Die Aufzeichnung \"" + path + "\"";
    std::uint64_t size = 0;
    std::string error;
    const int fd = OpenRecordingFile(path, quoted, size, error);
    if (fd < 0) {
        return error;
    }
    if (size < PacketSize) {
        ::close(fd);
        return quoted + " enthält kein vollständiges Videotext-Paket.";
    }
    m_fd = fd;
    m_chunk.resize(ChunkPackets * PacketSize);
    m_packetCount = size / PacketSize;
    return {};
}

int OpenRecordingFile(const std::string& path, const std::string& quoted, std::uint64_t& size,
                      std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = quoted + " kann nicht geöffnet werden.";
        return -1;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = quoted + " ist keine lesbare Datei.";
        return -1;
    }
    size = static_cast<std::uint64_t>(st.st_size);
    return fd;
}

bool T42Recording::StartLap()
{
    struct stat st
    {
    };
    if (::fstat(m_fd, &st) != 0) {
        return false;
    }
    m_packetCount = static_cast<std::uint64_t>(st.st_size) / PacketSize;
    m_position = 0;
    return m_packetCount > 0;
}

bool T42Recording::Refill()
{
    // Two goes at most: the rest of this lap, then (if that is gone) the start of the next.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (m_position >= m_packetCount && !StartLap()) {
            return false;
        }
        const auto wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(ChunkPackets, m_packetCount - m_position));
        const ssize_t got =
            ::pread(m_fd, m_chunk.data(), wanted * PacketSize, static_cast<off_t>(m_position * PacketSize));
        // Only whole packets count: the bytes of a truncated last packet are never used.
        const std::size_t whole = got > 0 ? static_cast<std::size_t>(got) / PacketSize : 0;
        if (whole > 0) {
            m_chunkPackets = whole;
            m_chunkNext = 0;
            m_position += whole;
            return true;
        }
        if (m_position == 0) {
            return false; // not even the first packet is there any more
        }
        m_position = m_packetCount; // the file has shrunk: start over
    }
    return false;
}

bool T42Recording::ReadRaw(Packet& packet)
{
    if (m_chunkNext == m_chunkPackets && !Refill()) {
        return false;
    }
    std::memcpy(packet.data(), m_chunk.data() + m_chunkNext * PacketSize, PacketSize);
    ++m_chunkNext;
    return true;
}

bool T42Recording::NextPacket(Packet& packet)
{
    if (m_fd < 0) {
        return false;
    }
    // At most one lap: a recording full of damaged packets must not keep the caller spinning.
    const std::uint64_t lap = m_packetCount;
    for (std::uint64_t tries = 0; tries < lap; ++tries) {
        if (!ReadRaw(packet)) {
            return false;
        }
        if (DecodeAddress(packet)) {
            return true;
        }
        ++m_skipped;
    }
    return false;
}

} // namespace quav
