// The same packets go to the simulated board and to zvbi, an independent teletext decoder:
// what the board's chip reports must be what zvbi makes of the broadcast.

#include "broadcast/TtiCarousel.h"
#include "broadcast/TtiReader.h"
#include "support/PacketBuilder.h"
#include "support/SimulatedStack.h"

#include <libzvbi.h>

#include <gtest/gtest.h>

namespace quav {
namespace {

using namespace std::chrono_literals;

class FixedClock final : public BroadcastClock
{
public:
    std::chrono::system_clock::time_point Now() override { return std::chrono::system_clock::time_point{}; }
};

/// zvbi's decoder fed with T42 packets as sliced teletext lines.
class Zvbi
{
public:
    Zvbi() : m_decoder(vbi_decoder_new())
    {
        // Region 0: the Latin national option subsets of ETS 300 706, table 36.
        vbi_teletext_set_default_region(m_decoder, 0);
        // zvbi decodes teletext only while someone listens for pages.
        vbi_event_handler_register(
            m_decoder, VBI_EVENT_TTX_PAGE, [](vbi_event*, void*) {}, nullptr);
    }
    ~Zvbi() { vbi_decoder_delete(m_decoder); }
    Zvbi(const Zvbi&) = delete;
    Zvbi& operator=(const Zvbi&) = delete;

    void Feed(const std::vector<Packet>& packets)
    {
        constexpr std::size_t PerField = 16;
        for (std::size_t at = 0; at < packets.size(); at += PerField) {
            std::vector<vbi_sliced> lines;
            for (std::size_t i = at; i < std::min(at + PerField, packets.size()); ++i) {
                vbi_sliced line{};
                line.id = VBI_SLICED_TELETEXT_B;
                line.line = static_cast<unsigned>(7 + lines.size());
                std::copy(packets[i].begin(), packets[i].end(), line.data);
                lines.push_back(line);
            }
            vbi_decode(m_decoder, lines.data(), static_cast<int>(lines.size()), m_time);
            m_time += 0.04; // one frame: zvbi takes longer gaps for a channel change
        }
    }

