#include "cap/CaptureCommand.h"
#include "export/SafeWrite.h"
#include "render/QImageConversion.h"
#include "render/Renderer.h"

#include <QBuffer>
#include <QImage>
#include <QString>

namespace quav {

bool SavePageImage(const CapturedPage& page, CaptureFormat format, bool reveal, const std::string& path,
                   std::string& error)
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
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, kind) ||
        !SafeWrite(QString::fromStdString(path), bytes.constData(), bytes.size())) {
        error = "Das Bild \"" + path + "\" kann nicht gespeichert werden.";
        return false;
    }
    return true;
}

} // namespace quav
