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
/// One text row in Unicode.
using UnicodeRow = std::array<char16_t, text::RowLength>;

// The page text of both forms follows the page's national option (0 to 7, C12 + 2 x C13 +
// 4 x C14 of its header; 7 is written as English), which decides the characters at the 13
// national positions 0x23 0x24 0x40 0x5B-0x60 0x7B-0x7E (ETS 300 706, table 36):
//
//   option  subset                     0x23 24 40 5B 5C 5D 5E 5F 60 7B 7C 7D 7E
//   0, 7    English                       £  $  @  ←  ½  →  ↑  #  —  ¼  ‖  ¾  ÷
//   1       French                        é  ï  à  ë  ê  ù  î  #  è  â  ô  û  ç
//   2       Swedish/Finnish/Hungarian     #  ¤  É  Ä  Ö  Å  Ü  _  é  ä  ö  å  ü
//   3       Czech/Slovak                  #  ů  č  ť  ž  ý  í  ř  é  á  ě  ú  š
//   4       German                        #  $  §  Ä  Ö  Ü  ^  _  °  ä  ö  ü  ß
//   5       Portuguese/Spanish            ç  $  ¡  á  é  í  ó  ú  ¿  ü  ñ  è  à
//   6       Italian                       £  $  é  °  ç  →  ↑  #  ù  à  ò  è  ì
//
// The Unicode form has exactly these characters, and the block 0x7F as ■ (U+25A0). The
// Windows form has the code page 1252 character wherever there is one (š ž and — among
// them, at 0x9A 0x9E 0x97); where there is none it writes a stand-in:
//
//   ← <    → >    ↑ ^    ‖ |    ů u    č c    ť t    ř r    ě e
//
// and German pages keep the forms their text files always had: § as 0x15, ° as an
// apostrophe. The block 0x7F stays the byte 0x7F.

/// Converts 40 row bytes to text. Colour codes switch between text and block mosaics;
/// attributes and block mosaics become spaces, the capitals among mosaics stay (with the
/// national characters at 0x40 and 0x5B to 0x5F). Nothing else is interpreted: concealed
/// text is part of the text. Bytes 0x80 to 0xFF pass unchanged as text.
TextRow RowToText(std::span<const std::uint8_t, text::RowLength> row, std::uint8_t nationalOption);

/// The text of row `row` (0 to 23) of a page buffer; any other row number gives spaces.
TextRow RowToText(std::span<const std::uint8_t, text::PageBytes> page, int row, std::uint8_t nationalOption);

/// The same characters as RowToText in exact Unicode.
UnicodeRow RowToUnicode(std::span<const std::uint8_t, text::RowLength> row, std::uint8_t nationalOption);

/// The page text: rows 0 to 23, each followed by CR LF, 1008 bytes.
std::string PageText(std::span<const std::uint8_t, text::PageBytes> page, std::uint8_t nationalOption);

/// The Unicode character of one byte of the Windows form: code page 1252, with 0x15 as §.
char16_t TextCharToUnicode(char ch);

/// The 24 x 40 characters of the page in UTF-16, each row followed by `lineEnd`.
std::u16string PageTextUtf16(std::span<const std::uint8_t, text::PageBytes> page, std::uint8_t nationalOption,
                             std::u16string_view lineEnd = u"\n");

/// The 24 x 40 characters of the page in UTF-8, each row followed by `lineEnd`.
std::string PageTextUtf8(std::span<const std::uint8_t, text::PageBytes> page, std::uint8_t nationalOption,
                         std::string_view lineEnd = "\n");

} // namespace quav