    /// Row `row` of page `page` (hexadecimal, 0x100 ...) as Unicode, if zvbi has the page.
    std::optional<std::u16string> Row(int page, int row)
    {
        vbi_page pg{};
        if (!vbi_fetch_vt_page(m_decoder, &pg, page, VBI_ANY_SUBNO, VBI_WST_LEVEL_1, 25, TRUE)) {
            return std::nullopt;
        }
        std::u16string text;
        for (int c = 0; c < pg.columns; ++c) {
            text += static_cast<char16_t>(pg.text[row * pg.columns + c].unicode);
        }
        vbi_unref_page(&pg);
        return text;
    }

private:
    vbi_decoder* m_decoder;
    double m_time = 1.0;
};

std::vector<Packet> Take(PacketSource& source, std::size_t count)
{
    std::vector<Packet> out(count);
    for (Packet& p : out) {
        EXPECT_TRUE(source.NextPacket(p));
    }
    return out;
}

/// Requests `page` through the decoder operations and polls as the viewer does.
bool Receive(test::SimulatedStack& stack, const char* page)
{
    stack.decoder.RequestPage(page, 0);
    for (int poll = 0; poll < 100; ++poll) {
        stack.Run(100ms);
        if (stack.decoder.ReadStatusRow(0)) {
            stack.decoder.ReadPageRows(0);
            return true;
        }
    }
    return false;
}

// PS 8200 is German and 8080 French: on air as the header's C12 to C14, zvbi draws the
// national character of column 0 in the set that the chip names in its status row.
TEST(IndependentDecoder, PageStatusNationalOptionIsTheSetZvbiDraws)
{
    const struct
    {
        const char* ps;
        std::string_view name;
        char16_t at40; // the character at code 0x40 in that set
    } cases[] = {
        {"8000", "Englisch", u'@'},         {"8200", "Deutsch", u'\u00A7'},
        {"8100", "Schwedisch", u'\u00C9'},  {"8300", "Italienisch", u'\u00E9'},
        {"8080", "Französisch", u'\u00E0'}, {"8280", "Spanisch", u'\u00A1'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ps);
        // zvbi ends a page only at a header with another page number, so 101 follows.
        TtiReadResult tti = ParseTti(std::string("PN,10000\nPS,") + c.ps + "\nOL,1,@\nPN,10100\nOL,1,x\n");
        ASSERT_TRUE(tti.Ok());
        FixedClock clock;
        TtiCarousel carousel(tti.pages, clock, nullptr);
        const std::vector<Packet> packets = Take(carousel, 12);

        Zvbi zvbi;
        zvbi.Feed(packets);
        const auto row = zvbi.Row(0x100, 1);
        ASSERT_TRUE(row.has_value());
        EXPECT_EQ(row->at(0), c.at40);

        test::SimulatedStack stack;
        stack.Play(packets);
        ASSERT_TRUE(Receive(stack, "100"));
        EXPECT_EQ(stack.decoder.LanguageName(), c.name);
    }
}

// A page that zvbi receives the chip receives too, with the same rows and, in front of the
// clock, the same header: its own, not the one of the page after it. (zvbi ends a page
// only at a header with another page number, so it cannot judge a page alone in its
// magazine; the chip's own tests do.)
TEST(IndependentDecoder, TheChipKeepsThePageAndHeaderThatZvbiReceives)
{
    const auto page = [](const char* number, std::uint16_t subcode) {
        test::packets::TestPage p;
        p.number = number;
        p.subcode = subcode;
        p.rows[1] = std::string("Seite ") + number;
        p.rows[2] = "\x03Zeile zwei \x12\x7F\x7F";
        return p;
    };
    const struct
    {
        const char* shape;
        std::vector<test::packets::TestPage> cycle;
    } cases[] = {
        {"other pages follow in the magazine", {page("100", 0), page("101", 0), page("102", 0)}},
        {"magazines interleave", {page("100", 0), page("200", 0), page("1FF", 0x3F7F), page("201", 0)}},
        {"a rotating page between others", {page("100", 3), page("150", 0)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shape);
        std::vector<Packet> packets;
        for (int k = 0; k < 6; ++k) {
            for (test::packets::TestPage p : c.cycle) {
                p.headerText = test::packets::ClockText("Seite " + p.number, k);
                const auto more = p.Packets();
                packets.insert(packets.end(), more.begin(), more.end());
            }
        }
        Zvbi zvbi;
        zvbi.Feed(packets);
        const auto zvbiHeader = zvbi.Row(0x100, 0);
        ASSERT_TRUE(zvbiHeader.has_value()) << "zvbi has the page";

        test::SimulatedStack stack;
        stack.Play(packets);
        ASSERT_TRUE(Receive(stack, "100"));
        stack.Run(2s); // later headers of the magazine go by
        stack.decoder.ReadPageRows(0);
        const auto& rows = stack.decoder.PageRows();
        const auto text = [&rows](int row, int from, int to) {
            std::u16string out;
            for (int col = from; col < to; ++col) {
                const std::uint8_t b = rows[static_cast<std::size_t>(40 * row + col)];
                out += b < 0x20 ? u' ' : static_cast<char16_t>(b); // zvbi shows spacing attributes as spaces
            }
            return out;
        };
        for (int r = 1; r <= 2; ++r) {
            SCOPED_TRACE(r);
            const auto zvbiRow = zvbi.Row(0x100, r);
            ASSERT_TRUE(zvbiRow.has_value());
            // Mosaics differ in their code points; compare the text before them.
            EXPECT_EQ(text(r, 0, 13), zvbiRow->substr(0, 13));
        }
        EXPECT_EQ(text(0, 8, 32), zvbiHeader->substr(8, 24));
    }
}

} // namespace
} // namespace quav
