#include "broadcast/TtiReader.h"

#include "broadcast/PageHeader.h"

#include <fstream>
#include <random>

#include <gtest/gtest.h>

namespace quav {
namespace {

namespace fs = std::filesystem;

std::string Row(const TtiSubpage& sub, int n)
{
    const auto& r = sub.rows[std::size_t(n)];
    return std::string(r.begin(), r.end());
}

std::string Padded(std::string s)
{
    s.resize(40, ' ');
    return s;
}

// A page as wxTED and vbit2 write it: CR LF, ESC escapes, a carousel of two subpages.
const char* const EditorPage = "DE,Nachrichten\r\n"
                               "DS,inserter\r\n"
                               "SP,C:\\Pages\\P101.tti\r\n"
                               "CT,12,C\r\n"
                               "PN,10101\r\n"
                               "SC,0001\r\n"
                               "PS,8080\r\n"
                               "RE,2\r\n"
                               "OL,1,\x1b"
                               "CNachrichten\r\n"
                               "OL,3,Stra~e\r\n"
                               "OL,26,@ABC\r\n"
                               "FL,102,170,200,100,8ff,100\r\n"
                               "PN,10102\r\n"
                               "SC,0002\r\n"
                               "PS,8000\r\n"
                               "OL,2,Zweite Tafel\r\n";

TEST(TtiParsing, ReadsEveryLineTypeOfAnEditorPage)
{
    const TtiReadResult r = ParseTti(EditorPage, "P101.tti");
    ASSERT_TRUE(r.Ok()) << r.error;
    EXPECT_TRUE(r.warnings.empty());
    ASSERT_EQ(r.pages.size(), 1u);
    const TtiPage& page = r.pages[0];
    EXPECT_EQ(page.number, 0x101);
    EXPECT_EQ(page.description, "Nachrichten");
    EXPECT_EQ(page.destination, "inserter");
    EXPECT_EQ(page.sourcePath, "C:\\Pages\\P101.tti");
    EXPECT_EQ(page.fileName, "P101.tti");
    ASSERT_EQ(page.subpages.size(), 2u);
    EXPECT_TRUE(page.IsCarousel());

    const TtiSubpage& first = page.subpages[0];
    EXPECT_EQ(first.subpage, 1);
    EXPECT_EQ(first.subcode, 1);
    EXPECT_EQ(first.pageStatus, 0x8080);
    EXPECT_EQ(first.region, 2);
    EXPECT_EQ(first.cycleTime, 12);
    EXPECT_EQ(first.cycleMode, TtiCycleMode::Cycles);
    EXPECT_EQ(Row(first, 1), Padded("\x03Nachrichten"));
    EXPECT_EQ(Row(first, 3), Padded("Stra~e"));
    EXPECT_EQ(first.rowPresent.to_ulong(), (1ul << 1) | (1ul << 3));
    EXPECT_EQ(Row(first, 2), Padded("")) << "rows the file leaves out are spaces";
    ASSERT_EQ(first.extraRows.size(), 1u);
    EXPECT_EQ(first.extraRows[0].number, 26);
    EXPECT_TRUE(first.hasLinks);
    EXPECT_EQ(first.links, (std::array<std::uint16_t, 6>{0x102, 0x170, 0x200, 0x100, 0x8FF, 0x100}));

    const TtiSubpage& second = page.subpages[1];
    EXPECT_EQ(second.subcode, 2);
    EXPECT_EQ(second.pageStatus, 0x8000);
    EXPECT_EQ(second.region, 0) << "RE belongs to its own subpage";
    EXPECT_EQ(second.cycleTime, 12) << "the cycle time carries over to later subpages";
    EXPECT_EQ(second.cycleMode, TtiCycleMode::Cycles);
    EXPECT_FALSE(second.hasLinks);
    EXPECT_EQ(Row(second, 2), Padded("Zweite Tafel"));
    EXPECT_FALSE(second.rowPresent.test(1)) << "rows do not leak from one subpage to the next";
}

TEST(TtiParsing, DecodesBothEscapeFormsOfOutputLines)
{
    struct Case
    {
        const char* name;
        std::string line;
        std::string expected;
    };
    const Case cases[] = {
        {"ESC plus 0x40",
         "OL,1,\x1b"
         "A\x1b"
         "]\x1b"
         "GText",
         "\x01\x1d\x07Text"},
        {"bit 7 set", "OL,1,\x81\x9d\x87Text", "\x01\x1d\x07Text"},
        {"bit 7 on printable codes", "OL,1,\xC1\xFE", "A~"},
        {"both in one row",
         "OL,1,\x1b"
         "B\x93\x7f",
         "\x02\x13\x7f"},
        {"ESC escaping ESC", "OL,1,\x1b\x5b", "\x1b"},
        {"raw control bytes kept, a lone CR too",
         std::string("OL,1,\x0d"
                     "x\x00y",
                     9),
         std::string("\x0dx\x00y", 4)},
        {"ESC as the last byte is dropped", "OL,1,ab\x1b", "ab"},
        {"no text at all", "OL,1", ""},
        {"commas belong to the text", "OL,1,a,b,,c", "a,b,,c"},
        {"40 characters exactly", "OL,1," + std::string(40, 'x'), std::string(40, 'x')},
        {"escapes do not count as columns",
         "OL,1," + std::string(39, 'x') +
             "\x1b"
             "A",
         std::string(39, 'x') + "\x01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TtiReadResult r = ParseTti("PN,10000\n" + c.line + "\n");
        ASSERT_TRUE(r.Ok());
        EXPECT_EQ(Row(r.pages[0].subpages[0], 1), Padded(c.expected));
        for (std::uint8_t b : r.pages[0].subpages[0].rows[1]) {
            EXPECT_LT(b, 0x80);
        }
    }
}

// Bit 7 of PS is C12, bit 8 C13, bit 9 C14: German pages carry 8200, French ones 8080.
TEST(TtiParsing, PageStatusBitsAreTheHeaderControlBits)
{
    struct Case
    {
        const char* ps;
        int nationalOption;
        std::vector<int> controls;
    };
    const Case cases[] = {
        {"8000", 0, {}},           {"8200", 4, {14}},     // German
        {"8100", 2, {13}},         {"8080", 1, {12}},     // French
        {"8300", 6, {13, 14}},     {"8280", 5, {12, 14}}, // Italian, Spanish
        {"8380", 7, {12, 13, 14}}, {"C000", 0, {4}},
        {"8001", 0, {5}},          {"8002", 0, {6}},
        {"8004", 0, {7}},          {"8008", 0, {8}},
        {"8010", 0, {9}},          {"8020", 0, {10}},
        {"8040", 0, {11}},         {"c0c3", 1, {4, 5, 6, 11, 12}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ps);
        const TtiReadResult r = ParseTti(std::string("PN,10000\nPS,") + c.ps + "\n");
        ASSERT_TRUE(r.Ok());
        const TtiSubpage& sub = r.pages[0].subpages[0];
        EXPECT_EQ(sub.NationalOption(), c.nationalOption);
        for (int bit = 0; bit <= 16; ++bit) {
            const bool expected = std::find(c.controls.begin(), c.controls.end(), bit) != c.controls.end();
            EXPECT_EQ(sub.Control(bit), expected) << "C" << bit;
        }
    }
}

TEST(TtiParsing, CarouselSubcodesAndCycleTimes)
{
    // No SC lines: the subcode comes from the PN digits. CT between subpages changes the
    // current subpage and the ones after it, not the ones before.
    const TtiReadResult r = ParseTti("PN,20001\nOL,1,a\n"
                                     "PN,20002\nCT,5,T\nOL,1,b\n"
                                     "PN,20010\nOL,1,c\n");
    ASSERT_TRUE(r.Ok());
    ASSERT_EQ(r.pages.size(), 1u);
    const auto& subs = r.pages[0].subpages;
    ASSERT_EQ(subs.size(), 3u);
    EXPECT_EQ(subs[0].subcode, 0x0001);
    EXPECT_EQ(subs[1].subcode, 0x0002);
    EXPECT_EQ(subs[2].subcode, 0x0010) << "the digits are kept as written";
    EXPECT_EQ(subs[0].cycleTime, tti::DefaultCycleTime);
    EXPECT_EQ(subs[0].cycleMode, TtiCycleMode::Seconds);
    EXPECT_EQ(subs[1].cycleTime, 5);
    EXPECT_EQ(subs[2].cycleTime, 5);
}

TEST(TtiParsing, SeveralPagesInOneFileAreSortedAndKeepTheirOwnDescriptions)
{
    const TtiReadResult r = ParseTti("DE,Sport\nPN,20000\nOL,1,s\n"
                                     "DE,Index\nPN,100\nOL,1,i\n"
                                     "PN,20001\nOL,1,t\n");
    ASSERT_TRUE(r.Ok());
    ASSERT_EQ(r.pages.size(), 2u);
    EXPECT_EQ(r.pages[0].number, 0x100);
    EXPECT_EQ(r.pages[0].description, "Index");
    EXPECT_EQ(r.pages[1].number, 0x200);
    EXPECT_EQ(r.pages[1].description, "Sport");
    EXPECT_EQ(r.pages[1].subpages.size(), 2u) << "a page number seen again adds a subpage";
}

TEST(TtiParsing, RowsAboveTheDisplayAreKeptInFileOrder)
{
    const TtiReadResult r = ParseTti("PN,10000\nOL,24,fastext\nOL,25,status\n"
                                     "OL,27,@link\nOL,26,A\nOL,26,B\nOL,28,C\nOL,29,D\n");
    ASSERT_TRUE(r.Ok());
    const TtiSubpage& sub = r.pages[0].subpages[0];
    EXPECT_EQ(Row(sub, 24), Padded("fastext"));
    EXPECT_EQ(Row(sub, 25), Padded("status"));
    std::vector<std::pair<int, char>> extra;
    for (const auto& row : sub.extraRows) {
        extra.emplace_back(row.number, char(row.bytes[0]));
    }
    EXPECT_EQ(extra,
              (std::vector<std::pair<int, char>>{{27, '@'}, {26, 'A'}, {26, 'B'}, {28, 'C'}, {29, 'D'}}));
}

TEST(TtiParsing, AcceptsEveryLineEndAndAByteOrderMark)
{
    for (const char* eol : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(eol)));
        const std::string text = std::string("\xEF\xBB\xBFPN,10000") + eol + "OL,1,eins" + eol + "OL,2,zwei";
        const TtiReadResult r = ParseTti(text);
        ASSERT_TRUE(r.Ok());
        EXPECT_EQ(r.pages[0].number, 0x100);
        EXPECT_EQ(Row(r.pages[0].subpages[0], 1), Padded("eins"));
        EXPECT_EQ(Row(r.pages[0].subpages[0], 2), Padded("zwei"));
    }
}

TEST(TtiParsing, DamagedLinesAreSkippedWithAGermanWarning)
{
    struct Case
    {
        const char* name;
        std::string text;
        const char* warning; // part of the expected message, empty for none
        int pages;
    };
    const Case cases[] = {
        {"unknown line types", "PN,10000\nXX,1\nM/,3\n; comment\n\nOL,1,a\n", "", 1},
        {"page number out of range", "PN,90000\nOL,1,a\nPN,10000\nOL,1,b\n", "Ungültige Seitennummer", 1},
        {"page number with letters", "PN,1G000\nOL,1,a\n", "Ungültige Seitennummer", 0},
        {"page number far too long", "PN,100000000000000000000\n", "Ungültige Seitennummer", 0},
        {"magazine 0", "PN,00000\n", "Ungültige Seitennummer", 0},
        {"row number 30", "PN,10000\nOL,30,a\n", "Zeilennummer", 1},
        {"row number negative", "PN,10000\nOL,-1,a\n", "Zeilennummer", 1},
        {"row number missing", "PN,10000\nOL,,a\n", "Zeilennummer", 1},
        {"row too long", "PN,10000\nOL,1," + std::string(50, 'x') + "\n", "mehr als 40", 1},
        {"subcode not hex", "PN,10000\nSC,zz\n", "Subcode", 1},
        {"subcode beyond its bits", "PN,10000\nSC,3F80\n", "Subcode", 1},
        {"page status too long", "PN,10000\nPS,80000\n", "Seitenstatus", 1},
        {"cycle time zero", "PN,10000\nCT,0,T\n", "Zykluszeit", 1},
        {"cycle mode unknown", "PN,10000\nCT,5,X\n", "Zyklusart", 1},
        {"region too large", "PN,10000\nRE,99\n", "Region", 1},
        {"link not hex", "PN,10000\nFL,1x0,200\n", "Verweisseite", 1},
        {"row before any page number", "OL,1,a\nPN,10000\n", "vor der ersten Seitennummer", 1},
        {"ESC at the end", "PN,10000\nOL,1,a\x1b\n", "ESC", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TtiReadResult r = ParseTti(c.text, "x.tti");
        EXPECT_EQ(int(r.pages.size()), c.pages);
        EXPECT_EQ(r.Ok(), c.pages > 0);
        if (*c.warning == '\0') {
            EXPECT_TRUE(r.warnings.empty());
            continue;
        }
        ASSERT_FALSE(r.warnings.empty());
        EXPECT_NE(r.warnings[0].text.find(c.warning), std::string::npos) << r.warnings[0].text;
        EXPECT_EQ(r.warnings[0].Text().rfind("x.tti, Zeile ", 0), 0u) << r.warnings[0].Text();
    }
}

TEST(TtiParsing, SubpagesBeyondWhatACarouselAddressesAreSkippedWithOneWarning)
{
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += "PN,10000\nOL,1," + std::to_string(i) + "\nPN,20000\n";
    }
    const TtiReadResult r = ParseTti(text, "x.tti");
    ASSERT_EQ(r.pages.size(), 2u);
    for (const TtiPage& page : r.pages) {
        EXPECT_EQ(page.subpages.size(), MaxSubpagesPerPage);
    }
    EXPECT_EQ(r.warnings.size(), 2u) << "one per page";
    EXPECT_NE(r.warnings[0].text.find("mehr als 79 Unterseiten"), std::string::npos) << r.warnings[0].text;
    const auto& last = r.pages[0].subpages.back().rows[1];
    EXPECT_EQ(std::string(last.begin(), last.begin() + 3), "78 ") << "rows of skipped subpages land nowhere";
}

TEST(TtiParsing, LinesAfterADamagedPageNumberDoNotLandOnThePreviousPage)
{
    const TtiReadResult r = ParseTti("PN,10000\nOL,1,gut\nPN,ZZZ\nOL,1,kaputt\nOL,2,kaputt\nPS,8080\n");
    ASSERT_TRUE(r.Ok());
    const TtiSubpage& sub = r.pages[0].subpages[0];
    EXPECT_EQ(Row(sub, 1), Padded("gut"));
    EXPECT_FALSE(sub.rowPresent.test(2));
    EXPECT_EQ(sub.pageStatus, tti::DefaultPageStatus);
}

TEST(TtiParsing, SettingsBeforeTheFirstPageNumberBelongToTheFirstSubpage)
{
    const TtiReadResult r = ParseTti("PS,8080\nSC,0003\nRE,1\nPN,10000\nPN,10001\n");
    ASSERT_TRUE(r.Ok());
    const auto& subs = r.pages[0].subpages;
    ASSERT_EQ(subs.size(), 2u);
    EXPECT_EQ(subs[0].pageStatus, 0x8080);
    EXPECT_EQ(subs[0].subcode, 3) << "SC wins over the PN digits";
    EXPECT_EQ(subs[0].region, 1);
    EXPECT_EQ(subs[1].pageStatus, tti::DefaultPageStatus);
    EXPECT_EQ(subs[1].subcode, 1);
}

TEST(TtiParsing, TextWithoutPagesIsAnError)
{
    for (std::string text :
         {std::string(), std::string("DE,nur Beschreibung\n"), std::string("\x89PNG\r\n\x1a\n", 8)}) {
        SCOPED_TRACE(testing::PrintToString(text));
        const TtiReadResult r = ParseTti(text, "leer.tti");
        EXPECT_FALSE(r.Ok());
        EXPECT_TRUE(r.pages.empty());
        EXPECT_EQ(r.error, "Die Datei leer.tti enthält keine Videotext-Seite.");
    }
}

TEST(TtiParsing, RandomBytesNeverCrashAndNeverGiveMoreThanFortyColumns)
{
    // Lines that look like TTI with random bytes after the comma.
    std::mt19937 rng(6);
    const char* kinds[] = {"PN,", "OL,", "SC,", "PS,", "CT,", "FL,", "RE,", "DE,", "OL,1,", "OL,26,"};
    for (int round = 0; round < 200; ++round) {
        std::string text;
        for (int line = 0; line < 30; ++line) {
            text += kinds[rng() % std::size(kinds)];
            const int length = int(rng() % 60);
            for (int i = 0; i < length; ++i) {
                text += char(rng() % 256);
            }
            text += '\n';
        }
        const TtiReadResult r = ParseTti(text);
        EXPECT_LE(r.warnings.size(), tti::MaxWarnings + 1);
        for (const TtiPage& page : r.pages) {
            EXPECT_GE(page.number, 0x100);
            EXPECT_LE(page.number, 0x8FF);
            for (const TtiSubpage& sub : page.subpages) {
                for (const auto& row : sub.rows) {
                    for (std::uint8_t b : row) {
                        ASSERT_LT(b, 0x80);
                    }
                }
            }
        }
    }
}

class TtiFiles : public testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
                ("quav-tti-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path Write(const std::string& name, const std::string& content)
    {
        const fs::path path = m_dir / name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    fs::path m_dir;
};

TEST_F(TtiFiles, ReadsAFileByPath)
{
    const fs::path file = Write("P123.tti", "PN,12300\r\nOL,1,\x1b"
                                            "AHallo\r\n");
    const TtiReadResult r = ReadTtiPath(file);
    ASSERT_TRUE(r.Ok()) << r.error;
    ASSERT_EQ(r.pages.size(), 1u);
    EXPECT_EQ(r.pages[0].number, 0x123);
    EXPECT_EQ(r.pages[0].fileName, "P123.tti");
}

TEST_F(TtiFiles, MissingAndUnreadablePathsGiveGermanErrors)
{
    const TtiReadResult missing = ReadTtiPath(m_dir / "fehlt.tti");
    EXPECT_FALSE(missing.Ok());
    EXPECT_NE(missing.error.find("nicht gefunden"), std::string::npos) << missing.error;
    EXPECT_NE(missing.error.find("fehlt.tti"), std::string::npos);

    const TtiReadResult missingFolder = ReadTtiFolder(m_dir / "kein-ordner");
    EXPECT_FALSE(missingFolder.Ok());
    EXPECT_NE(missingFolder.error.find("nicht gefunden"), std::string::npos) << missingFolder.error;

    const TtiReadResult notAFile = ReadTtiFile(m_dir);
    EXPECT_FALSE(notAFile.Ok());
    EXPECT_NE(notAFile.error.find("nicht lesen"), std::string::npos) << notAFile.error;

    const TtiReadResult empty = ReadTtiPath(m_dir);
    EXPECT_FALSE(empty.Ok());
    EXPECT_NE(empty.error.find("enthält keine TTI-Seiten"), std::string::npos) << empty.error;
}

TEST_F(TtiFiles, FolderGivesAllPagesInNumberOrderAndSkipsWhatItCannotUse)
{
    Write("b.tti", "PN,20000\nOL,1,B\n");
    Write("a.TTI", "PN,30000\nOL,1,A\nPN,10000\nOL,1,A1\n");
    Write("c.ttix", "PN,20000\nOL,1,C\n"); // 200 again: the earlier file wins
    Write("d.tti", "nur Unsinn\n");
    Write("notes.txt", "PN,40000\n");
    fs::create_directories(m_dir / "sub.tti");
    Write("sub.tti/e.tti", "PN,50000\n");

    const TtiReadResult r = ReadTtiPath(m_dir);
    ASSERT_TRUE(r.Ok()) << r.error;
    std::vector<std::pair<int, std::string>> pages;
    for (const TtiPage& p : r.pages) {
        pages.emplace_back(p.number, p.fileName);
    }
    EXPECT_EQ(pages, (std::vector<std::pair<int, std::string>>{
                         {0x100, "a.TTI"}, {0x200, "b.tti"}, {0x300, "a.TTI"}}));
    std::string warnings;
    for (const auto& w : r.warnings) {
        warnings += w.Text() + "\n";
    }
    EXPECT_NE(warnings.find("c.ttix: Seite 200 gibt es schon in b.tti"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("d.tti enthält keine Videotext-Seite. Datei übersprungen."), std::string::npos)
        << warnings;
}

} // namespace
} // namespace quav
