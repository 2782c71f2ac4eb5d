#include "broadcast/PageAssembler.h"

#include "broadcast/PacketCoding.h"

#include <cstring>

namespace quav {

std::uint8_t PageAssembler::TextCode(std::uint8_t byte)
{
    return packet_coding::HasOddParity(byte) ? static_cast<std::uint8_t>(byte & 0x7F) : std::uint8_t{0x20};
}

void PageAssembler::Reset()
{
    m_rowsTaken.fill(0);
    m_pages = {};
    m_undecodable = 0;
    m_badHeaders = 0;
}

// The body of Feed, inlined into FeedAll's loop: a recording is read at a few nanoseconds a
// packet, where a call per packet would be felt. The rows of pages being loaded, nearly all
// packets, take one table look-up per address byte and one test.
[[gnu::always_inline]] inline void PageAssembler::FeedPacket(std::span<const std::uint8_t, PacketSize> packet)
{
    const unsigned mrag =
        packet_coding::AddressTables[0][packet[0]] | packet_coding::AddressTables[1][packet[1]];
    const unsigned row = mrag >> 3;             // 32 or more when the address is beyond correction
    const std::size_t index = (mrag - 1U) & 7U; // magazine 8 is sent as 0
    if ((m_rowsTaken[index] >> row) & 1U) [[likely]] {
        AssembledPage& page = m_pages[index];
        packet_coding::DecodeText40(packet.data() + PayloadOffset, page.rows[row].data());
        page.receivedRows |= 1U << row;
        if (m_reportRows) {
            m_listener.RowReceived(page, static_cast<int>(row));
        }
        return;
    }
    if (mrag >= packet_coding::AddressRejected) {
        ++m_undecodable;
    } else if (row == 0) {
        OnHeader(packet, index);
    }
}

void PageAssembler::Feed(std::span<const std::uint8_t, PacketSize> packet)
{
    FeedPacket(packet);
}

void PageAssembler::FeedAll(std::span<const std::uint8_t> packets)
{
    for (std::size_t at = 0; at + PacketSize <= packets.size(); at += PacketSize) {
        FeedPacket(packets.subspan(at).first<PacketSize>());
    }
}

void PageAssembler::Complete(std::size_t index)
{
    m_rowsTaken[index] = 0;
    m_listener.PageCompleted(m_pages[index]);
}

void PageAssembler::OnHeader(std::span<const std::uint8_t, PacketSize> packet, std::size_t index)
{
    // Whatever this header says, it is the end of the page before it in its magazine, and
    // of a page of any magazine that was sent in serial mode.
    for (std::size_t m = 0; m < m_pages.size(); ++m) {
        if (m_rowsTaken[m] != 0 && (m == index || m_pages[m].header.Serial())) {
            Complete(m);
        }
    }
    // Decoded straight into place: a header built aside and copied over costs a stall on
    // every page.
    AssembledPage& page = m_pages[index];
    if (!DecodeHeader(packet, page.header)) {
        ++m_badHeaders;
        return;
    }
    std::memset(page.rows.data(), 0x20, sizeof page.rows);
    // The header's payload decoded as text, then its eight coded bytes put back as spaces.
    packet_coding::DecodeText40(packet.data() + PayloadOffset, page.rows[0].data());
    std::memset(page.rows[0].data(), 0x20, HeaderTextColumn);
    page.receivedRows = 1;
    m_rowsTaken[index] = PageRows;
    m_listener.PageStarted(page);
}

} // namespace quav
