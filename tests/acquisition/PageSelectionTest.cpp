#include "CycleTestBench.h"

#include <gtest/gtest.h>

namespace quav {
namespace {

using test::CycleBench;
using S = AcquisitionCycle::State;

TEST(PageEntry, DigitsBuildTheNumberAndTheThirdRequestsIt)
{
    CycleBench b;
    b.StartAndPoll();
    b.selection.PageKey(1);
    EXPECT_EQ(b.cycle.SavedPageNumber(), "100");
    EXPECT_EQ(b.cycle.PageNumber(), "1");
    EXPECT_EQ(b.cycle.CycleState(), S::EntryPause);
    b.selection.PageKey(PageSelection::NextPage);
    b.selection.PageKey(PageSelection::IndexPage);
    EXPECT_EQ(b.cycle.PageNumber(), "1") << "steps do nothing while a number is typed";
    b.selection.PageKey(9);
    EXPECT_EQ(b.cycle.PageNumber(), "19");
    EXPECT_EQ(b.cycle.CycleState(), S::EntryPause) << "the second digit keeps the pause";
    b.selection.PageKey(0);
    EXPECT_EQ(b.cycle.PageNumber(), "190");
    EXPECT_EQ(b.cycle.CycleState(), S::Polling);
    EXPECT_EQ(b.host.interval, 400);
    EXPECT_TRUE(b.cycle.RequestPending());
}

// Types keys: characters as typed, '\b' Backspace, '\x1b' Escape, '\r' Enter.
void Type(CycleBench& b, const std::string& keys)
{
    for (char key : keys) {
        switch (key) {
        case '\b':
            b.selection.PageKey(PageSelection::EraseDigit);
            break;
        case '\x1b':
            b.selection.PageKey(PageSelection::CancelEntry);
            break;
        case '\r':
            b.selection.PageKey(PageSelection::EndEntry);
            break;
        default:
            b.selection.KeyPress(key);
        }
    }
}

TEST(PageEntry, KeySequencesBuildEditOrCancelTheNumber)
{
    struct Row
    {
        const char* keys;
        const char* display;
        const char* number;
        S state;
        bool requested;
    };
    const Row rows[] = {
        {"9", "100", "100", S::Polling, false}, // 9 and 0 cannot start a page number
        {"0", "100", "100", S::Polling, false},
        {"A", "100", "100", S::Polling, false}, // nor a letter
        {"1F0", "1F0", "1F0", S::Polling, true},
        {"1fa", "1FA", "1FA", S::Polling, true},
        {"1f", "1F-", "1F", S::EntryPause, false},
        {"12\b", "1--", "1", S::EntryPause, false},
        {"12\b3", "13-", "13", S::EntryPause, false},
        {"12\b\b", "100", "100", S::Polling, false},
        {"12\x1b", "100", "100", S::Polling, false},
        {"1\x1b"
         "5",
         "5--", "5", S::EntryPause, false},
        {"\b\x1b", "100", "100", S::Polling, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.keys);
        CycleBench b;
        b.StartAndPoll();
        Type(b, r.keys);
        EXPECT_EQ(b.Display(), r.display);
        EXPECT_EQ(b.cycle.PageNumber(), r.number);
        EXPECT_EQ(b.cycle.CycleState(), r.state);
        EXPECT_EQ(b.cycle.RequestPending(), r.requested);
    }
}

TEST(PageEntry, GoingBackRetracesThePagesShown)
{
    CycleBench b;
    b.StartAndPoll();
    for (const char* page : {"123", "200", "200", "250"}) {
        b.cycle.SelectPage(page);
        b.host.Tick();
    }
    EXPECT_EQ(b.cycle.History(), (std::vector<std::string>{"100", "123", "200"}));
    for (const char* expected : {"200", "123", "100", "100"}) {
        b.selection.PageKey(PageSelection::GoBack);
        b.host.Tick();
        EXPECT_EQ(b.cycle.PageNumber(), expected);
    }
    EXPECT_TRUE(b.cycle.History().empty()) << "going back leaves no trail";
}

TEST(Subpages, ChosenByKeyOrTypedAndRequestedWithTheirCareBits)
{
    struct Row
    {
        const char* keys;
        int chosen;
        const char* panel;
    };
    const Row rows[] = {
        {"/2\r", 2, "/0002"},    {"/0003", 3, "/0003"},  {"/12\b\r", 1, "/0001"},
        {"/\r", -1, nullptr},    {"/80\r", -1, nullptr}, // tens digit 8: no such subcode
        {"/2\x1b", -1, nullptr}, {"/2", -1, "/2---"},    {"/2+", -1, nullptr}, // another key ends it unchosen
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.keys);
        CycleBench b;
        b.StartAndPoll();
        b.cycle.SelectPage("200");
        ASSERT_TRUE(b.TickUntilDrawn());
        const std::string shown = b.host.panels[1];
        Type(b, r.keys);
        EXPECT_EQ(b.cycle.ChosenSubpage(), r.chosen);
        EXPECT_EQ(b.host.panels[1], r.panel != nullptr ? r.panel : shown);
    }

