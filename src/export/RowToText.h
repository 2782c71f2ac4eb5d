#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace quav {

namespace text {
inline constexpr int RowLength = 40;                            ///< characters per text row
inline constexpr int RowCount = 24;                             ///< page buffer rows 0 to 23
inline constexpr int PageBytes = RowLength * RowCount;          ///< 960, the page buffer
inline constexpr int PageTextSize = RowCount * (RowLength + 2); ///< 1008, with CR LF per row
/// The section sign in the page text: the one of the DOS code pages, not Windows' 0xA7.
inline constexpr char SectionSign = 0x15;
} // namespace text

/// One text row: 40 bytes in the Windows character set (code page 1252), where 0x15
/// stands for the section sign.
using TextRow = std::array<char, text::RowLength>;

/// Converts 40 row bytes to text. Colour codes switch between text and block mosaics;
/// attributes and block mosaics become spaces, the capitals among mosaics stay, and the
/// German national characters (§ Ä Ö Ü ä ö ü ß) are mapped. ° becomes an apostrophe.
/// Nothing else is interpreted: concealed text is part of the text.
TextRow RowToText(std::span<const std::uint8_t, text::RowLength> row);

/// The text of row `row` (0 to 23) of a page buffer; any other row number gives spaces.
TextRow RowToText(std::span<const std::uint8_t, text::PageBytes> page, int row);

/// The page text: rows 0 to 23, each followed by CR LF, 1008 bytes.
std::string PageText(std::span<const std::uint8_t, text::PageBytes> page);

/// The Unicode character of one text byte: code page 1252, with 0x15 as §.
char16_t TextCharToUnicode(char ch);

/// The same 24 x 40 characters as PageText in UTF-16, each row followed by `lineEnd`.
std::u16string PageTextUtf16(std::span<const std::uint8_t, text::PageBytes> page,
                             std::u16string_view lineEnd = u"\n");

/// The same 24 x 40 characters as PageText in UTF-8, each row followed by `lineEnd`.
std::string PageTextUtf8(std::span<const std::uint8_t, text::PageBytes> page,
                         std::string_view lineEnd = "\n");

} // namespace quav
