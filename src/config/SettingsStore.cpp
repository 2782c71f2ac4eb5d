#include "config/SettingsStore.h"

#include "config/QuavError.h"

#include <limits>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVariant>

namespace quav {

namespace {

const QString HardwareGroup = QStringLiteral("Hardware");
const QString ConfigValue = QStringLiteral("Config");
const QString CurrentConfig = QStringLiteral("11");

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') {
        return u - u'0';
    }
    if (u >= u'a' && u <= u'f') {
        return u - u'a' + 10;
    }
    if (u >= u'A' && u <= u'F') {
        return u - u'A' + 10;
    }
    return -1;
}

[[noreturn]] void ThrowReadFailed(const QString& name)
{
    throw QuavError(QStringLiteral("Konnte Daten für '%1' nicht holen").arg(name));
}

[[noreturn]] void ThrowWrongType(const QString& name)
{
    throw QuavError(QStringLiteral("Ungültiger Datentyp für '%1'").arg(name));
}

} // namespace

SettingsStore::SettingsStore(Settings& settings) : m_settings(settings) {}

SettingsStore::SettingsStore(Settings& settings, const QString& iniFile)
    : m_settings(settings), m_iniFile(iniFile)
{
}

QString SettingsStore::FileName() const
{
    if (!m_iniFile.isEmpty()) {
        return m_iniFile;
    }
#ifdef Q_OS_WIN
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\QUAV");
#else
    // Opening the store reads it at once, so its place is found without opening it: beside
    // the file of an organisation that is never there. (An application name of our own
    // organisation would not do: Qt reads the organisation's file as its fallback.)
    const QSettings beside(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("QUAV-path-probe"));
    return QFileInfo(beside.fileName()).absolutePath() + QStringLiteral("/QUAV.conf");
#endif
}

std::unique_ptr<QSettings> SettingsStore::Open() const
{
#ifndef Q_OS_WIN
    // A FIFO or a device in the settings' place would block or feed the reader forever.
    struct stat st
    {
    };
    const QString path = FileName();
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode) &&
        !S_ISDIR(st.st_mode)) {
        throw QuavError(
            QStringLiteral("Die Einstellungsdatei %1 ist keine gewöhnliche Datei und wird nicht benutzt.")
                .arg(path));
    }
#endif
    std::unique_ptr<QSettings> storage;
    if (!m_iniFile.isEmpty()) {
        storage = std::make_unique<QSettings>(m_iniFile, QSettings::IniFormat);
    } else {
#ifdef Q_OS_WIN
        storage = std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\QUAV"),
                                              QSettings::NativeFormat);
#else
        storage = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                              QStringLiteral("QUAV"));
#endif
    }
#ifndef Q_OS_WIN
    // Opening the settings creates them when they are missing, so that even a first load
    // leaves an (empty) settings file behind. Failing here is not an error yet: reading then
    // gives the defaults, and saving reports that it cannot write.
    const QString file = storage->fileName();
    if (!QFileInfo::exists(file)) {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile created(file);
        if (created.open(QIODevice::WriteOnly)) {
            created.close();
        }
    }
#endif
    return storage;
}

QString SettingsStore::Location() const
{
    return FileName();
}

int SettingsStore::LoadZoom() const
{
    const auto storage = Open();
    const QVariant value = storage->value(QStringLiteral("Ansicht/Zoom"));
    if (value.typeId() != QMetaType::QString) {
        return 0;
    }
    const auto zoom = ParseInteger(value.toString());
    return zoom && *zoom >= 0 && *zoom <= 8 ? static_cast<int>(*zoom) : 0;
}

bool SettingsStore::SaveZoom(int zoom)
{
    const auto storage = Open();
    storage->setValue(QStringLiteral("Ansicht/Zoom"), QString::number(zoom));
    return Commit(*storage);
}

bool SettingsStore::Commit(QSettings& storage)
{
    storage.sync();
    return storage.status() == QSettings::NoError;
}

