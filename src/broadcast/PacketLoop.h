#pragma once

#include "broadcast/PacketSource.h"

#include <cstddef>
#include <vector>

namespace quav {

/// A fixed sequence of packets in memory, sent over and over: the simplest carousel.
class PacketLoop final : public PacketSource
{
public:
    PacketLoop() = default;
    explicit PacketLoop(std::vector<Packet> packets) : m_packets(std::move(packets)) {}

    bool NextPacket(Packet& packet) override;

    std::size_t Size() const { return m_packets.size(); }
    /// Index of the packet that NextPacket hands out next.
    std::size_t Position() const { return m_next; }

private:
    std::vector<Packet> m_packets;
    std::size_t m_next = 0;
};

} // namespace quav
