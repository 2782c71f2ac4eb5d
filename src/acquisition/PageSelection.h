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
    /// Entry codes besides the digits 0 to 9 and the hexadecimal digits A to F (10 to 15),
    /// which may follow a first digit.
    static constexpr std::uint8_t PreviousPage = 20;
    static constexpr std::uint8_t NextPage = 21;
    static constexpr std::uint8_t IndexPage = 22;
    static constexpr std::uint8_t EraseDigit = 23;  ///< Backspace
    static constexpr std::uint8_t CancelEntry = 24; ///< Escape
    static constexpr std::uint8_t GoBack = 25;      ///< the page shown before
    static constexpr std::uint8_t NextSubpage = 26;
    static constexpr std::uint8_t PreviousSubpage = 27;
    static constexpr std::uint8_t SubpageEntry = 28; ///< "/": a subpage number follows
    static constexpr std::uint8_t EndEntry = 29;     ///< Enter
    static constexpr std::uint8_t TopPage = 30;
    static constexpr std::uint8_t Clicked = 99;

    /// Numbers are looked for in the rows on screen (the renderer's), which the stop button
    /// may hold while the decoder has read newer ones.
    PageSelection(AcquisitionCycle& cycle, CycleRenderer& renderer);

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
    /// The reveal toggle changed: the page on screen is drawn again at once with concealed
    /// characters shown or hidden, from the bytes it was drawn from.
    void ButHiddenClick(bool hiddenDown);
    /// The stop toggle changed; when it comes up, what was read meanwhile is drawn.
    void ButStopClick(bool stopDown);

private:
    void Step(int delta);
    bool SubpageKey(std::uint8_t code);
    bool DigitAt(int pos) const;

    AcquisitionCycle& m_cycle;
    CycleRenderer& m_renderer;
    std::int32_t m_x = 0;
    std::int32_t m_y = 0;
};

} // namespace quav
