#include "broadcast/PageHeader.h"

#include "broadcast/PacketCoding.h"

namespace quav {

using namespace packet_coding;

void PageHeader::SetControl(int n, bool on)
{
    const auto bit = static_cast<std::uint16_t>(1U << n);
    control = on ? static_cast<std::uint16_t>(control | bit) : static_cast<std::uint16_t>(control & ~bit);
}

void PageHeader::SetNationalOption(std::uint8_t option)
{
    control = static_cast<std::uint16_t>((control & ~(7U << C12)) | ((option & 7U) << C12));
}

// Header bytes 2 to 9 (ETS 300 706, 9.3.1.2), one nibble each:
//   2 page units, 3 page tens, 4 S1, 5 S2 + C4 (bit 3), 6 S3, 7 S4 + C5 (bit 2) + C6 (bit 3),
//   8 C7 to C10, 9 C11 to C14.

std::optional<PageHeader> DecodeHeader(std::span<const std::uint8_t, PacketSize> packet)
{
    PageHeader h;
    if (!DecodeHeader(packet, h)) {
        return std::nullopt;
    }
    return h;
}

bool DecodeHeader(std::span<const std::uint8_t, PacketSize> packet, PageHeader& h)
{
    const auto address = DecodeAddress(packet);
    if (!address || address->row != 0) {
        return false;
    }
    std::array<std::uint8_t, 8> n{};
    unsigned all = 0; // data bits are at most 0x0F; a rejected byte sets the high bits
    for (std::size_t i = 0; i < n.size(); ++i) {
        n[i] = Hamming84Table[packet[PayloadOffset + i]];
        all |= n[i];
    }
    if ((all & 0xF0U) != 0) {
        return false;
    }
    h.magazine = address->magazine;
    h.units = n[0];
    h.tens = n[1];
    h.subcode = {n[2], static_cast<std::uint8_t>(n[3] & 7), n[4], static_cast<std::uint8_t>(n[5] & 3)};
    unsigned c = 0;
    c |= ((n[3] >> 3) & 1U) << 4;
    c |= ((n[5] >> 2) & 3U) << 5;
    c |= (n[6] & 15U) << 7;
    c |= (n[7] & 15U) << 11;
    h.control = static_cast<std::uint16_t>(c);
    return true;
}

void EncodeHeader(Packet& packet, const PageHeader& h)
{
    EncodeAddress(packet, {h.magazine, 0});
    const unsigned c = h.control;
    const std::array<unsigned, 8> n{
        h.units & 15U,      h.tens & 15U,
        h.subcode[0] & 15U, (h.subcode[1] & 7U) | ((c >> 4) & 1U) << 3,
        h.subcode[2] & 15U, (h.subcode[3] & 3U) | ((c >> 5) & 3U) << 2,
        (c >> 7) & 15U,     (c >> 11) & 15U,
    };
    for (std::size_t i = 0; i < n.size(); ++i) {
        packet[PayloadOffset + i] = Hamming84Encode(static_cast<std::uint8_t>(n[i]));
    }
}

} // namespace quav
