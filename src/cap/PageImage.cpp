#include "cap/CaptureCommand.h"
#include "render/QImageConversion.h"
#include "render/Renderer.h"

#include <csetjmp>
#include <cstring>
#include <optional>
#include <png.h>
#include <vector>

#include <QBuffer>
#include <QImage>

namespace quav {

namespace {

constexpr int Width = Renderer::RowWidth;
constexpr int Height = Renderer::PageHeight;
constexpr int PackedRow = Width / 2; // two pixels of four bits in each byte
static_assert(Width % 2 == 0);

// Colour n has red where bit 0 of n is set, green for bit 1 and blue for bit 2, so a
// pixel's palette index can be read from the top bits of its three channels.
constexpr bool ColoursFollowTheirBits = [] {
    for (std::uint32_t n = 0; n < Renderer::TeletextColours.size(); ++n) {
        const std::uint32_t bits =
            ((n & 1) != 0 ? 0xFF0000U : 0) | ((n & 2) != 0 ? 0x00FF00U : 0) | ((n & 4) != 0 ? 0x0000FFU : 0);
        if (Renderer::TeletextColours[n] != bits) {
            return false;
        }
    }
    return true;
}();
static_assert(ColoursFollowTheirBits);

/// Two pixels side by side in one word, the left one in the low half. Each step below works
/// on both halves at once; none carries from one half into the other.
inline std::uint64_t PixelPair(const std::uint32_t* pixels)
{
    return pixels[0] | std::uint64_t{pixels[1]} << 32;
}

/// The top bit of each channel of both pixels, at bits 0 (blue), 8 (green) and 16 (red) of
/// each half.
inline std::uint64_t TopBits(std::uint64_t pair)
{
    return pair >> 7 & 0x0001010100010101ULL;
}

/// The bits by which the pixels differ from the teletext colours of their top bits: none
/// for the eight colours, whose channels are each 0x00 or 0xFF.
inline std::uint64_t OffPalette(std::uint64_t pair, std::uint64_t tops)
{
    return pair ^ ((tops << 8) - tops); // each top bit spread over its channel
}

/// The palette indexes of both pixels as the byte PNG packs them, left one high. One
/// multiplication moves red to bit 16, green to bit 17 and blue to bit 18 of each half, and
/// nothing else lands there.
inline std::uint8_t PackedIndexes(std::uint64_t tops)
{
    const std::uint64_t at16 = tops * 0x040201U;
    return static_cast<std::uint8_t>((at16 >> 12 & 0x70U) | (at16 >> 48 & 7U));
}

/// The page as palette indexes 0 to 7, two pixels a byte (the left one in the high four
/// bits, as PNG packs them). Nothing when a pixel is not one of the eight teletext colours;
/// the renderer draws no others, but a picture must never come out different from the page.
std::optional<std::vector<std::uint8_t>> PaletteIndexes(const PixelBuffer& picture)
{
    std::vector<std::uint8_t> packed(std::size_t(PackedRow) * Height);
    const std::uint32_t* from = picture.Row(0);
    std::uint64_t wrong = 0;
    for (std::size_t i = 0; i < packed.size(); ++i) {
        const std::uint64_t pair = PixelPair(from + 2 * i);
        const std::uint64_t tops = TopBits(pair);
        wrong |= OffPalette(pair, tops);
        packed[i] = PackedIndexes(tops);
    }
    if (wrong != 0) {
        return std::nullopt;
    }
    return packed;
}

void AppendToArray(png_structp png, png_bytep data, png_size_t size)
{
    static_cast<QByteArray*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

void NoFlush(png_structp) {}

/// A palette PNG of the page: four bits a pixel, rows unfiltered, deflate at its fastest
/// level with its default strategy (run-length only is no faster here and makes a third
/// larger files; filtering the rows by the row above costs more than it saves). With the
/// long runs of one colour on a teletext page the files still come out smaller than a
/// full-colour PNG at the default level, which takes several times as long.
bool EncodePalettePng(const std::vector<std::uint8_t>& packed, QByteArray& bytes)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    // libpng reports its errors by jumping back here; nothing below owns anything that a
    // jump would leave behind, apart from what png_destroy_write_struct frees.
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    bytes.reserve(16 * 1024); // a page's file is a few kilobytes
    png_set_write_fn(png, &bytes, AppendToArray, NoFlush);
    png_set_IHDR(png, info, Width, Height, 4, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::array<png_color, Renderer::TeletextColours.size()> palette{};
    for (std::size_t n = 0; n < palette.size(); ++n) {
        const std::uint32_t c = Renderer::TeletextColours[n];
        palette[n] = png_color{static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8),
                               static_cast<png_byte>(c)};
    }
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    // Every index is 0 to 7 by construction; libpng would otherwise look at every pixel again
    // to find the highest, which costs about a fifth of the picture's time.
    png_set_check_for_invalid_index(png, 0);
    png_set_compression_level(png, 1);
    png_set_compression_buffer_size(png, 64 * 1024); // the whole picture in one IDAT chunk
    png_write_info(png, info);
    for (int y = 0; y < Height; ++y) {
        png_write_row(png, packed.data() + std::size_t(y) * PackedRow);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool EncodePageImage(const CapturedPage& page, CaptureFormat format, bool reveal, int scale,
                     Renderer& renderer, QByteArray& bytes)
{
    // The page as the viewer draws it: the header row buffer in row 0, rows 1 to 23 of the
    // page buffer below, in the page's character set, concealed text hidden unless revealed.
    renderer.SetNationalOption(page.nationalOption);
    renderer.Reveal = reveal;
    renderer.RenderHeaderRow(page.headerRow);
    renderer.RenderPageRows(page.pageRows);
    bytes.clear();
    if (scale <= 1 && format == CaptureFormat::Png) {
        if (const auto packed = PaletteIndexes(renderer.PageImage())) {
            return EncodePalettePng(*packed, bytes);
        }
    }
    QImage image = ToQImage(renderer.PageImage());
    if (scale > 1) {
        // Every page pixel repeated as a square, so strokes keep one width and colours stay
        // exact. (Qt's own fast scaling rounds some source positions to a neighbour.)
        const QImage drawn = image.convertToFormat(QImage::Format_RGB32);
        image = QImage(drawn.size() * scale, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            const auto* from = reinterpret_cast<const QRgb*>(drawn.constScanLine(y / scale));
            auto* to = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                to[x] = from[x / scale];
            }
        }
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, format == CaptureFormat::Png ? "PNG" : "BMP");
}

bool EncodePageImage(const CapturedPage& page, CaptureFormat format, bool reveal, int scale,
                     std::string& bytes)
{
    Renderer renderer;
    QByteArray encoded;
    if (!EncodePageImage(page, format, reveal, scale, renderer, encoded)) {
        return false;
    }
    bytes.assign(encoded.constData(), static_cast<std::size_t>(encoded.size()));
    return true;
}

} // namespace quav
