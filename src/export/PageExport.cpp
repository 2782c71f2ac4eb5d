#include "export/PageExport.h"

#include "config/QuavError.h"
#include "export/RowToText.h"

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
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        throw CannotCreate(fileName);
    }
    // Encoded in memory first, so that a failure of the encoder and of the disk both show
    // as a write error and leave the old file alone.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!page.convertToFormat(QImage::Format_RGB32).save(&buffer, "BMP") ||
        file.write(bytes) != bytes.size() || !file.commit()) {
        file.cancelWriting();
        throw QuavError(QStringLiteral("Stream-Write-Fehler"));
    }
}

void SaveText(const QString& fileName, std::span<const std::uint8_t, 960> pageRows)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        throw CannotCreate(fileName);
    }
    const std::string text = PageText(pageRows);
    if (file.write(text.data(), qint64(text.size())) != qint64(text.size()) || !file.commit()) {
        file.cancelWriting();
        throw CannotCreate(fileName);
    }
}

void CopyPicture(QClipboard& clipboard, const QImage& page)
{
    clipboard.setImage(page);
}

void CopyText(QClipboard& clipboard, std::span<const std::uint8_t, 960> pageRows)
{
    clipboard.setText(QString::fromStdU16String(PageTextUtf16(pageRows, u"\r\n")));
}

} // namespace quav::PageExport
