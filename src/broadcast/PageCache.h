#pragma once

#include "broadcast/Packet.h"
#include "broadcast/PageAssembler.h"

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <type_traits>
#include <vector>

namespace quav {

/// A set of page numbers 0x100 to 0x8FF (magazine 8 written as 8).
class PageNumberSet
{
public:
    static PageNumberSet All();

    void Add(std::uint16_t number);
    /// Adds every page from `first` to `last` (both included), in page number order.
    void AddRange(std::uint16_t first, std::uint16_t last);
    bool Contains(std::uint16_t number) const;
    bool Empty() const { return m_pages.none(); }
    std::size_t Count() const { return m_pages.count(); }
    /// The numbers in the set, ascending.
    std::vector<std::uint16_t> Numbers() const;

    /// Index 0 to 2047 of a page number, for magazine 1 to 8; -1 for anything else.
    static int IndexOf(std::uint16_t number);

private:
    std::bitset<2048> m_pages;
};

/// One page as a recording held it.
struct CachedPage
{
    std::uint16_t number = 0x100; ///< 0x100 to 0x8FF
    std::uint16_t subcode = 0;    ///< S4 S3 S2 S1 as four hexadecimal digits, 0 to 0x3F7F
    AssembledPage page;

    /// The 960 bytes of rows 0 to 23, as the decoder's page buffer holds them: row 0 with
    /// the header's display text from column 8 and spaces before it.
    std::array<std::uint8_t, AssembledPage::Rows * AssembledPage::Columns> PageBytes() const;
};

/// Every page and subpage of a packet stream, collected in one pass: the page assembly of
/// the decoder chip, with a memory for all pages instead of one.
///
/// A page counts once its transmission has ended, as a decoder sees it; at the end of the
/// stream (Finish) the pages still being loaded count too. Filler headers (page FF) are
/// not pages. A page and subcode sent more than once is kept as last sent, unless the
/// later copy has fewer rows (it was damaged). At most MaxSubpagesPerPage subcodes are kept
/// per page, so that no stream makes the cache grow beyond that; the rest are counted as
/// skipped. Not thread-safe.
class PageCache final : private PageAssemblyListener
{
public:
    explicit PageCache(PageNumberSet wanted = PageNumberSet::All());

    PageCache(const PageCache&) = delete;
    PageCache& operator=(const PageCache&) = delete;

    void Feed(const Packet& packet) { m_assembler.Feed(packet); }
    /// Feeds the whole packets in `bytes` (a piece of a T42 recording); a trailing piece
    /// of a packet is returned as its length and not taken, so the caller can keep it for
    /// the next call.
    std::size_t Ingest(std::span<const std::uint8_t> bytes);
    /// The stream has ended: pages still being loaded are taken as they are. Call it once,
    /// after the last packet.
    void Finish();

    /// The pages so far, by page number and subcode.
    std::vector<const CachedPage*> Pages() const;
    std::size_t PageCount() const { return m_count; }
    /// How many subpages were dropped because their page already had MaxSubpagesPerPage.
    std::size_t SkippedSubpages() const { return m_skipped; }
    /// Whether page `number` (any subcode) has come.
    bool Has(std::uint16_t number) const;

    const PageAssembler& Assembler() const { return m_assembler; }

private:
    void PageCompleted(const AssembledPage& page) override;
    void PageStarted(const AssembledPage&) override {}
    void RowReceived(const AssembledPage&, int) override {}

    /// A page kept, as its page number's slot lists it: what finding it and the damaged-repeat
    /// rule need lies together, and the kilobyte of the page is only touched to store it.
    struct Kept
    {
        std::uint16_t subcode = 0;
        std::uint8_t rows = 0; ///< rows received
        CachedPage* page = nullptr;
    };
    /// Pages are stored in blocks, so they never move and a new one costs no allocation of
    /// its own. A page is built in place when it first comes; nothing needs destroying.
    static constexpr std::size_t BlockSize = 64;
    static_assert(std::is_trivially_destructible_v<CachedPage>);
    struct Block
    {
        alignas(CachedPage) std::byte bytes[BlockSize * sizeof(CachedPage)];
    };

    PageAssembler m_assembler{*this, PageAssembler::RowReports::None};
    PageNumberSet m_wanted;
    std::array<std::vector<Kept>, 2048> m_slots; ///< by PageNumberSet::IndexOf
    std::vector<std::unique_ptr<Block>> m_blocks;
    std::size_t m_count = 0;
    std::size_t m_skipped = 0;
};

} // namespace quav
