#include "app/ToolbarGlyphs.h"

#include <array>
#include <string_view>

#include <QImage>
#include <QPainter>

namespace quav {

namespace {

using Art = std::array<std::string_view, 16>;

// One character a pixel: '.' transparent, k black, d dark grey, g grey, w white, r red,
// b navy, B blue, y yellow, G green, c cyan, m magenta.
QRgb Colour(char c)
{
    switch (c) {
    case 'k':
        return qRgb(0, 0, 0);
    case 'd':
        return qRgb(128, 128, 128);
    case 'g':
        return qRgb(192, 192, 192);
    case 'w':
        return qRgb(255, 255, 255);
    case 'r':
        return qRgb(200, 0, 0);
    case 'b':
        return qRgb(0, 0, 128);
    case 'B':
        return qRgb(0, 0, 255);
    case 'y':
        return qRgb(255, 255, 0);
    case 'G':
        return qRgb(0, 160, 0);
    case 'c':
        return qRgb(0, 160, 160);
    case 'm':
        return qRgb(192, 0, 192);
    default:
        return qRgba(0, 0, 0, 0);
    }
}

constexpr Art ExitArt{"................", "....kkkkkkkkk...", "....kgggggggk...", "....kgkkkkkgk...",
                      "....kgk...kgk...", "..k.kgk...kgk...", "..kkkgk...kgk...", "kkkrkgk..kkgk...",
                      "krrrrrk..kkgk...", "kkkrkgk...kgk...", "..kkkgk...kgk...", "..k.kgk...kgk...",
                      "....kgk...kgk...", "....kgkkkkkgk...", "....kkkkkkkkk...", "................"};

constexpr Art PrintArt{"................", ".....kkkkkkkk...", ".....kwwwwwwk...", ".....kwkkkkwk...",
                       ".....kwwwwwwk...", "...kkkkkkkkkkkk.", "..kgggggggggggkk", "..kggggggggGGgkk",
                       "..kkkkkkkkkkkkkk", "..kgggggggggggkk", "..kkwwwwwwwwwkkk", "....kwkkkkkwk.kk",
                       "....kwwwwwwwk...", ".....kkkkkkkk...", "................", "................"};

constexpr Art SavePictureArt{"kkkkkkkkkkkkkk..", "kbkwwwwwwwwkbk..", "kbkwwwwwwwwkbk..", "kbkwwwwwwwwkbk..",
                             "kbkwwwwwwwwkbk..", "kbbkkkkkkkkbbk..", "kbbbbbbbbbbbbk..", "kbbkkkkkkkkbbk..",
                             "kbbkgg.kkkkkkkkk", "kbbkgg.kyyyyyyyk", "kbbkgg.kyrrybbyk", "kkkkkkkkyrrybbyk",
                             ".......kyyGGGGyk", ".......kyGGGGGGk", ".......kkkkkkkkk", "................"};

constexpr Art SaveTextArt{"kkkkkkkkkkkkkk..", "kbkwwwwwwwwkbk..", "kbkwwwwwwwwkbk..", "kbkwwwwwwwwkbk..",
                          "kbkwwwwwwwwkbk..", "kbbkkkkkkkkbbk..", "kbbbbbbbbbbbbk..", "kbbkkkkkkkkbbk..",
                          "kbbkgg.kkkkkkkkk", "kbbkgg.kwwwwwwwk", "kbbkgg.kwkkkkwwk", "kkkkkkkkwwwwwwwk",
                          ".......kwkkkkkwk", ".......kwwwwwwwk", ".......kkkkkkkkk", "................"};

constexpr Art CopyPictureArt{"kkkkkkkkk.......", "kwwwwwwwk.......", "kwkkkkkwk.......", "kwwwwwwwk.......",
                             "kwkkkkkwk.......", "kwwwwkkkkkkkkkk.", "kwkkkkyyyyyyyyk.", "kwwwwkyrrybbbyk.",
                             "kwkkkkyrrybbbyk.", "kwwwwkyyyyyyyyk.", "kkkkkkyGGGGGGyk.", ".....kyGGGGGGGk.",
                             ".....kyGGGGGGGk.", ".....kyyyyyyyyk.", ".....kkkkkkkkkk.", "................"};

constexpr Art CopyTextArt{"kkkkkkkkk.......", "kwwwwwwwk.......", "kwkkkkkwk.......", "kwwwwwwwk.......",
                          "kwkkkkkwk.......", "kwwwwkkkkkkkkkk.", "kwkkkkwwwwwwwwk.", "kwwwwkwkkkkkkwk.",
                          "kwkkkkwwwwwwwwk.", "kwwwwkwkkkkkwwk.", "kkkkkkwwwwwwwwk.", ".....kwkkkkkkwk.",
                          ".....kwwwwwwwwk.", ".....kwkkkkwwwk.", ".....kkkkkkkkkk.", "................"};

constexpr Art RevealArt{"................", "................", "................", ".....kkkkkk.....",
                        "...kkwwwwwwkk...", "..kwwwwBBwwwwk..", ".kwwwwBBBBwwwwk.", "kwwwwBBkkBBwwwwk",
                        "kwwwwBBkkBBwwwwk", ".kwwwwBBBBwwwwk.", "..kwwwwBBwwwwk..", "...kkwwwwwwkk...",
                        ".....kkkkkk.....", "................", "................", "................"};

constexpr Art StopArt{"................", ".....kkkkkk.....", "....krrrrrrk....", "...krrrrrrrrk...",
                      "..krrrrrrrrrrk..", ".krrrrrrrrrrrrk.", ".krrwwwwwwwwrrk.", ".krrwwwwwwwwrrk.",
                      ".krrwwwwwwwwrrk.", ".krrrrrrrrrrrrk.", "..krrrrrrrrrrk..", "...krrrrrrrrk...",
                      "....krrrrrrk....", ".....kkkkkk.....", "................", "................"};

constexpr Art HelpArt{"................", ".....kkkkkk.....", "....kyyyyyyk....", "...kyykkkkyyk...",
                      "...kyk....kyk...", "...kkk...kyyk...", "........kyyk....", ".......kyyk.....",
                      ".......kyyk.....", ".......kkkk.....", "................", ".......kkkk.....",
                      ".......kyyk.....", ".......kyyk.....", ".......kkkk.....", "................"};

const Art& ArtOf(Glyph glyph)
{
    switch (glyph) {
    case Glyph::Exit:
        return ExitArt;
    case Glyph::Print:
        return PrintArt;
    case Glyph::SavePicture:
        return SavePictureArt;
    case Glyph::SaveText:
        return SaveTextArt;
    case Glyph::CopyPicture:
        return CopyPictureArt;
    case Glyph::CopyText:
        return CopyTextArt;
    case Glyph::Reveal:
        return RevealArt;
    case Glyph::Stop:
        return StopArt;
    case Glyph::Help:
        return HelpArt;
    }
    return HelpArt;
}

} // namespace

QPixmap GlyphPixmap(Glyph glyph)
{
    const Art& art = ArtOf(glyph);
    QImage image(16, 16, QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            image.setPixel(x, y, Colour(art[std::size_t(y)][std::size_t(x)]));
        }
    }
    return QPixmap::fromImage(image);
}

