#pragma once

#include "acquisition/CycleHost.h"
#include "acquisition/DigitStrip.h"
#include "config/Settings.h"
#include "decoder/Decoder.h"

#include <cstdint>
#include <string>

namespace quav {

/// The timer-driven state machine that ties the decoder, the renderer and the status bar
/// together. Each tick (`Tim`) stops the timer, does the work of the current state, starts
/// the timer again and lets waiting input be handled, so ticks never overlap and the
/// interval runs from the end of one tick to the start of the next.
///
/// States: 0 start-up, 1 claim port, 2 port failed, 3 polling, 4 entry pause, 5 entry
/// time-out. Page selection changes the cycle variables between ticks.
///
/// Everything runs on the user-interface thread.
class AcquisitionCycle
{
public:
    enum State : std::uint8_t
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

    AcquisitionCycle(CycleHost& host, Decoder& decoder, CycleRenderer& renderer, CycleSettingsStore& store,
                     const Settings& settings);

    /// One tick of the cycle: the handler of the window's timer.
    void Tim();
    /// State 0, 100 ms, timer on. Called when the main window is created.
    void StartCycle();
    /// State 1, 100 ms, timer on. Called after the settings dialog has closed.
    void RestartCycle();
    /// Requests a page at the next polling tick (the first three characters of `number`).
    void SelectPage(const std::string& number);
    /// Stops polling while the user types a page number: state 4, 100 ms.
    void BeginEntryPause();
    /// Makes the next polling tick read and draw the page again.
    void RequestRedraw() { m_redraw = true; }
    /// Draws a page number on the page-number display, padded with dashes.
    void ShowPageNumber(const std::string& text);

    /// "0000" followed by the number's digits, last four characters: 1 gives "0001".
    static std::string SubcodeText(std::int32_t n);

    // The cycle variables; page selection reads and writes them between ticks.
    std::uint8_t CycleState() const { return m_state; }
    void SetCycleState(std::uint8_t state) { m_state = state; }
    const std::string& PageNumber() const { return m_pageNumber; }
    void SetPageNumber(std::string number) { m_pageNumber = std::move(number); }
    const std::string& SavedPageNumber() const { return m_savedPageNumber; }
    void SetSavedPageNumber(std::string number) { m_savedPageNumber = std::move(number); }
    bool RequestPending() const { return m_requestPending; }
    void SetRequestPending(bool pending) { m_requestPending = pending; }
    bool TeletextPresent() const { return m_teletextPresent; }
    std::int32_t LastSubcode() const { return m_lastSubcode; }
    std::int32_t RefreshCountdown() const { return m_refreshCountdown; }
    bool RedrawPending() const { return m_redraw; }
    /// The polling interval of the current settings, in milliseconds.
    int PollingIntervalMs() const;

    CycleHost& Host() { return m_host; }
    const DigitStrip& Digits() const { return m_digits; }
    /// The page-number display as last drawn (41 x 21).
    const std::vector<std::uint32_t>& PageDisplay() const { return m_display; }

private:
    void DoStartUp();
    void DoClaimPort();
    void Poll();
    void ShowSignalError(const std::string& message);
    void SendRequest();

    CycleHost& m_host;
    Decoder& m_decoder;
    CycleRenderer& m_renderer;
    CycleSettingsStore& m_store;
    const Settings& m_settings;
    DigitStrip m_digits;
    std::vector<std::uint32_t> m_display;

    std::uint8_t m_state = StartUp;
    std::string m_pageNumber = "100";
    std::string m_savedPageNumber;
    bool m_requestPending = false;
    bool m_teletextPresent = false;
    std::int32_t m_lastSubcode = -1;
    std::int32_t m_refreshCountdown = -1;
    bool m_redraw = false;
};

} // namespace quav
