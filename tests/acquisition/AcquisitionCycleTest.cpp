#include "CycleTestBench.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace quav {
namespace {

using test::CycleBench;
using S = AcquisitionCycle::State;

TEST(CycleTransitions, StartCycleArmsTheTimerForTheStartUpTick)
{
    CycleBench b;
    b.cycle.StartCycle();
    EXPECT_EQ(b.cycle.CycleState(), S::StartUp);
    EXPECT_EQ(b.host.interval, 100);
    EXPECT_TRUE(b.host.timerEnabled);
}

TEST(CycleTransitions, StartUpTickPreparesEverythingAndMovesToThePortClaim)
{
    CycleBench b;
    b.host.panels = {"x", "y", "z", "w"};
    b.cycle.SelectPage("555");
    b.cycle.StartCycle();
    b.host.Tick();
    EXPECT_EQ(b.cycle.CycleState(), S::ClaimPort);
    EXPECT_EQ(b.store.log, (std::vector<std::string>{"current", "load"}));
    EXPECT_EQ(b.host.commandsEnabled, 1);
    EXPECT_EQ(b.renderer.setups, 1);
    EXPECT_EQ(b.host.focus, 1);
    EXPECT_EQ(b.host.panels, (std::array<std::string, 4>{"", "", "", "w"}));
    EXPECT_EQ(b.cycle.PageNumber(), "100");
    EXPECT_EQ(b.host.interval, 100) << "the start-up tick leaves the interval alone";
    EXPECT_EQ(b.stack.board.PortAccesses(), 0u) << "no hardware access at start-up";
}

TEST(CycleTransitions, FirstRunShowsTheSettingsBeforeAnyHardwareAccess)
{
    CycleBench b;
    b.store.current = false;
    std::uint64_t accessesAtDialog = 99;
    b.host.onSettingsDialog = [&] { accessesAtDialog = b.stack.board.PortAccesses(); };
    b.cycle.StartCycle();
    b.host.Tick();
    EXPECT_EQ(b.host.settingsDialogs, 1);
    EXPECT_EQ(accessesAtDialog, 0u);
    EXPECT_EQ(b.store.log, (std::vector<std::string>{"current", "load"}))
        << "loaded for the dialog; what the dialog leaves in memory is not read back over";
    EXPECT_EQ(b.cycle.CycleState(), S::ClaimPort);
    EXPECT_EQ(b.host.interval, 100);
    EXPECT_TRUE(b.host.timerEnabled);
    b.host.Tick();
    EXPECT_EQ(b.host.port.log, (std::vector<std::string>{"open COM1"})) << "the port is claimed 100 ms later";
}

TEST(CycleTransitions, SerialModuleClaimsItsComPort)
{
    CycleBench b;
    b.stack.settings.Port = 2;
    b.cycle.StartCycle();
    b.host.Tick();
    b.host.panels[0] = "alt";
    b.host.Tick();
    EXPECT_EQ(b.cycle.CycleState(), S::Polling);
    EXPECT_EQ(b.host.port.name, "COM2");
    EXPECT_EQ(b.host.port.closes, 1) << "closed before the new name is set";
    EXPECT_TRUE(b.host.port.open);
    EXPECT_TRUE(b.cycle.RequestPending());
    EXPECT_EQ(b.host.interval, 100);
    EXPECT_EQ(b.host.panels[0], "");
}

TEST(CycleTransitions, BusyPortShowsTheMessageBeepsOnceAndWaits)
{
    CycleBench b;
    b.stack.settings.Port = 2;
    b.host.port.busy = {"COM2"};
    b.cycle.StartCycle();
    b.host.Tick();
    b.host.Tick();
    EXPECT_EQ(b.cycle.CycleState(), S::PortFailed);
    EXPECT_EQ(b.host.panels[0], "COM2 kann nicht verwendet werden");
    EXPECT_EQ(b.host.beeps, 1);
    EXPECT_EQ(b.host.interval, 1000);
    EXPECT_TRUE(b.host.errors.empty()) << "the port error goes no further";
    const auto accesses = b.stack.board.PortAccesses();
    b.host.RunFor(5000);
    EXPECT_EQ(b.cycle.CycleState(), S::PortFailed);
    EXPECT_EQ(b.host.beeps, 1);
    EXPECT_EQ(b.stack.board.PortAccesses(), accesses) << "nothing is polled";
    // After the settings dialog the claim is tried again.
    b.host.port.busy.clear();
    b.cycle.RestartCycle();
    EXPECT_EQ(b.host.interval, 100);
    b.host.Tick();
    EXPECT_EQ(b.cycle.CycleState(), S::Polling);
}

TEST(CycleTransitions, CardAdaptersGoStraightToPollingWithoutThePort)
{
    for (auto kind : {adapter::DeviceKind::Vd3000s, adapter::DeviceKind::CtCard}) {
        SCOPED_TRACE(int(kind));
        CycleBench b(BoardPlacement{kind, 0});
        b.cycle.StartCycle();
        b.host.Tick();
        b.host.Tick();
        EXPECT_EQ(b.cycle.CycleState(), S::Polling);
        EXPECT_TRUE(b.cycle.RequestPending());
        EXPECT_EQ(b.host.port.opens + b.host.port.closes, 0);
        b.host.Tick();
        EXPECT_TRUE(b.cycle.TeletextPresent());
    }
}

TEST(CycleTransitions, UnknownAdapterStaysInThePortClaimAndSaysNoHardware)
{
    CycleBench b;
    b.stack.settings.Device = 3;
    b.cycle.StartCycle();
    b.host.RunFor(2000);
    EXPECT_EQ(b.cycle.CycleState(), S::ClaimPort);
    EXPECT_EQ(b.host.panels[0], "Videotext Hardware nicht gefunden");
    EXPECT_EQ(b.host.port.opens, 0);
    EXPECT_EQ(b.stack.board.PortAccesses(), 0u);
}

TEST(CycleTransitions, PollingUsesThePollingIntervalWithTeletext)
{
    for (int loop : {0, 3, 9}) {
        SCOPED_TRACE(loop);
        CycleBench b;
        b.stack.settings.LoopTime = std::uint8_t(loop);
        b.StartAndPoll();
        EXPECT_EQ(b.cycle.CycleState(), S::Polling);
        EXPECT_EQ(b.host.interval, (loop + 1) * 100);
    }
}

TEST(CycleTransitions, EntryPauseThenTimeoutRestoresTheSavedPage)
{
    CycleBench b;
    b.StartAndPoll();
    b.host.RunFor(3000);
    ASSERT_EQ(b.cycle.PageNumber(), "100");
    const auto accesses = b.stack.board.PortAccesses();
    b.selection.KeyPress('4');
    EXPECT_EQ(b.cycle.CycleState(), S::EntryPause);
    EXPECT_EQ(b.host.interval, 100);
    EXPECT_EQ(b.Display(), "4--");
    const std::int64_t typed = b.host.now;
    b.host.Tick();
    EXPECT_EQ(b.cycle.CycleState(), S::EntryTimeout);
    EXPECT_EQ(b.host.interval, 5000);
    b.host.Tick();
    EXPECT_EQ(b.host.now - typed, 5100) << "100 ms plus 5000 ms after the digit";
    EXPECT_EQ(b.stack.board.PortAccesses(), accesses) << "no polling during the entry";
    EXPECT_EQ(b.cycle.CycleState(), S::Polling);
    EXPECT_EQ(b.cycle.PageNumber(), "100");
    EXPECT_TRUE(b.cycle.RequestPending());
    EXPECT_EQ(b.host.interval, 400);
    b.host.Tick();
    EXPECT_EQ(b.Display(), "100") << "redrawn by the tick that sends the request";
}

TEST(CycleTransitions, SelectPageAndRestartFromAnyState)
{
    CycleBench b;
    b.StartAndPoll();
    b.selection.KeyPress('2');
    b.cycle.SelectPage("1234");
    EXPECT_EQ(b.cycle.PageNumber(), "123");
    EXPECT_EQ(b.cycle.CycleState(), S::Polling);
    EXPECT_EQ(b.host.interval, 400);
    EXPECT_TRUE(b.cycle.RequestPending());
    EXPECT_EQ(b.Display(), "2--") << "SelectPage does not redraw the display";
    b.cycle.RestartCycle();
    EXPECT_EQ(b.cycle.CycleState(), S::ClaimPort);
    EXPECT_EQ(b.host.interval, 100);
    EXPECT_TRUE(b.host.timerEnabled);
}

TEST(CycleTransitions, StatesAboveFiveDoNothing)
{
    CycleBench b;
    b.cycle.StartCycle();
    test::CycleBackdoor::SetState(b.cycle, static_cast<S>(9));
    b.host.RunFor(1000);
    EXPECT_EQ(b.cycle.CycleState(), static_cast<S>(9));
    EXPECT_EQ(b.host.ticks, 10);
    EXPECT_TRUE(b.host.timerEnabled);
}

TEST(SignalErrors, EachCodeShowsItsMessageAndResetsThePage)
{
    struct Row
    {
        Reception reception;
        bool otherPort;
        const char* message;
        bool requestAfter;
    };
    const Row rows[] = {
        {Reception::NoVideo, false, "Kein Videosignal", true},
        {Reception::NoTeletext, false, "Sender ohne Videotext", true},
        {Reception::Teletext, true, "Videotext Hardware nicht gefunden", false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.message);
        CycleBench b;
        b.StartAndPoll();
        b.selection.KeyPress('1');
        b.selection.KeyPress('2');
        b.selection.KeyPress('3');
        ASSERT_TRUE(b.TickUntilDrawn());
        b.host.panels[3] = "vier";
        const auto panel1 = b.host.panels[1];
        const auto panel2 = b.host.panels[2];
        const int pages = b.renderer.pages;
        b.stack.board.SetReception(r.reception);
        if (r.otherPort) {
            b.stack.settings.Port = 2; // the board stays on COM1
        }
        b.host.Tick();
        EXPECT_EQ(b.host.panels[0], r.message);
        EXPECT_EQ(b.host.panels[3], "");
        EXPECT_EQ(b.host.panels[1], panel1);
        EXPECT_EQ(b.host.panels[2], panel2);
        EXPECT_EQ(b.renderer.pages, pages) << "the page image stays";
        EXPECT_EQ(b.Display(), "---");
        EXPECT_EQ(b.cycle.PageNumber(), "100");
        EXPECT_EQ(b.host.interval, 1000);
        EXPECT_FALSE(b.cycle.TeletextPresent());
        EXPECT_EQ(b.cycle.RequestPending(), r.requestAfter);
        // Input is refused while there is no teletext.
        b.selection.KeyPress('2');
        EXPECT_EQ(b.cycle.PageNumber(), "100");
        // When the signal returns, page 100 is requested after a signal loss; after a
        // missing decoder no new request is made.
        b.stack.board.SetReception(Reception::Teletext);
        b.stack.settings.Port = 1;
        b.host.Tick();
        EXPECT_EQ(b.host.panels[0], "");
        EXPECT_EQ(b.Display(), r.requestAfter ? "100" : "---");
    }
}

TEST(PageRefresh, APageWithoutSubpagesIsReadAgainWhenTheCountdownRunsOut)
{
    CycleBench b;
    b.StartAndPoll();
    ASSERT_TRUE(b.TickUntilDrawn());
    EXPECT_EQ(b.cycle.LastSubcode(), 0);
    EXPECT_EQ(b.cycle.RefreshCountdown(), 4) << "set to 5 and counted down in the same tick";
    EXPECT_EQ(b.host.panels[1], "----");
    EXPECT_EQ(b.host.panels[2], "Englisch");
    // The countdown moves only on ticks that find the page received.
    std::vector<int> seen{b.cycle.RefreshCountdown()};
    for (int i = 0; i < 100 && !b.cycle.RequestPending(); ++i) {
        b.host.Tick();
        if (b.cycle.RefreshCountdown() != seen.back()) {
            seen.push_back(b.cycle.RefreshCountdown());
        }
        if (!b.cycle.RequestPending()) {
            EXPECT_EQ(b.renderer.pages, 1) << "no new read while the countdown runs";
        }
    }
    EXPECT_EQ(seen, (std::vector<int>{4, 3, 2, 1, 0}));
    EXPECT_TRUE(b.cycle.RequestPending()) << "the fifth received tick asks for the page again";
    EXPECT_EQ(b.cycle.LastSubcode(), -1);
    EXPECT_TRUE(b.TickUntilDrawn());
    EXPECT_EQ(b.renderer.pages, 2);
}

TEST(PageRefresh, RotatingSubpagesAreDrawnAtEachNewSubcodeAndNeverRequestedAgain)
{
    CycleBench b;
    b.StartAndPoll();
    b.cycle.SelectPage("200");
    std::vector<std::string> shown;
    for (int i = 0; i < 400 && shown.size() < 5; ++i) {
        const int pages = b.renderer.pages;
        b.host.Tick();
        ASSERT_FALSE(b.cycle.RequestPending() && b.cycle.LastSubcode() == -1 && pages > 0 &&
                     b.cycle.RefreshCountdown() == 0)
            << "a page with subpages is not requested by the countdown";
        if (b.renderer.pages > pages) {
            shown.push_back(b.host.panels[1]);
            // Subcode 1 counts as a page without subpages and is refreshed by the
            // countdown; from 2 on the countdown never runs out.
            if (shown.back() != "0001") {
                EXPECT_LT(b.cycle.RefreshCountdown(), 0);
            }
        }
    }
    ASSERT_EQ(shown.size(), 5u);
    // Whatever subpage came first, they follow each other in turn (subpage 1 may be read
    // twice, once more by its refresh).
    shown.erase(std::unique(shown.begin(), shown.end()), shown.end());
    for (std::size_t i = 1; i < shown.size(); ++i) {
        const int prev = std::stoi(shown[i - 1]);
        EXPECT_EQ(std::stoi(shown[i]), prev % 3 + 1) << shown[i - 1] << " then " << shown[i];
    }
    EXPECT_GE(shown.size(), 3u);
}

TEST(DisplayToggles, StopHoldsTheDrawingButNotTheStatusBar)
{
    CycleBench b;
    b.StartAndPoll();
    ASSERT_TRUE(b.TickUntilDrawn());
    b.host.stopDown = true;
    b.selection.ButHiddenClick(false);
    const int headers = b.renderer.headers;
    const int pages = b.renderer.pages;
    b.cycle.SelectPage("200");
    b.host.panels[1].clear();
    for (int i = 0; i < 30; ++i) {
        b.host.Tick();
    }
    EXPECT_EQ(b.renderer.headers, headers);
    EXPECT_EQ(b.renderer.pages, pages);
    EXPECT_NE(b.host.panels[1], "") << "the status bar is still updated";
    EXPECT_NE(b.cycle.LastSubcode(), -1) << "the page is still read";
    // Releasing it draws at the next polling tick, received or not.
    b.host.stopDown = false;
    b.selection.ButHiddenClick(false);
    EXPECT_TRUE(b.cycle.RedrawPending());
    b.host.Tick();
    EXPECT_EQ(b.renderer.pages, pages + 1);
    EXPECT_FALSE(b.cycle.RedrawPending());
}

TEST(DisplayToggles, RevealSetsTheFlagAndRedraws)
{
    CycleBench b;
    b.StartAndPoll();
    ASSERT_TRUE(b.TickUntilDrawn());
    const int pages = b.renderer.pages;
    b.selection.ButHiddenClick(true);
    EXPECT_TRUE(b.renderer.reveal);
    b.host.Tick();
    EXPECT_EQ(b.renderer.pages, pages + 1);
    b.selection.ButHiddenClick(false);
    EXPECT_FALSE(b.renderer.reveal);
}

TEST(TickErrors, ASettingsErrorIsReportedAndTheStartUpStillCompletes)
{
    CycleBench b;
    b.store.failure = "Ungültiger Datentyp für 'Port'";
    b.cycle.StartCycle();
    b.host.Tick();
    ASSERT_EQ(b.host.errors, (std::vector<std::string>{"Ungültiger Datentyp für 'Port'"}));
    EXPECT_EQ(b.host.reportedWithTimerOn, (std::vector<bool>{false})) << "no tick under the message box";
    EXPECT_TRUE(b.host.timerEnabled) << "the cycle goes on";
    EXPECT_EQ(b.renderer.setups, 1);
    EXPECT_EQ(b.host.commandsEnabled, 1);
    EXPECT_EQ(b.cycle.CycleState(), S::ClaimPort);
    b.host.Tick();
    b.host.Tick();
    EXPECT_TRUE(b.cycle.TeletextPresent());
}

TEST(TickErrors, APartialPageNumberNeverReachesTheDecoder)
{
    // The settings closed while one digit was typed: the port claim then asks for a page.
    CycleBench b;
    b.StartAndPoll();
    b.selection.KeyPress('2');
    b.cycle.RestartCycle();
    b.host.Tick();
    b.host.Tick();
    EXPECT_EQ(b.cycle.PageNumber(), "100") << "the page shown before the entry";
    EXPECT_EQ(b.Display(), "100");
    EXPECT_TRUE(b.host.errors.empty());
}

TEST(PageDisplay, ShowsTypedDigitsThenTheRequestedPage)
{
    CycleBench b;
    b.StartAndPoll();
    EXPECT_EQ(b.Display(), "100");
    b.selection.KeyPress('1');
    EXPECT_EQ(b.Display(), "1--");
    b.selection.KeyPress('2');
    EXPECT_EQ(b.Display(), "12-");
    b.selection.KeyPress('3');
    EXPECT_EQ(b.Display(), "123");
    EXPECT_EQ(b.cycle.CycleState(), S::Polling);
    EXPECT_TRUE(b.cycle.RequestPending());
    ASSERT_TRUE(b.TickUntilDrawn());
    const auto& rows = b.stack.decoder.PageRows();
    EXPECT_EQ(std::string(rows.begin() + 40, rows.begin() + 49), "Seite 123");
}

} // namespace
} // namespace quav
