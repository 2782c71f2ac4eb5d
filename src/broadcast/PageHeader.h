#pragma once

#include "broadcast/Packet.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace quav {

/// The coded fields of a page header (packet X/0, ETS 300 706, 9.3.1): page number,
/// subcode S1 to S4 and the control bits C4 to C14.
struct PageHeader
{
    std::uint8_t magazine = 1; ///< 1 to 8
    std::uint8_t tens = 0;     ///< page number tens digit, 0 to 15
    std::uint8_t units = 0;    ///< page number units digit, 0 to 15
    /// Subcode digits S1 (4 bits), S2 (3 bits), S3 (4 bits), S4 (2 bits).
    std::array<std::uint8_t, 4> subcode{};
    /// Control bits: bit n holds Cn, for n = 4 to 14.
    std::uint16_t control = 0;

    /// Control bits by their number.
    static constexpr int C4 = 4;   ///< erase page
    static constexpr int C11 = 11; ///< serial transmission: the next header of any magazine ends the page
    static constexpr int C12 = 12; ///< national option, with C13 and C14

    bool Control(int n) const { return ((control >> n) & 1U) != 0; }
    void SetControl(int n, bool on);

    /// Page number within the magazine, tens * 16 + units; 0xFF is the filler header.
    std::uint8_t Page() const { return static_cast<std::uint8_t>(tens << 4 | units); }
    /// National option C12 + 2 C13 + 4 C14 (0 English, 1 French, 2 Swedish, 4 German ...).
    std::uint8_t NationalOption() const { return static_cast<std::uint8_t>((control >> C12) & 7U); }
    void SetNationalOption(std::uint8_t option);
    bool Serial() const { return Control(C11); }

    friend bool operator==(const PageHeader&, const PageHeader&) = default;
};

/// The most subpages kept of one page, in a recording's page cache and in TTI pages.
/// Rotating pages number their subpages 0001 to 0079 (ETS 300 706, annex A.1), the two
/// digits a viewer keys in; real carousels stay well below. With at most 0x800 page
/// numbers this bounds what any source can make the program hold (about 180 MB at most),
/// whatever its size; subpages beyond it are skipped and reported.
inline constexpr std::size_t MaxSubpagesPerPage = 79;

/// The fields of a header packet (row 0). Nothing when the packet is no header or when any
/// of its coded bytes is beyond correction.
std::optional<PageHeader> DecodeHeader(std::span<const std::uint8_t, PacketSize> packet);
/// The same into `header`, for the path that reads every header of a recording; false, with
/// `header` untouched, where DecodeHeader gives nothing.
bool DecodeHeader(std::span<const std::uint8_t, PacketSize> packet, PageHeader& header);

/// Writes the address and the eight coded header bytes (packet bytes 0 to 9).
void EncodeHeader(Packet& packet, const PageHeader& header);

} // namespace quav
