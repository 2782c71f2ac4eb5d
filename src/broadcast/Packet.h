#pragma once

#include "broadcast/PacketCoding.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace quav {

/// One teletext packet as it comes off the line: 42 bytes, the two magazine and row
/// address bytes (Hamming 8/4) followed by 40 bytes of payload. This is also the unit of
/// a T42 recording.
inline constexpr std::size_t PacketSize = 42;
using Packet = std::array<std::uint8_t, PacketSize>;

/// Where a packet belongs: magazine 1 to 8 and packet (row) number 0 to 31.
struct PacketAddress
{
    std::uint8_t magazine = 1;
    std::uint8_t row = 0;

    friend bool operator==(const PacketAddress&, const PacketAddress&) = default;
};

/// Offsets within a packet.
inline constexpr std::size_t PayloadOffset = 2;     ///< first byte after the address
inline constexpr std::size_t HeaderTextOffset = 10; ///< header: first of the 32 display bytes
inline constexpr std::size_t HeaderTextColumn = 8;  ///< ... which are columns 8 to 39 of row 0

/// The address of a packet; nothing when either address byte is beyond correction. Such a
/// packet must be dropped: guessing would put its text into a wrong page or row.
inline std::optional<PacketAddress> DecodeAddress(std::span<const std::uint8_t, PacketSize> packet)
{
    // ETS 300 706, 7.1.2: M1 M2 M3 R1 in the first byte, R2 to R5 in the second.
    const unsigned mrag =
        packet_coding::AddressTables[0][packet[0]] | packet_coding::AddressTables[1][packet[1]];
    if (mrag >= packet_coding::AddressRejected) {
        return std::nullopt;
    }
    const auto magazine = static_cast<std::uint8_t>(mrag & 7U);
    return PacketAddress{magazine == 0 ? std::uint8_t{8} : magazine, static_cast<std::uint8_t>(mrag >> 3)};
}

/// Writes the two address bytes. Magazine 8 is sent as 0, as the broadcast numbers it.
void EncodeAddress(Packet& packet, PacketAddress address);

} // namespace quav
