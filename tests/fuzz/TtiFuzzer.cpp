// Arbitrary text as a TTI file.

#include "broadcast/TtiReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quav;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TtiReadResult result = ParseTti(text, "fuzz.tti");
    if (result.Ok() == result.error.size() > 0) {
        std::abort();
    }
    if (!result.Ok() && !result.pages.empty()) {
        std::abort(); // a failed read hands out no pages
    }
    if (result.warnings.size() > tti::MaxWarnings + 1) {
        std::abort();
    }
    std::uint16_t previous = 0;
    for (const TtiPage& page : result.pages) {
        if (page.number < 0x100 || page.number > 0x8FF || page.number < previous || page.subpages.empty()) {
            std::abort(); // sorted, in range, and never an empty page
        }
        previous = page.number;
        (void)TtiPageNumberText(page.number);
        for (const TtiSubpage& sub : page.subpages) {
            for (const auto& row : sub.rows) {
                for (std::uint8_t c : row) {
                    if (c > 0x7F) {
                        std::abort(); // rows hold seven-bit codes only
                    }
                }
            }
            for (const TtiExtraRow& extra : sub.extraRows) {
                if (extra.number < 26 || extra.number > 29) {
                    std::abort();
                }
            }
            (void)sub.NationalOption();
            for (int c = 0; c < 16; ++c) {
                (void)sub.Control(c);
            }
        }
    }
    for (const TtiMessage& warning : result.warnings) {
        (void)warning.Text();
    }
    // Merging into itself must keep the sorting and drop the doubles.
    TtiReadResult merged;
    MergeTtiResult(merged, result);
    MergeTtiResult(merged, std::move(result));
    return 0;
}
