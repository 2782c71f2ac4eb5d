#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quav {

/// The serial port object as the acquisition cycle sees it: it only names, opens and
/// closes the port, so that no other program can take the port while the bus runs on its
/// modem lines.
class CyclePort
{
public:
    virtual ~CyclePort() = default;
    virtual std::string CommPort() const = 0;
    virtual void SetCommPort(const std::string& name) = 0;
    /// Throws when the port cannot be opened.
    virtual void OpenPort() = 0;
    /// Does nothing when the port is closed.
    virtual void ClosePort() = 0;
};

/// The drawing side of the cycle: the renderer's entry points and the two pieces of its
/// state that page selection reads and writes.
class CycleRenderer
{
public:
    virtual ~CycleRenderer() = default;
    virtual void SetupRenderer() = 0;
    /// Draws the header row buffer into the page image.
    virtual void RenderHeaderRow() = 0;
    /// Draws rows 1 to 23 of the page buffer and fills the double-height row table.
    virtual void RenderPageRows() = 0;
    /// Entry k is 1 when page row k + 1 was drawn from its own characters, 0 when it is
    /// covered by the lower half of a double-height row above it.
    virtual const std::array<std::uint8_t, 23>& DoubleHeightRows() const = 0;
    virtual void SetReveal(bool reveal) = 0;
    /// Draws the rows on screen again from the bytes they were drawn from (after a change
    /// of reveal), without reading the decoder.
    virtual void RedrawShown() = 0;
    /// The page rows on screen (rows 0 to 23) and their national option: what the text
    /// exports take, so that what is saved is what is shown.
    virtual const std::array<std::uint8_t, 960>& ShownPageRows() const = 0;
    virtual std::uint8_t ShownNationalOption() const = 0;
};

/// Where the settings come from: the stored settings of the user.
class CycleSettingsStore
{
public:
    virtual ~CycleSettingsStore() = default;
    /// False on a first run, when no settings have been stored yet.
    virtual bool SettingsCurrent() = 0;
    /// Loads the stored settings into the run's settings record; throws with a German
    /// message when a value cannot be read (the fields loaded before it keep their values).
    virtual void LoadSettings() = 0;
};

/// What the main window provides to the acquisition cycle that it hosts.
class CycleHost
{
public:
    virtual ~CycleHost() = default;

    // The window's timer, whose ticks call AcquisitionCycle::Tim. Enabling it starts a new
    // interval.
    virtual void SetTimerEnabled(bool enabled) = 0;
    virtual bool TimerEnabled() const = 0;
    virtual void SetTimerInterval(int milliseconds) = 0;
    virtual int TimerInterval() const = 0;

    /// Sets the text of status panel 0 to 3 (UTF-8).
    virtual void SetStatusText(int panel, const std::string& text) = 0;
    /// Whether the stop button ("Seitenaufbau stoppen") is down.
    virtual bool StopButtonDown() const = 0;
    virtual void FocusMainWindow() = 0;
    /// The settings command: shows the settings dialog modally and then restarts the cycle.
    virtual void RunSettingsDialog() = 0;
    /// Enables the save, clipboard and print commands.
    virtual void EnableCommands() = 0;
    /// The page-number display has new pixels (41 x 21, 0x00RRGGBB, row by row).
    virtual void PageDisplayChanged(const std::vector<std::uint32_t>& pixels) = 0;
    /// The colour that the page-number display is painted in before the digits.
    virtual std::uint32_t ButtonFaceColour() const { return 0xF0F0F0; }
    /// The default system beep.
    virtual void Beep() = 0;
    /// Lets the window system handle the input and paint requests that are waiting.
    virtual void ProcessPendingEvents() = 0;
    /// Shows an error that stopped a tick (a message box in the window).
    virtual void ReportError(const std::string& message) = 0;
    /// Runs the bus work of a tick, then `done` on this thread. `work` touches only the
    /// decoder and what lies behind it; the host may run it on another thread, but never
    /// two at once, and calls `done` only after `work` has ended (or never, once the window
    /// has closed). By default both run here and now.
    virtual void RunBusWork(const std::function<void()>& work, const std::function<void()>& done)
    {
        work();
        done();
    }

    virtual CyclePort& Comm() = 0;
};

} // namespace quav
