#pragma once

#include "render/PixelBuffer.h"

#include <QImage>

namespace quav {

/// The picture as an opaque QImage (Format_RGB32) of the same size, for the window, the
/// clipboard and files. The QImage owns its pixels.
QImage ToQImage(const PixelBuffer& picture);

/// A QImage of any format as pixels 0x00RRGGBB (alpha dropped).
PixelBuffer FromQImage(const QImage& image);

} // namespace quav
