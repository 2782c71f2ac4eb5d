#include "broadcast/TtiCarousel.h"

#include "broadcast/PacketCoding.h"

#include <algorithm>
#include <array>

namespace quav {

namespace {

constexpr std::uint16_t FillerSubcode = 0x3F7F;
constexpr std::uint8_t FillerPage = 0xFF;
constexpr std::size_t HeaderTextLength = PacketSize - HeaderTextOffset; // columns 8 to 39

std::uint8_t MagazineOf(std::uint16_t number)
{
    return static_cast<std::uint8_t>((number >> 8) & 0x0F);
}

void WriteText(Packet& packet, std::size_t offset, const std::uint8_t* codes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        packet[offset + i] = packet_coding::WithOddParity(static_cast<std::uint8_t>(codes[i] & 0x7F));
    }
}

} // namespace

TtiCarousel::TtiCarousel(std::vector<TtiPage> pages, BroadcastClock& clock, HeaderText headerText)
    : m_clock(clock), m_headerText(std::move(headerText))
{
    std::stable_sort(pages.begin(), pages.end(),
                     [](const TtiPage& a, const TtiPage& b) { return a.number < b.number; });
    std::array<std::vector<std::size_t>, 9> byMagazine;
    for (auto& page : pages) {
        const std::uint8_t magazine = MagazineOf(page.number);
        if (page.subpages.empty() || magazine < 1 || magazine > 8) {
            continue;
        }
        byMagazine[magazine].push_back(m_pages.size());
        m_pages.push_back(OnAir{std::move(page)});
    }
    for (auto& list : byMagazine) {
        if (!list.empty()) {
            m_magazines.push_back(Magazine{std::move(list)});
        }
    }
}

std::size_t TtiCarousel::PageCount() const
{
    return m_pages.size();
}

PageHeader TtiCarousel::HeaderFor(std::uint16_t pageNumber, const TtiSubpage& subpage)
{
    PageHeader h;
    h.magazine = MagazineOf(pageNumber);
    h.tens = static_cast<std::uint8_t>((pageNumber >> 4) & 0x0F);
    h.units = static_cast<std::uint8_t>(pageNumber & 0x0F);
    const unsigned sc = subpage.subcode;
    h.subcode = {static_cast<std::uint8_t>(sc & 0x0F), static_cast<std::uint8_t>((sc >> 4) & 0x07),
                 static_cast<std::uint8_t>((sc >> 8) & 0x0F), static_cast<std::uint8_t>((sc >> 12) & 0x03)};
    for (int c = 4; c <= 14; ++c) {
        h.SetControl(c, subpage.Control(c));
    }
    return h;
}

void TtiCarousel::ChooseSubpage(OnAir& page, std::chrono::system_clock::time_point now)
{
    const std::size_t count = page.page.subpages.size();
    if (!page.started) {
        page.started = true;
        page.current = 0;
        page.since = now;
        page.transmissions = 0;
    } else if (count > 1) {
        const TtiSubpage& sub = page.page.subpages[page.current];
        const int cycle = std::max(sub.cycleTime, 1);
        if (now < page.since) {
            page.since = now; // the clock was set back: count afresh
        }
        const bool due = sub.cycleMode == TtiCycleMode::Cycles
                             ? page.transmissions >= cycle
                             : now - page.since >= std::chrono::seconds(cycle);
        // A subpage that has not been sent even once keeps its turn, however late it is.
        if (due && page.transmissions > 0) {
            page.current = (page.current + 1) % count;
            page.since = now;
            page.transmissions = 0;
        }
    }
    ++page.transmissions;
}

void TtiCarousel::MakeHeader(Packet& packet, const PageHeader& header, std::uint16_t shownNumber,
                             std::chrono::system_clock::time_point now) const
{
    EncodeHeader(packet, header);
    std::array<std::uint8_t, HeaderTextLength> text{};
    text.fill(0x20);
    if (m_headerText) {
        const std::string s = m_headerText(shownNumber, now);
        std::copy_n(s.begin(), std::min(s.size(), text.size()), text.begin());
    }
    WriteText(packet, HeaderTextOffset, text.data(), text.size());
}

void TtiCarousel::StartBlock()
{
    m_block.clear();
    m_blockNext = 0;
    Magazine& magazine = m_magazines[m_nextMagazine];
    m_nextMagazine = (m_nextMagazine + 1) % m_magazines.size();
    OnAir& page = m_pages[magazine.pages[magazine.next]];
    magazine.next = (magazine.next + 1) % magazine.pages.size();

    const auto now = m_clock.Now();
    ChooseSubpage(page, now);
    const TtiSubpage& sub = page.page.subpages[page.current];
    const PageHeader header = HeaderFor(page.page.number, sub);

    Packet packet{};
    MakeHeader(packet, header, page.page.number, now);
    m_block.push_back(packet);
    for (int row = 1; row < tti::DisplayRowCount; ++row) {
        if (!sub.rowPresent.test(static_cast<std::size_t>(row))) {
            continue;
        }
        EncodeAddress(packet, PacketAddress{header.magazine, static_cast<std::uint8_t>(row)});
        WriteText(packet, PayloadOffset, sub.rows[static_cast<std::size_t>(row)].data(), tti::RowLength);
        m_block.push_back(packet);
    }
    // With other magazines taking the next turn, only a header of this magazine ends the
    // page now; a page in serial mode is ended by whichever header comes next.
    if (m_magazines.size() > 1 && !header.Serial()) {
        PageHeader filler = header;
        filler.tens = FillerPage >> 4;
        filler.units = FillerPage & 0x0F;
        filler.subcode = {0x0F, 0x07, 0x0F, 0x03};
        static_assert(FillerSubcode == 0x3F7F);
        filler.SetControl(PageHeader::C4, false);
        MakeHeader(packet, filler, page.page.number, now);
        m_block.push_back(packet);
    }
}

bool TtiCarousel::NextPacket(Packet& packet)
{
    if (m_magazines.empty()) {
        return false;
    }
    if (m_blockNext >= m_block.size()) {
        StartBlock();
    }
    packet = m_block[m_blockNext++];
    return true;
}

} // namespace quav
