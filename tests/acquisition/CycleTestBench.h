#pragma once

#include "acquisition/AcquisitionCycle.h"
#include "acquisition/PageSelection.h"
#include "broadcast/PacketLoop.h"
#include "support/FakeCycleHost.h"
#include "support/PacketBuilder.h"
#include "support/SimulatedStack.h"

#include <memory>

namespace quav::test {

/// Puts the cycle into states that no intent leads to, to see that a tick there does no
/// harm.
struct CycleBackdoor
{
    static void SetState(AcquisitionCycle& cycle, AcquisitionCycle::State state) { cycle.m_state = state; }
};

/// A broadcast with pages 100 and 123 (no subpages), 250 and 899, page 200 with three
/// rotating subpages, and filler headers that end each magazine's page. One cycle of it
/// takes 14 ms at the default rate; a subpage stays on air for 1.4 s, longer than any
/// polling interval, so a poll sees each one.
inline std::vector<Packet> CycleService(int cycles = 300)
{
    using namespace packets;
    std::vector<Packet> out;
    for (int k = 0; k < cycles; ++k) {
        const std::string clock = ClockText("QUAV-Test", 12 * 3600 + k);
        auto add = [&out, &clock](TestPage p) {
            p.headerText = clock;
            for (const Packet& packet : p.Packets()) {
                out.push_back(packet);
            }
        };
        TestPage p100;
        p100.number = "100";
        p100.rows[1] = "Index: Nachrichten 123, Sport 250";
        p100.rows[2] = "Seite 100";
        add(p100);
        TestPage p123;
        p123.number = "123";
        p123.rows[1] = "Seite 123";
        p123.rows[2] = "Fran~ais";                           // French: ç
        p123.control = std::uint16_t(1U << PageHeader::C12); // French
        add(p123);
        out.push_back(Header("1FF", 0, clock));
        TestPage p200;
        p200.number = "200";
        p200.subcode = static_cast<std::uint16_t>(k / 100 % 3 + 1);
        p200.rows[3] = "Unterseite " + std::to_string(p200.subcode);
        add(p200);
        TestPage p250;
        p250.number = "250";
        p250.rows[1] = "Seite 250";
        add(p250);
        out.push_back(Header("2FF", 0, clock));
        TestPage p899;
        p899.number = "899";
        p899.rows[1] = "Seite 899";
        add(p899);
        out.push_back(Header("8FF", 0, clock));
    }
    return out;
}

/// The acquisition cycle on a fake window over the simulated board: the window's timer
/// and the board's broadcast run on one manual clock.
struct CycleBench
{
    explicit CycleBench(BoardPlacement placement = {}) : stack(placement)
    {
        stack.Play(CycleService());
        host.cycle = &cycle;
        renderer.source = &stack.decoder.PageRows();
        host.onTime = [this](std::int64_t now) {
            stack.Run(std::chrono::milliseconds(now - m_last));
            m_last = now;
        };
    }
    /// Starts the cycle and runs it until it polls with teletext present.
    void StartAndPoll()
    {
        cycle.StartCycle();
        for (int i = 0; i < 10 && !cycle.TeletextPresent(); ++i) {
            host.Tick();
        }
    }
    /// Ticks until the page shown on the status bar is received and drawn (at most `ticks`).
    bool TickUntilDrawn(int ticks = 60)
    {
        const int before = renderer.pages;
        for (int i = 0; i < ticks; ++i) {
            host.Tick();
            if (renderer.pages > before) {
                return true;
            }
        }
        return false;
    }
    std::string Display() const { return DisplayText(cycle.Digits(), host.display); }

    SimulatedStack stack;
    FakeCycleHost host;
    FakeCycleRenderer renderer;
    FakeSettingsStore store;
    AcquisitionCycle cycle{host, stack.decoder, renderer, store, stack.settings};
    PageSelection selection{cycle, renderer};

private:
    std::int64_t m_last = 0;
};

} // namespace quav::test
