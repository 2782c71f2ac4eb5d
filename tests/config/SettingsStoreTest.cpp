#include "config/SettingsStore.h"

#include "config/QuavError.h"

#include <functional>
#include <limits>
#include <sys/stat.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSize>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quav {
namespace {

// The user's own settings must never be touched: every native store in this program run
// lands in a temporary directory.
class IsolatedNativeSettings : public ::testing::Environment
{
public:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    }
    QTemporaryDir dir;
};
IsolatedNativeSettings* const nativeSettings =
    static_cast<IsolatedNativeSettings*>(::testing::AddGlobalTestEnvironment(new IsolatedNativeSettings));

QString Q(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// A record whose every field differs from the defaults, so a field left alone shows.
Settings Scrambled()
{
    Settings s;
    s.Device = 77;
    s.Port = 78;
    s.VDPort = 79;
    s.ctsPort = 80;
    s.I2cDelay = -12345;
    s.LoopTime = 81;
    return s;
}

struct StoreFile
{
    StoreFile() : path(dir.filePath(QStringLiteral("profile.conf"))) {}

    void Put(const QString& key, const QVariant& value)
    {
        QSettings raw(path, QSettings::IniFormat);
        raw.setValue(key, value);
        raw.sync();
        ASSERT_EQ(raw.status(), QSettings::NoError);
    }
    void PutHardware(const char* name, const QVariant& value)
    {
        Put(QStringLiteral("Hardware/") + Q(name), value);
    }
    QString Message(const std::function<void()>& action)
    {
        try {
            action();
        } catch (const QuavError& e) {
            return e.Message();
        }
        return QStringLiteral("(no error)");
    }

    QTemporaryDir dir;
    QString path;
    Settings settings = Scrambled();
    SettingsStore store{settings, path};
};

// Fails the write with the given number (0 = the first), as a full disk would.
class FailingStore : public SettingsStore
{
public:
    FailingStore(Settings& settings, const QString& file, int failingWrite)
        : SettingsStore(settings, file), m_failingWrite(failingWrite)
    {
    }

protected:
    bool Commit(QSettings& storage) override
    {
        if (m_writes++ == m_failingWrite) {
            return false;
        }
        return SettingsStore::Commit(storage);
    }

private:
    int m_failingWrite;
    int m_writes = 0;
};

TEST(SettingsLoad, FirstRunGivesTheDefaultsAndLeavesAnEmptyStoreBehind)
{
    StoreFile f;
    ASSERT_FALSE(QFileInfo::exists(f.path));
    f.store.LoadSettings();
    EXPECT_EQ(f.settings, Settings{});
    EXPECT_EQ(f.settings.Device, 0);
    EXPECT_EQ(f.settings.VDPort, 0);
    EXPECT_EQ(f.settings.ctsPort, 0);
    EXPECT_EQ(f.settings.Port, 1);
    EXPECT_EQ(f.settings.I2cDelay, 200);
    EXPECT_EQ(f.settings.LoopTime, 3);
    ASSERT_TRUE(QFileInfo::exists(f.path));
    EXPECT_EQ(QFileInfo(f.path).size(), 0);
    EXPECT_FALSE(f.store.SettingsCurrent());
}

TEST(SettingsLoad, EveryFormOfValueText)
{
    struct Row
    {
        const char* name;
        const char* text;
        std::int64_t expected; // read back from the field named
    };
    const Row rows[] = {
        {"I2cDelay", "0x64", 100},
        {"I2cDelay", "$C8", 200},
        {"I2cDelay", "$c8", 200},
        {"I2cDelay", "0X1f", 31},
        {"I2cDelay", "abc", 200},
        {"I2cDelay", "-50", -50},
        {"I2cDelay", "+7", 7},
        {"I2cDelay", "  12", 12},
        {"I2cDelay", "\t12", 12},
        {"I2cDelay", "12 ", 200},
        {"I2cDelay", "12a", 200},
        {"I2cDelay", "", 200},
        {"I2cDelay", " ", 200},
        {"I2cDelay", "-", 200},
        {"I2cDelay", "$", 200},
        {"I2cDelay", "-$10", 200},
        {"I2cDelay", "1.5", 200},
        {"I2cDelay", "0010", 10},
        {"I2cDelay", "2147483647", 2147483647},
        {"I2cDelay", "-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"I2cDelay", "2147483648", 200},
        {"I2cDelay", "99999999999999999999", 200},
        {"I2cDelay", "$FFFFFFFF", -1},
        {"I2cDelay", "0x80000000", std::numeric_limits<std::int32_t>::min()},
        {"I2cDelay", "0x100000000", 200},
        {"I2cDelay", " 0x10", 200}, // the 0x form only counts at the very start
        {"Port", "0x", 1},          // two characters are not a hexadecimal number
        {"Port", "0x3", 3},
        {"Port", "3", 3},
        {"Device", "258", 2},
        {"Device", "-1", 255},
        {"Device", "$1FF", 255},
        {"VDPort", "7", 7},
        {"ctsPort", "$a", 10},
        {"LoopTime", "9", 9},
        {"LoopTime", "x9", 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " = '" + row.text + "'");
        StoreFile f;
        f.PutHardware(row.name, Q(row.text));
        f.store.LoadSettings();
        const std::string name = row.name;
        Settings expected;
        if (name == "Device") {
            expected.Device = std::uint8_t(row.expected);
        } else if (name == "Port") {
            expected.Port = std::uint8_t(row.expected);
        } else if (name == "VDPort") {
            expected.VDPort = std::uint8_t(row.expected);
        } else if (name == "ctsPort") {
            expected.ctsPort = std::uint8_t(row.expected);
        } else if (name == "LoopTime") {
            expected.LoopTime = std::uint8_t(row.expected);
        } else {
            expected.I2cDelay = std::int32_t(row.expected);
        }
        EXPECT_EQ(f.settings.Device, expected.Device);
        EXPECT_EQ(f.settings.Port, expected.Port);
        EXPECT_EQ(f.settings.VDPort, expected.VDPort);
        EXPECT_EQ(f.settings.ctsPort, expected.ctsPort);
        EXPECT_EQ(f.settings.I2cDelay, expected.I2cDelay);
        EXPECT_EQ(f.settings.LoopTime, expected.LoopTime);
    }
}

TEST(SettingsLoad, ValuesOutsideTheGroupAreNotSettings)
{
    StoreFile f;
    f.Put(QStringLiteral("Device"), QStringLiteral("2"));
    f.Put(QStringLiteral("Other/Port"), QStringLiteral("4"));
    f.store.LoadSettings();
    EXPECT_EQ(f.settings, Settings{});
}

TEST(SettingsLoad, AValueOfAnotherTypeFailsAfterTheFieldsBeforeIt)
{
    const std::pair<const char*, QVariant> wrongValues[] = {
        {"list", QStringList{QStringLiteral("1"), QStringLiteral("2")}},
        {"bytes", QByteArray("2")},
        {"size", QSize(1, 2)},
    };
    for (const auto& [kind, wrong] : wrongValues) {
        SCOPED_TRACE(kind);
        StoreFile f;
        f.PutHardware("Device", QStringLiteral("2"));
        f.PutHardware("VDPort", QStringLiteral("3"));
        f.PutHardware("ctsPort", QStringLiteral("5"));
        f.PutHardware("Port", wrong);
        f.PutHardware("I2cDelay", QStringLiteral("50"));
        f.PutHardware("LoopTime", QStringLiteral("1"));
        EXPECT_EQ(f.Message([&] { f.store.LoadSettings(); }), Q("Ungültiger Datentyp für 'Port'"));
        EXPECT_EQ(f.settings.Device, 2);
        EXPECT_EQ(f.settings.VDPort, 3);
        EXPECT_EQ(f.settings.ctsPort, 5);
        EXPECT_EQ(f.settings.Port, Scrambled().Port);
        EXPECT_EQ(f.settings.I2cDelay, Scrambled().I2cDelay);
        EXPECT_EQ(f.settings.LoopTime, Scrambled().LoopTime);
    }
}

TEST(SettingsLoad, AnUnreadableStoreIsAReadFailure)
{
    struct Case
    {
        const char* what;
        std::function<void(const QString&)> plant;
        const char* load;
        const char* current;
    };
    const std::vector<Case> cases{
        {"a directory", [](const QString& at) { ASSERT_TRUE(QDir().mkpath(at)); },
         "Konnte Daten für 'Device' nicht holen", "Konnte Daten für 'Config' nicht holen"},
        {"damage in the hardware group: the first value read there fails",
         [](const QString& at) {
             QFile file(at);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             file.write("[Hardware]\nDevice=1\nVDPort\n");
         },
         "Konnte Daten für 'Device' nicht holen", "(no error)"},
        {"a FIFO, which would block the reader",
         [](const QString& at) { ASSERT_EQ(::mkfifo(QFile::encodeName(at).constData(), 0600), 0); },
         "keine gewöhnliche Datei", "keine gewöhnliche Datei"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StoreFile f;
        c.plant(f.path);
        EXPECT_TRUE(f.Message([&] { f.store.LoadSettings(); }).contains(Q(c.load)));
        EXPECT_EQ(f.settings, Scrambled());
        const QString current = f.Message([&] { f.store.SettingsCurrent(); });
        EXPECT_TRUE(current.contains(Q(c.current))) << current.toStdString();
    }
}

TEST(SettingsCurrentCheck, OnlyTheExactTextElevenCounts)
{
    const std::pair<const char*, bool> rows[] = {
        {"11", true},   {"11 ", false}, {" 11", false}, {"011", false},
        {"0xB", false}, {"", false},    {"12", false},
    };
    for (auto [text, current] : rows) {
        SCOPED_TRACE(std::string("'") + text + "'");
        StoreFile f;
        f.Put(QStringLiteral("Config"), Q(text));
        EXPECT_EQ(f.store.SettingsCurrent(), current);
    }
    StoreFile inGroup;
    inGroup.PutHardware("Config", QStringLiteral("11"));
    EXPECT_FALSE(inGroup.store.SettingsCurrent()) << "Config is a value of the key itself";
}

TEST(SettingsCurrentCheck, AConfigOfAnotherTypeIsADataTypeFailure)
{
    StoreFile f;
    f.Put(QStringLiteral("Config"), QStringList{QStringLiteral("1"), QStringLiteral("1")});
    EXPECT_EQ(f.Message([&] { f.store.SettingsCurrent(); }), Q("Ungültiger Datentyp für 'Config'"));
}

TEST(SettingsSave, WritesExactlyTheIdentificationAndTheSixSettingsAsText)
{
    StoreFile f;
    f.Put(QStringLiteral("Other"), QStringLiteral("kept"));
    f.PutHardware("Extra", QStringLiteral("kept too"));
    f.settings = Settings{};
    f.settings.Device = 2;
    f.settings.Port = 4;
    f.settings.VDPort = 1;
    f.settings.ctsPort = 5;
    f.settings.I2cDelay = -15;
    f.settings.LoopTime = 9;
    f.store.SaveSettings();

    QSettings raw(f.path, QSettings::IniFormat);
    EXPECT_EQ(raw.childKeys(), (QStringList{QStringLiteral("Config"), QStringLiteral("Default"),
                                            QStringLiteral("Other"), QStringLiteral("Version")}));
    EXPECT_EQ(raw.childGroups(), QStringList{QStringLiteral("Hardware")});
    const std::pair<const char*, const char*> expected[] = {
        {"Default", "QUAV-Videotext"},
        {"Version", "1.0"},
        {"Config", "11"},
        {"Hardware/Device", "2"},
        {"Hardware/VDPort", "1"},
        {"Hardware/ctsPort", "5"},
        {"Hardware/Port", "4"},
        {"Hardware/I2cDelay", "-15"},
        {"Hardware/LoopTime", "9"},
        {"Hardware/Extra", "kept too"},
        {"Other", "kept"},
    };
    for (auto [key, text] : expected) {
        SCOPED_TRACE(key);
        const QVariant v = raw.value(Q(key));
        EXPECT_EQ(v.typeId(), QMetaType::QString);
        EXPECT_EQ(v.toString(), Q(text));
    }
    raw.beginGroup(QStringLiteral("Hardware"));
    EXPECT_EQ(raw.childKeys().size(), 7);
    raw.endGroup();

    EXPECT_TRUE(f.store.SettingsCurrent());
    const Settings saved = f.settings;
    f.settings = Scrambled();
    f.store.LoadSettings();
    EXPECT_EQ(f.settings, saved);
}

TEST(SettingsSave, AFailingWriteNamesItsValueAndKeepsWhatWasWrittenBefore)
{
    struct Row
    {
        int failingWrite;
        bool groupExists;
        const char* message;
        const char* lastWritten; // key that must be stored, or nullptr
    };
    const Row rows[] = {
        {0, false, "Konnte Daten für '' nicht setzen", nullptr},
        {1, false, "Konnte Daten für 'Version' nicht setzen", "Default"},
        {2, false, "Konnte Daten für 'Config' nicht setzen", "Version"},
        {3, false, "Erzeugung von Schlüssel Hardware misslungen", "Config"},
        {3, true, "Konnte Daten für 'Device' nicht setzen", "Config"},
        {6, true, "Konnte Daten für 'Port' nicht setzen", "Hardware/ctsPort"},
        {8, true, "Konnte Daten für 'LoopTime' nicht setzen", "Hardware/I2cDelay"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message);
        StoreFile f;
        if (row.groupExists) {
            f.PutHardware("Extra", QStringLiteral("x"));
        }
        f.settings = Settings{};
        f.settings.ctsPort = 4;
        f.settings.I2cDelay = 321;
        {
            FailingStore failing(f.settings, f.path, row.failingWrite);
            EXPECT_EQ(f.Message([&] { failing.SaveSettings(); }), Q(row.message));
        }
        QSettings raw(f.path, QSettings::IniFormat);
        if (row.lastWritten != nullptr) {
            EXPECT_TRUE(raw.contains(Q(row.lastWritten)));
        }
        if (row.failingWrite == 6) {
            EXPECT_EQ(raw.value(QStringLiteral("Hardware/ctsPort")).toString(), QStringLiteral("4"));
        }
        if (row.failingWrite == 8) {
            EXPECT_EQ(raw.value(QStringLiteral("Hardware/I2cDelay")).toString(), QStringLiteral("321"));
        }
    }
}

TEST(SettingsSave, AnUnwritableLocationFailsAtTheFirstValue)
{
    StoreFile f;
    QFile blocker(f.dir.filePath(QStringLiteral("not-a-dir")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Settings settings;
    SettingsStore store(settings, f.dir.filePath(QStringLiteral("not-a-dir/profile.conf")));
    EXPECT_EQ(f.Message([&] { store.SaveSettings(); }), Q("Konnte Daten für '' nicht setzen"));
    // Reading from there is a missing store, not a failure.
    settings = Scrambled();
    store.LoadSettings();
    EXPECT_EQ(settings, Settings{});
    EXPECT_FALSE(store.SettingsCurrent());
}

TEST(SettingsLocation, TheUsersStoreIsTheOrganisationQuav)
{
    Settings settings;
    settings.LoopTime = 6;
    SettingsStore store(settings);
    const QString expected = QDir(nativeSettings->dir.path()).filePath(QStringLiteral("QUAV.conf"));
    EXPECT_EQ(store.Location(), expected);
    store.SaveSettings();
    QSettings raw(expected, QSettings::IniFormat);
    EXPECT_EQ(raw.value(QStringLiteral("Hardware/LoopTime")).toString(), QStringLiteral("6"));
    EXPECT_EQ(raw.value(QStringLiteral("Config")).toString(), QStringLiteral("11"));

    // A FIFO in the store's place is refused before anything reads it; finding the place
    // must not read it either, or the start would hang there.
    ASSERT_TRUE(QFile::remove(expected));
    ASSERT_EQ(::mkfifo(QFile::encodeName(expected).constData(), 0600), 0);
    QString message;
    try {
        store.LoadSettings();
    } catch (const QuavError& e) {
        message = e.Message();
    }
    QFile::remove(expected);
    EXPECT_TRUE(message.contains(Q("keine gewöhnliche Datei"))) << message.toStdString();
}

} // namespace
} // namespace quav
