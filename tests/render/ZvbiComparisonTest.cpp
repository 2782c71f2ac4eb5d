#include "RenderTestSupport.h"
#include "support/PacketBuilder.h"

#include <cstring>
#include <libzvbi.h>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace quav {
namespace {

using test::CellAt;
using test::GlyphCell;
using test::PageBuffer;

// zvbi, an independent teletext decoder, formats the same page at level 1; the renderer
// must draw every cell as zvbi lays it out: character, colours, conceal, flash and size.
class ZvbiPage
{
public:
    explicit ZvbiPage(const PageBuffer& page)
    {
        m_vbi = vbi_decoder_new();
        // zvbi looks at page packets only while someone listens for pages.
        vbi_event_handler_register(
            m_vbi, VBI_EVENT_TTX_PAGE, [](vbi_event*, void*) {}, nullptr);
        std::vector<Packet> packets{test::packets::Header("100", 0, "zvbi")};
        for (int k = 1; k <= 23; ++k) {
            packets.push_back(test::packets::Row(
                1, k, std::string_view(reinterpret_cast<const char*>(page.bytes.data()) + k * 40, 40)));
        }
        // The next header of the magazine ends the page.
        packets.push_back(test::packets::Header("1FF", 0, "zvbi"));
        packets.push_back(test::packets::Header("1FE", 0, "zvbi"));
        double time = 1.0;
        for (const Packet& p : packets) {
            vbi_sliced sliced{};
            sliced.id = VBI_SLICED_TELETEXT_B;
            sliced.line = 20;
            std::memcpy(sliced.data, p.data(), p.size());
            vbi_decode(m_vbi, &sliced, 1, time);
            time += 0.04; // one video frame; zvbi takes a gap for a channel switch
        }
        m_fetched = vbi_fetch_vt_page(m_vbi, &m_page, 0x100, VBI_ANY_SUBNO, VBI_WST_LEVEL_1, 25, FALSE) != 0;
    }
    ~ZvbiPage()
    {
        if (m_fetched) {
            vbi_unref_page(&m_page);
        }
        vbi_decoder_delete(m_vbi);
    }
    ZvbiPage(const ZvbiPage&) = delete;
    ZvbiPage& operator=(const ZvbiPage&) = delete;

