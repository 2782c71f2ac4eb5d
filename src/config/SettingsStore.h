#pragma once

#include "config/Settings.h"

#include <memory>
#include <optional>

#include <QSettings>
#include <QString>

namespace quav {

/// Loads and saves the settings record in the per-user settings of "QUAV": values of the
/// key itself (the identification "Default", "Version" and "Config") and one group
/// "Hardware" with one value per setting. Every value is text; numbers are written in
/// decimal and read in decimal or hexadecimal ("0x..." or "$...").
///
/// Failures throw QuavError with the German message for the user. A missing file, group
/// or value, and a text that is not a number, are not failures: they give the default.
/// Only the user-interface thread uses the store.
class SettingsStore
{
public:
    /// The user's own settings: QSettings(NativeFormat, UserScope, "QUAV"), which is
    /// ~/.config/QUAV.conf on Linux (or wherever QSettings::setPath points).
    explicit SettingsStore(Settings& settings);
    /// A settings file of its own, in INI format: for tests and for a second profile.
    SettingsStore(Settings& settings, const QString& iniFile);
    virtual ~SettingsStore() = default;

    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    /// Fills the whole record, in the order Device, VDPort, ctsPort, Port, I2cDelay,
    /// LoopTime. A failure leaves the fields read before it with their new values.
    void LoadSettings();
    /// Writes the three identification values and the six settings, in that order. Values
    /// written before a failing one stay written.
    void SaveSettings();
    /// Whether the stored settings are of this program's format: "Config" is exactly "11".
    bool SettingsCurrent();

    /// The window's page zoom, kept in a group "Ansicht" of its own so that files without it
    /// keep working: 0 for the best whole-number zoom that fits, 1 to 8 for a fixed zoom.
    /// A missing, unreadable or out-of-range value gives 0; reading never throws.
    int LoadZoom() const;
    /// Writes the page zoom; false when the settings could not be written.
    bool SaveZoom(int zoom);

    /// Where the settings live (a file name on Linux).
    QString Location() const;

    /// The conversion that loading applies to a stored text: leading blanks, then either
    /// "$" and hexadecimal digits or decimal digits with an optional sign, nothing after
    /// them; "0x"/"0X" before at least one more character counts as "$". Empty when the
    /// text is not such a number, or does not fit into 32 bits.
    static std::optional<std::int32_t> ParseInteger(const QString& text);

protected:
    /// Makes every change so far permanent; false when the storage refused it. Tests
    /// override it to fail at a chosen write.
    virtual bool Commit(QSettings& storage);

private:
    /// Throws when the settings' place holds something other than a file (a FIFO).
    std::unique_ptr<QSettings> Open() const;
    QString FileName() const;
    std::int32_t ReadInteger(QSettings& storage, const QString& name, std::int32_t fallback);
    void WriteString(QSettings& storage, const QString& key, const QString& name, const QString& value);

    Settings& m_settings;
    QString m_iniFile; // empty: the user's own native settings
};

} // namespace quav
