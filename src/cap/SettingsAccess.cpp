#include "cap/SettingsAccess.h"

#include "config/QuavError.h"
#include "config/SettingsStore.h"

namespace quav {

bool LoadStoredSettings(Settings& settings, std::string& error)
{
    try {
        // The same settings as the viewer, also when it is pointed at another profile.
        SettingsStore store(settings, qEnvironmentVariable("QUAV_SETTINGS_FILE"));
        if (!store.SettingsCurrent()) {
            error = "Es gibt noch keine gespeicherten Hardware-Einstellungen. Bitte zuerst im Programm "
                    "quav-videotext unter Einstellungen die Hardware wählen.";
            return false;
        }
        store.LoadSettings();
        return true;
    } catch (const QuavError& e) {
        error = e.Message().toStdString();
    } catch (const std::exception& e) {
        error = e.what();
    }
    return false;
}

} // namespace quav
