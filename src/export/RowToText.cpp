#include "export/RowToText.h"

#include <algorithm>

namespace quav {
namespace {

constexpr int Options = 8;
constexpr std::uint8_t GermanOption = 4;

// The 13 national positions and what each national option subset puts there, in this
// order (see the table in the header).
constexpr std::array<std::uint8_t, 13> Positions{0x23, 0x24, 0x40, 0x5B, 0x5C, 0x5D, 0x5E,
                                                 0x5F, 0x60, 0x7B, 0x7C, 0x7D, 0x7E};
using Subset = std::array<char16_t, 13>;
constexpr Subset English{u'£', u'$', u'@', u'←', u'½', u'→', u'↑', u'#', u'—', u'¼', u'‖', u'¾', u'÷'};
constexpr std::array<Subset, Options> Subsets{{
    English,
    {u'é', u'ï', u'à', u'ë', u'ê', u'ù', u'î', u'#', u'è', u'â', u'ô', u'û', u'ç'}, // French
    {u'#', u'¤', u'É', u'Ä', u'Ö', u'Å', u'Ü', u'_', u'é', u'ä', u'ö', u'å', u'ü'}, // Swedish
    {u'#', u'ů', u'č', u'ť', u'ž', u'ý', u'í', u'ř', u'é', u'á', u'ě', u'ú', u'š'}, // Czech
    {u'#', u'$', u'§', u'Ä', u'Ö', u'Ü', u'^', u'_', u'°', u'ä', u'ö', u'ü', u'ß'}, // German
    {u'ç', u'$', u'¡', u'á', u'é', u'í', u'ó', u'ú', u'¿', u'ü', u'ñ', u'è', u'à'}, // Port./Span.
    {u'£', u'$', u'é', u'°', u'ç', u'→', u'↑', u'#', u'ù', u'à', u'ò', u'è', u'ì'}, // Italian
    English,                                                                        // no subset
}};

constexpr char16_t Block = u'■'; // 0x7F

// Code page 1252 at 0x80 to 0x9F; its five unused codes keep their C1 control value.
constexpr std::array<char16_t, 32> Cp1252High{0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                              0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                              0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                              0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Characters of the subsets that code page 1252 lacks, and what the Windows form writes.
constexpr std::array<std::pair<char16_t, char>, 9> StandIns{{
    {u'←', '<'},
    {u'→', '>'},
    {u'↑', '^'},
    {u'‖', '|'},
    {u'ů', 'u'},
    {u'č', 'c'},
    {u'ť', 't'},
    {u'ř', 'r'},
    {u'ě', 'e'},
}};

constexpr char16_t Cp1252ToUnicode(unsigned b)
{
    return b >= 0x80 && b <= 0x9F ? Cp1252High[b - 0x80] : static_cast<char16_t>(b);
}

// The code page 1252 byte of a subset character, or its stand-in. A character without
// either stops the build: the tables below are evaluated at compile time.
constexpr char ToCp1252(char16_t u)
{
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
        return static_cast<char>(u);
    }
    for (unsigned i = 0; i < Cp1252High.size(); ++i) {
        if (Cp1252High[i] == u) {
            return static_cast<char>(0x80 + i);
        }
    }
    for (const auto& [from, to] : StandIns) {
        if (from == u) {
            return to;
        }
    }
    throw "a national character without a Windows character or stand-in";
}

template <typename Char> using Table = std::array<Char, 256>;

// Among block mosaics only the codes 0x40 to 0x5F are characters; everything else is a
// block (or an attribute) and becomes a space.
template <typename Char> constexpr Table<Char> MosaicFrom(const Table<Char>& alpha)
{
    Table<Char> t{};
    for (unsigned b = 0; b < 256; ++b) {
        t[b] = b >= 0x40 && b <= 0x5F ? alpha[b] : Char(' ');
    }
    return t;
}

constexpr Table<char16_t> UnicodeAlpha(int option)
{
    Table<char16_t> t{};
    for (unsigned b = 0; b < 256; ++b) {
        t[b] = b < 0x20 ? u' ' : b == 0x7F ? Block : Cp1252ToUnicode(b);
    }
    for (std::size_t k = 0; k < Positions.size(); ++k) {
        t[Positions[k]] = Subsets[std::size_t(option)][k];
    }
    return t;
}

constexpr Table<char> WindowsAlpha(int option)
{
    const Table<char16_t> unicode = UnicodeAlpha(option);
    Table<char> t{};
    for (unsigned b = 0; b < 256; ++b) {
        // Bytes 0x7F to 0xFF pass as they are.
        t[b] = b >= 0x7F ? static_cast<char>(b) : ToCp1252(unicode[b]);
    }
    if (option == GermanOption) {
        t[0x40] = text::SectionSign;
        t[0x60] = 0x27; // ° has always been an apostrophe in the German text file
    }
    return t;
}

template <typename Char, typename Build> constexpr std::array<Table<Char>, 2 * Options> Tables(Build alpha)
{
    // Per option: the text table at 2 x option, the mosaic table after it.
    std::array<Table<Char>, 2 * Options> tables{};
    for (int option = 0; option < Options; ++option) {
        tables[std::size_t(2 * option)] = alpha(option);
        tables[std::size_t(2 * option + 1)] = MosaicFrom(tables[std::size_t(2 * option)]);
    }
    return tables;
}

constexpr auto Windows = Tables<char>(WindowsAlpha);
constexpr auto Unicode = Tables<char16_t>(UnicodeAlpha);

template <typename Char>
std::array<Char, text::RowLength> Convert(std::span<const std::uint8_t, text::RowLength> row,
                                          const std::array<Table<Char>, 2 * Options>& tables,
                                          std::uint8_t nationalOption)
{
    std::array<Char, text::RowLength> out;
    const std::size_t option = nationalOption & 7U;
    const Char* alpha = tables[2 * option].data();
    const Char* mosaic = tables[2 * option + 1].data();
    // The colour codes decide, before the code's own cell: 0x00-0x07 text, 0x10-0x17
    // mosaics. Every code below 0x20 is a space in both tables, so switching the table
    // is all a colour code does.
    const Char* table = alpha;
    for (int c = 0; c < text::RowLength; ++c) {
        const unsigned b = row[c];
        if (b < 0x18) {
            if (b < 0x08) {
                table = alpha;
            } else if (b >= 0x10) {
                table = mosaic;
            }
        }
        out[c] = table[b];
    }
    return out;
}

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

std::span<const std::uint8_t, text::RowLength> RowOf(std::span<const std::uint8_t, text::PageBytes> page,
                                                     int row)
{
    return page.subspan(std::size_t(row) * text::RowLength).first<text::RowLength>();
}

} // namespace

TextRow RowToText(std::span<const std::uint8_t, text::RowLength> row, std::uint8_t nationalOption)
{
    return Convert(row, Windows, nationalOption);
}

UnicodeRow RowToUnicode(std::span<const std::uint8_t, text::RowLength> row, std::uint8_t nationalOption)
{
    return Convert(row, Unicode, nationalOption);
}

TextRow RowToText(std::span<const std::uint8_t, text::PageBytes> page, int row, std::uint8_t nationalOption)
{
    if (row < 0 || row >= text::RowCount) {
        TextRow blank;
        blank.fill(' ');
        return blank;
    }
    return RowToText(RowOf(page, row), nationalOption);
}

std::string PageText(std::span<const std::uint8_t, text::PageBytes> page, std::uint8_t nationalOption)
{
    std::string out(text::PageTextSize, '\0');
    for (int r = 0; r < text::RowCount; ++r) {
        const TextRow row = RowToText(page, r, nationalOption);
        char* line = out.data() + r * (text::RowLength + 2);
        std::copy(row.begin(), row.end(), line);
        line[text::RowLength] = '\r';
        line[text::RowLength + 1] = '\n';
    }
    return out;
}

char16_t TextCharToUnicode(char ch)
{
    if (ch == text::SectionSign) {
        return u'§';
    }
    return Cp1252ToUnicode(static_cast<unsigned char>(ch)); // the rest of code page 1252 is Latin-1
}

std::u16string PageTextUtf16(std::span<const std::uint8_t, text::PageBytes> page, std::uint8_t nationalOption,
                             std::u16string_view lineEnd)
{
    std::u16string out;
    out.reserve(std::size_t(text::RowCount) * (text::RowLength + lineEnd.size()));
    for (int r = 0; r < text::RowCount; ++r) {
        const UnicodeRow row = RowToUnicode(RowOf(page, r), nationalOption);
        out.append(row.begin(), row.end());
        out += lineEnd;
    }
    return out;
}

std::string PageTextUtf8(std::span<const std::uint8_t, text::PageBytes> page, std::uint8_t nationalOption,
                         std::string_view lineEnd)
{
    std::string out;
    out.reserve(std::size_t(text::RowCount) * (text::RowLength * 2 + lineEnd.size()));
    for (int r = 0; r < text::RowCount; ++r) {
        for (char16_t ch : RowToUnicode(RowOf(page, r), nationalOption)) {
            AppendUtf8(out, ch);
        }
        out += lineEnd;
    }
    return out;
}

} // namespace quav
