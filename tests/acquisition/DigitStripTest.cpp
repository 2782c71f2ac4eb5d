#include "acquisition/DigitStrip.h"

#include "acquisition/AcquisitionCycle.h"
#include "support/FakeCycleHost.h"

#include <set>

#include <gtest/gtest.h>

namespace quav {
namespace {

TEST(DigitStrip, HoldsSeventeenDistinctRedOnGreyGlyphs)
{
    DigitStrip strip;
    EXPECT_EQ(DigitStrip::Width, 238);
    ASSERT_EQ(strip.Pixels().size(), 238u * 21u);
    std::set<std::vector<std::uint32_t>> glyphs;
    for (int k = 0; k < 17; ++k) {
        std::vector<std::uint32_t> glyph;
        int red = 0;
        for (int y = 0; y < 21; ++y) {
            for (int x = 0; x < 14; ++x) {
                const std::uint32_t p = strip.Pixels()[std::size_t(y * 238 + k * 14 + x)];
                ASSERT_TRUE(p == 0xDB0000 || p == 0xC2C2C2) << k;
                red += p == 0xDB0000;
                glyph.push_back(p);
            }
        }
        EXPECT_GT(red, 0) << "glyph " << k << " is empty";
        // The last column of each glyph stays background, so the clipped third glyph of
        // the display loses nothing.
        for (int y = 0; y < 21; ++y) {
            EXPECT_EQ(strip.Pixels()[std::size_t(y * 238 + k * 14 + 13)], 0xC2C2C2u);
        }
        glyphs.insert(glyph);
    }
    EXPECT_EQ(glyphs.size(), 17u);
}

TEST(DigitStrip, DisplayPadsWithDashesAndShowsThreeGlyphs)
{
    DigitStrip strip;
    std::vector<std::uint32_t> display;
    const std::pair<const char*, const char*> rows[] = {
        {"123", "123"}, {"1", "1--"}, {"12", "12-"}, {"", "---"}, {"1F0", "1F0"}, {"8FFX", "8FF"},
    };
    for (auto [text, shown] : rows) {
        SCOPED_TRACE(text);
        strip.DrawDisplay(text, 0xF0F0F0, display);
        ASSERT_EQ(display.size(), 41u * 21u);
        EXPECT_EQ(test::DisplayText(strip, display), shown);
    }
}

TEST(DigitStrip, UnknownCharactersLeaveBackground)
{
    DigitStrip strip;
    std::vector<std::uint32_t> display;
    strip.DrawDisplay("x", 0x123456, display);
    for (int y = 0; y < 21; ++y) {
        for (int x = 0; x < 14; ++x) {
            EXPECT_EQ(display[std::size_t(y * 41 + x)], 0x123456u);
        }
    }
}

TEST(SubcodeText, IsTheLastFourDigitsWithLeadingZeros)
{
    EXPECT_EQ(AcquisitionCycle::SubcodeText(1), "0001");
    EXPECT_EQ(AcquisitionCycle::SubcodeText(12), "0012");
    EXPECT_EQ(AcquisitionCycle::SubcodeText(4585), "4585");
    EXPECT_EQ(AcquisitionCycle::SubcodeText(12345), "2345");
    EXPECT_EQ(AcquisitionCycle::SubcodeText(0), "0000");
}

} // namespace
} // namespace quav
