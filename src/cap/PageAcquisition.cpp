#include "cap/PageAcquisition.h"

namespace quav {

namespace {

bool TeletextPresent(std::uint8_t code)
{
    return code == 2 || code == 3;
}

} // namespace

AcquiredPage AcquirePage(Decoder& decoder, std::string_view page, const std::function<bool()>& wait)
{
    AcquiredPage result;
    bool requested = false;
    while (true) {
        decoder.DecoderStatus(result.status);
        if (result.status == Decoder::NoHardware) {
            result.outcome = AcquisitionOutcome::NoHardware;
            return result;
        }
        if (TeletextPresent(result.status)) {
            if (!requested) {
                // Asked for only once teletext is there, as the viewer does.
                decoder.RequestPage(page, 0);
                requested = true;
            } else {
                decoder.ReadHeaderRow(0);
                if (decoder.ReadStatusRow(0)) {
                    decoder.ReadPageRows(0);
                    decoder.ReadHeaderRow(0);
                    result.outcome = AcquisitionOutcome::Received;
                    result.headerRow = decoder.HeaderRow();
                    result.pageRows = decoder.PageRows();
                    result.subcode = decoder.Subcode();
                    return result;
                }
            }
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
