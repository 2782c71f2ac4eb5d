#include "export/PageExport.h"

#include "config/QuavError.h"
#include "export/RowToText.h"
#include "export/SafeWrite.h"

#include <QBuffer>
#include <QClipboard>
#include <QSaveFile>

namespace quav::PageExport {

namespace {

QuavError CannotCreate(const QString& fileName)
{
    return QuavError(QStringLiteral("Kann Datei %1 nicht erstellen").arg(fileName));
}

} // namespace

void SaveBitmap(const QString& fileName, const QImage& page)
{
    {
        QSaveFile probe(fileName);
        if (!probe.open(QIODevice::WriteOnly)) {
            throw CannotCreate(fileName);
        }
        probe.cancelWriting();
    }
    // Encoded in memory first, so that a failure of the encoder and of the disk both show
    // as a write error and leave the old file alone.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!page.convertToFormat(QImage::Format_RGB32).save(&buffer, "BMP") ||
        !SafeWrite(fileName, bytes.constData(), bytes.size())) {
        throw QuavError(QStringLiteral("Stream-Write-Fehler"));
    }
}

void SaveText(const QString& fileName, std::span<const std::uint8_t, 960> pageRows,
              std::uint8_t nationalOption)
{
    const std::string text = PageText(pageRows, nationalOption);
    if (!SafeWrite(fileName, text.data(), qint64(text.size()))) {
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
