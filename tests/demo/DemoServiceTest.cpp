#include "demo/DemoService.h"

#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include <gtest/gtest.h>

namespace quav {
namespace {

const TtiReadResult& Demo()
{
    static const TtiReadResult demo = LoadDemoService();
    return demo;
}

const TtiPage* Find(std::uint16_t number)
{
    for (const TtiPage& page : Demo().pages) {
        if (page.number == number) {
            return &page;
        }
    }
    return nullptr;
}

bool IsDigit(std::uint8_t b)
{
    return b >= '0' && b <= '9';
}

std::set<std::uint8_t> CodesOf(const TtiPage& page)
{
    std::set<std::uint8_t> codes;
    for (const TtiSubpage& sub : page.subpages) {
        for (const auto& row : sub.rows) {
            codes.insert(row.begin(), row.end());
        }
    }
    return codes;
}

TEST(DemoService, ParsesWithoutAWordIntoTwentyGermanPagesOrMore)
{
    const TtiReadResult& demo = Demo();
    ASSERT_TRUE(demo.Ok()) << demo.error;
    for (const TtiMessage& w : demo.warnings) {
        ADD_FAILURE() << w.Text();
    }
    EXPECT_GE(demo.pages.size(), 20u);
    EXPECT_EQ(demo.pages.size(), DemoFiles().size()) << "one page per file";
    for (const TtiPage& page : demo.pages) {
        SCOPED_TRACE(TtiPageNumberText(page.number));
        EXPECT_FALSE(page.description.empty());
        for (const TtiSubpage& sub : page.subpages) {
            EXPECT_EQ(sub.NationalOption(), 4) << "German character set";
            EXPECT_TRUE(sub.rowPresent.test(1)) << "every page has a title row";
        }
    }
}

TEST(DemoService, HasTheSectionsThatTheIndexPromises)
{
    for (int number : {0x100, 0x101, 0x170, 0x200, 0x201, 0x300, 0x400, 0x700, 0x701, 0x702, 0x1F0}) {
        EXPECT_NE(Find(std::uint16_t(number)), nullptr) << TtiPageNumberText(std::uint16_t(number));
    }
    bool rotating = false;
    for (const TtiPage& page : Demo().pages) {
        rotating = rotating || page.subpages.size() >= 3;
    }
    EXPECT_TRUE(rotating) << "a page with three or more rotating subpages";
}

TEST(DemoService, EmbeddedPagesAreTheFilesOfTheResourceFolder)
{
    // Catches a build that did not pick up an edited or a new page file.
    const TtiReadResult fromDisk = ReadTtiFolder(QUAV_DEMO_DIR);
    ASSERT_TRUE(fromDisk.Ok()) << fromDisk.error;
    EXPECT_EQ(fromDisk.pages, Demo().pages);
    for (const DemoFile& file : DemoFiles()) {
        SCOPED_TRACE(std::string(file.name));
        std::ifstream in(std::string(QUAV_DEMO_DIR) + "/" + std::string(file.name), std::ios::binary);
        const std::string onDisk{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_EQ(onDisk, file.content);
    }
}

TEST(DemoService, PageNumbersOnThePagesLeadToPagesOfTheService)
{
    // Clickable numbers: on the index every three-digit number; elsewhere the ones set off
    // by a colour code, which is how the pages mark their cross references. A number may
    // run over the end of a row, as a click reads the rows as one text.
    for (const TtiPage& page : Demo().pages) {
        for (const TtiSubpage& sub : page.subpages) {
            std::vector<std::uint8_t> text;
            for (int r = 1; r <= 23; ++r) {
                text.insert(text.end(), sub.rows[std::size_t(r)].begin(), sub.rows[std::size_t(r)].end());
            }
            for (std::size_t i = 0; i + 3 <= text.size(); ++i) {
                const bool starts = IsDigit(text[i]) && (i == 0 || !IsDigit(text[i - 1]));
                const bool three = starts && IsDigit(text[i + 1]) && IsDigit(text[i + 2]) &&
                                   (i + 3 == text.size() || !IsDigit(text[i + 3]));
                const bool link = page.number == 0x100 || (i > 0 && text[i - 1] < 0x20);
                if (!three || !link) {
                    continue;
                }
                const std::string number(text.begin() + std::ptrdiff_t(i),
                                         text.begin() + std::ptrdiff_t(i) + 3);
                EXPECT_NE(Find(std::uint16_t(std::stoi(number, nullptr, 16))), nullptr)
                    << "page " << TtiPageNumberText(page.number) << " row " << i / 40 + 1 << " names "
                    << number;
            }
            for (std::uint16_t link : sub.links) {
                EXPECT_TRUE(link == tti::NoPage || Find(link) != nullptr)
                    << "page " << TtiPageNumberText(page.number) << " links to " << TtiPageNumberText(link);
            }
        }
    }
}

TEST(DemoService, NothingHidesUnderADoubleHeightRow)
{
    for (const TtiPage& page : Demo().pages) {
        for (const TtiSubpage& sub : page.subpages) {
            for (int r = 1; r < 23; ++r) {
                const auto& row = sub.rows[std::size_t(r)];
                if (std::find(row.begin(), row.end(), 0x0D) == row.end()) {
                    continue;
                }
                const auto& below = sub.rows[std::size_t(r + 1)];
                EXPECT_TRUE(std::all_of(below.begin(), below.end(), [](std::uint8_t b) { return b == 0x20; }))
                    << "page " << TtiPageNumberText(page.number) << " row " << r + 1;
                ++r;
            }
        }
    }
}

TEST(DemoService, TestPagesShowWhatTheyAreAbout)
{
    const TtiPage* attributes = Find(0x700);
    ASSERT_NE(attributes, nullptr);
    const auto attributeCodes = CodesOf(*attributes);
    for (int code : {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x11, 0x12, 0x13, 0x14, 0x15,
                     0x16, 0x17, 0x0A, 0x0B, 0x0D, 0x18, 0x19, 0x1A, 0x1C, 0x1D, 0x1E, 0x1F}) {
        EXPECT_TRUE(attributeCodes.count(std::uint8_t(code))) << "attribute " << code;
    }

    const TtiPage* national = Find(0x701);
    ASSERT_NE(national, nullptr);
    const auto nationalCodes = CodesOf(*national);
    for (char code : std::string("@[\\]`{|}~")) {
        EXPECT_TRUE(nationalCodes.count(std::uint8_t(code))) << code;
    }

    // Every one of the 64 block mosaics, contiguous and separated.
    const TtiPage* mosaics = Find(0x702);
    ASSERT_NE(mosaics, nullptr);
    std::set<std::pair<bool, std::uint8_t>> shown;
    for (const auto& row : mosaics->subpages[0].rows) {
        bool mosaic = false;
        bool separated = false;
        for (std::uint8_t b : row) {
            mosaic = b < 0x08 ? false : (b >= 0x10 && b < 0x18) ? true : mosaic;
            separated = b == 0x1A ? true : b == 0x19 ? false : separated;
            if (mosaic && b >= 0x20 && (b < 0x40 || b >= 0x60)) {
                shown.insert({separated, b});
            }
        }
    }
    EXPECT_EQ(shown.size(), 128u);
}

TEST(DemoHeader, FillsInPageDateAndClockWithoutMovingColumns)
{
    std::tm time{};
    time.tm_year = 124;
    time.tm_mon = 2;
    time.tm_mday = 4;
    time.tm_wday = 1;
    time.tm_hour = 9;
    time.tm_min = 5;
    time.tm_sec = 7;
    const std::string header = ExpandHeaderTemplate(DemoHeaderTemplate, 0x1F0, time);
    EXPECT_EQ(header, "1F0\x03QUAV-Text\x07Mo 04.03.\x06"
                      "09:05:07");
    EXPECT_EQ(header.size(), 32u) << "columns 8 to 39";

    struct Case
    {
        const char* tmpl;
        int wday;
        const char* expected;
    };
    const Case cases[] = {
        {"%a", 0, "So"},     {"%a", 3, "Mi"}, {"%a", 6, "Sa"},   {"%y", 1, "24"},    {"100%", 1, "100%"},
        {"%x%d", 1, "%x04"}, {"%p", 1, "%p"}, {"%%d", 1, "%04"}, {"a\xE4", 1, "ad"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tmpl);
        time.tm_wday = c.wday;
        EXPECT_EQ(ExpandHeaderTemplate(c.tmpl, 0x100, time), c.expected);
    }
}

} // namespace
} // namespace quav
