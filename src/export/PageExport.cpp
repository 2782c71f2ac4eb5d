#include "export/PageExport.h"

#include "config/QuavError.h"
#include "export/RowToText.h"
#include "export/SafeWrite.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>

namespace quav::PageExport {

namespace {

QuavError CannotCreate(const QString& fileName)
{
    return QuavError(QStringLiteral("Kann Datei %1 nicht erstellen").arg(fileName));
}

} // namespace

void SaveBitmap(const QString& fileName, const QImage& page)
{
    // Encoded in memory first, so that a failure of the encoder and of the disk both show
    // as a write error and leave the old file alone.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!page.convertToFormat(QImage::Format_RGB32).save(&buffer, "BMP")) {
        throw QuavError(QStringLiteral("Stream-Write-Fehler"));
    }
    std::string error;
    bool opened = false;
    if (!WriteOutputFile(QFile::encodeName(fileName).toStdString(),
                         std::string_view(bytes.constData(), std::size_t(bytes.size())), error, &opened)) {
        throw opened ? QuavError(QStringLiteral("Stream-Write-Fehler")) : CannotCreate(fileName);
    }
}

void SaveText(const QString& fileName, std::span<const std::uint8_t, 960> pageRows,
              std::uint8_t nationalOption)
{
    const std::string text = PageText(pageRows, nationalOption);
    std::string error;
    if (!WriteOutputFile(QFile::encodeName(fileName).toStdString(), text, error)) {
        throw CannotCreate(fileName);
    }
}

void CopyPicture(QClipboard& clipboard, const QImage& page)
{
    clipboard.setImage(page);
}

void CopyText(QClipboard& clipboard, std::span<const std::uint8_t, 960> pageRows, std::uint8_t nationalOption)
{
    clipboard.setText(QString::fromStdU16String(PageTextUtf16(pageRows, nationalOption, u"\r\n")));
}

} // namespace quav::PageExport
