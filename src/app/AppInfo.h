#pragma once

#include <QString>

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

/// Help contexts: the main window, the settings dialog and the print panel.
enum HelpContext
{
    HelpMain = 1,
    HelpSettings = 3,
    HelpPrint = 5,
};

} // namespace quav::app