    bool Fetched() const { return m_fetched; }
    const vbi_char& At(int row, int column) const { return m_page.text[row * m_page.columns + column]; }

private:
    vbi_decoder* m_vbi = nullptr;
    vbi_page m_page{};
    bool m_fetched = false;
};

// The glyph for what zvbi puts into a cell: its block mosaics live at U+EE00 (separated)
// and U+EE20 (contiguous), two planes of 32 for each half of the mosaic codes.
int GlyphOf(unsigned unicode)
{
    if (unicode >= 0xEE00 && unicode < 0xEE80) {
        const bool contiguous = (unicode & 0x20) != 0;
        const auto code = static_cast<std::uint8_t>(contiguous ? unicode - 0xEE00 : unicode - 0xEDE0);
        return GlyphIndex(code, true, contiguous ? MosaicStyle::Contiguous : MosaicStyle::Separated);
    }
    if (unicode == 0x25A0) {
        return 0x7F; // the solid block
    }
    if (unicode >= 0x20 && unicode < 0x7F) {
        return int(unicode);
    }
    return -1;
}

// A random page of attributes and characters: no national positions (the character set is
// not what this compares), no escape, no double width or size (level 2.5), and no double
// height in row 23, which zvbi ignores there.
PageBuffer RandomPage(std::mt19937& random)
{
    const std::string national = "#$@[\\]^_`{|}~";
    PageBuffer page;
    std::uniform_int_distribution<int> kind(0, 9), attribute(0, 31), character(0x20, 0x7F);
    for (int k = 1; k <= 23; ++k) {
        for (int c = 0; c < 40; ++c) {
            int b;
            do {
                b = kind(random) < 4 ? attribute(random) : character(random);
            } while (b == 0x1B || b == 0x0E || b == 0x0F || (k == 23 && b == 0x0D) ||
                     national.find(char(b)) != std::string::npos);
            page.bytes[std::size_t(k * 40 + c)] = static_cast<std::uint8_t>(b);
        }
    }
    return page;
}

// A cell as zvbi lays it out, 13 pixel rows; with the cell below it in a double-height row,
// 26: a double-height character stretched over both, a normal one over its background.
std::vector<std::uint32_t> ExpectedColumn(const vbi_char& upper, const vbi_char* lower, int glyph)
{
    const auto g = GlyphCell(std::uint8_t(glyph), upper.foreground & 7, upper.background & 7);
    std::vector<std::uint32_t> pixels;
    for (int i = 0; i < (lower != nullptr ? 26 : 13); ++i) {
        for (int j = 0; j < 10; ++j) {
            if (i < 13 && upper.size != VBI_DOUBLE_HEIGHT) {
                pixels.push_back(g[std::size_t(i * 10 + j)]);
            } else if (i >= 13 && lower->size != VBI_DOUBLE_HEIGHT2) {
                pixels.push_back(Renderer::TeletextColours[lower->background & 7]);
            } else {
                pixels.push_back(g[std::size_t(i / 2 * 10 + j)]);
            }
        }
    }
    return pixels;
}

// Whether an alphanumeric colour, double-height or normal-size code lies between the last
// mosaic that zvbi drew in this row and the attribute cell in `column`: only there may the
// held mosaic have been let go.
bool ModeOrSizeCodeSinceHeld(const PageBuffer& page, const ZvbiPage& reference, int row, int column)
{
    const std::uint8_t* bytes = page.bytes.data() + row * 40;
    int held = column - 1;
    while (held >= 0 && !(bytes[held] >= 0x20 && reference.At(row, held).unicode >= 0xEE00)) {
        --held;
    }
    for (int j = held + 1; j <= column; ++j) {
        const bool setAfter = bytes[j] <= 0x07 || bytes[j] == 0x0D;
        if ((setAfter && j < column) || bytes[j] == 0x0C) {
            return true;
        }
    }
    return false;
}

std::vector<std::uint32_t> DrawnColumn(PixelView image, int column, int top, int height)
{
    std::vector<std::uint32_t> pixels;
    for (int i = 0; i < height; ++i) {
        for (int j = 0; j < 10; ++j) {
            pixels.push_back(image.Pixel(column * 10 + j, top + i));
        }
    }
    return pixels;
}

TEST(IndependentDecoder, EveryCellOfRandomPagesAgreesWithZvbi)
{
    std::mt19937 random(13);
    int cells = 0, heldByZvbiOnly = 0;
    for (int n = 0; n < 40; ++n) {
        SCOPED_TRACE(testing::Message() << "page " << n);
        const PageBuffer page = RandomPage(random);
        const ZvbiPage reference(page);
        ASSERT_TRUE(reference.Fetched());
        // Concealed characters blank in the saved picture; flashing ones in the off phase.
        for (bool offPhase : {false, true}) {
            Renderer r;
            r.Reveal = offPhase;
            r.SetFlashPhase(!offPhase);
            r.RenderPageRows(page.bytes);
            for (int k = 1; k <= 23; ++k) {
                if (r.DoubleHeightRows[std::size_t(k - 1)] == 0) {
                    continue; // the lower half of the row above
                }
                const bool doubled = k < 23 && r.DoubleHeightRows[std::size_t(k)] == 0;
                for (int c = 0; c < 40; ++c) {
                    SCOPED_TRACE(testing::Message() << "row " << k << " column " << c);
                    const vbi_char& z = reference.At(k, c);
                    const vbi_char* below = doubled ? &reference.At(k + 1, c) : nullptr;
                    const int glyph = GlyphOf(z.unicode);
                    ASSERT_GE(glyph, 0) << "U+" << std::hex << z.unicode;
                    const bool blank = offPhase ? z.flash != 0 : z.conceal != 0;
                    const auto drawn = DrawnColumn(r.ShownImage(), c, 13 * k, doubled ? 26 : 13);
                    ++cells;
                    if (drawn == ExpectedColumn(z, below, blank ? 0x20 : glyph)) {
                        continue;
                    }
                    // zvbi keeps the held mosaic across a change of mosaic mode or size; the
                    // standard lets go of it there, so an attribute cell may be blank here.
                    const std::uint8_t byte = page.bytes[std::size_t(k * 40 + c)];
                    if (byte < 0x20 && z.unicode >= 0xEE00 && drawn == ExpectedColumn(z, below, 0x20) &&
                        ModeOrSizeCodeSinceHeld(page, reference, k, c)) {
                        ++heldByZvbiOnly;
                        continue;
                    }
                    ADD_FAILURE() << "byte 0x" << std::hex << int(byte) << ", zvbi U+" << z.unicode << " fg "
                                  << int(z.foreground) << " bg " << int(z.background) << " size "
                                  << int(z.size) << (offPhase ? " (off phase)" : "");
                    return;
                }
            }
        }
    }
    RecordProperty("cells", cells);
    RecordProperty("heldByZvbiOnly", heldByZvbiOnly);
    EXPECT_LT(heldByZvbiOnly * 50, cells) << "the only tolerated difference stays rare";
}

} // namespace
} // namespace quav
