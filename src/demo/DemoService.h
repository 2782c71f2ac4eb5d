#pragma once

#include "broadcast/TtiReader.h"

#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <string_view>

namespace quav {

/// One page file of the built-in demo service, exactly as it lies in resources/demo.
struct DemoFile
{
    std::string_view name;    ///< "P100.tti"
    std::string_view content; ///< the file's bytes
};

/// The page files of the built-in demo service, in name order. The data is part of the
/// program; the views stay valid for the whole run.
std::span<const DemoFile> DemoFiles();

/// The pages of the demo service, parsed and sorted by page number.
TtiReadResult LoadDemoService();

/// Header text of the demo service: 32 characters for columns 8 to 39 of the page header.
/// The page number comes first, then "QUAV-Text" in yellow, the date and, in cyan, the clock.
/// Placeholders as for ExpandHeaderTemplate.
inline constexpr std::string_view DemoHeaderTemplate = "%pp\x03QUAV-Text\x07%a %d.%m.\x06%H:%M:%S";

/// Fills in a header template. Each placeholder is replaced by text of its own length, so
/// the columns do not move: %pp the page number ("1F0"), %a the German weekday ("Mo"),
/// %d day, %m month, %y year, %H hour, %M minute, %S second, all two digits. Anything
/// else is copied. The result holds 7-bit teletext codes.
std::string ExpandHeaderTemplate(std::string_view headerTemplate, std::uint16_t page, const std::tm& time);

} // namespace quav
