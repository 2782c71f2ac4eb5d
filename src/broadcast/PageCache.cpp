#include "broadcast/PageCache.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace quav {

PageNumberSet PageNumberSet::All()
{
    PageNumberSet set;
    set.m_pages.set();
    return set;
}

int PageNumberSet::IndexOf(std::uint16_t number)
{
    const int magazine = number >> 8;
    if (magazine < 1 || magazine > 8) {
        return -1;
    }
    return (magazine - 1) << 8 | (number & 0xFF);
}

void PageNumberSet::Add(std::uint16_t number)
{
    const int index = IndexOf(number);
    if (index >= 0) {
        m_pages.set(static_cast<std::size_t>(index));
    }
}

void PageNumberSet::AddRange(std::uint16_t first, std::uint16_t last)
{
    for (unsigned n = first; n <= last; ++n) {
        Add(static_cast<std::uint16_t>(n));
    }
}

bool PageNumberSet::Contains(std::uint16_t number) const
{
    const int index = IndexOf(number);
    return index >= 0 && m_pages.test(static_cast<std::size_t>(index));
}

std::vector<std::uint16_t> PageNumberSet::Numbers() const
{
    std::vector<std::uint16_t> out;
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        if (m_pages.test(i)) {
            out.push_back(static_cast<std::uint16_t>(((i >> 8) + 1) << 8 | (i & 0xFF)));
        }
    }
    return out;
}

std::array<std::uint8_t, AssembledPage::Rows * AssembledPage::Columns> CachedPage::PageBytes() const
{
    std::array<std::uint8_t, AssembledPage::Rows * AssembledPage::Columns> out{};
    for (std::size_t r = 0; r < page.rows.size(); ++r) {
        std::memcpy(out.data() + r * AssembledPage::Columns, page.rows[r].data(), AssembledPage::Columns);
    }
    return out;
}

PageCache::PageCache(PageNumberSet wanted) : m_wanted(wanted) {}

std::size_t PageCache::Ingest(std::span<const std::uint8_t> bytes)
{
    const std::size_t whole = bytes.size() / PacketSize;
    Packet packet;
    for (std::size_t i = 0; i < whole; ++i) {
        std::memcpy(packet.data(), bytes.data() + i * PacketSize, PacketSize);
        m_assembler.Feed(packet);
    }
    return bytes.size() - whole * PacketSize;
}

void PageCache::Finish()
{
    for (int m = 1; m <= 8; ++m) {
        if (m_assembler.Loading(m)) {
            PageCompleted(m_assembler.Page(m));
        }
    }
}

void PageCache::PageCompleted(const AssembledPage& page)
{
    const PageHeader& h = page.header;
    if (h.Page() == 0xFF) {
        return; // a filler, not a page
    }
    const auto number = static_cast<std::uint16_t>(h.magazine << 8 | h.Page());
    const int index = PageNumberSet::IndexOf(number);
    if (index < 0 || !m_wanted.Contains(number)) {
        return;
    }
    const auto subcode =
        static_cast<std::uint16_t>(h.subcode[3] << 12 | h.subcode[2] << 8 | h.subcode[1] << 4 | h.subcode[0]);
    auto& slot = m_slots[static_cast<std::size_t>(index)];
    for (CachedPage& known : slot) {
        if (known.subcode == subcode) {
            if (std::popcount(page.receivedRows) >= std::popcount(known.page.receivedRows)) {
                known.page = page;
            }
            return;
        }
    }
    if (slot.size() >= MaxSubpagesPerPage) {
        ++m_skipped;
        return;
    }
    slot.push_back(CachedPage{number, subcode, page});
    ++m_count;
}

std::vector<const CachedPage*> PageCache::Pages() const
{
    std::vector<const CachedPage*> out;
    out.reserve(m_count);
    for (const auto& slot : m_slots) {
        const std::size_t first = out.size();
        for (const CachedPage& p : slot) {
            out.push_back(&p);
        }
        std::sort(out.begin() + static_cast<std::ptrdiff_t>(first), out.end(),
                  [](const CachedPage* a, const CachedPage* b) { return a->subcode < b->subcode; });
    }
    return out;
}

bool PageCache::Has(std::uint16_t number) const
{
    const int index = PageNumberSet::IndexOf(number);
    return index >= 0 && !m_slots[static_cast<std::size_t>(index)].empty();
}

} // namespace quav
