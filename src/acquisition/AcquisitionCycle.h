#pragma once

#include "acquisition/CycleHost.h"
#include "acquisition/DigitStrip.h"
#include "acquisition/Poller.h"
#include "config/Settings.h"
#include "decoder/Decoder.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quav {

namespace test {
struct CycleBackdoor;
}

/// The timer-driven state machine that ties the decoder, the renderer and the status bar
/// together. Each tick (`Tim`) stops the timer, does the work of the current state, starts
/// the timer again and lets waiting input be handled, so ticks never overlap and the
/// interval runs from the end of one tick to the start of the next.
///
/// The bus work of a polling tick is one poll (Poller); the host runs it where the bus
/// lives (`CycleHost::RunBusWork`) and the cycle turns its result into drawing, status
/// texts and the next interval.
///
/// The cycle alone writes its state. Page selection asks for changes through the intent
/// methods (SelectPage, BeginEntry, ContinueEntry, TakeClickedNumber, RequestRedraw).
///
/// Thread safety: everything here runs on the user-interface thread, except the poll of
/// a tick, which touches only the poller and the decoder. AbortPoll may be called from
/// any thread.
class AcquisitionCycle
{
public:
    enum class State : std::uint8_t
    {
        StartUp = 0,
        ClaimPort = 1,
        PortFailed = 2,
        Polling = 3,
        EntryPause = 4,
        EntryTimeout = 5,
    };

    static constexpr int StartInterval = 100;
    static constexpr int ErrorInterval = 1000;
    static constexpr int EntryTimeoutInterval = 5000;
    static constexpr int RefreshPolls = 5;
    /// How long a requested page may stay away before the status bar says that it is not
    /// broadcast: longer than a whole cycle of a magazine takes on the air.
    static constexpr int NotFoundAfterMs = 30000;
    /// The status panel for what the user asked for (a page that is not broadcast); panel 0
    /// stays for the hardware and the signal.
    static constexpr int RequestPanel = 3;
    /// Colour of the page number while its page is being searched for.
    static constexpr std::uint32_t SearchingColour = 0x707070;
    /// How many pages Alt+Left can go back.
    static constexpr std::size_t HistorySize = 16;

    AcquisitionCycle(CycleHost& host, Decoder& decoder, CycleRenderer& renderer, CycleSettingsStore& store,
                     const Settings& settings);

    /// One tick of the cycle: the handler of the window's timer. A polling tick ends when
    /// the host has run its bus work and handed back the result.
    void Tim();
    /// State 0, 100 ms, timer on. Called when the main window is created.
    void StartCycle();
    /// State 1, 100 ms, timer on. Called after the settings dialog has closed.
    void RestartCycle();
    /// Requests a page at the next polling tick (the first three characters of `number`).
    void SelectPage(const std::string& number);
    /// Stops polling while the user types a page number: state 4, 100 ms.
    void BeginEntryPause();
    /// The first digit of a new page number: the current number is kept for a time-out,
    /// the digit is shown, and polling pauses.
    void BeginEntry(char digit);
    /// A further digit of the number being typed; the third one requests the page.
    void ContinueEntry(char digit);
    /// Removes the last digit typed; the only one ends the entry as CancelEntry does.
    void EraseDigit();
    /// Ends the number being typed; the page shown before stays and is shown again.
    void CancelEntry();
    /// A number clicked in the page becomes the page number (requested only through
    /// SelectPage).
    void TakeClickedNumber(const std::string& number);
    /// Requests the page shown before the current one again (a short history).
    void GoBack();
    /// Asks for one subpage of the current page (Decoder::AnySubpage: each as it comes).
    void SelectSubpage(std::int32_t subcode);
    /// The next or previous subpage, counted from the one chosen or shown (1 to 79).
    void StepSubpage(int delta);
    /// Typing a subpage: "/" begins, up to four digits, Enter (or the fourth digit) ends;
    /// no digits or 0 go back to each subpage as it comes.
    void BeginSubpageEntry();
    void SubpageDigit(char digit);
    void EraseSubpageDigit();
    void EndSubpageEntry(bool accept);
    bool SubpageEntering() const { return m_subpageEntering; }
    /// Makes the next polling tick read and draw the page again.
    void RequestRedraw() { m_redraw = true; }
    /// The stop button came up: draws what was read while it was down, from the decoder's
    /// buffers (between ticks).
    void ResumeDrawing();
    /// Ends the bus work of a tick under way early (its reads may be incomplete; the page
    /// is read again at the next poll). May be called from any thread.
    void AbortPoll() { m_poller.Abort(); }
    /// Draws a page number on the page-number display, padded with dashes.
    void ShowPageNumber(const std::string& text);

