#include "CycleTestBench.h"
#include "acquisition/RendererBridge.h"
#include "render/Renderer.h"

#include <gtest/gtest.h>

namespace quav {
namespace {

using namespace test;

// The cycle with the real renderer, from StartCycle, on the board's broadcast.
struct EndToEnd
{
    EndToEnd(BoardPlacement placement = {}, std::vector<Packet> service = CycleService()) : stack(placement)
    {
        stack.Play(std::move(service));
        host.cycle = &cycle;
        host.onTime = [this](std::int64_t now) {
            stack.Run(std::chrono::milliseconds(now - last));
            last = now;
        };
    }
    // What the page image must show for a page's rows 1 to 23 with the header just read.
    std::vector<std::uint32_t> Expected(const packets::TestPage& page, int option = -1)
    {
        std::array<std::uint8_t, 960> rows{};
        for (int r = 1; r < 24; ++r) {
            const auto stored = page.StoredRow(r);
            std::copy(stored.begin(), stored.end(), rows.begin() + 40 * r);
        }
        Renderer reference;
        reference.SetNationalOption(option < 0 ? page.Header().NationalOption() : std::uint8_t(option));
        reference.RenderHeaderRow(stack.decoder.HeaderRow());
        reference.RenderPageRows(rows);
        const auto& p = reference.PageImage();
        return {p.Pixels().begin() + 400 * 13, p.Pixels().end()};
    }
    std::vector<std::uint32_t> ShownRows() const
    {
        const auto& p = renderer.PageImage();
        return {p.Pixels().begin() + 400 * 13, p.Pixels().end()};
    }
    std::string Display() const { return DisplayText(cycle.Digits(), host.display); }

    SimulatedStack stack;
    FakeCycleHost host;
    FakeSettingsStore store;
    Renderer renderer;
    RendererBridge bridge{renderer, stack.decoder};
    AcquisitionCycle cycle{host, stack.decoder, bridge, store, stack.settings};
    PageSelection selection{cycle, bridge};
    std::int64_t last = 0;
};

packets::TestPage Page(const std::string& number)
{
    packets::TestPage p;
    p.number = number;
    if (number == "100") {
        p.rows[1] = "Index: Nachrichten 123, Sport 250";
        p.rows[2] = "Seite 100";
    } else {
        p.rows[1] = "Seite " + number;
    }
    if (number == "123") {
        p.rows[2] = "Fran~ais";
        p.control = std::uint16_t(1U << PageHeader::C12); // French
    }
    return p;
}

TEST(CycleEndToEnd, ShowsPageHundredThenTheTypedPage)
{
    EndToEnd e;
    e.cycle.StartCycle();
    e.host.RunFor(3000);
    EXPECT_EQ(e.Display(), "100");
    EXPECT_EQ(e.host.panels[0], "");
    EXPECT_EQ(e.ShownRows(), e.Expected(Page("100")));

    e.selection.KeyPress('1');
    EXPECT_EQ(e.Display(), "1--");
    e.selection.KeyPress('2');
    EXPECT_EQ(e.Display(), "12-");
    e.selection.KeyPress('3');
    EXPECT_EQ(e.Display(), "123");
    e.host.RunFor(3000);
    EXPECT_EQ(e.Display(), "123");
    EXPECT_EQ(e.host.panels[2], "Französisch");
    EXPECT_EQ(e.ShownRows(), e.Expected(Page("123"))) << "drawn in the French set: ç, not ß";
    EXPECT_NE(e.ShownRows(), e.Expected(Page("123"), national::German));
}

// Every shape of a one-page source is shown, and under the page stays its own header:
// "100" over page 100, however many other headers of the magazine follow.
TEST(CycleEndToEnd, APageAloneInItsMagazineIsShownUnderItsOwnHeader)
{
    const auto page = [](const char* number, std::uint16_t subcode, const char* row) {
        packets::TestPage p;
        p.number = number;
        p.subcode = subcode;
        p.rows[2] = row;
        return p;
    };
    const struct
    {
        const char* shape;
        std::vector<packets::TestPage> cycle; // sent over and over
    } cases[] = {
        {"one page sent again and again", {page("100", 0, "allein")}},
        {"one page per magazine", {page("100", 0, "eins"), page("200", 0, "zwei"), page("300", 0, "drei")}},
        {"subpages alone in their magazine", {page("100", 1, "Tafel"), page("100", 2, "Tafel")}},
        {"other pages of the magazine follow",
         {page("100", 0, "hundert"), page("101", 0, "x"), page("102", 0, "y")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shape);
        std::vector<Packet> service;
        for (int k = 0; k < 200; ++k) {
            for (packets::TestPage p : c.cycle) {
                p.headerText = packets::ClockText("Seite " + p.number, k);
                const auto more = p.Packets();
                service.insert(service.end(), more.begin(), more.end());
            }
        }
        EndToEnd e({}, service);
        e.cycle.StartCycle();
        e.host.RunFor(3000);
        EXPECT_EQ(e.Display(), "100");
        packets::TestPage shown = c.cycle.front();
        shown.subcode = static_cast<std::uint16_t>(e.stack.decoder.Subcode());
        EXPECT_EQ(e.ShownRows(), e.Expected(shown));
        // Also while the cycle asks for the page again to refresh it.
        for (int tick = 0; tick < 30; ++tick) {
            e.host.Tick();
            const auto& header = e.stack.decoder.HeaderRow();
            ASSERT_EQ(std::string(header.begin() + 8, header.begin() + 17), "Seite 100") << tick;
            ASSERT_EQ(header[7], 0x07) << "white, not the green of a search";
        }
        const auto& rows = e.stack.decoder.PageRows();
        EXPECT_EQ(std::string(rows.begin() + 8, rows.begin() + 17), "Seite 100");
    }
}

TEST(CycleEndToEnd, ABoardOnAnotherPortIsNotFound)
{
    EndToEnd e(BoardPlacement{adapter::DeviceKind::SerialModule, 2});
    e.stack.settings.Port = 1;
    e.cycle.StartCycle();
    e.host.RunFor(3000);
    EXPECT_EQ(e.host.panels[0], "Videotext Hardware nicht gefunden");
    EXPECT_EQ(e.Display(), "---");
    EXPECT_FALSE(e.cycle.TeletextPresent());
}

} // namespace
} // namespace quav
