#pragma once

#include "broadcast/Packet.h"
#include "broadcast/PageHeader.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quav::test {

/// Builds teletext packets for tests, coded as a broadcaster codes them: Hamming 8/4 for
/// the address and header fields, odd parity for the text.
namespace packets {

/// A header packet. `page` is the three-digit page number ("100", "8FF"); `text` fills the
/// 32 display columns 8 to 39 (padded with spaces). Subcode as four digits S4 S3 S2 S1,
/// e.g. 0x0002 for subpage 2.
Packet Header(std::string_view page, std::uint16_t subcode, std::string_view text, std::uint16_t control = 0);
Packet Header(const PageHeader& header, std::string_view text);
/// A page row (1 to 31) of a magazine with 40 bytes of text (padded with spaces). Bytes
/// below 0x20 are sent as they are, so attribute codes can be written as "\x03".
Packet Row(int magazine, int row, std::string_view text);
/// 40 bytes of odd-parity text (padded with spaces).
std::vector<std::uint8_t> Text(std::string_view text, std::size_t length);

/// One page of a broadcast: header and rows 1 to 23 (empty rows are not sent).
struct TestPage
{
    std::string number = "100";
    std::uint16_t subcode = 0;
    std::uint16_t control = 0;
    std::string headerText;
    std::vector<std::string> rows = std::vector<std::string>(24); ///< index 1 to 23 used

    /// The header fields as the page sends them.
    PageHeader Header() const;
    /// The header followed by its non-empty rows.
    std::vector<Packet> Packets() const;
    /// Row r as the decoder chip stores it: 40 seven-bit codes.
    std::vector<std::uint8_t> StoredRow(int r) const;
};

/// The header text of a test broadcast at a given second: the label, and the clock
/// "hh:mm:ss" in the last eight columns (32 to 39), where a real header has it.
std::string ClockText(std::string_view label, int second);

/// Writes packets to a T42 file; `tail` extra bytes are appended (a truncated packet).
void WriteT42(const std::string& path, const std::vector<Packet>& packets, std::size_t tail = 0);

} // namespace packets
} // namespace quav::test
