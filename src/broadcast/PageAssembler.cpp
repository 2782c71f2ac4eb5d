#include "broadcast/PageAssembler.h"

#include "broadcast/PacketCoding.h"

namespace quav {

std::uint8_t PageAssembler::TextCode(std::uint8_t byte)
{
    return packet_coding::HasOddParity(byte) ? static_cast<std::uint8_t>(byte & 0x7F) : std::uint8_t{0x20};
}

void PageAssembler::Reset()
{
    m_loading.fill(false);
    m_pages = {};
    m_undecodable = 0;
    m_badHeaders = 0;
}

void PageAssembler::Feed(const Packet& packet)
{
    const auto address = DecodeAddress(packet);
    if (!address) {
        ++m_undecodable;
        return;
    }
    if (address->row == 0) {
        OnHeader(packet, *address);
        return;
    }
    const std::size_t index = Index(address->magazine);
    if (address->row >= AssembledPage::Rows || !m_loading[index]) {
        return;
    }
    AssembledPage& page = m_pages[index];
    auto& row = page.rows[address->row];
    for (std::size_t c = 0; c < row.size(); ++c) {
        row[c] = TextCode(packet[PayloadOffset + c]);
    }
    page.receivedRows |= 1U << address->row;
    m_listener.RowReceived(page, address->row);
}

void PageAssembler::Complete(std::size_t index)
{
    m_loading[index] = false;
    m_listener.PageCompleted(m_pages[index]);
}

void PageAssembler::OnHeader(const Packet& packet, PacketAddress address)
{
    const std::size_t index = Index(address.magazine);
    // Whatever this header says, it is the end of the page before it in its magazine, and
    // of a page of any magazine that was sent in serial mode.
    for (std::size_t m = 0; m < m_pages.size(); ++m) {
        if (m_loading[m] && (m == index || m_pages[m].header.Serial())) {
            Complete(m);
        }
    }
    const auto header = DecodeHeader(packet);
    if (!header) {
        ++m_badHeaders;
        return;
    }
    AssembledPage& page = m_pages[index];
    page.header = *header;
    for (auto& row : page.rows) {
        row.fill(0x20);
    }
    for (std::size_t c = HeaderTextColumn; c < AssembledPage::Columns; ++c) {
        page.rows[0][c] = TextCode(packet[HeaderTextOffset + c - HeaderTextColumn]);
    }
    page.receivedRows = 1;
    m_loading[index] = true;
    m_listener.PageStarted(page);
}

} // namespace quav