QIcon GlyphIcon(Glyph glyph)
{
    QIcon icon(GlyphPixmap(glyph));
    // The disabled look of the classic speed buttons: a grey silhouette.
    QImage disabled = GlyphPixmap(glyph).toImage();
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            if (qAlpha(disabled.pixel(x, y)) != 0) {
                disabled.setPixel(
                    x, y, qGray(disabled.pixel(x, y)) < 100 ? qRgb(128, 128, 128) : qRgba(0, 0, 0, 0));
            }
        }
    }
    icon.addPixmap(QPixmap::fromImage(disabled), QIcon::Disabled);
    return icon;
}

QPixmap ProgramIcon(int size)
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(64, 64, 64));
    p.drawRect(1, 3, 30, 24); // cabinet
    p.setBrush(Qt::black);
    p.drawRect(3, 5, 26, 18); // screen
    // A teletext page in miniature: a header, a double-height title and coloured rows.
    const QColor rows[] = {Qt::white, Qt::cyan, Qt::yellow, Qt::green, Qt::white, Qt::magenta};
    p.setBrush(Qt::white);
    p.drawRect(5, 6, 22, 1);
    p.setBrush(QColor(0, 0, 255));
    p.drawRect(5, 8, 22, 4);
    p.setBrush(Qt::yellow);
    p.drawRect(7, 9, 12, 2);
    for (int i = 0; i < 5; ++i) {
        p.setBrush(rows[i + 1]);
        p.drawRect(5, 13 + 2 * i, 8 + (i * 5) % 14, 1);
    }
    p.setBrush(QColor(200, 0, 0));
    p.drawRect(24, 24, 4, 2); // the power lamp
    p.setBrush(QColor(64, 64, 64));
    p.drawRect(8, 27, 16, 3); // the stand
    p.end();
    return QPixmap::fromImage(
        size == 32 ? image : image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

} // namespace quav
