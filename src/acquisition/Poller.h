#pragma once

#include "decoder/Decoder.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quav {

/// What one poll is asked to do besides the status query, the header row and the status
/// row.
struct PollRequest
{
    /// A page number to request from the decoder once it reports teletext.
    std::optional<std::string> page;
    /// The subpage asked for with the page, or Decoder::AnySubpage for each as it comes.
    std::int32_t subcode = Decoder::AnySubpage;
    /// The subcode of the page last read; the rows are read when the decoder reports the
    /// page received with another subcode. -1: none read yet.
    std::int32_t lastSubcode = -1;
    /// Read the rows now, received or not (the page is to be drawn again).
    bool redraw = false;
};

/// What one poll did. The buffers themselves stay in the decoder.
struct PollResult
{
    /// The decoder's status code: 0 no video, 1 no teletext, 2 or 3 teletext, 4 no answer.
    std::uint8_t status = Decoder::NoHardware;
    /// The requested page number went to the decoder.
    bool requested = false;
    /// The header row and the status row were read.
    bool headerRead = false;
    /// The status row reports the page received.
    bool received = false;
    /// The subcode of the status row (when it was read).
    std::int32_t subcode = 0;
    /// The page rows were read into the page buffer.
    bool rowsRead = false;
    /// The poll was aborted before its end; what it read may be incomplete.
    bool aborted = false;

    bool TeletextPresent() const { return status == 2 || status == 3; }
};

/// One poll of the decoder: the status query; with teletext the page request when one is
/// due, the header row, the status row, and the page rows when a new subpage has arrived
/// or a redraw is asked for. It knows nothing of windows, timers or status texts: the
/// acquisition cycle turns the result into those, and the capture command polls until its
/// page arrives.
///
/// Thread safety: Poll runs on one thread at a time; Abort may be called from any thread
/// while Poll runs and makes it return within one byte of bus traffic.
class Poller
{
public:
    explicit Poller(Decoder& decoder) : m_decoder(decoder) {}

    /// One poll; see the class comment.
    PollResult Poll(const PollRequest& request);

    /// Ends the poll under way early, and every later one at once, until ClearAbort.
    void Abort() { m_decoder.Bus().Abort(); }
    /// Lets polls run to their end again; call it only while no poll runs.
    void ClearAbort() { m_decoder.Bus().ClearAbort(); }

private:
    bool Aborted() { return m_decoder.Bus().AbortRequested(); }

    Decoder& m_decoder;
};

} // namespace quav
