#pragma once

#include <cstdint>
#include <span>

#include <QImage>
#include <QString>

class QClipboard;

namespace quav {

/// Saving the page as a Windows bitmap or a text file, and copying it to the clipboard.
///
/// A save never destroys the file it replaces: the page goes to a temporary file beside it,
/// which replaces the old file only when everything has been written. A FIFO or a device
/// chosen as the file is written to, never replaced. Failures are thrown as QuavError with
/// the German message for the user.
namespace PageExport {

/// The 400 x 312 page as a Windows bitmap. "Kann Datei %s nicht erstellen" when the file
/// cannot be created, "Stream-Write-Fehler" when writing fails.
void SaveBitmap(const QString& fileName, const QImage& page);
/// The page text: 24 lines of 40 characters, CR LF after each, 1008 bytes.
/// "Kann Datei %s nicht erstellen" on any failure.
/// `nationalOption` is the page's character set (0 to 7, as the status row gives it).
void SaveText(const QString& fileName, std::span<const std::uint8_t, 960> pageRows,
              std::uint8_t nationalOption);
/// The picture on the clipboard.
void CopyPicture(QClipboard& clipboard, const QImage& page);
/// The page text on the clipboard, as Unicode, every line ending in CR LF.
void CopyText(QClipboard& clipboard, std::span<const std::uint8_t, 960> pageRows,
              std::uint8_t nationalOption);

} // namespace PageExport
} // namespace quav
