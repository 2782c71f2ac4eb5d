#include "broadcast/PageCache.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

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

namespace {

/// Stores a later copy of a page over the one kept. A page sent again is mostly what it was
/// (often only the clock in its header has moved on), so rows are compared a word at a time
/// and only those that differ are written: reading the kept copy costs less than writing
/// all of it again.
void StoreChanges(AssembledPage& kept, const AssembledPage& page)
{
    kept.header = page.header;
    kept.receivedRows = page.receivedRows;
    static_assert(AssembledPage::Columns == 5 * sizeof(std::uint64_t));
    const auto word = [](const std::array<std::uint8_t, AssembledPage::Columns>& row, std::size_t w) {
        std::uint64_t x = 0;
        std::memcpy(&x, row.data() + w * sizeof x, sizeof x);
        return x;
    };
    for (std::size_t r = 0; r < page.rows.size(); ++r) {
        const auto& a = kept.rows[r];
        const auto& b = page.rows[r];
        const std::uint64_t differ = (word(a, 0) ^ word(b, 0)) | (word(a, 1) ^ word(b, 1)) |
                                     (word(a, 2) ^ word(b, 2)) | (word(a, 3) ^ word(b, 3)) |
                                     (word(a, 4) ^ word(b, 4));
        if (differ != 0) {
            kept.rows[r] = page.rows[r];
        }
    }
}

} // namespace

PageCache::PageCache(PageNumberSet wanted) : m_wanted(wanted) {}

std::size_t PageCache::Ingest(std::span<const std::uint8_t> bytes)
{
    const std::size_t whole = bytes.size() / PacketSize;
    m_assembler.FeedAll(bytes.first(whole * PacketSize));
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
    const auto rows = static_cast<std::uint8_t>(std::popcount(page.receivedRows));
    auto& slot = m_slots[static_cast<std::size_t>(index)];
    for (Kept& known : slot) {
        if (known.subcode == subcode) {
            if (rows >= known.rows) {
                known.rows = rows;
                StoreChanges(known.page->page, page);
            }
            return;
        }
    }
    if (slot.size() >= MaxSubpagesPerPage) {
        ++m_skipped;
        return;
    }
    if (m_count % BlockSize == 0) {
        m_blocks.push_back(std::make_unique_for_overwrite<Block>()); // no kilobytes cleared for nothing
    }
    void* const place = m_blocks.back()->bytes + m_count % BlockSize * sizeof(CachedPage);
    CachedPage* added = ::new (place) CachedPage{number, subcode, page};
    slot.push_back(Kept{subcode, rows, added});
    ++m_count;
}

std::vector<const CachedPage*> PageCache::Pages() const
{
    std::vector<const CachedPage*> out;
    out.reserve(m_count);
    for (const auto& slot : m_slots) {
        const std::size_t first = out.size();
        for (const Kept& p : slot) {
            out.push_back(p.page);
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
