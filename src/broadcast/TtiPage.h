#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

namespace quav {

/// Pages as teletext editors store them in TTI files (the MRG Systems page format that
/// wxTED, vbit2 and many inserters read and write). Plain data: what a file says, decoded
/// into 7-bit teletext codes, before anything is turned into packets.
namespace tti {

inline constexpr int RowLength = 40;                  ///< characters per row
inline constexpr int DisplayRowCount = 26;            ///< rows 0 to 25: one row each per subpage
inline constexpr int RowCount = 30;                   ///< rows 26 to 29 carry enhancement data
inline constexpr int LinkCount = 6;                   ///< FL: red, green, yellow, cyan, next, index
inline constexpr std::uint16_t NoPage = 0x8FF;        ///< "no page" in links (page FF of magazine 8)
inline constexpr std::uint16_t TransmitFlag = 0x8000; ///< PS bit 15, set by every editor
inline constexpr std::uint16_t DefaultPageStatus = TransmitFlag;
inline constexpr int DefaultCycleTime = 8;

} // namespace tti

using TtiRowBytes = std::array<std::uint8_t, tti::RowLength>;

/// How a CT cycle time counts: in transmission cycles (C) or in seconds (T).
enum class TtiCycleMode
{
    Cycles,
    Seconds,
};

/// A row 26 to 29 as read from its OL line. These rows can come more than once per
/// subpage (one per designation code), so they are kept in file order.
struct TtiExtraRow
{
    int number = 26;
    TtiRowBytes bytes{};
    friend bool operator==(const TtiExtraRow&, const TtiExtraRow&) = default;
};

/// One PN block of a TTI file: a subpage of a page.
struct TtiSubpage
{
    /// The two digits after the page number in PN (read as hexadecimal, like the rest of PN).
    int subpage = 0;
    /// SC, 0 to 0x3F7F; without an SC line the PN subpage digits.
    std::uint16_t subcode = 0;
    /// PS: the page status word, control bits C4 to C14 included (see Control).
    std::uint16_t pageStatus = tti::DefaultPageStatus;
    /// RE: the region of the character set (used with enhancement data).
    int region = 0;
    /// CT: how long the subpage stays on air in a carousel before the next one.
    int cycleTime = tti::DefaultCycleTime;
    TtiCycleMode cycleMode = TtiCycleMode::Seconds;
    /// Rows 0 to 25, 7-bit codes; rows that the file does not give are spaces.
    std::array<TtiRowBytes, tti::DisplayRowCount> rows = BlankRows();
    /// Which of rows 0 to 25 the file gives (absent rows are not broadcast).
    std::bitset<tti::DisplayRowCount> rowPresent;
    /// Rows 26 to 29 in file order, kept for enhancement levels above 1.
    std::vector<TtiExtraRow> extraRows;
    /// FL: the six linked pages (0x100 to 0x8FF), when the file gives them.
    bool hasLinks = false;
    std::array<std::uint16_t, tti::LinkCount> links{tti::NoPage, tti::NoPage, tti::NoPage,
                                                    tti::NoPage, tti::NoPage, tti::NoPage};

    /// Control bit C4 to C14 of the page header, as PS stores them:
    /// C4 erase = 0x4000, C5 newsflash = 0x0001, C6 subtitle = 0x0002, C7 suppress header =
    /// 0x0004, C8 update = 0x0008, C9 interrupted sequence = 0x0010, C10 inhibit display =
    /// 0x0020, C11 magazine serial = 0x0040, C12 = 0x0080, C13 = 0x0100, C14 = 0x0200.
    /// Any other number gives false.
    bool Control(int c) const;
    /// The national option: C12 as bit 0, C13 as bit 1, C14 as bit 2, the order in which
    /// decoder chips report it. So PS 8200 (C14 alone) gives 4, German; 8080 (C12 alone) gives 1, French;
    /// 8000 gives 0, English.
    int NationalOption() const;

    static std::array<TtiRowBytes, tti::DisplayRowCount> BlankRows();

    friend bool operator==(const TtiSubpage&, const TtiSubpage&) = default;
};

/// The mask of control bit c (4 to 14) in a PS word, 0 for any other c.
std::uint16_t TtiControlMask(int c);

/// A page: all PN blocks of one page number, in file order. More than one subpage makes a
/// carousel, rotating by the subpages' cycle times.
struct TtiPage
{
    /// Magazine and page, 0x100 to 0x8FF (magazine 8 written as 8, not 0).
    std::uint16_t number = 0x100;
    std::string description; ///< DE
    std::string destination; ///< DS
    std::string sourcePath;  ///< SP
    std::string fileName;    ///< the file the page came from, for messages
    std::vector<TtiSubpage> subpages;

    bool IsCarousel() const { return subpages.size() > 1; }

    friend bool operator==(const TtiPage&, const TtiPage&) = default;
};

/// "100", "1F0", "8FF": the three hexadecimal digits of a page number, upper case.
std::string TtiPageNumberText(std::uint16_t number);

} // namespace quav
