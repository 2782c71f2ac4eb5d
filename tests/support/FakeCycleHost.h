#pragma once

#include "acquisition/AcquisitionCycle.h"

#include <array>
#include <cstdint>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace quav::test {

/// The serial port object of the window, as far as the cycle uses it. Ports named in
/// `busy` cannot be opened.
class FakeCyclePort : public CyclePort
{
public:
    std::string CommPort() const override { return name; }
    void SetCommPort(const std::string& n) override { name = n; }
    void OpenPort() override
    {
        ++opens;
        if (busy.count(name) != 0) {
            throw std::runtime_error("Error opening com port");
        }
        open = true;
        log.push_back("open " + name);
    }
    void ClosePort() override
    {
        ++closes;
        if (open) {
            log.push_back("close " + name);
        }
        open = false;
    }

    std::string name = "COM2";
    std::set<std::string> busy;
    bool open = false;
    int opens = 0;
    int closes = 0;
    std::vector<std::string> log;
};

/// Counts the renderer's entry points; the double-height table is set by the test.
class FakeCycleRenderer : public CycleRenderer
{
public:
    FakeCycleRenderer() { doubleHeight.fill(1); }
    void SetupRenderer() override { ++setups; }
    void RenderHeaderRow() override { ++headers; }
    void RenderPageRows() override { ++pages; }
    const std::array<std::uint8_t, 23>& DoubleHeightRows() const override { return doubleHeight; }
    void SetReveal(bool r) override { reveal = r; }
    void RedrawShown() override { ++redraws; }
    const std::array<std::uint8_t, 960>& ShownPageRows() const override
    {
        return source != nullptr ? *source : shownRows;
    }
    std::uint8_t ShownNationalOption() const override { return 0; }

    int setups = 0;
    int redraws = 0;
    std::array<std::uint8_t, 960> shownRows{};
    /// The rows "on screen": the decoder's page buffer, when set.
    const std::array<std::uint8_t, 960>* source = nullptr;
    int headers = 0;
    int pages = 0;
    bool reveal = false;
    std::array<std::uint8_t, 23> doubleHeight{};
};

/// A settings store whose answers the test sets; `fail` makes LoadSettings throw.
class FakeSettingsStore : public CycleSettingsStore
{
public:
    bool SettingsCurrent() override
    {
        log.push_back("current");
        return current;
    }
    void LoadSettings() override
    {
        log.push_back("load");
        if (!failure.empty()) {
            throw std::runtime_error(failure);
        }
    }
    bool current = true;
    std::string failure;
    std::vector<std::string> log;
};

/// The main window as the cycle's host, with a timer on a manual clock: `RunFor` moves
/// the clock and fires the ticks that fall due, one after the other, never overlapping.
class FakeCycleHost : public CycleHost
{
public:
    void SetTimerEnabled(bool enabled) override
    {
        // Enabling starts a new interval, as with a window timer.
        if (enabled) {
            armedAt = now;
        }
        timerEnabled = enabled;
    }
    bool TimerEnabled() const override { return timerEnabled; }
    void SetTimerInterval(int ms) override
    {
        interval = ms;
        armedAt = now; // a changed interval restarts a running timer
    }
    int TimerInterval() const override { return interval; }
    void SetStatusText(int panel, const std::string& text) override { panels.at(std::size_t(panel)) = text; }
    bool StopButtonDown() const override { return stopDown; }
    void FocusMainWindow() override { ++focus; }
    void RunSettingsDialog() override
    {
        events.push_back("settings dialog");
        ++settingsDialogs;
        SetTimerEnabled(false);
        if (onSettingsDialog) {
            onSettingsDialog();
        }
        cycle->RestartCycle();
    }
    void EnableCommands() override { ++commandsEnabled; }
    void PageDisplayChanged(const std::vector<std::uint32_t>& pixels) override { display = pixels; }
    void Beep() override { ++beeps; }
    void ProcessPendingEvents() override
    {
        if (onPendingEvents) {
            auto f = std::move(onPendingEvents);
            onPendingEvents = nullptr;
            f();
        }
    }
    void ReportError(const std::string& message) override
    {
        errors.push_back(message);
        reportedWithTimerOn.push_back(timerEnabled);
    }
    CyclePort& Comm() override { return port; }

    /// Moves the clock by `ms`, firing every tick that falls due on the way.
    void RunFor(std::int64_t ms)
    {
        const std::int64_t end = now + ms;
        while (timerEnabled && armedAt + interval <= end) {
            SetNow(armedAt + interval);
            ++ticks;
            cycle->Tim();
        }
        SetNow(end);
    }
    /// Runs exactly one tick, whenever it falls due. False when the timer is off.
    bool Tick()
    {
        if (!timerEnabled) {
            return false;
        }
        SetNow(armedAt + interval);
        ++ticks;
        cycle->Tim();
        return true;
    }
    void SetNow(std::int64_t t)
    {
        now = t;
        if (onTime) {
            onTime(now);
        }
    }

    AcquisitionCycle* cycle = nullptr;
    std::int64_t now = 0;
    std::int64_t armedAt = 0;
    bool timerEnabled = false;
    int interval = 0;
    int ticks = 0;
    std::array<std::string, 4> panels;
    bool stopDown = false;
    int focus = 0;
    int settingsDialogs = 0;
    int commandsEnabled = 0;
    int beeps = 0;
    std::vector<std::uint32_t> display;
    std::vector<std::string> errors;
    std::vector<bool> reportedWithTimerOn;
    std::vector<std::string> events;
    std::function<void()> onSettingsDialog;
    std::function<void()> onPendingEvents;
    /// Called whenever the clock moves, with the time in milliseconds (to drive a board).
    std::function<void(std::int64_t)> onTime;
    FakeCyclePort port;
};

/// Reads the page-number display back as text by matching each 14-pixel glyph against the
/// digit strip ('?' where nothing matches; the third glyph is compared without its last
/// column, which the display cannot show).
/// The display's colours are ignored: a number drawn as searching reads as the same text.
std::string DisplayText(const DigitStrip& strip, const std::vector<std::uint32_t>& display);
/// Whether the display shows its number as still searched for.
bool DisplaySearching(const std::vector<std::uint32_t>& display);

} // namespace quav::test
