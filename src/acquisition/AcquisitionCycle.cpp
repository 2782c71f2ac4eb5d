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
    m_subpage = Decoder::AnySubpage; // a new page starts with its subpages in turn
    m_subpageEntering = false;
    m_goingBack = false;
    PollNow();
}

void AcquisitionCycle::PollNow()
{
    m_requestPending = true;
    m_host.SetTimerInterval(PollingIntervalMs());
    m_state = State::Polling;
}

void AcquisitionCycle::GoBack()
{
    if (m_pageNumber.size() != 3 || m_history.empty()) {
        return;
    }
    const std::string page = m_history.back();
    m_history.pop_back();
    SelectPage(page);
    m_goingBack = true; // not a step forward: the page left is not kept
}

void AcquisitionCycle::SelectSubpage(std::int32_t subcode)
{
    if (m_pageNumber.size() != 3) {
        return; // a page number is being typed
    }
    m_subpage = subcode;
    PollNow();
    ShowSubcode(m_shownSubcode);
}

void AcquisitionCycle::StepSubpage(int delta)
{
    // Subpages are numbered 1 to 79 on the air (the tens digit has three bits).
    std::int32_t from = m_subpage >= 0 ? m_subpage : m_shownSubcode;
    if (from < 0 || from > 79) {
        from = 0; // nothing to count from: the next one is the first
    }
    const std::int32_t next = from + delta;
    if (next < 1 || next > 79) {
        return;
    }
    SelectSubpage(next);
}

void AcquisitionCycle::BeginSubpageEntry()
{
    m_subpageEntering = true;
    m_subpageDigits.clear();
    ShowSubcode(m_shownSubcode);
}

void AcquisitionCycle::SubpageDigit(char digit)
{
    if (!m_subpageEntering) {
        return;
    }
    m_subpageDigits += digit;
    if (m_subpageDigits.size() == 4) {
        EndSubpageEntry(true);
        return;
    }
    ShowSubcode(m_shownSubcode);
}

void AcquisitionCycle::EraseSubpageDigit()
{
    if (m_subpageEntering && !m_subpageDigits.empty()) {
        m_subpageDigits.pop_back();
        ShowSubcode(m_shownSubcode);
    }
}

void AcquisitionCycle::EndSubpageEntry(bool accept)
{
    if (!m_subpageEntering) {
        return;
    }
    m_subpageEntering = false;
    const std::int32_t value = m_subpageDigits.empty() ? 0 : std::stoi(m_subpageDigits);
    // Only what the subcode digits can carry: thousands 0 to 3, tens 0 to 7.
    if (!accept || value / 1000 > 3 || value / 10 % 10 > 7) {
        ShowSubcode(m_shownSubcode);
        return;
    }
    SelectSubpage(value == 0 ? Decoder::AnySubpage : value);
}

void AcquisitionCycle::ShowSubcode(std::int32_t subcode)
{
    std::string text;
    if (m_subpageEntering) {
        text = "/" + m_subpageDigits + std::string(4 - m_subpageDigits.size(), '-');
    } else if (m_subpage >= 0) {
        text = "/" + SubcodeText(m_subpage); // chosen: that one only
    } else {
        text = subcode == 0 ? std::string("----") : SubcodeText(subcode);
    }
    m_host.SetStatusText(1, text);
}

void AcquisitionCycle::BeginEntryPause()
{
    m_state = State::EntryPause;
    m_host.SetTimerInterval(StartInterval);
}

void AcquisitionCycle::BeginEntry(char digit)
{
    m_subpageEntering = false;
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
        m_subpage = Decoder::AnySubpage;
        m_goingBack = false;
        PollNow();
    } else {
        BeginEntryPause(); // every digit gives the user the whole time-out again
    }
}

void AcquisitionCycle::EraseDigit()
{
    if (m_pageNumber.size() == 2) {
        m_pageNumber.pop_back();
        ShowPageNumber(m_pageNumber);
        BeginEntryPause();
    } else if (m_pageNumber.size() == 1) {
        CancelEntry();
    }
}

void AcquisitionCycle::CancelEntry()
{
    if (m_pageNumber.size() >= 3) {
        return;
    }
    m_pageNumber = m_savedPageNumber;
    ShowCurrentPage();
    // Polling goes on; the decoder still holds the request of that page.
    m_host.SetTimerInterval(PollingIntervalMs());
    m_state = State::Polling;
}

void AcquisitionCycle::TakeClickedNumber(const std::string& number)
{
    m_pageNumber = number.substr(0, 3);
}

void AcquisitionCycle::ResumeDrawing()
{
    if (!m_teletextPresent) {
        return;
    }
    m_renderer.RenderHeaderRow();
    if (m_undrawn) {
        m_undrawn = false;
        m_renderer.RenderPageRows();
    }
}

void AcquisitionCycle::ShowPageNumber(const std::string& text)
{
    m_digits.DrawDisplay(text, m_host.ButtonFaceColour(), m_display);
    m_host.PageDisplayChanged(m_display);
}