std::optional<std::int32_t> SettingsStore::ParseInteger(const QString& stored)
{
    QString text = stored;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        text.replace(0, 2, QStringLiteral("$"));
    }
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) {
        ++i;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    if (text[i] == u'$') {
        // Up to 32 bits of hexadecimal, taken as a two's complement value.
        ++i;
        if (i == text.size()) {
            return std::nullopt;
        }
        std::uint64_t value = 0;
        for (; i < text.size(); ++i) {
            const int digit = HexDigit(text[i]);
            if (digit < 0) {
                return std::nullopt;
            }
            value = value * 16 + std::uint64_t(digit);
            if (value > std::numeric_limits<std::uint32_t>::max()) {
                return std::nullopt;
            }
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    }
    bool negative = false;
    if (text[i] == u'+' || text[i] == u'-') {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < u'0' || u > u'9') {
            return std::nullopt;
        }
        value = value * 10 + (u - u'0');
        if (value > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1) {
            return std::nullopt;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

std::int32_t SettingsStore::ReadInteger(QSettings& storage, const QString& name, std::int32_t fallback)
{
    if (storage.status() != QSettings::NoError) {
        ThrowReadFailed(name);
    }
    storage.beginGroup(HardwareGroup);
    const bool present = storage.contains(name);
    const QVariant value = present ? storage.value(name) : QVariant();
    storage.endGroup();
    // A damaged file shows only once it has been read: that is this value's failure.
    if (storage.status() != QSettings::NoError) {
        ThrowReadFailed(name);
    }
    if (!present) {
        return fallback;
    }
    if (value.typeId() != QMetaType::QString) {
        ThrowWrongType(name);
    }
    return ParseInteger(value.toString()).value_or(fallback);
}

void SettingsStore::LoadSettings()
{
    const auto storage = Open();
    const Settings defaults;
    // Each field is assigned as soon as it is read, so a failure later on leaves the fields
    // before it loaded. All but the bus delay keep only their low 8 bits; no range check
    // here, the line adapters keep out-of-range indexes safe.
    const auto low8 = [](std::int32_t v) { return static_cast<std::uint8_t>(v & 0xFF); };
    m_settings.Device = low8(ReadInteger(*storage, QStringLiteral("Device"), defaults.Device));
    m_settings.VDPort = low8(ReadInteger(*storage, QStringLiteral("VDPort"), defaults.VDPort));
    m_settings.ctsPort = low8(ReadInteger(*storage, QStringLiteral("ctsPort"), defaults.ctsPort));
    m_settings.Port = low8(ReadInteger(*storage, QStringLiteral("Port"), defaults.Port));
    m_settings.I2cDelay = ReadInteger(*storage, QStringLiteral("I2cDelay"), defaults.I2cDelay);
    m_settings.LoopTime = low8(ReadInteger(*storage, QStringLiteral("LoopTime"), defaults.LoopTime));
}

void SettingsStore::WriteString(QSettings& storage, const QString& key, const QString& name,
                                const QString& value)
{
    storage.setValue(key, value);
    if (!Commit(storage)) {
        throw QuavError(QStringLiteral("Konnte Daten für '%1' nicht setzen").arg(name));
    }
}

void SettingsStore::SaveSettings()
{
    const auto storage = Open();
    // "Default" is the unnamed value of the key (so it is on Windows, too); its name in a
    // message is the empty text.
    WriteString(*storage, QStringLiteral("Default"), QString(), QStringLiteral("QUAV-Videotext"));
    WriteString(*storage, QStringLiteral("Version"), QStringLiteral("Version"), QStringLiteral("1.0"));
    WriteString(*storage, ConfigValue, ConfigValue, CurrentConfig);

    const QString device = QString::number(m_settings.Device);
    if (!storage->childGroups().contains(HardwareGroup)) {
        // A new group only comes into being with its first value: that write creates it.
        storage->beginGroup(HardwareGroup);
        storage->setValue(QStringLiteral("Device"), device);
        if (!Commit(*storage)) {
            throw QuavError(QStringLiteral("Erzeugung von Schlüssel %1 misslungen").arg(HardwareGroup));
        }
    } else {
        storage->beginGroup(HardwareGroup);
        WriteString(*storage, QStringLiteral("Device"), QStringLiteral("Device"), device);
    }
    const std::pair<const char16_t*, QString> rest[] = {
        {u"VDPort", QString::number(m_settings.VDPort)},
        {u"ctsPort", QString::number(m_settings.ctsPort)},
        {u"Port", QString::number(m_settings.Port)},
        {u"I2cDelay", QString::number(m_settings.I2cDelay)},
        {u"LoopTime", QString::number(m_settings.LoopTime)},
    };
    for (const auto& [name, value] : rest) {
        const QString key = QString::fromUtf16(name);
        WriteString(*storage, key, key, value);
    }
    storage->endGroup();
}

bool SettingsStore::SettingsCurrent()
{
    const auto storage = Open();
    if (storage->status() != QSettings::NoError) {
        ThrowReadFailed(ConfigValue);
    }
    const bool present = storage->contains(ConfigValue);
    if (storage->status() != QSettings::NoError) {
        ThrowReadFailed(ConfigValue);
    }
    if (!present) {
        return false;
    }
    const QVariant value = storage->value(ConfigValue);
    if (value.typeId() != QMetaType::QString) {
        ThrowWrongType(ConfigValue);
    }
    return value.toString() == CurrentConfig;
}

} // namespace quav
