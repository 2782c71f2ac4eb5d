#pragma once

#include "broadcast/BroadcastClock.h"
#include "broadcast/PacketSource.h"
#include "broadcast/PageHeader.h"
#include "broadcast/TtiPage.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quav {

/// TTI pages on air: an endless carousel of teletext packets.
///
/// Each page goes out as one block: its header (page number, subcode and C4 to C14 from
/// PS, with the rolling header text of the service) and the rows its file gives, 1 to 25,
/// with odd parity. The magazines take turns block by block, so a page of one magazine is
/// never cut into by another's header, which also keeps pages sent in serial mode (C11)
/// whole. Every block is ended at once by a filler header (page FF) of its magazine: a
/// receiver counts a page as received only when the next header of its magazine (or, in
/// serial mode, of any magazine) says its transmission is over, and without the filler the
/// last page of a magazine would wait a whole round for that.
///
/// A page with several subpages shows each for its CT cycle time: in seconds of the clock,
/// or in transmissions of the page. Every subpage goes out at least once before the next
/// takes over.
///
/// Rows 26 to 29 and the links of FL are not sent; Level 1 decoders do not use them.
/// Not thread-safe.
class TtiCarousel final : public PacketSource
{
public:
    /// The 32 display characters of a header (columns 8 to 39) for a page at a time.
    using HeaderText = std::function<std::string(std::uint16_t page, std::chrono::system_clock::time_point)>;

    /// The clock must outlive the carousel. Pages with a number outside 0x100 to 0x8FF, or
    /// without subpages, are left out.
    TtiCarousel(std::vector<TtiPage> pages, BroadcastClock& clock, HeaderText headerText);

    bool NextPacket(Packet& packet) override;

    /// Pages on air.
    std::size_t PageCount() const;
    /// The header fields a subpage is sent with.
    static PageHeader HeaderFor(std::uint16_t pageNumber, const TtiSubpage& subpage);

private:
    struct OnAir
    {
        TtiPage page;
        std::size_t current = 0; ///< subpage on air
        std::chrono::system_clock::time_point since{};
        int transmissions = 0; ///< of the current subpage
        bool started = false;
    };
    struct Magazine
    {
        std::vector<std::size_t> pages; ///< into m_pages, in page number order
        std::size_t next = 0;
    };

    void StartBlock();
    void ChooseSubpage(OnAir& page, std::chrono::system_clock::time_point now);
    void MakeHeader(Packet& packet, const PageHeader& header, std::uint16_t shownNumber,
                    std::chrono::system_clock::time_point now) const;

    std::vector<OnAir> m_pages;
    std::vector<Magazine> m_magazines; ///< only magazines with pages
    BroadcastClock& m_clock;
    HeaderText m_headerText;

    std::size_t m_nextMagazine = 0;
    std::vector<Packet> m_block; ///< the packets of the block going out
    std::size_t m_blockNext = 0;
};

} // namespace quav
