#pragma once

#include "broadcast/Packet.h"
#include "broadcast/PageHeader.h"

#include <array>
#include <cstdint>
#include <span>

namespace quav {

/// A page as it is put together from the packets of its magazine.
struct AssembledPage
{
    static constexpr int Rows = 24; ///< rows 0 to 23
    static constexpr int Columns = 40;

    PageHeader header;
    /// Seven-bit codes. Row 0 holds the header's display bytes in columns 8 to 39 and
    /// spaces before them. A text byte that fails its parity check is kept as a space.
    std::array<std::array<std::uint8_t, Columns>, Rows> rows{};
    /// Bit r is set once row r has arrived; the header sets bit 0.
    std::uint32_t receivedRows = 0;
};

/// What page assembly reports, in broadcast order.
class PageAssemblyListener
{
public:
    virtual ~PageAssemblyListener() = default;

    /// A page has ended: the next header of its magazine arrived, or, for a page sent in
    /// serial mode (C11), the next header of any magazine. Called before the header that
    /// ended it is reported.
    virtual void PageCompleted(const AssembledPage& page) = 0;
    /// A header arrived and its page has begun; rows 1 to 23 are still spaces.
    virtual void PageStarted(const AssembledPage& page) = 0;
    /// Row `row` (1 to 23) of a page being loaded arrived and is now in `page.rows`.
    virtual void RowReceived(const AssembledPage& page, int row) = 0;
};

/// Sorts packets into pages, magazine by magazine (ETS 300 706, 7.2): a header starts a
/// page of its magazine, the rows that follow in that magazine belong to it, and the next
/// header ends it. With C11 set the magazines are sent one after the other (serial mode),
/// so the next header of any magazine ends the page.
///
/// A packet whose address cannot be decoded is counted and dropped. A header whose page
/// number or control bits cannot be decoded still ends the page before it, but starts
/// none: the rows after it belong to a page nobody knows, so they are dropped too. Rows
/// 24 to 31 (links, enhancements) are not kept.
///
/// Used by the simulated decoder chip, and meant for anything else that wants whole pages
/// out of a packet stream. Not thread-safe.
class PageAssembler
{
public:
    /// Whether RowReceived is called: a listener that only wants whole pages saves a call
    /// for every row of the broadcast.
    enum class RowReports
    {
        Each,
        None,
    };

    explicit PageAssembler(PageAssemblyListener& listener, RowReports rows = RowReports::Each)
        : m_listener(listener), m_reportRows(rows == RowReports::Each)
    {
    }

    /// Back to the power-on state: no page being loaded in any magazine.
    void Reset();

    /// Takes the next packet of the broadcast.
    void Feed(const Packet& packet) { Feed(std::span<const std::uint8_t, PacketSize>(packet)); }
    /// The same for a packet where it lies, in a recording read into memory.
    void Feed(std::span<const std::uint8_t, PacketSize> packet);
    /// Takes the packets that lie one after the other in `packets`, whose size must be a
    /// multiple of PacketSize: a piece of a recording read into memory.
    void FeedAll(std::span<const std::uint8_t> packets);

    /// True while `magazine` (1 to 8) has a page being loaded.
    bool Loading(int magazine) const { return m_rowsTaken[Index(magazine)] != 0; }
    /// The page being loaded (or last loaded) in `magazine`.
    const AssembledPage& Page(int magazine) const { return m_pages[Index(magazine)]; }

    /// Packets dropped because their address could not be decoded.
    std::uint64_t UndecodablePackets() const { return m_undecodable; }
    /// Headers dropped because their page number or control bits could not be decoded.
    std::uint64_t UndecodableHeaders() const { return m_badHeaders; }

    /// The seven-bit code of a text byte, or a space when its parity is wrong.
    static std::uint8_t TextCode(std::uint8_t byte);

private:
    static std::size_t Index(int magazine) { return static_cast<std::size_t>((magazine - 1) & 7); }
    void FeedPacket(std::span<const std::uint8_t, PacketSize> packet);
    void Complete(std::size_t index);
    void OnHeader(std::span<const std::uint8_t, PacketSize> packet, std::size_t index);

    /// Rows 1 to 23, the rows a page being loaded takes.
    static constexpr std::uint64_t PageRows = 0x00FFFFFE;

    PageAssemblyListener& m_listener;
    bool m_reportRows = true;
    std::array<AssembledPage, 8> m_pages{};
    /// By magazine index: bit r set when a row r packet goes into the page, PageRows while a
    /// page is being loaded and 0 otherwise. Bits 24 to 63 stay clear, so that a row number
    /// from an address beyond correction (32 and up) is never taken either.
    std::array<std::uint64_t, 8> m_rowsTaken{};
    std::uint64_t m_undecodable = 0;
    std::uint64_t m_badHeaders = 0;
};

} // namespace quav
