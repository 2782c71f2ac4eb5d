#pragma once

#include "acquisition/AcquisitionCycle.h"

#include <cstdint>
#include <string>

namespace quav {

/// How the user chooses a page: digits typed or clicked on the keypad, previous and next,
/// page 100, a click on a three-digit number in the page, and the reveal and stop toggles.
/// Every input becomes an entry code for `PageKey`; the chosen number goes to the
/// acquisition cycle through its intent methods, between ticks.
class PageSelection
{
public:
    /// Entry codes besides the digits 0 to 9.
    static constexpr std::uint8_t PreviousPage = 20;
    static constexpr std::uint8_t NextPage = 21;
    static constexpr std::uint8_t IndexPage = 22;
    static constexpr std::uint8_t TopPage = 30;
    static constexpr std::uint8_t Clicked = 99;

    PageSelection(AcquisitionCycle& cycle, const Decoder& decoder, CycleRenderer& renderer);

    /// The page-number entry for one entry code.
    void PageKey(std::uint8_t code);
    /// The three-digit number under the last mouse position, or "999" when there is none.
    std::string PageNumberAt() const;

    /// A key typed anywhere in the main window.
    void KeyPress(char key);
    /// A keypad button, by its tag.
    void But1Click(int tag);
    /// The mouse moved over the page image (image pixels).
    void mposition(std::int32_t x, std::int32_t y);
    /// A click on the page image.
    void PageClick();
    /// Either toolbar toggle changed: reveal follows the reveal button, and the page is
    /// drawn again at the next poll.
    void ButHiddenClick(bool hiddenDown);

private:
    void Step(int delta);
    bool DigitAt(int pos) const;

    AcquisitionCycle& m_cycle;
    const Decoder& m_decoder;
    CycleRenderer& m_renderer;
    std::int32_t m_x = 0;
    std::int32_t m_y = 0;
};

} // namespace quav
