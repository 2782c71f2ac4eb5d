#pragma once

#include "decoder/Decoder.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace quav {

/// How waiting for one page ended.
enum class AcquisitionOutcome
{
    Received,   ///< the decoder reports the page received
    NoHardware, ///< the decoder does not answer
    TimedOut,   ///< the time was up first
};

struct AcquiredPage
{
    AcquisitionOutcome outcome = AcquisitionOutcome::TimedOut;
    /// The last status code of the decoder (0 no video, 1 no teletext, 2 and 3 teletext).
    std::uint8_t status = 0;
    std::array<std::uint8_t, Decoder::HeaderSize> headerRow{};
    std::array<std::uint8_t, Decoder::PageSize> pageRows{};
    std::int32_t subcode = 0;
};

/// Acquires one page with the viewer's poll (Poller): the page is requested once teletext
/// is there, and polled once per polling interval until the status row reports it
/// received and its rows have been read. `wait` lets one polling interval pass and
/// returns false when the time is up.
AcquiredPage AcquirePage(Decoder& decoder, std::string_view page, const std::function<bool()>& wait);

/// The German reason for a page that did not come, for the user.
std::string AcquisitionFailureText(const AcquiredPage& result, std::string_view page);

} // namespace quav
