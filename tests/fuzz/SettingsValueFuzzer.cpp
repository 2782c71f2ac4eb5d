// Arbitrary stored texts through the conversion that loading the settings applies.

#include "config/SettingsStore.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QString>

namespace {

using quav::SettingsStore;

void CheckOne(const QString& text)
{
    const auto value = SettingsStore::ParseInteger(text);
    if (!value) {
        return;
    }
    // Whatever was accepted is written back in decimal and must read back the same.
    if (SettingsStore::ParseInteger(QString::number(*value)) != value) {
        std::abort();
    }
    // A number never has anything after its digits.
    if (SettingsStore::ParseInteger(text + QStringLiteral("z")).has_value()) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* chars = reinterpret_cast<const char*>(data);
    const auto length = static_cast<qsizetype>(size);
    const QString utf8 = QString::fromUtf8(chars, length);
    CheckOne(utf8);
    CheckOne(QString::fromLatin1(chars, length));
    // "0x" before at least one more character means the same as "$".
    if (!utf8.isEmpty()) {
        if (SettingsStore::ParseInteger(QStringLiteral("0x") + utf8) !=
            SettingsStore::ParseInteger(QStringLiteral("$") + utf8)) {
            std::abort();
        }
        // Leading blanks are skipped, unless they would hide a "0x".
        if (!utf8.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive) &&
            SettingsStore::ParseInteger(QStringLiteral("  ") + utf8) != SettingsStore::ParseInteger(utf8)) {
            std::abort();
        }
    }
    return 0;
}
