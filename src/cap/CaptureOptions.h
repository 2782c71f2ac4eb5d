#pragma once

#include "broadcast/PageCache.h"
#include "station/StationOptions.h"

#include <string>
#include <vector>

namespace quav {

enum class CaptureFormat
{
    Txt,  ///< the page text file: 24 lines of 40 characters, CR LF, 1008 bytes, code page 1252
    Utf8, ///< the same characters in UTF-8, one line each
    Bmp,  ///< the 400 x 312 page picture as a Windows bitmap
    Png,  ///< the same picture as PNG
};

/// What the command line of quav-videotext-cap asks for.
struct CaptureOptions
{
    /// --source, --hardware and --pid, the options the viewer takes too.
    StationOptions station;
    /// The pages asked for; `all` takes every page the source has.
    PageNumberSet pages;
    bool all = false;
    /// One page number and nothing else: that page is acquired through the decoder.
    bool singlePage = true;
    /// A list of single numbers (no range, not all): every one of them must come.
    bool everyPageRequired = true;
    CaptureFormat format = CaptureFormat::Txt;
    std::string output; ///< empty: standard output for a single page, else the current folder
    double timeoutSeconds = 30.0;
    /// Concealed text is shown in the pictures too (the text formats always hold it).
    bool reveal = false;
    /// Each page pixel becomes a square of scale x scale pixels in the pictures, 1 to 8.
    int scale = 1;
    bool help = false;
};

/// Reads the arguments (without the program name). False with a German message in `error`
/// when they make no sense.
bool ParseCaptureOptions(const std::vector<std::string>& args, CaptureOptions& options, std::string& error);

/// Reads PAGES: "all", or a comma separated list of page numbers ("1F0") and ranges
/// ("100-199"). Page numbers are three hexadecimal digits, the first 1 to 8.
bool ParsePageList(const std::string& text, CaptureOptions& options, std::string& error);

/// The usage text for --help.
std::string CaptureUsage();

/// "txt", "utf8", "bmp" or "png".
const char* FormatExtension(CaptureFormat format);

} // namespace quav
