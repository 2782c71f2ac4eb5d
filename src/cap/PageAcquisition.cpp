#include "cap/PageAcquisition.h"

#include "acquisition/Poller.h"

namespace quav {

AcquiredPage AcquirePage(Decoder& decoder, std::string_view page, const std::function<bool()>& wait)
{
    AcquiredPage result;
    Poller poller(decoder);
    PollRequest request;
    // Sent with the first poll that finds teletext, as the viewer does.
    request.page = std::string(page);
    while (true) {
        const PollResult poll = poller.Poll(request);
        result.status = poll.status;
        if (poll.status == Decoder::NoHardware) {
            result.outcome = AcquisitionOutcome::NoHardware;
            return result;
        }
        if (poll.requested) {
            request.page.reset();
        }
        if (poll.rowsRead) {
            // The header once more, so that its clock is that of the finished page.
            decoder.ReadHeaderRow(0);
            result.outcome = AcquisitionOutcome::Received;
            result.headerRow = decoder.HeaderRow();
            result.pageRows = decoder.PageRows();
            result.subcode = decoder.Subcode();
            return result;
        }
        if (!wait()) {
            result.outcome = AcquisitionOutcome::TimedOut;
            return result;
        }
    }
}

std::string AcquisitionFailureText(const AcquiredPage& result, std::string_view page)
{
    const std::string name = "Seite " + std::string(page);
    switch (result.outcome) {
    case AcquisitionOutcome::Received:
        return {};
    case AcquisitionOutcome::NoHardware:
        return "Videotext Hardware nicht gefunden";
    case AcquisitionOutcome::TimedOut:
        break;
    }
    if (result.status == Decoder::NoVideo) {
        return name + " nicht empfangen: Kein Videosignal";
    }
    if (result.status == Decoder::NoTeletext) {
        return name + " nicht empfangen: Sender ohne Videotext";
    }
    return name + " wurde in der Wartezeit nicht empfangen.";
}

} // namespace quav