    /// "0000" followed by the number's digits, last four characters: 1 gives "0001".
    static std::string SubcodeText(std::int32_t n);

    // The cycle variables, for reading.
    State CycleState() const { return m_state; }
    const std::string& PageNumber() const { return m_pageNumber; }
    const std::string& SavedPageNumber() const { return m_savedPageNumber; }
    bool RequestPending() const { return m_requestPending; }
    bool TeletextPresent() const { return m_teletextPresent; }
    std::int32_t LastSubcode() const { return m_lastSubcode; }
    std::int32_t RefreshCountdown() const { return m_refreshCountdown; }
    bool RedrawPending() const { return m_redraw; }
    std::int32_t ChosenSubpage() const { return m_subpage; }
    /// The requested page has not arrived yet.
    bool Searching() const { return m_searching; }
    const std::vector<std::string>& History() const { return m_history; }
    /// The polling interval of the current settings, in milliseconds.
    int PollingIntervalMs() const;

    const DigitStrip& Digits() const { return m_digits; }
    /// The page-number display as last drawn (41 x 21).
    const std::vector<std::uint32_t>& PageDisplay() const { return m_display; }

private:
    friend struct test::CycleBackdoor;

    /// Runs one step of a tick; an error is reported and goes no further.
    void Guarded(const std::function<void()>& step);
    void EndTick();
    void DoStartUp();
    void DoClaimPort();
    void StartPoll();
    void ApplyPoll(const PollResult& result);
    void ShowSignalError(const std::string& message);
    void ShowCurrentPage();
    void ShowSubcode(std::int32_t subcode);
    void PollNow();

    CycleHost& m_host;
    Decoder& m_decoder;
    CycleRenderer& m_renderer;
    CycleSettingsStore& m_store;
    const Settings& m_settings;
    Poller m_poller;
    PollResult m_poll; ///< written by the bus work, read once the host hands it back
    DigitStrip m_digits;
    std::vector<std::uint32_t> m_display;

    State m_state = State::StartUp;
    std::string m_pageNumber = "100";
    std::string m_savedPageNumber;
    bool m_requestPending = false;
    bool m_teletextPresent = false;
    std::int32_t m_lastSubcode = -1;
    std::int32_t m_refreshCountdown = -1;
    bool m_redraw = false;

    std::int32_t m_subpage = Decoder::AnySubpage; ///< the subpage chosen for the page
    bool m_subpageEntering = false;
    std::string m_subpageDigits;
    std::int32_t m_shownSubcode = 0; ///< of the last status row, for panel 1
    // What went to the decoder: the request under way, and the last one that arrived there.
    std::string m_sentPage;
    std::int32_t m_sentSubpage = Decoder::AnySubpage;
    std::string m_currentPage;
    std::int32_t m_currentSubpage = Decoder::AnySubpage;
    std::vector<std::string> m_history;
    bool m_goingBack = false;
    bool m_searching = false;
    int m_searchMs = 0;
    bool m_notFoundShown = false;
    bool m_undrawn = false; ///< page rows read while the stop button was down
};

} // namespace quav
