#include "broadcast/PageAssembler.h"

#include "broadcast/PacketCoding.h"

#include <cstring>

namespace quav {

namespace {

/// TextCode for eight bytes at once: a recording is mostly page rows, and reading one in a
/// single pass should cost only a few nanoseconds per packet.
inline std::uint64_t DecodeText8(std::uint64_t x)
{
    constexpr std::uint64_t Ones = 0x0101010101010101ULL;
    // Bit 0 of each byte becomes the parity of that byte; bits shifted in from the
    // neighbouring byte only reach the bits above.
    std::uint64_t p = x ^ (x >> 4);
    p ^= p >> 2;
    p ^= p >> 1;
    const std::uint64_t odd = (p & Ones) * 0xFF; // 0xFF where the parity is right
    return (x & (Ones * 0x7F) & odd) | (Ones * 0x20 & ~odd);
}

void DecodeText(const std::uint8_t* in, std::uint8_t* out)
{
    for (std::size_t i = 0; i < AssembledPage::Columns; i += 8) {
        std::uint64_t x = 0;
        std::memcpy(&x, in + i, 8);
        x = DecodeText8(x);
        std::memcpy(out + i, &x, 8);
    }
}

static_assert(AssembledPage::Columns % 8 == 0);

} // namespace

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
    DecodeText(packet.data() + PayloadOffset, page.rows[address->row].data());
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
