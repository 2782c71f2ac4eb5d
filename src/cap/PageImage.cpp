#include "cap/CaptureCommand.h"
#include "render/QImageConversion.h"
#include "render/Renderer.h"

#include <QBuffer>
#include <QImage>
#include <QString>

namespace quav {

bool EncodePageImage(const CapturedPage& page, CaptureFormat format, bool reveal, std::string& bytes)
{
    // The page as the viewer draws it: the header row buffer in row 0, rows 1 to 23 of the
    // page buffer below, concealed text hidden unless revealed.
    Renderer renderer;
    renderer.SetNationalOption(page.nationalOption);
    renderer.Reveal = reveal;
    renderer.RenderHeaderRow(page.headerRow);
    renderer.RenderPageRows(page.pageRows);
    const QImage image = ToQImage(renderer.PageImage());
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
