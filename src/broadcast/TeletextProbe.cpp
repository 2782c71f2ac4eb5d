#include "broadcast/TeletextProbe.h"

#include "broadcast/Packet.h"
#include "broadcast/PacketCoding.h"
#include "broadcast/PageHeader.h"
#include "broadcast/TsDemux.h"

#include <cstring>

namespace quav {

namespace {

constexpr std::size_t MaxProbePackets = 2000;

/// Text carries odd parity in every byte; one in ten may be hit by noise.
bool TextLooksRight(const Packet& packet, std::size_t from)
{
    std::size_t odd = 0;
    for (std::size_t i = from; i < PacketSize; ++i) {
        odd += packet_coding::HasOddParity(packet[i]) ? 1 : 0;
    }
    return odd * 10 >= (PacketSize - from) * 9;
}

} // namespace

bool LooksLikeT42(std::span<const std::uint8_t> start)
{
    const std::size_t count = std::min(start.size() / PacketSize, MaxProbePackets);
    std::size_t good = 0;
    std::size_t coded = 0; // rows 26 to 31
    bool header = false;
    Packet packet;
    for (std::size_t i = 0; i < count; ++i) {
        std::memcpy(packet.data(), start.data() + i * PacketSize, PacketSize);
        const auto address = DecodeAddress(packet);
        if (!address) {
            continue;
        }
        if (address->row > 25) {
            ++coded; // rows 26 to 31 carry coded data of their own: neither for nor against
            continue;
        }
        if (address->row == 0) {
            if (DecodeHeader(packet) && TextLooksRight(packet, HeaderTextOffset)) {
                header = true;
                ++good;
            }
        } else {
            good += TextLooksRight(packet, PayloadOffset) ? 1 : 0;
        }
    }
    // Packets with an undecodable address count against: in random bytes two in three are.
    return header && good * 2 >= count - coded;
}

bool LooksLikeTransportStream(std::span<const std::uint8_t> start)
{
    // A recording cut out of a longer one may start in the middle of a packet.
    return FindTsFraming(start, 8).has_value();
}

bool LooksLikeTti(std::string_view start)
{
    // NUL bytes are no sign of binary data here: a stray one costs its TTI file only the
    // line it is in. A recording never shows "PN," at a line start: P and N have even
    // parity, so their bytes in a recording carry bit 7.
    std::size_t pos = 0;
    while (pos < start.size()) {
        if (start.compare(pos, 3, "PN,") == 0) {
            return true;
        }
        const std::size_t next = start.find_first_of("\r\n", pos);
        if (next == std::string_view::npos) {
            break;
        }
        pos = start.find_first_not_of("\r\n", next);
        if (pos == std::string_view::npos) {
            break;
        }
    }
    return false;
}

} // namespace quav
