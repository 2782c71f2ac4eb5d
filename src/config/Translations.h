#pragma once

class QCoreApplication;

namespace quav {

/// Loads Qt's own German translations (Debian's qt6-translations-l10n), so that Qt's file,
/// print and message dialogs speak German like the rest of the program, whatever the
/// desktop's language. False when they are not installed; the dialogs then stay English.
bool InstallGermanTranslations(QCoreApplication& application);

} // namespace quav
