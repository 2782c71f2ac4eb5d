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
    b.host.Tick();
    EXPECT_EQ(b.cycle.CycleState(), S::EntryTimeout);
    EXPECT_EQ(b.host.interval, 5000);
    // A second digit late in the wait gives the whole time-out again.
    b.host.RunFor(4000);
    b.selection.KeyPress('2');
    const std::int64_t typed = b.host.now;
    EXPECT_EQ(b.cycle.CycleState(), S::EntryPause);
    b.host.Tick();
    b.host.Tick();
    EXPECT_EQ(b.host.now - typed, 5100) << "100 ms plus 5000 ms after the last digit";
    EXPECT_EQ(b.stack.board.PortAccesses(), accesses) << "no polling during the entry";
    EXPECT_EQ(b.cycle.CycleState(), S::Polling);
    EXPECT_EQ(b.cycle.PageNumber(), "100");
    EXPECT_EQ(b.Display(), "100") << "the unfinished number leaves the display at once";
    EXPECT_TRUE(b.cycle.RequestPending());
    EXPECT_EQ(b.host.interval, 400);
    // A late third digit now begins a new number instead of ending the old one.
    b.selection.KeyPress('3');
    EXPECT_EQ(b.Display(), "3--");
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

TEST(SignalErrors, EachCodeShowsItsMessageAndOnlyASignalLossResetsThePage)
{
    struct Row
    {
        Reception reception;
        bool otherPort;
        const char* message;
        const char* pageAfter;
    };
    // A decoder that did not answer once says nothing about the channel: the user's page
    // stays and is asked for again.
    const Row rows[] = {
        {Reception::NoVideo, false, "Kein Videosignal", "100"},
        {Reception::NoTeletext, false, "Sender ohne Videotext", "100"},
        {Reception::Teletext, true, "Videotext Hardware nicht gefunden", "123"},
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
        EXPECT_EQ(b.cycle.PageNumber(), r.pageAfter);
        EXPECT_EQ(b.host.interval, 1000);
        EXPECT_FALSE(b.cycle.TeletextPresent());
        EXPECT_TRUE(b.cycle.RequestPending());
        // Input is refused while there is no teletext.
        b.selection.KeyPress('2');
        EXPECT_EQ(b.cycle.PageNumber(), r.pageAfter);
        b.stack.board.SetReception(Reception::Teletext);
        b.stack.settings.Port = 1;
        b.host.Tick();
        EXPECT_EQ(b.host.panels[0], "");
        EXPECT_EQ(b.Display(), r.pageAfter);
        EXPECT_EQ(b.stack.board.Chip().Request(0)[1], 0x10 | (r.pageAfter[1] - '0')) << "asked for again";
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
    b.selection.ButStopClick(true);
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
    // Releasing it draws what was read meanwhile at once, from the buffers, without a tick
    // and without the bus.
    const auto accesses = b.stack.board.PortAccesses();
    b.host.stopDown = false;
    b.selection.ButStopClick(false);
    EXPECT_EQ(b.renderer.pages, pages + 1);
    EXPECT_EQ(b.renderer.headers, headers + 1);
    EXPECT_EQ(b.stack.board.PortAccesses(), accesses);
    // Down and up again with nothing new read: only the header is drawn.
    b.selection.ButStopClick(false);
    EXPECT_EQ(b.renderer.pages, pages + 1);
}

TEST(DisplayToggles, RevealRedrawsTheRowsOnScreenAtOnceAndNeverAPageStillOnItsWay)
{
    CycleBench b;
    b.StartAndPoll();
    ASSERT_TRUE(b.TickUntilDrawn());
    const int pages = b.renderer.pages;
    const auto accesses = b.stack.board.PortAccesses();
    b.selection.ButHiddenClick(true);
    EXPECT_TRUE(b.renderer.reveal);
    EXPECT_EQ(b.renderer.redraws, 1) << "drawn again from the bytes on screen";
    EXPECT_EQ(b.stack.board.PortAccesses(), accesses) << "without the bus";
    EXPECT_FALSE(b.cycle.RedrawPending());
    // A page on its way: its number is shown as searched for, and reveal does not make a
    // poll read the decoder's rows, which still hold the page before.
    b.cycle.SelectPage("555");
    b.host.Tick();
    ASSERT_TRUE(b.cycle.Searching());
    EXPECT_TRUE(test::DisplaySearching(b.host.display));
    b.selection.ButHiddenClick(false);
    for (int i = 0; i < 10; ++i) {
        b.host.Tick();
    }
    EXPECT_EQ(b.renderer.pages, pages);
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

TEST(PageDisplay, APageNotBroadcastIsSearchedForThenReportedInItsOwnPanel)
{
    CycleBench b;
    b.StartAndPoll();
    ASSERT_TRUE(b.TickUntilDrawn());
    EXPECT_FALSE(test::DisplaySearching(b.host.display));
    b.cycle.SelectPage("555");
    b.host.Tick();
    EXPECT_EQ(b.Display(), "555");
    EXPECT_TRUE(test::DisplaySearching(b.host.display));
    b.host.RunFor(AcquisitionCycle::NotFoundAfterMs - 2000);
    EXPECT_EQ(b.host.panels[3], "");
    b.host.RunFor(2500);
    EXPECT_EQ(b.host.panels[3], "Seite 555 wird nicht gesendet");
    EXPECT_EQ(b.host.panels[0], "") << "the first panel stays for the hardware and the signal";
    // A page that is there ends the search and the message.
    b.selection.KeyPress('-');
    b.host.Tick();
    EXPECT_EQ(b.host.panels[3], "");
    b.cycle.SelectPage("123");
    ASSERT_TRUE(b.TickUntilDrawn());
    EXPECT_FALSE(b.cycle.Searching());
    EXPECT_EQ(b.Display(), "123");
    EXPECT_FALSE(test::DisplaySearching(b.host.display));
}

} // namespace
} // namespace quav
