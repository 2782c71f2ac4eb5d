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

// Writes everything and replaces the old file only when all of it is on disk. The buffer
// is flushed and checked first: a failure in the last flush (a full disk) is not seen by
// commit() itself, which would then put a cut-off file in place of the old one.
bool WriteAll(QSaveFile& file, const char* data, qint64 size)
{
    if (file.write(data, size) != size || !file.flush() || file.error() != QFileDevice::NoError ||
        !file.commit()) {
        file.cancelWriting();
        return false;
    }
    return true;
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
        !WriteAll(file, bytes.constData(), bytes.size())) {
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
    if (!WriteAll(file, text.data(), qint64(text.size()))) {
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