void AcquisitionCycle::ShowCurrentPage()
{
    m_digits.DrawDisplay(m_pageNumber, m_host.ButtonFaceColour(), m_display);
    if (m_searching) {
        for (std::uint32_t& pixel : m_display) {
            if (pixel == DigitStrip::Foreground) {
                pixel = SearchingColour;
            }
        }
    }
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
            // The unfinished number leaves the display at once, so that a late digit is
            // not taken for the end of it.
            m_pageNumber = m_savedPageNumber;
            ShowCurrentPage();
            PollNow();
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
    m_notFoundShown = false;
    ShowPageNumber("---");
    m_host.SetTimerInterval(ErrorInterval);
}

void AcquisitionCycle::StartPoll()
{
    PollRequest request;
    request.lastSubcode = m_lastSubcode;
    // A page still searched for is read only once it has arrived: the decoder's rows are
    // the old page's until then.
    const bool anotherPage =
        m_requestPending && (m_pageNumber != m_currentPage || m_subpage != m_currentSubpage);
    request.redraw = m_redraw && !m_searching && !anotherPage;
    if (m_requestPending) {
        if (!IsPageNumber(m_pageNumber)) {
            // Only an interrupted entry can leave a partial number here (the settings
            // closed while one or two digits were typed). Fall back to the page shown
            // before it.
            m_pageNumber = IsPageNumber(m_savedPageNumber) ? m_savedPageNumber : "100";
        }
        request.page = m_pageNumber;
        request.subcode = m_subpage;
        m_sentPage = m_pageNumber;
        m_sentSubpage = m_subpage;
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
        m_pageNumber = "100"; // another channel, perhaps: start at its index
        m_subpage = Decoder::AnySubpage;
        m_requestPending = true;
        m_teletextPresent = false;
        return;
    case Decoder::NoTeletext:
        ShowSignalError(NoTeletextText);
        m_pageNumber = "100";
        m_subpage = Decoder::AnySubpage;
        m_requestPending = true;
        m_teletextPresent = false;
        return;
    case Decoder::NoHardware:
        // A poll that found no answer says nothing about the channel or the page: a loose
        // cable or a busy adapter. The page number stays, and it is asked for again once
        // the decoder answers (it may have lost its request with its power).
        ShowSignalError(NoHardwareText);
        if (m_pageNumber.size() == 3) {
            m_requestPending = true;
        }
        m_teletextPresent = false;
        return;
    default:
        break;
    }

    m_teletextPresent = true;
    m_host.SetTimerInterval(PollingIntervalMs());
    m_host.SetStatusText(0, {});
    if (poll.requested) {
        if (m_sentPage != m_currentPage || m_sentSubpage != m_currentSubpage) {
            // Another page (or subpage): searched for until it has arrived.
            if (!m_currentPage.empty() && m_sentPage != m_currentPage && !m_goingBack) {
                m_history.push_back(m_currentPage);
                if (m_history.size() > HistorySize) {
                    m_history.erase(m_history.begin());
                }
            }
            m_goingBack = false;
            m_currentPage = m_sentPage;
            m_currentSubpage = m_sentSubpage;
            m_searching = true;
            m_searchMs = 0;
            if (m_notFoundShown) {
                m_host.SetStatusText(RequestPanel, {});
                m_notFoundShown = false;
            }
        }
        ShowCurrentPage();
        m_requestPending = false;
        m_refreshCountdown = -1;
        m_lastSubcode = -1;
    }
    // A page that has come is drawn whole below, its header with it.
    const bool drawPage = (poll.received || m_redraw) && poll.rowsRead;
    if (!m_host.StopButtonDown() && !drawPage) {
        m_renderer.RenderHeaderRow();
    }
    const std::int32_t subcode = poll.subcode;
    m_shownSubcode = subcode;
    m_host.SetStatusText(2, std::string(m_decoder.LanguageName()));
    if (!m_subpageEntering) {
        ShowSubcode(subcode);
    }
    if (m_searching && !(poll.received && poll.rowsRead)) {
        m_searchMs += PollingIntervalMs();
        if (m_searchMs >= NotFoundAfterMs && !m_notFoundShown) {
            m_host.SetStatusText(RequestPanel, "Seite " + m_currentPage + " wird nicht gesendet");
            m_notFoundShown = true;
        }
    }
    if (poll.received || m_redraw) {
        if (poll.rowsRead) {
            if (!m_host.StopButtonDown()) {
                m_renderer.RenderHeaderRow();
                m_renderer.RenderPageRows();
            } else {
                m_undrawn = true;
            }
            m_lastSubcode = subcode;
            if (poll.received && m_searching) {
                m_searching = false;
                ShowCurrentPage();
                if (m_notFoundShown) {
                    m_host.SetStatusText(RequestPanel, {});
                    m_notFoundShown = false;
                }
            }
            // A page without subpages (or one chosen subpage) is fetched again now and
            // then, since its content may change; rotating subpages bring their own updates.
            m_refreshCountdown = subcode < 2 || m_subpage >= 0 ? RefreshPolls : -1;
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