    // Stepping from the subpage shown, and only that subpage comes in afterwards.
    CycleBench b;
    b.StartAndPoll();
    b.cycle.SelectPage("200");
    ASSERT_TRUE(b.TickUntilDrawn());
    const int shown = b.stack.decoder.Subcode();
    ASSERT_LT(shown, 3) << "page 200 has three subpages";
    b.selection.PageKey(PageSelection::NextSubpage);
    ASSERT_EQ(b.cycle.ChosenSubpage(), shown + 1);
    b.host.Tick();
    const auto& request = b.stack.board.Chip().Request(0);
    EXPECT_EQ(std::vector<int>(request.begin() + 3, request.end()),
              (std::vector<int>{0x10, 0x10, 0x10, 0x10 | (shown + 1)}));
    int drawn = 0;
    for (int i = 0; i < 40; ++i) {
        const int pages = b.renderer.pages;
        b.host.Tick();
        if (b.renderer.pages > pages) {
            ++drawn;
            EXPECT_EQ(b.stack.decoder.Subcode(), shown + 1);
        }
    }
    EXPECT_GT(drawn, 0);
    b.selection.PageKey(PageSelection::PreviousSubpage);
    EXPECT_EQ(b.cycle.ChosenSubpage(), shown);
    b.selection.KeyPress('+');
    EXPECT_EQ(b.cycle.ChosenSubpage(), -1) << "another page starts with its subpages in turn";
    b.host.Tick();
    EXPECT_EQ(std::vector<int>(request.begin() + 3, request.end()), (std::vector<int>{0, 0, 0, 0}));
}

TEST(PageEntry, KeysOtherThanPageKeysAreIgnored)
{
    CycleBench b;
    b.StartAndPoll();
    for (char key : {' ', '\n', 'g', '#'}) {
        b.selection.KeyPress(key);
    }
    EXPECT_EQ(b.cycle.PageNumber(), "100");
    EXPECT_FALSE(b.cycle.RequestPending());
    b.selection.KeyPress('*');
    EXPECT_EQ(b.cycle.PageNumber(), "100");
    EXPECT_TRUE(b.cycle.RequestPending());
    b.selection.But1Click(PageSelection::TopPage);
    EXPECT_EQ(b.cycle.PageNumber(), "1F0");
    b.selection.But1Click(1000); // no such tag
    EXPECT_EQ(b.cycle.PageNumber(), "1F0");
}

TEST(PageEntry, NothingIsAcceptedWithoutTeletext)
{
    CycleBench b;
    b.cycle.StartCycle();
    b.host.Tick();
    b.selection.KeyPress('2');
    b.selection.KeyPress('+');
    EXPECT_EQ(b.cycle.PageNumber(), "100");
    EXPECT_EQ(b.cycle.CycleState(), S::ClaimPort);
}

TEST(PageStepping, DecimalWrapsAndHexadecimalStepsWithoutWrap)
{
    const std::tuple<const char*, char, const char*> rows[] = {
        {"100", '-', "899"}, {"899", '+', "100"}, {"250", '+', "251"}, {"250", '-', "249"},
        {"1FF", '+', "200"}, {"1A0", '-', "19F"}, {"19F", '-', "19E"}, {"19F", '+', "1A0"},
        {"8FF", '+', "900"}, {"1F0", '+', "1F1"},
    };
    for (auto [from, key, to] : rows) {
        SCOPED_TRACE(::testing::Message() << from << key);
        CycleBench b;
        b.StartAndPoll();
        b.cycle.SelectPage(from);
        b.selection.KeyPress(key);
        EXPECT_EQ(b.cycle.PageNumber(), to);
        EXPECT_EQ(b.cycle.CycleState(), S::Polling);
        EXPECT_TRUE(b.cycle.RequestPending());
    }
}

// A bench with one page whose text holds numbers in all the places that matter.
struct ClickBench
{
    ClickBench()
    {
        using namespace test::packets;
        TestPage page;
        page.number = "100";
        page.rows[1] = "123 Sport 2000 Wetter 45 Tipps 950 999";
        page.rows[2] = std::string(38, ' ') + "12";
        page.rows[3] = "3 Fortsetzung";
        page.rows[5] = "\x0d Dopp 456";
        page.rows[7] = "Nummer 077 und 12345 und 567";
        std::vector<Packet> broadcast;
        for (int k = 0; k < 50; ++k) {
            for (const Packet& p : page.Packets()) {
                broadcast.push_back(p);
            }
            broadcast.push_back(Header("1FF", 0, "Ende"));
        }
        b.stack.Play(broadcast);
        b.StartAndPoll();
        b.TickUntilDrawn();
        b.renderer.doubleHeight[5] = 0; // row 6 lies under the lower half of row 5
    }
    std::string At(int column, int row)
    {
        b.selection.mposition(column * 10 + 5, row * 13 + 6);
        return b.selection.PageNumberAt();
    }
    CycleBench b;
};

TEST(PageNumberAt, FindsTheThreeDigitNumberUnderTheMouse)
{
    ClickBench c;
    ASSERT_EQ(c.b.stack.decoder.PageRows()[40], '1');
    struct Row
    {
        int column, row;
        const char* number;
        const char* what;
    };
    const Row rows[] = {
        {0, 1, "123", "the first digit of the page"},
        {2, 1, "123", "the last digit"},
        {3, 1, "999", "the blank after it"},
        {32, 1, "950", "a digit of 950"},
        {30, 1, "950", "the blank before 950"},
        {10, 1, "999", "a digit of a four-digit number"},
        {22, 1, "999", "a two-digit number"},
        {38, 2, "123", "a number that runs across the row end"},
        {0, 3, "123", "its last digit on the next row"},
        {20, 0, "123", "the header counts as row 1, column 0"},
        {8, 6, "456", "the lower half of a double-height row"},
        {8, 5, "456", "its upper half"},
        {19, 7, "999", "five digits"},
        {26, 7, "567", "the last number of a row"},
        {45, 1, "123", "beyond column 39"},
        {5, 30, "123", "below the page"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(c.At(r.column, r.row), r.number);
    }
}

TEST(PageClick, SelectsTheClickedPageAndMapsLargeNumbersToTheIndex)
{
    ClickBench c;
    c.b.selection.mposition(305, 19); // "950" in row 1
    c.b.selection.PageClick();
    EXPECT_EQ(c.b.cycle.PageNumber(), "100");
    EXPECT_TRUE(c.b.cycle.RequestPending());
    c.b.host.Tick();                          // sends the request
    c.b.selection.mposition(265, 7 * 13 + 6); // "567"
    c.b.selection.PageClick();
    EXPECT_EQ(c.b.cycle.PageNumber(), "567");
    EXPECT_EQ(c.b.cycle.CycleState(), S::Polling);
}

TEST(PageClick, NumbersThatAreNoPagesSelectNothing)
{
    ClickBench c;
    c.b.cycle.SelectPage("250");
    c.b.host.Tick(); // sends the request
    for (auto [x, y] : {std::pair{375, 19}, std::pair{75, 7 * 13 + 6}, std::pair{105, 19}}) {
        SCOPED_TRACE(x);
        c.b.selection.mposition(x, y); // 999, 077 and 2000
        c.b.selection.PageClick();
        EXPECT_EQ(c.b.cycle.PageNumber(), "250");
        EXPECT_FALSE(c.b.cycle.RequestPending());
    }
}

TEST(PageClick, AClickEndsATypedEntry)
{
    ClickBench c;
    c.b.selection.KeyPress('3');
    ASSERT_EQ(c.b.cycle.CycleState(), S::EntryPause);
    c.b.selection.mposition(265, 7 * 13 + 6);
    c.b.selection.PageClick();
    EXPECT_EQ(c.b.cycle.PageNumber(), "567");
    EXPECT_EQ(c.b.cycle.CycleState(), S::Polling);
}

} // namespace
} // namespace quav
