#include "acquisition/AcquisitionCycle.h"

#include "bus/AdapterPorts.h"

#include <exception>
#include <limits>
#include <stdexcept>

namespace quav {

namespace {

constexpr const char* NoVideoText = "Kein Videosignal";
constexpr const char* NoTeletextText = "Sender ohne Videotext";
constexpr const char* NoHardwareText = "Videotext Hardware nicht gefunden";
constexpr const char* PortUnusableText = " kann nicht verwendet werden";

bool IsPageNumber(const std::string& s)
{
    if (s.size() != 3 || s[0] < '1' || s[0] > '8') {
        return false;
    }
    for (char c : s.substr(1)) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

} // namespace

AcquisitionCycle::AcquisitionCycle(CycleHost& host, Decoder& decoder, CycleRenderer& renderer,
                                   CycleSettingsStore& store, const Settings& settings)
    : m_host(host), m_decoder(decoder), m_renderer(renderer), m_store(store), m_settings(settings),
      m_poller(decoder)
{
}

int AcquisitionCycle::PollingIntervalMs() const
{
    return int(PollingInterval(m_settings).count());
}

void AcquisitionCycle::StartCycle()
{
    m_state = State::StartUp;
    m_host.SetTimerInterval(StartInterval);
    m_host.SetTimerEnabled(true);
}

void AcquisitionCycle::RestartCycle()
{
    m_state = State::ClaimPort;
    m_host.SetTimerInterval(StartInterval);
    m_host.SetTimerEnabled(true);
}

void AcquisitionCycle::SelectPage(const std::string& number)
{
    m_pageNumber = number.substr(0, 3);
    m_requestPending = true;
    m_host.SetTimerInterval(PollingIntervalMs());
    m_state = State::Polling;
}

void AcquisitionCycle::BeginEntryPause()
{
    m_state = State::EntryPause;
    m_host.SetTimerInterval(StartInterval);
}

void AcquisitionCycle::BeginEntry(char digit)
{
    m_savedPageNumber = m_pageNumber;
    m_pageNumber = std::string(1, digit);
    ShowPageNumber(m_pageNumber);
    BeginEntryPause();
}

void AcquisitionCycle::ContinueEntry(char digit)
{
    if (m_pageNumber.size() >= 3) {
        return; // no entry under way
    }
    m_pageNumber += digit;
    ShowPageNumber(m_pageNumber);
    if (m_pageNumber.size() == 3) {
        m_requestPending = true;
        m_host.SetTimerInterval(PollingIntervalMs());
        m_state = State::Polling;
    }
}

void AcquisitionCycle::TakeClickedNumber(const std::string& number)
{
    m_pageNumber = number.substr(0, 3);
}

void AcquisitionCycle::ShowPageNumber(const std::string& text)
{
    m_digits.DrawDisplay(text, m_host.ButtonFaceColour(), m_display);
    m_host.PageDisplayChanged(m_display);
}

std::string AcquisitionCycle::SubcodeText(std::int32_t n)
{
    const std::string text = "0000" + std::to_string(n);
    return text.substr(text.size() - 4);
}

void AcquisitionCycle::Tim()
{
    m_host.SetTimerEnabled(false);
    if (m_state == State::Polling) {
        StartPoll();
        return;
    }
    Guarded([this] {
        switch (m_state) {
        case State::StartUp:
            DoStartUp();
            break;
        case State::ClaimPort:
            DoClaimPort();
            break;
        case State::EntryPause:
            m_host.SetTimerInterval(EntryTimeoutInterval);
            m_state = State::EntryTimeout;
            break;
        case State::EntryTimeout:
            m_pageNumber = m_savedPageNumber;
            m_requestPending = true;
            m_host.SetTimerInterval(PollingIntervalMs());
            m_state = State::Polling;
            break;
        default:
            break; // port failed, or a state without work
        }
    });
    EndTick();
}

void AcquisitionCycle::Guarded(const std::function<void()>& step)
{
    // Nothing may escape a tick: the timer would stay off and the cycle would die without
    // a word. The error is shown while the timer is still off, so that no tick runs under
    // the message box, and the cycle goes on afterwards.
    try {
        step();
    } catch (const std::exception& e) {
        m_host.ReportError(e.what());
    } catch (...) {
        m_host.ReportError("Unbekannter Fehler im Seitenabruf");
    }
}

void AcquisitionCycle::EndTick()
{
    m_host.SetTimerEnabled(true);
    m_host.ProcessPendingEvents();
}

void AcquisitionCycle::DoStartUp()
{
    // A settings error must not leave the window without its commands and the renderer
    // without its bitmaps: the start-up runs to its end with whatever could be loaded, and
    // the first error is reported afterwards.
    std::string error;
    const auto attempt = [&error](auto&& step) {
        try {
            step();
        } catch (const std::exception& e) {
            if (error.empty()) {
                error = e.what();
            }
        }
    };
    bool current = true;
    attempt([&] { current = m_store.SettingsCurrent(); });
    attempt([&] { m_store.LoadSettings(); });
    if (!current) {
        // The dialog saves what it shows; should that fail, its values still hold in memory
        // and are not read back over.
        attempt([&] { m_host.RunSettingsDialog(); });
    }
    m_host.EnableCommands();
    m_renderer.SetupRenderer();
    m_host.FocusMainWindow();
    for (int panel = 0; panel < 3; ++panel) {
        m_host.SetStatusText(panel, {});
    }
    m_pageNumber = "100";
    m_state = State::ClaimPort;
    m_teletextPresent = false;
    if (!error.empty()) {
        throw std::runtime_error(error);
    }
}

void AcquisitionCycle::DoClaimPort()
{
    switch (static_cast<adapter::DeviceKind>(m_settings.Device)) {
    case adapter::DeviceKind::SerialModule: {
        CyclePort& comm = m_host.Comm();
        comm.ClosePort();
        comm.SetCommPort("COM" + std::to_string(m_settings.Port));
        try {
            comm.OpenPort();
        } catch (const std::exception&) {
            m_host.SetStatusText(0, comm.CommPort() + PortUnusableText);
            m_host.Beep();
            m_state = State::PortFailed;
            m_host.SetTimerInterval(ErrorInterval);
            return;
        }
        m_host.SetStatusText(0, {});
        m_state = State::Polling;
        m_requestPending = true;
        m_host.SetTimerInterval(StartInterval);
        break;
    }
    case adapter::DeviceKind::Vd3000s:
    case adapter::DeviceKind::CtCard:
        m_state = State::Polling;
        m_requestPending = true;
        m_host.SetTimerInterval(StartInterval);
        break;
    default:
        // No adapter of that number (hand-edited settings): said as for missing hardware,
        // and the cycle waits here until the settings change.
        m_host.SetStatusText(0, NoHardwareText);
        break;
    }
}

void AcquisitionCycle::ShowSignalError(const std::string& message)
{
    m_host.SetStatusText(0, message);
    m_host.SetStatusText(3, {});
    ShowPageNumber("---");
    m_pageNumber = "100";
    m_host.SetTimerInterval(ErrorInterval);
}

void AcquisitionCycle::StartPoll()
{
    PollRequest request;
    request.lastSubcode = m_lastSubcode;
    request.redraw = m_redraw;
    if (m_requestPending) {
        if (!IsPageNumber(m_pageNumber)) {
            // Only an interrupted entry can leave a partial number here (the settings
            // closed while one or two digits were typed). Fall back to the page shown
            // before it.
            m_pageNumber = IsPageNumber(m_savedPageNumber) ? m_savedPageNumber : "100";
        }
        request.page = m_pageNumber;
    }
    m_host.RunBusWork([this, request] { m_poll = m_poller.Poll(request); },
                      [this] {
                          // An abort ends with its poll; the bus serves others in full again.
                          m_poller.ClearAbort();
                          Guarded([this] { ApplyPoll(m_poll); });
                          EndTick();
                      });
}

void AcquisitionCycle::ApplyPoll(const PollResult& poll)
{
    if (poll.aborted) {
        // Cut short (the settings, say): nothing it read counts. A request that went out
        // is simply sent again, and the page is read whole at the next poll.
        m_redraw = m_redraw || poll.rowsRead;
        return;
    }
    switch (poll.status) {
    case Decoder::NoVideo:
        ShowSignalError(NoVideoText);
        m_requestPending = true;
        m_teletextPresent = false;
        return;
    case Decoder::NoTeletext:
        ShowSignalError(NoTeletextText);
        m_requestPending = true;
        m_teletextPresent = false;
        return;
    case Decoder::NoHardware:
        ShowSignalError(NoHardwareText);
        m_teletextPresent = false;
        return;
    default:
        break;
    }

    m_teletextPresent = true;
    m_host.SetTimerInterval(PollingIntervalMs());
    m_host.SetStatusText(0, {});
    if (poll.requested) {
        ShowPageNumber(m_pageNumber);
        m_requestPending = false;
        m_refreshCountdown = -1;
        m_lastSubcode = -1;
    }
    if (!m_host.StopButtonDown()) {
        m_renderer.RenderHeaderRow();
    }
    const std::int32_t subcode = poll.subcode;
    m_host.SetStatusText(2, std::string(m_decoder.LanguageName()));
    m_host.SetStatusText(1, subcode == 0 ? std::string("----") : SubcodeText(subcode));
    if (poll.received || m_redraw) {
        if (poll.rowsRead) {
            if (!m_host.StopButtonDown()) {
                m_renderer.RenderHeaderRow();
                m_renderer.RenderPageRows();
            }
            m_lastSubcode = subcode;
            // A page without subpages is fetched again now and then, since its content may
            // change; rotating subpages bring their own updates.
            m_refreshCountdown = subcode < 2 ? RefreshPolls : -1;
        }
        if (m_refreshCountdown != 0) {
            // Runs from -1 downwards for rotating subpages; stopping at the lowest value
            // keeps a months-long run from overflowing.
            if (m_refreshCountdown > std::numeric_limits<std::int32_t>::min()) {
                --m_refreshCountdown;
            }
        } else {
            m_requestPending = true;
            m_lastSubcode = -1;
        }
        m_redraw = false;
    }
}

} // namespace quav
