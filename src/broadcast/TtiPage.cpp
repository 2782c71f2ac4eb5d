#include "broadcast/TtiPage.h"

namespace quav {

std::uint16_t TtiControlMask(int c)
{
    // The order in which PS stores the header control bits, as TTI inserters transmit them
    // and tape recovery tools write them: bit 7 is C12, bit 8 C13, bit 9 C14. German pages
    // (C14 alone) carry PS 8200, French ones (C12 alone) 8080.
    switch (c) {
    case 4:
        return 0x4000;
    case 5:
        return 0x0001;
    case 6:
        return 0x0002;
    case 7:
        return 0x0004;
    case 8:
        return 0x0008;
    case 9:
        return 0x0010;
    case 10:
        return 0x0020;
    case 11:
        return 0x0040;
    case 12:
        return 0x0080;
    case 13:
        return 0x0100;
    case 14:
        return 0x0200;
    default:
        return 0;
    }
}

bool TtiSubpage::Control(int c) const
{
    return (pageStatus & TtiControlMask(c)) != 0;
}

int TtiSubpage::NationalOption() const
{
    return (Control(12) ? 1 : 0) | (Control(13) ? 2 : 0) | (Control(14) ? 4 : 0);
}

std::array<TtiRowBytes, tti::DisplayRowCount> TtiSubpage::BlankRows()
{
    std::array<TtiRowBytes, tti::DisplayRowCount> rows;
    for (auto& row : rows) {
        row.fill(0x20);
    }
    return rows;
}

std::string TtiPageNumberText(std::uint16_t number)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    return {digits[(number >> 8) & 0xF], digits[(number >> 4) & 0xF], digits[number & 0xF]};
}

} // namespace quav
