#include "acquisition/Poller.h"

namespace quav {

PollResult Poller::Poll(const PollRequest& request)
{
    PollResult result;
    m_decoder.DecoderStatus(result.status);
    if (Aborted()) {
        result.aborted = true;
        return result;
    }
    if (!result.TeletextPresent()) {
        return result;
    }
    std::int32_t lastSubcode = request.lastSubcode;
    if (request.page) {
        m_decoder.RequestPage(*request.page, 0, request.subcode);
        result.requested = true;
        lastSubcode = -1; // whatever was read before belongs to another request
    }
    m_decoder.ReadHeaderRow(0);
    result.received = m_decoder.ReadStatusRow(0);
    result.subcode = m_decoder.Subcode();
    if (Aborted()) {
        result.aborted = true;
        return result;
    }
    result.headerRead = true;
    if ((result.received || request.redraw) && (result.subcode != lastSubcode || request.redraw)) {
        m_decoder.ReadPageRows(0);
        result.rowsRead = true;
        result.aborted = Aborted();
    }
    return result;
}

} // namespace quav
