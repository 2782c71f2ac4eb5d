#include "cap/CaptureCommand.h"
#include "render/QImageConversion.h"
#include "render/Renderer.h"

#include <QBuffer>
#include <QImage>
#include <QString>

namespace quav {

bool EncodePageImage(const CapturedPage& page, CaptureFormat format, bool reveal, int scale,
                     std::string& bytes)
{
    // The page as the viewer draws it: the header row buffer in row 0, rows 1 to 23 of the
    // page buffer below, concealed text hidden unless revealed.
    Renderer renderer;
    renderer.SetNationalOption(page.nationalOption);
    renderer.Reveal = reveal;
    renderer.RenderHeaderRow(page.headerRow);
    renderer.RenderPageRows(page.pageRows);
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
    const char* kind = format == CaptureFormat::Png ? "PNG" : "BMP";
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, kind)) {
        return false;
    }
    bytes.assign(encoded.constData(), std::size_t(encoded.size()));
    return true;
}

} // namespace quav
