#include "acquisition/Poller.h"

#include "CycleTestBench.h"
#include "acquisition/PollWorker.h"

#include <chrono>
#include <limits>
#include <thread>

#include <gtest/gtest.h>

namespace quav {
namespace {

using namespace std::chrono_literals;
using test::CycleService;
using test::SimulatedStack;

std::string RowText(const Decoder& decoder, int row, std::size_t length)
{
    const auto& rows = decoder.PageRows();
    return std::string(rows.begin() + 40 * row, rows.begin() + 40 * row + std::ptrdiff_t(length));
}

// A stack on the test service with page 100 requested and received once.
struct PolledStack
{
    PolledStack()
    {
        stack.Play(CycleService());
        PollRequest request;
        request.page = "100";
        for (int i = 0; i < 200 && !received.rowsRead; ++i) {
            stack.Run(20ms);
            received = poller.Poll(request);
            if (received.requested) {
                first = received;
                request.page.reset();
            }
        }
    }
    SimulatedStack stack;
    Poller poller{stack.decoder};
    PollResult first;
    PollResult received;
};

TEST(Poller, RequestsOnceTeletextIsThereAndReadsRowsOnlyForSomethingNew)
{
    PolledStack p;
    EXPECT_TRUE(p.first.requested);
    EXPECT_TRUE(p.first.headerRead);
    ASSERT_TRUE(p.received.rowsRead);
    EXPECT_EQ(RowText(p.stack.decoder, 1, 9), "Index: Na");

    struct Row
    {
        const char* what;
        bool lastIsThisSubcode;
        bool redraw;
        bool rowsRead;
    };
    const Row rows[] = {
        {"the same subpage again", true, false, false},
        {"another subcode than the last one read", false, false, true},
        {"a redraw of the same subpage", true, true, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        PollRequest request;
        request.lastSubcode = r.lastIsThisSubcode ? p.received.subcode : p.received.subcode + 1;
        request.redraw = r.redraw;
        const PollResult result = p.poller.Poll(request);
        EXPECT_TRUE(result.received);
        EXPECT_EQ(result.rowsRead, r.rowsRead);
        EXPECT_FALSE(result.requested);
    }

    // Without teletext the request waits, and nothing is read.
    struct Signal
    {
        Reception reception;
        std::uint8_t port;
        std::uint8_t status;
    };
    for (const Signal s : {Signal{Reception::NoTeletext, 1, 1}, Signal{Reception::NoVideo, 1, 0},
                           Signal{Reception::Teletext, 2, Decoder::NoHardware}}) {
        SCOPED_TRACE(int(s.status));
        p.stack.board.SetReception(s.reception);
        p.stack.settings.Port = s.port;
        PollRequest request;
        request.page = "123";
        request.redraw = true;
        const PollResult result = p.poller.Poll(request);
        EXPECT_EQ(result.status, s.status);
        EXPECT_FALSE(result.requested);
        EXPECT_FALSE(result.headerRead);
        EXPECT_FALSE(result.rowsRead);
    }
}

TEST(Poller, AnAbortFromAnotherThreadEndsAPageReadQuicklyAndLeavesTheBusUsable)
{
    struct Slowness
    {
        const char* what;
        std::chrono::nanoseconds portDelay;
        std::int32_t busDelay;
    };
    const Slowness rows[] = {
        {"a slow adapter: a page takes about a second", 20us, 0},
        {"the largest bus delay: one line change takes seconds", 0ns,
         std::numeric_limits<std::int32_t>::max()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        PolledStack p;
        ASSERT_TRUE(p.received.rowsRead);
        p.stack.board.SetPortDelay(row.portDelay);
        p.stack.settings.I2cDelay = row.busDelay;
        PollRequest redraw;
        redraw.lastSubcode = p.received.subcode;
        redraw.redraw = true;
        PollResult result;
        PollWorker worker;
        worker.Start([&] { result = p.poller.Poll(redraw); });
        std::this_thread::sleep_for(100ms);
        const auto aborted = std::chrono::steady_clock::now();
        p.poller.Abort();
        ASSERT_TRUE(worker.Finish());
        EXPECT_LT(std::chrono::steady_clock::now() - aborted, 100ms);
        EXPECT_TRUE(result.aborted);
        EXPECT_FALSE(worker.Busy());

        // The bus is idle again: the next poll reads the whole page.
        p.stack.board.SetPortDelay(0ns);
        p.stack.settings.I2cDelay = 0;
        p.poller.ClearAbort();
        const PollResult again = p.poller.Poll(redraw);
        EXPECT_EQ(again.status, 2);
        EXPECT_FALSE(again.aborted);
        EXPECT_TRUE(again.rowsRead);
        EXPECT_EQ(RowText(p.stack.decoder, 2, 9), "Seite 100");
    }
}

} // namespace
} // namespace quav
