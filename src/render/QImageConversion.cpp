#include "render/QImageConversion.h"

namespace quav {

QImage ToQImage(const PixelBuffer& picture)
{
    QImage image(picture.Width(), picture.Height(), QImage::Format_RGB32);
    for (int y = 0; y < picture.Height(); ++y) {
        const std::uint32_t* from = picture.Row(y);
        auto* to = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < picture.Width(); ++x) {
            // RGB32 wants the unused top byte set.
            to[x] = 0xFF000000u | from[x];
        }
    }
    return image;
}

PixelBuffer FromQImage(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    PixelBuffer picture(rgb.width(), rgb.height());
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        std::uint32_t* to = picture.Row(y);
        for (int x = 0; x < rgb.width(); ++x) {
            to[x] = from[x] & 0x00FFFFFFu;
        }
    }
    return picture;
}

} // namespace quav
