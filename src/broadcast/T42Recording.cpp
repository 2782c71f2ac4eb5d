#include "broadcast/T42Recording.h"

namespace quav {

T42Recording::T42Recording() = default;
T42Recording::~T42Recording() = default;

std::string T42Recording::Open(const std::string& path)
{
    m_file.reset();
    m_packetCount = 0;
    m_position = 0;
    m_skipped = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return "Die Aufzeichnung \"" + path + "\" kann nicht geöffnet werden.";
    }
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        return "Die Aufzeichnung \"" + path + "\" kann nicht gelesen werden.";
    }
    const long size = std::ftell(file.get());
    if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) {
        return "Die Aufzeichnung \"" + path + "\" kann nicht gelesen werden.";
    }
    m_packetCount = static_cast<std::uint64_t>(size) / PacketSize;
    if (m_packetCount == 0) {
        return "Die Aufzeichnung \"" + path + "\" enthält kein vollständiges Videotext-Paket.";
    }
    m_file = std::move(file);
    return {};
}

bool T42Recording::ReadRaw(Packet& packet)
{
    // Only whole packets of the size seen at opening are played: the bytes of a truncated
    // last packet are never handed out, and a file that shrinks while it plays starts over.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (m_position >= m_packetCount || attempt > 0) {
            if (m_position == 0 && attempt > 0) {
                return false; // not even the first packet can be read any more
            }
            if (std::fseek(m_file.get(), 0, SEEK_SET) != 0) {
                return false;
            }
            m_position = 0;
        }
        if (std::fread(packet.data(), 1, packet.size(), m_file.get()) == packet.size()) {
            ++m_position;
            return true;
        }
    }
    return false;
}

bool T42Recording::NextPacket(Packet& packet)
{
    if (!m_file) {
        return false;
    }
    // At most one lap: a recording full of damaged packets must not keep the caller spinning.
    for (std::uint64_t tries = 0; tries < m_packetCount; ++tries) {
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
