#include "broadcast/Packet.h"

#include "broadcast/PacketCoding.h"

namespace quav {

using namespace packet_coding;

void EncodeAddress(Packet& packet, PacketAddress address)
{
    const unsigned mrag = (address.magazine & 7U) | ((address.row & 31U) << 3);
    packet[0] = Hamming84Encode(static_cast<std::uint8_t>(mrag & 0x0F));
    packet[1] = Hamming84Encode(static_cast<std::uint8_t>(mrag >> 4));
}

} // namespace quav
