#pragma once

#include "broadcast/Packet.h"

namespace quav {

/// Where the broadcast comes from: hands out teletext packets one after the other, as a
/// receiver would take them off the air. A recording, a carousel of page files and the
/// built-in demo service are sources.
///
/// A source is endless where it can be (a recording starts again at its end). It returns
/// false only when it has no packet at all to give, and then it must return at once, so a
/// caller may ask again later without hanging. Not thread-safe.
class PacketSource
{
public:
    virtual ~PacketSource() = default;

    /// Puts the next packet into `packet`; false when there is none.
    virtual bool NextPacket(Packet& packet) = 0;
};

} // namespace quav
