#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace quav::app {

inline QString Title()
{
    return QStringLiteral("QUAV-Videotext");
}

inline QString Version()
{
    return QStringLiteral("1.0");
}

/// The name under which help is asked for; the pages themselves are built in.
inline QString HelpFile()
{
    return QStringLiteral("Quavvt.hlp");
}

/// The font of the windows: "MS Sans Serif" 8 point where it exists, otherwise the
/// narrowest of the common sans-serif fonts, at 11 pixels.
inline QFont ClassicFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arimo"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

/// Help contexts: the main window, the settings dialog and the print panel.
enum HelpContext
{
    HelpMain = 1,
    HelpSettings = 3,
    HelpPrint = 5,
};

} // namespace quav::app
