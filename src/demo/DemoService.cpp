#include "demo/DemoService.h"

#include <array>

namespace quav {
namespace {

void AppendTwoDigits(std::string& out, int value)
{
    const int v = ((value % 100) + 100) % 100;
    out += char('0' + v / 10);
    out += char('0' + v % 10);
}

} // namespace

TtiReadResult LoadDemoService()
{
    TtiReadResult result;
    for (const DemoFile& file : DemoFiles()) {
        MergeTtiResult(result, ParseTti(file.content, file.name));
    }
    if (result.pages.empty()) {
        result.error = "Der eingebaute Demodienst enthält keine Seiten.";
    }
    return result;
}

std::string ExpandHeaderTemplate(std::string_view headerTemplate, std::uint16_t page, const std::tm& time)
{
    static constexpr std::array<const char*, 7> weekdays{"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
    std::string out;
    out.reserve(headerTemplate.size());
    for (std::size_t i = 0; i < headerTemplate.size(); ++i) {
        const char ch = headerTemplate[i];
        if (ch != '%' || i + 1 == headerTemplate.size()) {
            out += char(ch & 0x7F);
            continue;
        }
        const char field = headerTemplate[i + 1];
        if (field == 'p' && headerTemplate.substr(i, 3) == "%pp") {
            out += TtiPageNumberText(page);
            i += 2;
            continue;
        }
        switch (field) {
        case 'a':
            out += weekdays[std::size_t(((time.tm_wday % 7) + 7) % 7)];
            break;
        case 'd':
            AppendTwoDigits(out, time.tm_mday);
            break;
        case 'm':
            AppendTwoDigits(out, time.tm_mon + 1);
            break;
        case 'y':
            AppendTwoDigits(out, time.tm_year);
            break;
        case 'H':
            AppendTwoDigits(out, time.tm_hour);
            break;
        case 'M':
            AppendTwoDigits(out, time.tm_min);
            break;
        case 'S':
            AppendTwoDigits(out, time.tm_sec);
            break;
        default:
            out += ch;
            continue; // not a placeholder: keep the % and look at the next one
        }
        ++i;
    }
    return out;
}

} // namespace quav
