#include "broadcast/PacketLoop.h"

namespace quav {

bool PacketLoop::NextPacket(Packet& packet)
{
    if (m_packets.empty()) {
        return false;
    }
    packet = m_packets[m_next];
    m_next = m_next + 1 == m_packets.size() ? 0 : m_next + 1;
    return true;
}

} // namespace quav
