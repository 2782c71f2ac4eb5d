#include "support/FakeCycleHost.h"

#include <algorithm>

namespace quav::test {

std::string DisplayText(const DigitStrip& strip, const std::vector<std::uint32_t>& display)
{
    std::string text;
    if (display.size() != std::size_t(DigitStrip::DisplayWidth) * DigitStrip::DisplayHeight) {
        return "";
    }
    for (int i = 0; i < 3; ++i) {
        char found = '?';
        for (std::size_t k = 0; k < DigitStrip::Characters.size() && found == '?'; ++k) {
            bool same = true;
            for (int y = 0; y < DigitStrip::Height && same; ++y) {
                for (int x = 0; x < DigitStrip::GlyphWidth && same; ++x) {
                    const int dx = i * DigitStrip::GlyphWidth + x;
                    if (dx >= DigitStrip::DisplayWidth) {
                        break;
                    }
                    std::uint32_t shown =
                        display[std::size_t(y) * DigitStrip::DisplayWidth + std::size_t(dx)];
                    if (shown == AcquisitionCycle::SearchingColour) {
                        shown = DigitStrip::Foreground; // the number of a page still searched for
                    }
                    same = shown == strip.Pixels()[std::size_t(y) * DigitStrip::Width +
                                                   k * DigitStrip::GlyphWidth + std::size_t(x)];
                }
            }
            if (same) {
                found = DigitStrip::Characters[k];
            }
        }
        text += found;
    }
    return text;
}

bool DisplaySearching(const std::vector<std::uint32_t>& display)
{
    return std::find(display.begin(), display.end(), AcquisitionCycle::SearchingColour) != display.end();
}

} // namespace quav::test
