#include "broadcast/Packet.h"

#include "broadcast/PacketCoding.h"

namespace quav {

using namespace packet_coding;

std::optional<PacketAddress> DecodeAddress(const Packet& packet)
{
    const auto low = Hamming84Decode(packet[0]);
    const auto high = Hamming84Decode(packet[1]);
    if (!low || !high) {
        return std::nullopt;
    }
    // ETS 300 706, 7.1.2: M1 M2 M3 R1 in the first byte, R2 to R5 in the second.
    const unsigned mrag = *low | (*high << 4);
    const auto magazine = static_cast<std::uint8_t>(mrag & 7);
    return PacketAddress{magazine == 0 ? std::uint8_t{8} : magazine, static_cast<std::uint8_t>(mrag >> 3)};
}

void EncodeAddress(Packet& packet, PacketAddress address)
{
    const unsigned mrag = (address.magazine & 7U) | ((address.row & 31U) << 3);
    packet[0] = Hamming84Encode(static_cast<std::uint8_t>(mrag & 0x0F));
    packet[1] = Hamming84Encode(static_cast<std::uint8_t>(mrag >> 4));
}

} // namespace quav
