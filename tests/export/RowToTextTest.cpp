#include "export/RowToText.h"

#include "support/ZvbiReference.h"

#include <vector>

#include <gtest/gtest.h>

namespace quav {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t German = 4;

std::array<std::uint8_t, 40> RowOf(const Bytes& bytes, std::uint8_t fill = 0x20)
{
    std::array<std::uint8_t, 40> row;
    row.fill(fill);
    std::copy(bytes.begin(), bytes.end(), row.begin());
    return row;
}

std::string Text(const Bytes& bytes, std::uint8_t option = German)
{
    const TextRow t = RowToText(RowOf(bytes), option);
    return std::string(t.begin(), t.begin() + std::ptrdiff_t(bytes.size()));
}

TEST(RowToText, ConvertsTheExamplesOfTheSavedText)
{
    struct Case
    {
        const char* name;
        Bytes bytes;
        std::string text;
    };
    const Case cases[] = {
        {"Straße",
         {0x53, 0x74, 0x72, 0x61, 0x7E, 0x65},
         "Stra\xDF"
         "e"},
        {"mosaic run with capitals", {0x17, 0x35, 0x41, 0x5B, 0x60, 0x07, 0x40}, "  A\xC4  \x15"},
        {"national characters as text",
         {0x40, 0x5B, 0x5C, 0x5D, 0x60, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F},
         "\x15\xC4\xD6\xDC'\xE4\xF6\xFC\xDF\x7F"},
        {"national characters among mosaics",
         {0x10, 0x40, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F, 0x60, 0x7B, 0x7E, 0x7F},
         " \x15\xC4\xD6\xDC^_    "},
        {"concealed text stays", {0x18, 'G', 'e', 'h', 'e', 'i', 'm'}, " Geheim"},
        {"held mosaics are not repeated", {0x11, 0x7F, 0x1E, 0x12, 0x13}, "     "},
        {"double height is not interpreted", {0x0D, 'G', 'r', 'o', 0x7E}, " Gro\xDF"},
        {"high bytes pass as text", {0x80, 0xA7, 0xC4, 0xFF}, "\x80\xA7\xC4\xFF"},
        {"high bytes among mosaics are blank", {0x16, 0x80, 0xC1, 0xDB, 0xFF}, "     "},
        {"text again after an alpha colour", {0x14, 'a', 0x01, 'a'}, "   a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Text(c.bytes), std::string(c.text.c_str(), c.bytes.size()));
    }
}

TEST(RowToText, OnlyColourCodesSwitchBetweenTextAndMosaics)
{
    // 'a' (0x61) is a letter as text and a block among mosaics, so it shows the mode.
    for (int code = 0; code < 0x20; ++code) {
        SCOPED_TRACE(code);
        const std::string fromText = Text({std::uint8_t(code), 'a'});
        const std::string fromMosaic = Text({0x11, std::uint8_t(code), 'a'});
        const bool toMosaic = code >= 0x10 && code <= 0x17;
        const bool toText = code <= 0x07;
        EXPECT_EQ(fromText, toMosaic ? "  " : " a");
        EXPECT_EQ(fromMosaic, toText ? "  a" : "   ");
    }
}

TEST(RowToText, RowsOfZerosAndTheEmptyPageGiveSpaces)
{
    EXPECT_EQ(Text(Bytes(40, 0x00)), std::string(40, ' '));
    const std::array<std::uint8_t, 960> page{};
    const std::string text = PageText(page, German);
    ASSERT_EQ(text.size(), 1008u);
    for (int r = 0; r < 24; ++r) {
        EXPECT_EQ(text.substr(std::size_t(r) * 42, 42), std::string(40, ' ') + "\r\n") << r;
    }
}

TEST(RowToText, EveryRowStartsWithTextMode)
{
    std::array<std::uint8_t, 960> page;
    page.fill('a');
    page[0] = 0x11; // row 0 switches to mosaics and ends with them
    const std::string text = PageText(page, German);
    EXPECT_EQ(text.substr(0, 3), "   ");
    EXPECT_EQ(text.substr(42, 3), "aaa") << "the mosaic mode of row 0 does not reach row 1";
}

TEST(RowToText, PageTextIsTwentyFourLinesOfFortyInRowOrder)
{
    std::array<std::uint8_t, 960> page;
    for (int r = 0; r < 24; ++r) {
        for (int c = 0; c < 40; ++c) {
            page[std::size_t(r * 40 + c)] = std::uint8_t(c < 7 && r == 0 ? 0x20 : 'A' + (r + c) % 26);
        }
    }
    const std::string text = PageText(page, German);
    ASSERT_EQ(text.size(), std::size_t(text::PageTextSize));
    EXPECT_EQ(text.substr(0, 7), "       ") << "the header row starts with seven spaces";
    for (int r = 0; r < 24; ++r) {
        SCOPED_TRACE(r);
        const std::string line = text.substr(std::size_t(r) * 42, 42);
        EXPECT_EQ(line.substr(40), "\r\n");
        const TextRow row = RowToText(page, r, German);
        EXPECT_EQ(line.substr(0, 40), std::string(row.begin(), row.end()));
        EXPECT_EQ(line[39], char('A' + (r + 39) % 26));
    }
    for (int outside : {-1, 24, 1000}) {
        const TextRow row = RowToText(page, outside, German);
        EXPECT_EQ(std::string(row.begin(), row.end()), std::string(40, ' ')) << outside;
    }
}

TEST(RowToText, UnicodeFormHasTheExactCharacters)
{
    std::array<std::uint8_t, 960> page;
    page.fill(0x20);
    const Bytes row1 = {0x40, 0x5B, 0x7E, 0x60, 0x80, 0x9F, 0xA7, 0xE9, 0x17, 0x7F, 0x07, 0x7F};
    std::copy(row1.begin(), row1.end(), page.begin() + 40);

    const std::u16string utf16 = PageTextUtf16(page, German);
    ASSERT_EQ(utf16.size(), 24u * 41u);
    // The degree sign and the block as they are, where the Windows form has ' and 0x7F.
    const std::u16string expected = u"§Äß°€Ÿ§é   ■";
    EXPECT_EQ(utf16.substr(41, expected.size()), expected);
    for (int r = 0; r < 24; ++r) {
        EXPECT_EQ(utf16[std::size_t(r) * 41 + 40], u'\n');
    }
    EXPECT_EQ(PageTextUtf16(page, German, u"\r\n").size(), 24u * 42u);

    const std::string utf8 = PageTextUtf8(page, German);
    const std::string expected8 = "§Äß°€Ÿ§é   ■";
    EXPECT_EQ(utf8.substr(41, expected8.size()), expected8);
    // § Ä ß ° Ÿ § é take two bytes in UTF-8, € and ■ three: 11 more than one byte each.
    EXPECT_EQ(utf8.size(), 24u * 41u + 11u);
}

TEST(RowToText, TextCharactersMapToUnicodeLikeCodePage1252)
{
    const std::pair<unsigned char, char16_t> cases[] = {
        {0x15, u'\u00A7'}, {0x20, u' '},      {0x41, u'A'},      {0x7F, u'\u007F'}, {0x80, u'\u20AC'},
        {0x81, u'\u0081'}, {0x8A, u'\u0160'}, {0x96, u'\u2013'}, {0x9F, u'\u0178'}, {0xA0, u'\u00A0'},
        {0xC4, u'\u00C4'}, {0xDF, u'\u00DF'}, {0xFF, u'\u00FF'},
    };
    for (auto [byte, expected] : cases) {
        SCOPED_TRACE(int(byte));
        EXPECT_EQ(TextCharToUnicode(char(byte)), expected);
    }
}

// What each national option subset puts at the 13 national positions, ETS 300 706
// table 36: the exact characters, and the Windows text file's bytes (code page 1252, with
// stand-ins for the characters it lacks).
struct NationalSet
{
    std::uint8_t option;
    const char* name;
    std::u16string_view unicode;
    std::string_view windows;
};
constexpr std::uint8_t Positions[13] = {0x23, 0x24, 0x40, 0x5B, 0x5C, 0x5D, 0x5E,
                                        0x5F, 0x60, 0x7B, 0x7C, 0x7D, 0x7E};
const NationalSet NationalSets[] = {
    {0, "English", u"£$@←½→↑#—¼‖¾÷", "\xA3$@<\xBD>^#\x97\xBC|\xBE\xF7"},
    {1, "French", u"éïàëêùî#èâôûç", "\xE9\xEF\xE0\xEB\xEA\xF9\xEE#\xE8\xE2\xF4\xFB\xE7"},
    {2, "Swedish/Finnish/Hungarian", u"#¤ÉÄÖÅÜ_éäöåü", "#\xA4\xC9\xC4\xD6\xC5\xDC_\xE9\xE4\xF6\xE5\xFC"},
    {3, "Czech/Slovak", u"#ůčťžýířéáěúš",
     "#uct\x9E\xFD\xEDr\xE9\xE1"
     "e\xFA\x9A"},
    {4, "German", u"#$§ÄÖÜ^_°äöüß", "#$\x15\xC4\xD6\xDC^_'\xE4\xF6\xFC\xDF"},
    {5, "Portuguese/Spanish", u"ç$¡áéíóú¿üñèà", "\xE7$\xA1\xE1\xE9\xED\xF3\xFA\xBF\xFC\xF1\xE8\xE0"},
    {6, "Italian", u"£$é°ç→↑#ùàòèì", "\xA3$\xE9\xB0\xE7>^#\xF9\xE0\xF2\xE8\xEC"},
    {7, "no subset: English", u"£$@←½→↑#—¼‖¾÷", "\xA3$@<\xBD>^#\x97\xBC|\xBE\xF7"},
};

TEST(NationalText, EachSetGivesItsCharactersAtTheNationalPositions)
{
    const Bytes bytes(std::begin(Positions), std::end(Positions));
    for (const NationalSet& set : NationalSets) {
        SCOPED_TRACE(set.name);
        const UnicodeRow unicode = RowToUnicode(RowOf(bytes), set.option);
        EXPECT_EQ(std::u16string(unicode.begin(), unicode.begin() + 13), set.unicode);
        EXPECT_EQ(Text(bytes, set.option), set.windows);
        // Among mosaics only 0x40 and 0x5B to 0x5F are characters.
        Bytes mosaic(bytes.size() + 1, 0x17);
        std::copy(bytes.begin(), bytes.end(), mosaic.begin() + 1);
        const std::string m = Text(mosaic, set.option);
        EXPECT_EQ(m.substr(1, 2), "  ");
        EXPECT_EQ(m.substr(3, 6), set.windows.substr(2, 6));
        EXPECT_EQ(m.substr(9), "     ");
    }
}

TEST(NationalText, AgreesWithZvbiOnEveryCodeOfEverySet)
{
    for (std::uint8_t option = 0; option < 7; ++option) {
        SCOPED_TRACE(test::ZvbiFont(option).label);
        Bytes bytes;
        for (int code = 0x20; code <= 0x7F; ++code) {
            bytes.push_back(std::uint8_t(code));
        }
        for (std::size_t start = 0; start < bytes.size(); start += 40) {
            const Bytes part(bytes.begin() + std::ptrdiff_t(start),
                             bytes.begin() + std::ptrdiff_t(std::min(bytes.size(), start + 40)));
            const UnicodeRow row = RowToUnicode(RowOf(part), option);
            for (std::size_t i = 0; i < part.size(); ++i) {
                EXPECT_EQ(int(row[i]), int(test::ZvbiCharacter(option, part[i]))) << "code " << int(part[i]);
            }
        }
    }
}

} // namespace
} // namespace quav
