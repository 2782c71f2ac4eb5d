#include "RenderTestSupport.h"
#include "render/QImageConversion.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <QDir>
#include <QImage>
#include <QString>

#include <gtest/gtest.h>

namespace quav {
namespace {

using test::PageBuffer;

// Text with the German national characters at their teletext positions.
std::vector<std::uint8_t> Teletext(std::u16string_view text)
{
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text) {
        switch (c) {
        case u'ä':
            bytes.push_back(0x7B);
            break;
        case u'ö':
            bytes.push_back(0x7C);
            break;
        case u'ü':
            bytes.push_back(0x7D);
            break;
        case u'ß':
            bytes.push_back(0x7E);
            break;
        case u'Ä':
            bytes.push_back(0x5B);
            break;
        case u'Ö':
            bytes.push_back(0x5C);
            break;
        case u'Ü':
            bytes.push_back(0x5D);
            break;
        case u'§':
            bytes.push_back(0x40);
            break;
        case u'°':
            bytes.push_back(0x60);
            break;
        default:
            bytes.push_back(static_cast<std::uint8_t>(c));
            break;
        }
    }
    return bytes;
}

struct RowWriter
{
    RowWriter& operator()(std::initializer_list<std::uint8_t> bytes)
    {
        for (std::uint8_t b : bytes) {
            Put(b);
        }
        return *this;
    }
    RowWriter& operator()(std::u16string_view text)
    {
        for (std::uint8_t b : Teletext(text)) {
            Put(b);
        }
        return *this;
    }
    RowWriter& Range(int from, int to)
    {
        for (int b = from; b <= to; ++b) {
            Put(static_cast<std::uint8_t>(b));
        }
        return *this;
    }
    void Put(std::uint8_t b)
    {
        if (column < 40) {
            row[column++] = b;
        }
    }
    std::uint8_t* row;
    int column = 0;
};

// A page that uses every attribute and every glyph range.
void BuildTestPage(std::array<std::uint8_t, 40>& header, PageBuffer& page)
{
    header.fill(0x20);
    RowWriter{header.data(),
              7}({0x02})(u"P100")({0x07})(u"QUAV")({0x03})(u"Mo 01.01.")({0x06})(u"12:00:00")({0x0D})(u"!!");

    auto row = [&page](int k, int column = 0) { return RowWriter{page.bytes.data() + k * 40, column}; };
    row(1)({0x04, 0x1D, 0x0D, 0x03})(u"Testseite")({0x07})(u"QUAV-Videotext");
    row(2)(u"Diese Zeile ist verdeckt und nie zu sehen");
    row(3).Range(0x20, 0x3F);
    row(4).Range(0x40, 0x5F);
    row(5).Range(0x60, 0x7F);
    row(6).Range(0x80, 0x9F)({0x07})(u"GB/S");
    row(7)({0x17}).Range(0x20, 0x3F)({0x07})(u"zus");
    row(8)({0x17}).Range(0x60, 0x7F)({0x07})(u"zus");
    row(9)({0x17, 0x1A}).Range(0x20, 0x3F)({0x07})(u"get");
    row(10)({0x17, 0x1A}).Range(0x60, 0x7F)({0x07})(u"get");
    row(11)({0x01})(u"rot")({0x02})(u"grün")({0x03})(u"gelb")({0x04})(u"blau")({0x05})(u"magenta")({0x06})(
        u"cyan")({0x07})(u"weiß");
    for (std::uint8_t c = 1; c <= 7; ++c) {
        row(12, (c - 1) * 5)({c, 0x1D, std::uint8_t(c == 7 ? 0x00 : 0x07)})(u"Hg");
    }
    row(12, 35)({0x1C})(u"Ende");
    row(13)({0x11, 0x7F, 0x12, 0x7F, 0x13, 0x7F, 0x14, 0x7F, 0x15, 0x7F, 0x16, 0x7F, 0x17,
             0x7F, 0x1A, 0x11, 0x7F, 0x12, 0x7F, 0x13, 0x7F, 0x14, 0x7F, 0x15, 0x7F, 0x16,
             0x7F, 0x17, 0x7F, 0x19, 0x16, 0x35, 0x6A, 0x2C, 0x73, 0x21, 0x7C, 0x23, 0x6F});
    row(14)({0x12, 0x1E, 0x7F, 0x03})(u"aus")(
        {0x11, 0x7F, 0x1E, 0x14, 0x15, 0x16, 0x1A, 0x19, 0x08, 0x09, 0x0E, 0x0F, 0x1B, 0x1F})(u"frei")(
        {0x16, 0x1E, 0x20, 0x1E, 0x1D, 0x13, 0x7F, 0x1C, 0x1F});
    row(15)(u"Geheim:")({0x18})(u"verborgen")({0x02})(u"sichtbar")({0x11, 0x18, 0x7F, 0x7F, 0x11, 0x7F});
    row(16)({0x03, 0x1D, 0x07})(u"Box")({0x0A})(u"aus")({0x0B})(u"ein")({0x0C, 0x1C})(u"schwarz")(
        {0x06, 0x1D, 0x0B, 0x04})(u"x");
    row(17)({0x08})(u"Blinken")({0x09})(u"Steady")({0x0E})(u"S")({0x0F})(u"I")({0x1B})(u"E")(
        {0x05, 0x1D, 0x0A})(u"Ende");
    row(18)(u"Größe Übung Ärger §12 süß Öl 20°C");
    row(19)({0x01, 0x1D, 0x07})(u"vorher")({0x0D})(u"Doppelt")({0x0C})(u"normal")({0x13, 0x7F, 0x35, 0x6A});
    row(20)(u"verdeckt");
    row(21)({0x04, 0x1D, 0x16, 0x1E, 0x7F, 0x7F, 0x13, 0x1A, 0x7F, 0x2C, 0x5C, 0x19, 0x70, 0x31, 0x12, 0x18,
             0x7F, 0x07, 0x1C})(u"Mosaik ")({0x16})(u"Ende");
    row(22)({0x01, 0x1D, 0x13, 0x1A, 0x7F, 0x35, 0x6A, 0x20, 0x7F, 0x1C, 0x06})(u"Zeile 22")(
        {0x17, 0x40, 0x5B, 0x7F});
    row(23)({0x0D, 0x06})(u"Zeile 23 doppelt")({0x0C, 0x03})(u"unten");
}

TEST(GoldenPage, MatchesTheCheckedInPicturePixelForPixel)
{
    std::array<std::uint8_t, 40> header;
    PageBuffer page;
    BuildTestPage(header, page);
    Renderer r;
    r.RenderHeaderRow(header);
    r.RenderPageRows(page.bytes);

    const char* data = std::getenv("QUAV_TEST_DATA");
    ASSERT_NE(data, nullptr) << "QUAV_TEST_DATA names the folder of the golden picture";
    const QString golden = QDir(QString::fromLocal8Bit(data)).filePath(QStringLiteral("golden-page.png"));
    const QImage actual = ToQImage(r.PageImage());
    if (std::getenv("QUAV_UPDATE_GOLDEN") != nullptr) {
        ASSERT_TRUE(actual.save(golden, "PNG"));
        GTEST_SKIP() << "wrote " << golden.toStdString();
    }
    const QImage expected(golden);
    ASSERT_FALSE(expected.isNull()) << "cannot read " << golden.toStdString();
    const PixelBuffer expectedPixels = FromQImage(expected);
    ASSERT_EQ(expectedPixels.Width(), 400);
    ASSERT_EQ(expectedPixels.Height(), 312);
    int differing = 0;
    for (int y = 0; y < 312; ++y) {
        for (int x = 0; x < 400; ++x) {
            differing += expectedPixels.Pixel(x, y) != r.PageImage().Pixel(x, y);
        }
    }
    if (differing != 0) {
        const QString saved = QDir::temp().filePath(QStringLiteral("quav-golden-page-actual.png"));
        actual.save(saved, "PNG");
        ADD_FAILURE() << differing << " pixels differ; the rendered page is in " << saved.toStdString();
    }
    EXPECT_EQ(r.DoubleHeightRows[2 - 1], 0);
    EXPECT_EQ(r.DoubleHeightRows[20 - 1], 0);
}

TEST(QImageConversion, KeepsEveryColourAndRoundTrips)
{
    PixelBuffer picture(8, 2);
    for (int i = 0; i < 8; ++i) {
        picture.Row(0)[i] = Renderer::TeletextColours[i];
        picture.Row(1)[i] = 0x123456u + std::uint32_t(i);
    }
    const QImage image = ToQImage(picture);
    ASSERT_EQ(image.size(), QSize(8, 2));
    EXPECT_FALSE(image.hasAlphaChannel());
    for (int i = 0; i < 8; ++i) {
        const QColor c = image.pixelColor(i, 0);
        EXPECT_EQ(c.red(), int(Renderer::TeletextColours[i] >> 16));
        EXPECT_EQ(c.green(), int(Renderer::TeletextColours[i] >> 8 & 0xFF));
        EXPECT_EQ(c.blue(), int(Renderer::TeletextColours[i] & 0xFF));
        EXPECT_EQ(c.alpha(), 255);
    }
    EXPECT_EQ(FromQImage(image), picture);
    EXPECT_EQ(FromQImage(image.convertToFormat(QImage::Format_RGB888)), picture);
}

} // namespace
} // namespace quav
