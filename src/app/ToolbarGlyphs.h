#pragma once

#include <QIcon>
#include <QPixmap>

namespace quav {

/// The toolbar glyphs, drawn for this program as 16 x 16 pixel art in the style of the
/// classic speed buttons.
enum class Glyph
{
    Exit,
    Print,
    SavePicture,
    SaveText,
    CopyPicture,
    CopyText,
    Reveal,
    Stop,
    Help,
};

QPixmap GlyphPixmap(Glyph glyph);
QIcon GlyphIcon(Glyph glyph);
/// The program icon: a television showing a teletext page, at the given size.
QPixmap ProgramIcon(int size);

} // namespace quav
