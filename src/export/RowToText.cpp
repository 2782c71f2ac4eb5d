#include "export/RowToText.h"

namespace quav {
namespace {

using Table = std::array<char, 256>;

constexpr Table AlphaTable()
{
    Table t{};
    for (int b = 0; b < 256; ++b) {
        t[b] = static_cast<char>(b < 0x20 ? 0x20 : b);
    }
    t[0x40] = text::SectionSign;
    t[0x5B] = static_cast<char>(0xC4); // Ä
    t[0x5C] = static_cast<char>(0xD6); // Ö
    t[0x5D] = static_cast<char>(0xDC); // Ü
    t[0x60] = 0x27;                    // ° has no place in the text: an apostrophe
    t[0x7B] = static_cast<char>(0xE4); // ä
    t[0x7C] = static_cast<char>(0xF6); // ö
    t[0x7D] = static_cast<char>(0xFC); // ü
    t[0x7E] = static_cast<char>(0xDF); // ß
    return t;
}

constexpr Table MosaicTable()
{
    // Among block mosaics only the codes 0x40 to 0x5F are letters; everything else is a
    // block (or an attribute) and becomes a space.
    Table t{};
    for (int b = 0; b < 256; ++b) {
        t[b] = static_cast<char>(b >= 0x40 && b <= 0x5F ? b : 0x20);
    }
    t[0x5B] = static_cast<char>(0xC4);
    t[0x5C] = static_cast<char>(0xD6);
    t[0x5D] = static_cast<char>(0xDC);
    return t;
}

constexpr Table Alpha = AlphaTable();
constexpr Table Mosaic = MosaicTable();

// Code page 1252 at 0x80 to 0x9F; its five unused codes keep their C1 control value.
constexpr std::array<char16_t, 32> Cp1252High{0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                              0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                              0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                              0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char16_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

TextRow RowToText(std::span<const std::uint8_t, text::RowLength> row)
{
    TextRow out;
    // The colour codes decide, before the code's own cell: 0x00-0x07 text, 0x10-0x17
    // mosaics. Every code below 0x20 is a space in both tables, so switching the table
    // is all a colour code does.
    const char* table = Alpha.data();
    for (int c = 0; c < text::RowLength; ++c) {
        const unsigned b = row[c];
        if (b < 0x18) {
            if (b < 0x08) {
                table = Alpha.data();
            } else if (b >= 0x10) {
                table = Mosaic.data();
            }
        }
        out[c] = table[b];
    }
    return out;
}

TextRow RowToText(std::span<const std::uint8_t, text::PageBytes> page, int row)
{
    if (row < 0 || row >= text::RowCount) {
        TextRow blank;
        blank.fill(' ');
        return blank;
    }
    return RowToText(page.subspan(std::size_t(row) * text::RowLength).first<text::RowLength>());
}

std::string PageText(std::span<const std::uint8_t, text::PageBytes> page)
{
    std::string out(text::PageTextSize, '\0');
    for (int r = 0; r < text::RowCount; ++r) {
        const TextRow row = RowToText(page, r);
        char* line = out.data() + r * (text::RowLength + 2);
        std::copy(row.begin(), row.end(), line);
        line[text::RowLength] = '\r';
        line[text::RowLength + 1] = '\n';
    }
    return out;
}

char16_t TextCharToUnicode(char ch)
{
    const auto b = static_cast<unsigned char>(ch);
    if (ch == text::SectionSign) {
        return u'\u00A7';
    }
    if (b >= 0x80 && b <= 0x9F) {
        return Cp1252High[b - 0x80];
    }
    return b; // the rest of code page 1252 is Latin-1
}

std::u16string PageTextUtf16(std::span<const std::uint8_t, text::PageBytes> page, std::u16string_view lineEnd)
{
    std::u16string out;
    out.reserve(std::size_t(text::RowCount) * (text::RowLength + lineEnd.size()));
    for (int r = 0; r < text::RowCount; ++r) {
        for (char ch : RowToText(page, r)) {
            out += TextCharToUnicode(ch);
        }
        out += lineEnd;
    }
    return out;
}

std::string PageTextUtf8(std::span<const std::uint8_t, text::PageBytes> page, std::string_view lineEnd)
{
    std::string out;
    out.reserve(std::size_t(text::RowCount) * (text::RowLength * 2 + lineEnd.size()));
    for (int r = 0; r < text::RowCount; ++r) {
        for (char ch : RowToText(page, r)) {
            AppendUtf8(out, TextCharToUnicode(ch));
        }
        out += lineEnd;
    }
    return out;
}

} // namespace quav
