#include "acquisition/PageSelection.h"

#include <cstdio>

namespace quav {

namespace {

bool IsHexLetter(char c)
{
    return c >= 'A' && c <= 'F';
}

int DigitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (IsHexLetter(c)) {
        return c - 'A' + 10;
    }
    return -1;
}

// The number in a given base; -1 when a character is not a digit of that base.
int ParseNumber(const std::string& text, int base)
{
    int value = 0;
    for (char c : text) {
        const int d = DigitValue(c);
        if (d < 0 || d >= base) {
            return -1;
        }
        value = value * base + d;
    }
    return value;
}

std::string Format(int value, const char* format)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

} // namespace

PageSelection::PageSelection(AcquisitionCycle& cycle, CycleRenderer& renderer)
    : m_cycle(cycle), m_renderer(renderer)
{
}

void PageSelection::PageKey(std::uint8_t code)
{
    if (!m_cycle.TeletextPresent()) {
        return;
    }
    if (SubpageKey(code)) {
        return;
    }
    const std::string buffer = m_cycle.PageNumber();
    const std::size_t n = buffer.size();
    if (code <= 15) {
        const char digit = "0123456789ABCDEF"[code];
        if (n == 1 || n == 2) {
            m_cycle.ContinueEntry(digit);
        } else if (n == 3 && code >= 1 && code <= 8) {
            m_cycle.BeginEntry(digit);
        }
        return;
    }
    if (code == EraseDigit) {
        m_cycle.EraseDigit();
        return;
    }
    if (code == CancelEntry) {
        m_cycle.CancelEntry();
        return;
    }
    if (n != 3) {
        return;
    }
    switch (code) {
    case GoBack:
        m_cycle.GoBack();
        break;
    case NextSubpage:
        m_cycle.StepSubpage(+1);
        break;
    case PreviousSubpage:
        m_cycle.StepSubpage(-1);
        break;
    case SubpageEntry:
        m_cycle.BeginSubpageEntry();
        break;
    case PreviousPage:
        Step(-1);
        break;
    case NextPage:
        Step(+1);
        break;
    case IndexPage:
        m_cycle.SelectPage("100");
        break;
    case TopPage:
        m_cycle.SelectPage("1F0");
        break;
    case Clicked: {
        int value = ParseNumber(buffer, 10);
        if (value < 100) {
            return; // not a page number (or not decimal at all)
        }
        if (value > 899) {
            value = 100;
        }
        m_cycle.SelectPage(std::to_string(value));
        break;
    }
    default:
        break;
    }
}

bool PageSelection::SubpageKey(std::uint8_t code)
{
    if (!m_cycle.SubpageEntering()) {
        return false;
    }
    if (code <= 9) {
        m_cycle.SubpageDigit(char('0' + code));
    } else if (code == EraseDigit) {
        m_cycle.EraseSubpageDigit();
    } else if (code == EndEntry || code == CancelEntry) {
        m_cycle.EndSubpageEntry(code == EndEntry);
    } else if (code >= 10 && code <= 15) {
        // not a subpage digit
    } else {
        // Any other page key leaves the subpage unchosen and does its own work.
        m_cycle.EndSubpageEntry(false);
        return false;
    }
    return true;
}

void PageSelection::Step(int delta)
{
    const std::string buffer = m_cycle.PageNumber();
    // Hexadecimal pages (reached from 1F0) step in hexadecimal, without wrap-around; a
    // letter in the units place ("19F") counts as well, since the number cannot be read
    // as decimal.
    if (IsHexLetter(buffer[1]) || IsHexLetter(buffer[2])) {
        const int value = ParseNumber(buffer, 16);
        if (value < 0) {
            return;
        }
        m_cycle.SelectPage(Format(value + delta, "%03X"));
        return;
    }
    int value = ParseNumber(buffer, 10);
    if (value < 0) {
        return;
    }
    value += delta;
    if (value < 100) {
        value = 899;
    } else if (value > 899) {
        value = 100;
    }
    m_cycle.SelectPage(std::to_string(value));
}

bool PageSelection::DigitAt(int pos) const
{
    // Rows 1 to 23 of the page buffer read as one run of 920 characters, from position 1.
    if (pos < 1 || pos > 920) {
        return false;
    }
    const std::uint8_t c = m_renderer.ShownPageRows()[std::size_t(39 + pos)];
    return c >= '0' && c <= '9';
}

std::string PageSelection::PageNumberAt() const
{
    int column = m_x / 10;
    int r = m_y / 13 - 1;
    if (r >= 0 && r <= 22 && m_renderer.DoubleHeightRows()[std::size_t(r)] == 0) {
        r -= 1; // the lower half of a double-height row belongs to the row above
    }
    if (column < 0 || column > 39 || r < 0 || r > 22) {
        column = 0;
        r = 0;
    }
    int pos = r * 40 + column + 1;
    while (DigitAt(pos) && pos > 1) {
        --pos;
    }
    // Step back onto the first digit, unless the run already starts at the very first
    // character of the page.
    if (!(pos == 1 && DigitAt(1))) {
        ++pos;
    }
    if (DigitAt(pos) && DigitAt(pos + 1) && DigitAt(pos + 2) && !DigitAt(pos + 3)) {
        const auto& rows = m_renderer.ShownPageRows();
        return {char(rows[std::size_t(39 + pos)]), char(rows[std::size_t(40 + pos)]),
                char(rows[std::size_t(41 + pos)])};
    }
    return "999";
}

void PageSelection::KeyPress(char key)
{
    if (const int digit = DigitValue(key >= 'a' && key <= 'f' ? char(key - 'a' + 'A') : key); digit >= 0) {
        PageKey(std::uint8_t(digit));
    } else if (key == '/') {
        PageKey(SubpageEntry);
    } else if (key == '+') {
        PageKey(NextPage);
    } else if (key == '-') {
        PageKey(PreviousPage);
    } else if (key == '*') {
        PageKey(IndexPage);
    }
}

void PageSelection::But1Click(int tag)
{
    if (tag >= 0 && tag <= 255) {
        PageKey(std::uint8_t(tag));
    }
}

void PageSelection::mposition(std::int32_t x, std::int32_t y)
{
    m_x = x;
    m_y = y;
}

void PageSelection::PageClick()
{
    const std::string t = PageNumberAt();
    if (t == "999" || t < "100") {
        return; // no number there, or one that is not a page ("000" to "099")
    }
    m_cycle.TakeClickedNumber(t);
    PageKey(Clicked);
}

void PageSelection::ButHiddenClick(bool hiddenDown)
{
    m_renderer.SetReveal(hiddenDown);
    m_renderer.RedrawShown();
}

void PageSelection::ButStopClick(bool stopDown)
{
    if (!stopDown) {
        m_cycle.ResumeDrawing();
    }
}

} // namespace quav
